#include "kav/kav_document.h"

#include "kav/kav_hints.h"
#include "kav/kav_parser.h"
#include "kav/kav_tokenizer.h"

KavParseResult kav_parse_document(Arena* arena, String source, String path) {
    KavParseResult result = {};
    if (source.size == 0) return result;
    // The tokens are only needed while parsing: they live in scratch memory.
    // The tokenizer reports nothing; the hints join the parser's diagnostics
    // in source order.
    Scratch scratch(arena);
    KavTokens tokens = kav_tokenize(scratch.arena, source);
    result = kav_parse(arena, path, source, &tokens);
    DiagnosticList hints = kav_hints(arena, source, &tokens, &result);
    diag_merge(&result.diagnostics, &hints);
    result.success = result.diagnostics.max_level <= DIAG_ERROR ? 1 : 0;
    return result;
}
