// The site's shared resources, regenerated at the start of every build under
// the site root: the shared style sheet (one `style` element that every page
// head carries), the style sheets of the shared CSS folder with their url(...)
// references resolved, and the head and menu templates that page assembly
// reads, rewritten in place. A site root without templates gets minimal
// default ones first, so a new site builds.
#pragma once

#include "base/arena.h"
#include "base/string.h"
#include "site/site.h"

// ---- Files under the site root ------------------------------------------------

#define SHARED_STYLE_DOCUMENT_PATH "html/shared/css/kav/css_default.html"
#define SHARED_KAV_CSS_PATH "shared/css/kav/css_kav.css"  // read only; not under html/
#define SHARED_HEAD_TEMPLATE_PATH "html/shared/html/default_head.html"
#define SHARED_MENU_TEMPLATE_PATH "html/shared/html/default_menu.html"
#define SHARED_CSS_FOLDER "html/shared/css/"
#define SHARED_FONTS_CSS_NAME "fonts.css"  // left alone by the url(...) rewrite

// ---- Shared style sheet ----------------------------------------------------------

// Appends the rules of the shared style sheet in their fixed order: element
// defaults, node-kind rules by id and class, icon rules, the whole text of
// css_kav.css as one rule, the fixed layout rules, the list marker, the
// context and footnote rules, the tag font rules, and with `js` the
// selection and highlight rules.
void shared_style_rules(Arena* arena, StringList* out, String kav_css, u32 js);
// The serialized document of the shared sheet: "<style>" rules "</style>".
String shared_style_document(Arena* arena, String kav_css, u32 js);

// ---- Rewrites (pure: text in, text out) -----------------------------------------------

// The rewrites resolve links for the settings' root and deploy switch; `js`
// adds the node-kind `meta` elements to the head.

// True when a link written in a template or style sheet points into the site
// and is resolved; external URLs ("https://...", "mailto:", "data:",
// protocol-relative "//host/..."), fragments ("#x") and empty links are kept.
bool shared_link_points_into_site(String link);

// Every url(...) argument of a style sheet replaced by its link resolution;
// quotes and every other byte are kept. A quoted argument runs to its closing
// quote (or the end of the text); an unquoted one to the next ")", blanks
// around it kept. An argument that does not point into the site is kept, and
// so is a "url(" inside a comment or a string.
String shared_rewrite_css_urls(Arena* arena, String text, const SiteSettings* settings);

// The head template rewritten: its `style` children removed, the href of
// each element child resolved, then "*{all:unset;}" and the shared sheet's
// `style` element appended and, with `js`, one `meta` per node-kind class
// code (name = code, content = kind name) unless an element with that name
// is there. Empty when `style_document` is empty (the template is then left
// as it was). A text without an element is replaced by the default head.
// `path` names the template in the reader's messages.
String shared_rewrite_head(Arena* arena, String head_text, String path, String style_document,
                           const SiteSettings* settings);

// The menu template rewritten: the menu element (the first top-level
// element) loses its style; in its first `ul` the first `a` of each item has
// its href resolved ("/" stands for "/index.html"); the menu gets id "menu"
// and its fixed style. A text without an element is replaced by the default
// menu.
String shared_rewrite_menu(Arena* arena, String menu_text, String path, const SiteSettings* settings);

// Default templates for a site root that has none. The head has the
// charset, the viewport for narrow screens, the title (`site_title`, or
// "Ilvo Marsk" when empty) and the link to the theme's fonts.css.
String shared_default_head(Arena* arena, String site_title);
String shared_default_menu();

// The head as a build leaves it when URLs are not checked: the node-kind
// `meta` elements and the head's `style` elements removed.
String shared_strip_head(Arena* arena, String head_text);

// ---- The whole step ------------------------------------------------------------------

// Regenerates every shared resource under the site's root,
// in order: the shared sheet, the url(...) rewrite of the shared CSS folder,
// the head template, the menu template; then prints
// "HTML: Shared ressources generated\n". The site takes the rewritten head
// (with the styles) and menu as the templates of its pages. The head file is
// written as it ends the build: with the styles when URLs are checked,
// stripped otherwise. Files are replaced atomically, and only when their
// bytes change; a file that cannot be written is reported with
// "\tFaiLure: <path>\n" and the step goes on. A root that is not an existing
// folder gets nothing written and the site no templates. `arena` holds
// nothing the caller needs afterwards. Before all that, the theme files the
// root lacks are written, and with `js` a missing site script is reported.
// Returns how many files could not be written.
u64 generate_shared_resources(Arena* arena, Site* site);
