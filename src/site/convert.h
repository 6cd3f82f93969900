// Node-to-HTML conversion: a parsed KAV tree becomes DOM elements under a
// container, in one walk without recursion. Structural elements get ids made
// of their node kind's class code and a number, which the shared style sheet
// and the page's own links (table of content, footnotes, internal links)
// rely on.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/site.h"

// ---- One page's builder ------------------------------------------------------------

// What building one page needs besides its document: the site, the arena of
// the page's DOM, and the number of most element ids: every use takes the
// current value and increments it, so ids are unique across the table of
// content, the body and the footnotes of one page.
struct PageBuilder {
    const Site* site;
    Arena* arena;
    u64 element_counter;
};

PageBuilder page_builder(const Site* site, Arena* arena);
// The link to write for `path` on this site.
String page_link(const PageBuilder* builder, Arena* arena, String path);

// ---- Conversion -------------------------------------------------------------------

// Converts `start` and everything after it in document order, up to the end
// of `document`'s tree (its root is the boundary of the walk) or of the
// subtree of a detached start node (a footnote, a table-of-content copy),
// into `container`. `document_path` is the page path the "view raw" link is
// made from; the two numbers start the call's list and link counters;
// `toc_tree` (or the nil element) is the page's table of content, whose links
// give headings their ids. DOM nodes and texts come from the builder's arena.
void convert_nodes(PageBuilder* builder, KavNode* start, const KavParseResult* document, HtmlNode* container,
                   String document_path, u64 first_list_number, u64 first_link_number, HtmlNode* toc_tree);

// ---- DOM helpers used by page assembly -------------------------------------------------

// Points an element at another row of the element table; its attributes and
// content stay.
void html_element_retag(HtmlNode* element, HtmlTag tag);
// Removes the attribute from the element (nothing when it has none).
void html_remove_attribute(HtmlNode* element, HtmlAttr attr);
// Sets the attribute to exactly one value, dropping earlier values.
void html_replace_attribute(Arena* arena, HtmlNode* element, HtmlAttr attr, String value);
// "<" becomes "&lt;"; nothing else changes. The text itself when it holds no
// "<".
String html_escape_lt(Arena* arena, String text);
