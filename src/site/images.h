// Images: a word marked as an image becomes an `img` element with its source
// link, its alternative text and its size.
#pragma once

#include "base/arena.h"

struct HtmlNode;  // htmldom/html_dom.h
struct KavNode;   // kav/kav_node.h

// The `img` for an image word. Its description (a Desc first child) gives
// the alternative text (a quoted word) and the size (a word such as
// 640x480); without a size a JPEG file's own size is read. With the file
// path check on, a source that is known to be missing or broken is left out.
HtmlNode* make_image(Arena* arena, const KavNode* word);
