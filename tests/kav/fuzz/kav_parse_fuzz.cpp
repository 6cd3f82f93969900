// libFuzzer target: tokenize, parse, print the tree and run the parse driver
// (its diagnostics go to a discarded standard output) on arbitrary bytes,
// and check the tree's links and the result's lists on every input.
#include <stdint.h>
#include <stdio.h>

#include "base/arena.h"
#include "kav/kav_document.h"
#include "kav/kav_parser.h"
#include "kav/kav_print.h"
#include "kav/kav_tokenizer.h"
#include "site/site_state.h"

static Arena* g_arena;
static SiteState g_site;

#define REQUIRE(cond)                                                        \
    do {                                                                     \
        if (!(cond)) {                                                       \
            fprintf(stderr, "broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            __builtin_trap();                                                \
        }                                                                    \
    } while (0)

static void check_tokens(const KavTokens& tokens, u64 size) {
    u64 at = 0;
    for (u64 k = 0; k < tokens.count; k += 1) {
        REQUIRE(tokens.tokens[k].begin == at);
        REQUIRE(tokens.tokens[k].end > at);
        at = tokens.tokens[k].end;
    }
    REQUIRE(at == size);
}

// Links agree both ways, counts match, and every node's text that points
// into the source stays inside it.
static void check_tree(const KavParseResult& r, String source) {
    if (!r.root) return;
    REQUIRE(r.root->parent == kav_nil());
    const KavNode* node = r.root;
    for (;;) {
        REQUIRE(node->kind > 0 && node->kind < KAV_NODE_KIND_COUNT);
        REQUIRE(node->offset <= source.size);
        if (node->text.str >= source.str && node->text.str <= source.str + source.size) {
            REQUIRE(node->text.str + node->text.size <= source.str + source.size);
        }
        u64 children = 0;
        const KavNode* previous = kav_nil();
        for (const KavNode* c = node->first; !kav_node_is_nil(c); c = c->next) {
            REQUIRE(c->parent == node);
            REQUIRE(c->prev == previous);
            previous = c;
            children += 1;
        }
        REQUIRE(node->last == previous);
        REQUIRE(node->child_count == children);
        if (!kav_node_is_nil(node->first)) {
            node = node->first;
            continue;
        }
        while (node != r.root && kav_node_is_nil(node->next)) node = node->parent;
        if (node == r.root) break;
        node = node->next;
    }
    for (KavNodeCell* c = r.footnotes.first; c; c = c->next) REQUIRE(c->node->kind == KAV_NODE_FOOTNOTE);
    for (KavNodeCell* c = r.internal_links.first; c; c = c->next) {
        REQUIRE(c->node->kind == KAV_NODE_INTERNAL_LINK);
        REQUIRE(!kav_node_is_nil(c->node->first));
        REQUIRE(c->node->first->flags & KAV_FLAG_LINK_TARGET);
    }
    for (KavNodeCell* c = r.urls.first; c; c = c->next) REQUIRE(c->node->flags & KAV_FLAG_URL);
    for (KavNodeCell* c = r.toc_entries.first; c; c = c->next) REQUIRE(c->node->kind == KAV_NODE_HEADING);
    u64 last = 0;
    for (KavNodeCell* c = r.file_paths.first; c; c = c->next) {
        REQUIRE(c->node->offset >= last);  // document order
        last = c->node->offset;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_arena = arena_create(GB(64), MB(1));
    g_site.arena = g_arena;
    g_site.root = S("/fuzz-site/");
    g_site_state = &g_site;
    // The driver prints diagnostics; the fuzzer's output stays readable.
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
    check_tree(result, source);
    String printed = kav_print_result(g_arena, &result, source);
    fwrite(printed.str, 1, printed.size, stdout);
    KavParseResult driven = kav_parse_document(g_arena, source, S("fuzz.kav"));
    REQUIRE(driven.diagnostics.count == 0);
    check_tree(driven, source);
    arena_pop_to(g_arena, mark);
    return 0;
}
