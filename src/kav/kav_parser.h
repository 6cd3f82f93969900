// The KAV parser: one forward pass over the tokens of a document, driven by
// a stack of frames, builds the node tree and the lists page generation
// needs. It reads nothing but its tokens: what the words name (files, URLs,
// output paths) is returned for the layer above to check.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"
#include "kav/kav_tokenizer.h"

// Parses `tokens` of `source`. Every node, list cell, frame and message comes
// from `arena`; node texts point into `source`, which must outlive them.
KavParseResult kav_parse(Arena* arena, String path, String source, const KavTokens* tokens);

// ---- A parse that the caller follows ------------------------------------------------------

// The same parse, run by the caller: it can look at the tree as it grows,
// and give nodes it is done with back to a pool that the parser takes new
// nodes from.
struct KavParser;

// Called just before a block is placed in the main block `main` with no
// other frame open: every child of `main` is complete, and nothing reads
// them again but the last (a quote run's member after it is placed by
// looking at it).
typedef void KavBodyHook(void* context, KavNode* main);

enum KavParseFlags : u32 {
    // The tree of the body only, for a document parsed before (`facts`):
    // no table of content, messages, notes or link targets (the first
    // parse's are used), file words flagged as the first parse's were
    // checked, and nothing the lists name is kept from the pool.
    KAV_PARSE_BODY_ONLY = 1 << 0,
};

// A parser for `tokens` of `source`, with its root made; its frames and
// nodes come from `arena` (nodes from `pool` first, when not null).
KavParser* kav_parser_begin(Arena* arena, String path, String source, const KavTokens* tokens, KavNodePool* pool,
                            u32 flags, const KavParseResult* facts);
// The result so far: the root and the lists of what was parsed.
const KavParseResult* kav_parser_result(const KavParser* parser);
// Parses every token, calling `hook` (when not null) at each block placed in
// a main block.
void kav_parser_run(KavParser* parser, KavBodyHook* hook, void* context);
KavParseResult kav_parser_end(KavParser* parser);
