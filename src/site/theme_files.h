// The default theme of a site root: the fonts the shared style sheet names
// ('IconFont', "Figtree", "Fira Code") with their licences, the fonts.css
// that declares them, and a css_kav.css that makes pages read well on narrow
// screens. kavsite carries these files in its binary (made at build time
// from Debian's font packages and src/site/theme/) and writes each one that
// a site root lacks; a file already there is the site's own and is never
// replaced.
#pragma once

#include "base/arena.h"
#include "base/string.h"

// ---- Files -------------------------------------------------------------------------

struct ThemeFile {
    String path;   // under the site root, "/" separated
    String bytes;  // the whole file
};

// Generated table (theme_files_data.cpp).
extern const ThemeFile theme_files[];
extern const u64 theme_file_count;

// The theme file at `path` under the root; null when there is none.
const ThemeFile* theme_file_find(String path);

// Writes every theme file that does not exist under `root` (ending in "/").
// Returns how many were written; a file that cannot be written is reported
// with "\tFaiLure: <path>\n", counted in `*failures` (unless null), and the
// others are still written.
u64 theme_write_missing_files(Arena* arena, String root, u64* failures = 0);

// ---- Script ------------------------------------------------------------------------

// The site's script that pages load with `js` (the unminified one with
// `dev_js`), as a file under the site root.
#define THEME_SCRIPT_PATH "html/shared/javascript/website/website_shared.min.js"
#define THEME_DEV_SCRIPT_PATH "html/shared/javascript/website/website_shared.js"

// With `js` on and no file at the path the pages load, prints one warning
// line naming it. Returns true when the warning was printed.
bool theme_warn_missing_script(Arena* arena, String root, u32 js, u32 dev_js);
