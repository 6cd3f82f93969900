// The parse driver: tokenizes and parses one KAV document, prints its
// diagnostics and hands back the parse result.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"

// Parses the whole document `source`; `path` names it in messages. The
// result's nodes live in `arena` (the tokens only during the call). Its
// diagnostics are printed here, in the three-line format, and the returned
// list is empty; `success` is 0 when one reached level 4 or 5. An empty
// source gives an all-zero result and prints nothing.
KavParseResult kav_parse_document(Arena* arena, String source, String path);
