// The parse driver: tokenizes and parses one KAV document and hands back the
// parse result with its diagnostics and hints, unprinted, for the layer
// above to check and print.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"

// Parses the whole document `source`; `path` names it in messages. The
// result's nodes live in `arena` (the tokens only during the call). Its
// diagnostics and hints (kav_hints.h) are in source order; `success` is 0
// when one reached level 4 or 5. An empty source gives an all-zero result.
KavParseResult kav_parse_document(Arena* arena, String source, String path);

// The same result for a large document, parsed with the body's blocks given
// back as the parse moves past them: the tree holds the document's header,
// the last blocks of the body, the notes and the nodes the lists name (with
// the subtrees of the words among them), not the whole body. For the facts a
// page needs before its body is made again a part at a time.
KavParseResult kav_parse_document_facts(Arena* arena, String source, String path);
