// Images: a word marked as an image becomes an `img` element with its source
// link, its alternative text and its size.
#pragma once

#include "base/arena.h"

struct HtmlNode;     // htmldom/html_dom.h
struct KavNode;      // kav/kav_node.h
struct PageBuilder;  // site/convert.h

// The `img` for an image word. Its description (a Desc first child) gives
// the alternative text (a quoted word) and the size (a word such as
// 640x480); without a size a JPEG file's own size is read. With the file
// path check on, a local source that the check pass found missing is left
// out. DOM nodes come from the builder's arena.
HtmlNode* make_image(PageBuilder* builder, const KavNode* word);
