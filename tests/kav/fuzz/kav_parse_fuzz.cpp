// libFuzzer target: tokenize, parse, print the tree and run the parse driver
// on arbitrary bytes, and check the invariants of the result on every input,
// and that a parse for facts (its body's nodes given back as it goes) gives
// what the whole parse gives, and tokens made a stretch at a time what the
// whole tokens give.
#include <stdint.h>
#include <stdio.h>

#include "support/fuzz_check.h"
#include "base/arena.h"
#include "kav/kav_document.h"
#include "kav/kav_hints.h"
#include "kav/kav_parser.h"
#include "kav/kav_print.h"
#include "kav/kav_tokenizer.h"
#include "kav/kav_facts_summary.h"

static Arena* g_arena;


static void check_tokens(const KavTokens& tokens, u64 size) {
    u64 at = 0;
    for (u64 k = 0; k < tokens.count; k += 1) {
        REQUIRE(tokens.tokens[k].begin == at);
        REQUIRE(tokens.tokens[k].end > at);
        at = tokens.tokens[k].end;
    }
    REQUIRE(at == size);
}

static void check_result(const KavParseResult& r, String source) {
    String problem = kav_check_result(g_arena, &r, source);
    if (problem.size) {
        fprintf(stderr, "broken: %.*s\n", STR_ARG(problem));
        __builtin_trap();
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_arena = arena_create(GB(64), MB(1));
    // The printed trees go nowhere; the fuzzer's output stays readable.
    if (!freopen("/dev/null", "w", stdout)) return 1;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    u64 mark = arena_pos(g_arena);
    String source = {(u8*)data, (u64)size};
    KavTokens tokens = kav_tokenize(g_arena, source);
    check_tokens(tokens, size);
    KavParseResult result = kav_parse(g_arena, S("fuzz.kav"), source, &tokens);
    REQUIRE(size == 0 || result.root);
    check_result(result, source);
    String printed = kav_print_result(g_arena, &result, source);
    fwrite(printed.str, 1, printed.size, stdout);
    // The parse driver adds the hints to the parser's diagnostics, all in
    // source order.
    KavParseResult driven = kav_parse_document(g_arena, source, S("fuzz.kav"));
    REQUIRE(driven.diagnostics.count >= result.diagnostics.count);
    u64 at = 0;
    for (Diagnostic* d = driven.diagnostics.first; d; d = d->next) {
        REQUIRE(d->offset >= at);
        at = d->offset;
    }
    check_result(driven, source);
    // Tokens made a few at a time, so that reads cross stretches and make
    // them again, give the same tree and hints.
    KavTokens windowed = kav_tokenize_windowed(g_arena, source, 2);
    REQUIRE(windowed.count == tokens.count);
    KavParseResult again = kav_parse(g_arena, S("fuzz.kav"), source, &windowed);
    REQUIRE(string_equal(kav_print_result(g_arena, &again, source), printed));
    DiagnosticList hints = kav_hints(g_arena, source, &tokens, &result);
    DiagnosticList hints_again = kav_hints(g_arena, source, &windowed, &again);
    REQUIRE(hints.count == hints_again.count);
    for (Diagnostic *a = hints.first, *b = hints_again.first; a && b; a = a->next, b = b->next) {
        REQUIRE(a->offset == b->offset && string_equal(a->message, b->message));
    }
    KavParseResult facts = kav_parse_document_facts(g_arena, source, S("fuzz.kav"));
    REQUIRE(kav_facts_summary(g_arena, facts) == kav_facts_summary(g_arena, driven));
    arena_pop_to(g_arena, mark);
    return 0;
}
