// Page assembly: the DOM of one HTML page for a parsed KAV document (the
// skeleton with the site's head and menu templates, the layout panels, the
// title, the table of content, the converted body, the footnotes and the
// document header's toggle), and the DOM of the page's raw view, which shows
// the document's source.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/convert.h"

// ---- Assembly --------------------------------------------------------------------------

// Doctype, `html`, the head from the site's head template (an empty `head`
// when the template is missing or empty), and `body`: the shared script when
// the js option is on, the small-screen banner, the layout panels, the menu
// from the menu template (none when it is missing or empty), a `footer`.
// Creates the page's document root when it has none.
void build_page_skeleton(PageBuilder* builder, HtmlPage* page);
// The page for `document` at `page_path`, built by a fresh `builder` (its
// element counter at 0); DOM nodes come from the builder's arena. `document_path` is the source file
// the document came from: its name without extension is the title of a
// document without a title key. The page's links to its raw view are made
// from `page_path`.
void build_page(PageBuilder* builder, HtmlPage* out, const KavParseResult* document, String document_path,
                String page_path);
// The raw view of a document at `raw_path`: its source shown exactly as
// written in one plain-text block, without menu and side panels, with a
// "Return To Page" link to the page beside it.
// With `text_arena`, the escaped source is made there and the page only
// points at it (serialize with a text writer to keep it uncopied).
void build_raw_page(PageBuilder* builder, HtmlPage* out, String source, String raw_path, Arena* text_arena = 0);

// The title of a page: the words of the document's title key that are not
// links or emphasis marks, else the file name of `document_path` without its
// extension; "<" written as "&lt;".
String page_title(Arena* arena, const KavParseResult* document, String document_path);
// The text of a raw view's `pre` block, which a browser shows as exactly
// the source: every "<" written "&lt;" and every "&" "&amp;", after a line
// feed that the reader drops.
String raw_view_text(Arena* arena, String source);
