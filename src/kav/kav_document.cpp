#include "kav/kav_document.h"

#include "kav/kav_hints.h"
#include "kav/kav_parser.h"
#include "kav/kav_tokenizer.h"

// Before a block is placed in the body, the blocks before the last two go.
static void free_passed_blocks(void* context, KavNode* main) {
    kav_node_pool_free_children_before((KavNodePool*)context, main, main->last->prev);
}

static KavParseResult parse_document(Arena* arena, String source, String path, bool in_parts) {
    KavParseResult result = {};
    if (source.size == 0) return result;
    // The tokens are only needed while parsing: they live in scratch memory,
    // made a stretch at a time for a document parsed in parts. The tokenizer
    // reports nothing; the hints join the parser's diagnostics in source
    // order.
    Scratch scratch(arena);
    KavTokens tokens = in_parts ? kav_tokenize_windowed(scratch.arena, source) : kav_tokenize(scratch.arena, source);
    KavNodePool pool = {};
    KavParser* parser = kav_parser_begin(arena, path, source, &tokens, in_parts ? &pool : 0, 0, 0);
    kav_parser_run(parser, in_parts ? free_passed_blocks : 0, &pool);
    result = kav_parser_end(parser);
    DiagnosticList hints = kav_hints(arena, source, &tokens, &result);
    diag_merge(&result.diagnostics, &hints);
    if (in_parts) {
        // Only the header and what the lists name are read from here on:
        // the rest of the tree goes to a second parse, and the root keeps
        // its header alone, with no link left to a node given back.
        KavNode* root = result.root;
        KavNode* child = root->first;
        root->first = root->last = kav_nil();
        root->child_count = 0;
        while (!kav_node_is_nil(child)) {
            KavNode* next = child->next;
            if (child->kind == KAV_NODE_CONTEXT_DOCUMENT) {
                kav_node_append(root, child);
            } else {
                kav_node_pool_free_subtree(&pool, child);
            }
            child = next;
        }
        result.spare = push_struct<KavNodePool>(arena);
        *result.spare = pool;
    }
    result.success = result.diagnostics.max_level <= DIAG_ERROR ? 1 : 0;
    return result;
}

KavParseResult kav_parse_document(Arena* arena, String source, String path) {
    return parse_document(arena, source, path, false);
}

KavParseResult kav_parse_document_facts(Arena* arena, String source, String path) {
    return parse_document(arena, source, path, true);
}
