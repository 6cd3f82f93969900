// The site's home page, "<root>html/index.html": the page skeleton every
// page has, titled "Ilvo Marsk | Home" (or "<site title> | Home"), with one card per section (the name
// of the folder that holds a page) listing that section's pages by title.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "site/site.h"

#define INDEX_PAGE_TITLE "Ilvo Marsk | Home"
#define INDEX_PAGE_PATH "html/index.html"  // under the site root

// The name of the folder that directly holds `page_path` ("notes" for
// ".../notes/a.html"); empty for a path without a folder.
String index_section_of(String page_path);

// Puts the title and the card grid into `page`, whose document already has
// the page skeleton (a `head`, and an element with id "b_w" that receives
// the grid). For each section in order: a card with id "wp-l-<section>", its
// name as a heading, and a link to each page, in list order, whose folder
// name equals the section (ASCII case-insensitively). Links are resolved for
// `root` and `deploy`. A `site_title` names the site in the page title.
void index_page_fill(Arena* arena, HtmlPage* page, const HtmlPageNode* pages, const StringList* sections, String root,
                     u32 deploy, String site_title = {});

// The pages the home page links, read in order once per section, so that
// they need not be in memory as a list or a tree.
struct IndexPageSource {
    void* context;
    // The page after `cursor` (0: the first) with its output path and title;
    // its own cursor, never 0, or 0 after the last page. The strings are
    // read before the next call.
    u64 (*next)(void* context, u64 cursor, String* path, String* title);
};

// Builds the home page from the pages and the build's sections and writes it
// under the site's root as a stream: the skeleton once, then each card and
// link as it is made, so memory does not grow with the number of pages.
// False when the file could not be written.
bool write_index_page_from(Arena* arena, const Site* site, IndexPageSource pages, const StringList* sections);
// The same from a list of page records.
bool write_index_page(Arena* arena, const Site* site, const HtmlPageNode* pages, const StringList* sections);
