#include "kav/kav_document.h"

#include "kav/kav_parser.h"
#include "kav/kav_tokenizer.h"

KavParseResult kav_parse_document(Arena* arena, String source, String path) {
    KavParseResult result = {};
    if (source.size == 0) return result;
    // The tokens are only needed while parsing: they live in scratch memory.
    // The tokenizer reports nothing, so the parser's diagnostics are all.
    Scratch scratch(arena);
    KavTokens tokens = kav_tokenize(scratch.arena, source);
    result = kav_parse(arena, path, source, &tokens);
    result.success = result.diagnostics.max_level <= DIAG_ERROR ? 1 : 0;
    return result;
}
