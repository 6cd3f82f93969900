// Hints: warnings for slips that the grammar takes without a word, each
// naming what to write instead: a misspelled header key, a document that
// publishes no page, tabs in indentation, Markdown habits (bullets, "#"
// headings, links, table rows, fences) and URLs written without quotes.
// They read the source, its tokens and the parse result and change nothing;
// the parse driver prints them with the parser's own diagnostics.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"
#include "kav/kav_node.h"
#include "kav/kav_tokenizer.h"

// Warnings (level 2) for `source`, whose tokens are `tokens` and whose parse
// is `result`, in source order, messages in `arena`. At most one hint of a
// kind per line; the work is linear in the document. An empty parse (no
// root) gets none.
DiagnosticList kav_hints(Arena* arena, String source, const KavTokens* tokens, const KavParseResult* result);
