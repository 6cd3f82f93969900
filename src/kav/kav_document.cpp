#include "kav/kav_document.h"

#include "kav/kav_parser.h"
#include "kav/kav_tokenizer.h"

KavParseResult kav_parse_document(Arena* arena, String source, String path) {
    KavParseResult result = {};
    if (source.size == 0) return result;
    // The tokens are only needed while parsing: they live in scratch memory.
    Scratch scratch(arena);
    KavTokens tokens = kav_tokenize(scratch.arena, source);
    result = kav_parse(arena, path, source, &tokens);

    DiagnosticList merged = tokens.diagnostics;
    diag_concat(&merged, &result.diagnostics);
    result.success = merged.max_level <= DIAG_ERROR ? 1 : 0;
    result.diagnostics = DiagnosticList{};
    diag_print_list(&merged, path, source);
    return result;
}
