// The parse driver: tokenizes and parses one KAV document, prints its
// diagnostics and hints and hands back the parse result.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"

// Parses the whole document `source`; `path` names it in messages. The
// result's nodes live in `arena` (the tokens only during the call). Its
// diagnostics and hints (kav_hints.h), in source order, are printed here in
// `form`, and the returned list is empty; `success` is 0 when one reached
// level 4 or 5. An empty source gives an all-zero result and prints nothing.
KavParseResult kav_parse_document(Arena* arena, String source, String path, DiagnosticForm form = DIAG_FORM_BLOCK);
