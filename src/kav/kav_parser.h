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
