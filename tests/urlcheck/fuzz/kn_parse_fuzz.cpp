// Fuzzes the known-searches tokenizer, parser and record builder: no input
// may crash them, and the tokens must cover the text in order.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "urlcheck/known_searches.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Scratch scratch;
    String text = {(u8*)data, size};
    KnTokens tokens = kn_tokenize(scratch.arena, text);
    u64 at = 0;
    for (u64 i = 0; i < tokens.count; i += 1) {
        if (tokens.tokens[i].begin != at || tokens.tokens[i].end <= at) abort();
        at = tokens.tokens[i].end;
    }
    if (at != size) abort();
    KnTree tree = kn_parse(scratch.arena, text, tokens);
    for (Diagnostic* d = tree.diagnostics.first; d; d = d->next) {
        if (d->offset >= size || d->level != DIAG_WARNING) abort();
    }
    SourceFinderList finders = kn_build(scratch.arena, &tree);
    u64 count = 0;
    for (SourceFinder* f = finders.first; f; f = f->next) count += 1;
    if (count != finders.count) abort();
    return 0;
}
