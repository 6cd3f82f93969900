// The head template rewrite at the end of a build: the `meta` elements that
// name node-kind class codes and the `style` elements directly in the head
// are removed, so that the next build starts from a clean head.
#pragma once

#include "base/arena.h"
#include "base/string.h"

// The template text with, for each non-empty code, the first element whose
// `name` attribute equals it removed, and every `style` element directly in
// the first top-level element (the head) removed. Empty for an empty text.
String html_head_strip(Arena* arena, String text, const String* codes, u64 code_count);
