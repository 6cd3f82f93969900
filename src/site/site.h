// The context of one build of a site, made by the build driver and passed
// down to everything that generates pages: the settings, the parsed
// templates every page copies, the reader of site files, the output paths of
// the build and the wrong paths the check pass found. Nothing in page
// generation reads global state.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"
#include "htmldom/html_dom.h"

struct SiteSettings {
    String root;  // site root, absolute, ending in "/"
    u32 deploy;   // links are site-absolute instead of file:// URLs
    u32 js;       // pages load the site's shared script
    u32 dev_js;   // the unminified script (js is on too)
    u32 file_p_check;  // local file paths named in documents are checked
    u32 check_urls;    // external URLs named in documents are checked
    u32 print_todos;   // accepted, reserved
    String site_title;  // names the site in a new root's head and in the home page's title; may be empty
};

// Reads a whole file of the site (a template): empty when it is missing.
typedef String SiteFileReader(Arena* arena, String path);

// The output paths of a build, kept as 128-bit hashes of the paths (only
// equality is asked of them, and two paths of one site sharing a hash is
// out of reach): open addressing, in an arena of its own that is remade
// when the table grows.
struct SiteOutputHash {
    u64 high;
    u64 low;  // high and low both 0: an empty slot
};

struct SiteOutputTable {
    Arena* arena;  // holds `slots` alone
    SiteOutputHash* slots;
    u64 capacity;  // a power of two; at most seven eighths are used
    u64 count;
};

struct Site {
    SiteSettings settings;
    Arena* arena;               // lives as long as the site
    SiteFileReader* read_file;  // null: files are read directly
    // The first element of each template, parsed once; every page gets a
    // copy. The nil element when the template is missing or holds none.
    HtmlNode* head_template;
    HtmlNode* menu_template;
    SiteOutputTable outputs;    // the pages of this build
    DiagnosticList wrong_paths;  // one warning per local file path that exists nowhere
};

// A site in an arena of its own, with a copy of `settings`; no templates yet.
Site* site_create(const SiteSettings* settings);

// The bytes of a site file through the site's reader.
String site_read_file(const Site* site, Arena* arena, String path);

// Parses the head and menu templates every page copies from their texts.
// Problems of a template are shown when the shared resources are made, not
// here.
void site_set_templates(Site* site, String head_text, String menu_text);
// The same with the templates as they are under the root.
void site_load_templates(Site* site);

// The output paths of this build: absolute, normalized paths of pages.
// Adding returns false when the path is already there. Memory: 16 bytes per
// slot, between 1.33 and 2.67 slots per path.
bool site_add_output_path(Site* site, String path);
bool site_has_output_path(const Site* site, String path);
u64 site_output_count(const Site* site);
