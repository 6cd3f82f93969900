#include "kav/kav_document.h"

#include "kav/kav_hints.h"
#include "kav/kav_parser.h"
#include "kav/kav_tokenizer.h"

KavParseResult kav_parse_document(Arena* arena, String source, String path, DiagnosticForm form) {
    KavParseResult result = {};
    if (source.size == 0) return result;
    // The tokens are only needed while parsing: they live in scratch memory.
    Scratch scratch(arena);
    KavTokens tokens = kav_tokenize(scratch.arena, source);
    result = kav_parse(arena, path, source, &tokens);

    // Hints are printed and dropped here: their messages live in scratch.
    DiagnosticList hints = kav_hints(scratch.arena, source, &tokens, &result);

    DiagnosticList merged = tokens.diagnostics;
    diag_concat(&merged, &result.diagnostics);
    diag_merge(&merged, &hints);
    result.success = merged.max_level <= DIAG_ERROR ? 1 : 0;
    result.diagnostics = DiagnosticList{};
    diag_print_list(&merged, path, source, form);
    return result;
}
