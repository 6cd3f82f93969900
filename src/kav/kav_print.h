// A compact text form of a parse result, one node per line, for tests, the
// language guide's examples, the fuzzer and debugging:
//   Heading level=2 indent=4
//     Word "Intro" space
// (deeper than 64 levels a line starts with its depth in parentheses instead
// of blanks) followed by the result's lists (notes, link targets, URLs, file paths,
// table of content, title, status, output paths, diagnostics).
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "kav/kav_node.h"

// The tree below the root (the root itself is not printed) and the lists.
String kav_print_result(Arena* arena, const KavParseResult* result, String source);
// One subtree, starting at `depth` levels of indentation.
void kav_print_subtree(Arena* arena, StringList* out, const KavNode* node, u64 depth);
// Checks the invariants every parse result keeps: child and sibling links
// agree both ways, child counts match, offsets and source slices stay inside
// the source, the lists hold the kinds they promise in document order.
// Returns an empty string when all hold, else what is broken.
String kav_check_result(Arena* arena, const KavParseResult* result, String source);

// The names of a node's flags, separated by spaces.
String kav_flag_names(Arena* arena, u32 kind, u64 flags);
