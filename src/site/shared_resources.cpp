#include "site/shared_resources.h"

#include "base/os.h"
#include "htmldom/html_dom.h"
#include "htmldom/html_head.h"
#include "htmldom/html_reader.h"
#include "kav/kav_node.h"
#include "site/icons.h"
#include "site/links.h"
#include "site/theme_files.h"

// ---- Constant tables ---------------------------------------------------------------

// Rules written after css_kav.css, in this order.
static constexpr String shared_fixed_rules[] = {
    SC("html{font-family:\"Figtree\"}"),
    SC("#menu>ul{display:flex;flex-direction:row;}"),
    SC(".btn{padding:0.1em 0.6em;background-color:#e5ddcd;margin:0;border-radius:0.2rem}"),
    SC("ul li{margin-left:1.5em;}"),
    SC("[class*=\"co_he_\"]{font-weight:600;}"),
    SC("[id*=\"toc_i_\"]>a{color:unset;color:#494747;}"),
    SC(".icon{margin-top:0;}"),
    SC(".cat-it{border:#d7cfcf 1px solid;background-color:#fbf8f4;border-radius:2px;padding:0 0.2em;"
       "margin-right:0.2em;font-family:'Fira Code';font-size:0.8em;}"),
    SC(".ta_c{display:flex;flex-direction:row;}"),
};
static_assert(ARRAY_COUNT(shared_fixed_rules) == 9, "nine fixed rules");

// Font rules per element, "<tag>{<style>}" then `after`, in element-table
// order.
struct SharedTagFontRule {
    HtmlTag tag;
    String style;
    String after;  // a further rule written right after this one
};

static constexpr SharedTagFontRule shared_tag_font_rules[] = {
    {HTML_TAG_PRE, SC("font-family:Fira Code"), SC("")},
    {HTML_TAG_H1, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_H2, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_H3, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_H4, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_H5, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_P, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_UL, SC("list-style:none;"), SC("")},
    {HTML_TAG_LI, SC("font-family:Figtree"), SC("")},
    {HTML_TAG_SPAN, SC("font-size:1em;"), SC("")},
    {HTML_TAG_A,
     SC("color:#111051;text-decoration:none;font-weight:500;border: 1px solid transparent;border-top:none;"
        "border-left:none;border-right:none;color:#0f0d5f;"),
     SC("a:hover{border-color:#6d6760;}")},
    {HTML_TAG_TABLE, SC("margin-right: 0.5rem;"), SC("")},
    {HTML_TAG_TR, SC("font-family:'Fira Code';font-size: 0.8rem;"), SC("")},
    {HTML_TAG_TIME, SC("font-size:1em;"), SC("")},
    {HTML_TAG_SUP, SC("font-family:Fira Code"), SC("")},
};
static_assert(ARRAY_COUNT(shared_tag_font_rules) == 15, "fifteen tag font rules");

static constexpr bool shared_tag_rules_in_table_order() {
    for (u64 i = 1; i < ARRAY_COUNT(shared_tag_font_rules); i += 1) {
        if (shared_tag_font_rules[i - 1].tag >= shared_tag_font_rules[i].tag) return false;
    }
    return true;
}
static_assert(shared_tag_rules_in_table_order(), "tag font rules follow the element table");

// Selection and highlight styles, one row per element of the default-style
// table except `html`. Every style is empty and every switch off today, so
// the rows produce no rule; they are where such styles go.
struct SharedSelectionRow {
    HtmlTag tag;
    String selection;  // written as "<tag>.sel{...}" when not empty
    String highlight;  // written as "<tag>.highl{...}" when `highlight_on`
    u32 highlight_on;
};

static constexpr SharedSelectionRow shared_selection_rows[] = {
    {HTML_TAG_P, SC(""), SC(""), 0},     {HTML_TAG_BODY, SC(""), SC(""), 0},   {HTML_TAG_PRE, SC(""), SC(""), 0},
    {HTML_TAG_A, SC(""), SC(""), 0},     {HTML_TAG_H1, SC(""), SC(""), 0},     {HTML_TAG_H2, SC(""), SC(""), 0},
    {HTML_TAG_H3, SC(""), SC(""), 0},    {HTML_TAG_H4, SC(""), SC(""), 0},     {HTML_TAG_H5, SC(""), SC(""), 0},
    {HTML_TAG_STYLE, SC(""), SC(""), 0}, {HTML_TAG_DIV, SC(""), SC(""), 0},    {HTML_TAG_UL, SC(""), SC(""), 0},
    {HTML_TAG_TABLE, SC(""), SC(""), 0}, {HTML_TAG_THEAD, SC(""), SC(""), 0},  {HTML_TAG_TR, SC(""), SC(""), 0},
    {HTML_TAG_TH, SC(""), SC(""), 0},    {HTML_TAG_TD, SC(""), SC(""), 0},     {HTML_TAG_TBODY, SC(""), SC(""), 0},
    {HTML_TAG_HR, SC(""), SC(""), 0},    {HTML_TAG_TITLE, SC(""), SC(""), 0},  {HTML_TAG_BLOCKQUOTE, SC(""), SC(""), 0},
    {HTML_TAG_EM, SC(""), SC(""), 0},    {HTML_TAG_STRONG, SC(""), SC(""), 0}, {HTML_TAG_SPAN, SC(""), SC(""), 0},
    {HTML_TAG_CODE, SC(""), SC(""), 0},  {HTML_TAG_BUTTON, SC(""), SC(""), 0}, {HTML_TAG_INPUT, SC(""), SC(""), 0},
    {HTML_TAG_LI, SC(""), SC(""), 0},    {HTML_TAG_OL, SC(""), SC(""), 0},
};
static_assert(ARRAY_COUNT(shared_selection_rows) == 29, "one selection row per styled element but html");

// The menu's fixed style, then its size in viewport units.
#define SHARED_MENU_STYLE \
    "box-sizing:border-box;border-bottom: 1px #efefef solid;display:flex;justify-content:space-around;"
#define SHARED_MENU_SIZE_FORMAT "width:%.1fvw;min-width:%.1fvw;padding:%.1fvw %.1fvw;min-height:%.1fvh;height:%.1fvh;"
static constexpr f64 shared_menu_size[6] = {100, 100, 0.5, 0.5, 5, 5};

// ---- Shared style sheet ------------------------------------------------------------

static String shared_element_name(HtmlTag tag) {
    const HtmlElementInfo* row = html_element_info_by_tag(tag);
    return row ? row->name : String{};
}

void shared_style_rules(Arena* arena, StringList* out, String kav_css, u32 js) {
    html_write_default_styles(arena, out);

    // Node-kind rules: the conversion puts the class codes into ids and
    // classes, so the kinds' default styles reach the pages through these.
    for (const KavKindRow& row : kav_kind_table) {
        if (row.style.size == 0) continue;
        string_list_pushf(arena, out, "[id*=\"%.*s\"]{%.*s}", STR_ARG(row.code), STR_ARG(row.style));
        string_list_pushf(arena, out, "[class*=\"%.*s\"]{%.*s}", STR_ARG(row.code), STR_ARG(row.style));
    }

    string_list_push(arena, out,
                     S(".icon{font-family:'IconFont';width:1em;height:1em;display:inline-block;text-align:center;}"));
    for (const IconInfo& icon : icon_table) {
        // An apostrophe glyph would end the quoted content value early.
        string_list_pushf(arena, out,
                          string_equal(icon.glyph, S("'")) ? ".icon-%.*s::before{content:'\\%.*s';}"
                                                           : ".icon-%.*s::before{content:'%.*s';}",
                          STR_ARG(icon.name), STR_ARG(icon.glyph));
    }

    string_list_push(arena, out, kav_css);
    for (String rule : shared_fixed_rules) string_list_push(arena, out, rule);

    String square = icon_table[ICON_SQUARE].glyph;
    string_list_pushf(arena, out, "li.it_un::marker{font-family:'IconFont';content:'%.*s   ';font-size:0.4rem;}",
                      STR_ARG(square));

    String document_code = kav_kind_code(KAV_NODE_CONTEXT_DOCUMENT, 0);
    String context_code = kav_kind_code(KAV_NODE_CONTEXT, 0);
    String inline_code = kav_kind_code(KAV_NODE_CONTEXT, KAV_FLAG_INLINE_CONTEXT);
    String footnotes_code = kav_kind_code(KAV_NODE_FOOTNOTE_LIST, 0);
    string_list_pushf(arena, out,
                      "#%.*s{display:flex;flex-direction:column;width:30vw;max-width:30vw;padding:1em 1em;"
                      "border:1px solid #e1e1e1;border-radius:2px;}",
                      STR_ARG(document_code));
    String context_codes[] = {context_code, inline_code};
    for (String code : context_codes) {
        string_list_pushf(arena, out,
                          ".%.*s{;font-size: 0.8rem;font-family:'Fira Code';color:#5e5858;border-radius:3px;"
                          "border:#d7cfcf 1px solid;display:flex;flex-direction:column;width:fit-content;padding:1em;}",
                          STR_ARG(code));
    }
    string_list_pushf(arena, out, "#%.*s li{margin-left:0;}", STR_ARG(footnotes_code));
    string_list_pushf(arena, out, "#%.*s{font-family:\"Fira Code\";}", STR_ARG(footnotes_code));

    for (const SharedTagFontRule& rule : shared_tag_font_rules) {
        String name = shared_element_name(rule.tag);
        string_list_pushf(arena, out, "%.*s{%.*s}", STR_ARG(name), STR_ARG(rule.style));
        if (rule.after.size) string_list_push(arena, out, rule.after);
    }

    if (js) {
        for (const SharedSelectionRow& row : shared_selection_rows) {
            String name = shared_element_name(row.tag);
            if (row.selection.size)
                string_list_pushf(arena, out, "%.*s.sel{%.*s}", STR_ARG(name), STR_ARG(row.selection));
            if (row.highlight_on)
                string_list_pushf(arena, out, "%.*s.highl{%.*s}", STR_ARG(name), STR_ARG(row.highlight));
        }
    }
}

String shared_style_document(Arena* arena, String kav_css, u32 js) {
    Scratch scratch(arena);
    StringList rules = {};
    shared_style_rules(scratch.arena, &rules, kav_css, js);
    String sheet = string_list_join(scratch.arena, &rules);
    HtmlNode* root = html_node_create(scratch.arena, HTML_NODE_DOCUMENT, 0, String{}, 0);
    html_append_child(root, html_element_create(scratch.arena, HTML_TAG_STYLE, sheet));
    return html_serialize_to_string(arena, root);
}

// ---- Links -----------------------------------------------------------------------------

bool shared_link_points_into_site(String link) {
    if (link.size == 0 || link.str[0] == '#') return false;
    if (string_starts_with(link, S("//"), 0)) return false;
    // A scheme: a letter, then letters, digits, "+", "-" or "."; then ":".
    // One letter and ":" is a drive ("C:/site/...").
    u64 i = 0;
    while (i < link.size &&
           (char_is_alpha(link.str[i]) || (i > 0 && (char_is_digit(link.str[i]) || link.str[i] == '+' ||
                                                     link.str[i] == '-' || link.str[i] == '.')))) {
        i += 1;
    }
    if (i >= 2 && i < link.size && link.str[i] == ':') {
        return string_match(string_prefix(link, i), S("file"), MATCH_CASE_INSENSITIVE);
    }
    return true;
}

static String shared_resolve(Arena* arena, String link, const SiteSettings* settings) {
    if (!shared_link_points_into_site(link)) return link;
    return resolve_link(arena, link, settings->root, settings->deploy);
}

// Replaces the attribute's value (attributes other than `id` would gain a
// second value otherwise).
static void shared_replace_attribute(Arena* arena, HtmlNode* element, HtmlAttr attr, String value) {
    html_detach(html_find_attribute(element, attr));
    html_set_attribute(arena, element, attr, value);
}

static void shared_resolve_href(Arena* arena, HtmlNode* element, String href, const SiteSettings* settings) {
    String resolved = shared_resolve(arena, href, settings);
    if (!string_equal(resolved, href)) shared_replace_attribute(arena, element, HTML_ATTR_HREF, resolved);
}

// ---- Style sheet url(...) rewrite --------------------------------------------------------

// The offset after the comment or string that starts at `at`: a comment
// runs to its "*/", a string to its closing quote (a backslash escapes the
// next byte) or to the end of its line; either stops at the end of the text.
static u64 shared_css_skip(String text, u64 at) {
    if (text.str[at] == '/') {
        u64 close = string_find(text, S("*/"), at + 2, 0);
        return close >= text.size ? text.size : close + 2;
    }
    u8 quote = text.str[at];
    for (u64 i = at + 1; i < text.size; i += 1) {
        if (text.str[i] == '\\') {
            i += 1;
        } else if (text.str[i] == quote || text.str[i] == '\n') {
            return i + 1;
        }
    }
    return text.size;
}

String shared_rewrite_css_urls(Arena* arena, String text, const SiteSettings* settings) {
    Scratch scratch(arena);
    StringList out = {};
    u64 copied = 0;  // text before this offset is in `out`
    u64 at = 0;
    while (at < text.size) {
        u8 c = text.str[at];
        // Comments and strings are text: a url( in them refers to nothing.
        if ((c == '/' && at + 1 < text.size && text.str[at + 1] == '*') || c == '"' || c == '\'') {
            at = shared_css_skip(text, at);
            continue;
        }
        if (c != 'u' || !string_starts_with(string_skip(text, at), S("url("), 0)) {
            at += 1;
            continue;
        }
        u64 start = at + 4;
        while (start < text.size && char_is_whitespace(text.str[start])) start += 1;
        u64 end = start;
        u64 after = start;  // where the scan goes on
        if (start < text.size && (text.str[start] == '\'' || text.str[start] == '"')) {
            u8 quote = text.str[start];
            start += 1;
            end = string_find_byte(text, quote, start);
            after = end < text.size ? end + 1 : end;
        } else {
            u64 close = string_find_byte(text, ')', start);
            if (close == text.size) break;  // no argument to rewrite
            end = close;
            after = close + 1;
            while (end > start && char_is_whitespace(text.str[end - 1])) end -= 1;
        }
        String link = string_substr(text, start, end);
        String resolved = shared_resolve(scratch.arena, link, settings);
        if (!string_equal(resolved, link)) {
            string_list_push(scratch.arena, &out, string_substr(text, copied, start));
            string_list_push(scratch.arena, &out, resolved);
            copied = end;
        }
        at = after;
    }
    string_list_push(scratch.arena, &out, string_skip(text, copied));
    return string_list_join(arena, &out);
}

// ---- Templates --------------------------------------------------------------------------

String shared_default_head(Arena* arena, String site_title) {
    String title = site_title.size ? site_title : S("Ilvo Marsk");
    // The title is text: "<" and ">" in it must not open markup; entities
    // already in it stay as they are.
    title = string_replace_all(arena, title, S("<"), S("&lt;"), 0);
    title = string_replace_all(arena, title, S(">"), S("&gt;"), 0);
    return string_format(arena,
                         "<head><meta charset=\"utf-8\" >"
                         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\" >"
                         "<title>%.*s</title><link rel=\"stylesheet\" href=\"/shared/css/fonts.css\" ></head>",
                         STR_ARG(title));
}

String shared_default_menu() { return S("<nav><ul><li><a href=\"/\" >Home</a></li></ul></nav>"); }

static HtmlNode* shared_first_element(HtmlNode* parent) {
    for (HtmlNode* child = parent->first_child; !html_is_nil(child); child = child->next) {
        if (child->kind == HTML_NODE_ELEMENT) return child;
    }
    return html_nil_node;
}

static HtmlNode* shared_first_by_tag(HtmlNode* root, HtmlTag tag) {
    for (HtmlNode* n = root; !html_is_nil(n); n = html_walk_next(n, root, n->kind == HTML_NODE_ATTRIBUTE_LIST)) {
        if (n->kind == HTML_NODE_ELEMENT && n->element->tag == tag) return n;
    }
    return html_nil_node;
}

// The template's document and its first top-level element; the fallback
// text is read instead when the template holds no element.
struct SharedTemplate {
    HtmlDocument document;
    HtmlNode* top;
};

static SharedTemplate shared_read_template(Arena* arena, String text, String path, String fallback) {
    SharedTemplate result = {};
    result.document = html_read_template(arena, text, path, 0);
    result.top = result.document.root ? shared_first_element(result.document.root) : html_nil_node;
    if (html_is_nil(result.top)) {
        result.document = html_read_template(arena, fallback, String{}, 0);
        result.top = shared_first_element(result.document.root);
    }
    return result;
}

String shared_rewrite_head(Arena* arena, String head_text, String path, String style_document,
                           const SiteSettings* settings) {
    if (style_document.size == 0) return String{};
    Scratch scratch(arena);
    SharedTemplate head = shared_read_template(scratch.arena, head_text, path,
                                               shared_default_head(scratch.arena, settings->site_title));
    HtmlNode* content = html_find_kind(head.top, HTML_NODE_CONTENT);

    // Styles of the previous build go; hrefs are resolved (again: resolving
    // a resolved link gives it back).
    for (HtmlNode* child = content->first_child; !html_is_nil(child);) {
        HtmlNode* next = child->next;
        if (child->kind == HTML_NODE_ELEMENT) {
            if (child->element->tag == HTML_TAG_STYLE) {
                html_detach(child);
            } else {
                HtmlNode* href = html_find_attribute(child, HTML_ATTR_HREF);
                if (!html_is_nil(href))
                    shared_resolve_href(scratch.arena, child, html_attribute_value(child, HTML_ATTR_HREF), settings);
            }
        }
        child = next;
    }

    html_append_to_content(head.top, html_element_create(scratch.arena, HTML_TAG_STYLE, S("*{all:unset;}")));
    HtmlDocument sheet = html_read_template(scratch.arena, style_document, String{}, 0);
    if (sheet.root) {
        HtmlNode* style = shared_first_element(sheet.root);
        html_detach(style);
        html_append_to_content(head.top, style);
    }

    if (settings->js) {
        for (const KavKindRow& row : kav_kind_table) {
            if (row.code.size == 0) continue;
            if (!html_is_nil(html_find_by_attribute(head.top, HTML_ATTR_NAME, row.code))) continue;
            HtmlNode* meta = html_element_create(scratch.arena, HTML_TAG_META, String{});
            html_set_attribute(scratch.arena, meta, HTML_ATTR_NAME, row.code);
            html_set_attribute(scratch.arena, meta, HTML_ATTR_CONTENT, row.name);
            html_append_to_content(head.top, meta);
        }
    }
    return html_serialize_to_string(arena, head.document.root);
}

String shared_rewrite_menu(Arena* arena, String menu_text, String path, const SiteSettings* settings) {
    Scratch scratch(arena);
    SharedTemplate menu = shared_read_template(scratch.arena, menu_text, path, shared_default_menu());
    html_detach(html_find_attribute(menu.top, HTML_ATTR_STYLE));

    HtmlNode* list = shared_first_by_tag(menu.top, HTML_TAG_UL);
    HtmlNode* items = html_find_kind(list, HTML_NODE_CONTENT);
    if (!html_is_nil(list)) {
        for (HtmlNode* item = items->first_child; !html_is_nil(item); item = item->next) {
            if (item->kind != HTML_NODE_ELEMENT) continue;
            HtmlNode* a = shared_first_by_tag(item, HTML_TAG_A);
            if (html_is_nil(a)) continue;
            String href = html_attribute_value(a, HTML_ATTR_HREF);
            if (string_equal(href, S("/"))) {
                shared_replace_attribute(scratch.arena, a, HTML_ATTR_HREF, S("/index.html"));
                href = S("/index.html");
            }
            shared_resolve_href(scratch.arena, a, href, settings);
        }
    }

    html_set_attribute(scratch.arena, menu.top, HTML_ATTR_ID, S("menu"));
    html_set_attribute(scratch.arena, menu.top, HTML_ATTR_STYLE, S(SHARED_MENU_STYLE));
    String size = string_format(scratch.arena, SHARED_MENU_SIZE_FORMAT, shared_menu_size[0], shared_menu_size[1],
                                shared_menu_size[2], shared_menu_size[3], shared_menu_size[4], shared_menu_size[5]);
    html_set_attribute(scratch.arena, menu.top, HTML_ATTR_STYLE, size);
    return html_serialize_to_string(arena, menu.document.root);
}

// ---- The whole step ------------------------------------------------------------------------

String shared_strip_head(Arena* arena, String head_text) {
    String codes[KAV_KIND_ROW_COUNT];
    for (u64 i = 0; i < KAV_KIND_ROW_COUNT; i += 1) codes[i] = kav_kind_table[i].code;
    return html_head_strip(arena, head_text, codes, KAV_KIND_ROW_COUNT);
}

// Writes one shared file; a failure is reported and counted.
static void shared_write(String path, String text, u64* failures) {
    if (os_write_file_atomic(path, text)) return;
    console_print("\tFaiLure: %.*s\n", STR_ARG(path));
    *failures += 1;
}

// Every regular file directly in the shared CSS folder but fonts.css (exact
// name) gets its url(...) arguments resolved; an unchanged file is not
// written again.
static void shared_rewrite_css_folder(Arena* arena, const SiteSettings* settings, u64* failures) {
    Scratch scratch(arena);
    String folder = string_format(scratch.arena, "%.*s" SHARED_CSS_FOLDER, STR_ARG(settings->root));
    OsDirIter iter = os_dir_begin(scratch.arena, &folder);
    OsDirEntry entry;
    while (os_dir_next(scratch.arena, &iter, &entry)) {
        if (entry.flags & OS_DIR_ENTRY_DIRECTORY) continue;
        if (string_equal(entry.name, S(SHARED_FONTS_CSS_NAME))) continue;
        String path = string_format(scratch.arena, "%.*s%.*s", STR_ARG(folder), STR_ARG(entry.name));
        if (!os_path_properties(path).is_regular) continue;
        String text = os_read_whole_file(scratch.arena, path);
        String rewritten = shared_rewrite_css_urls(scratch.arena, text, settings);
        if (!string_equal(rewritten, text)) shared_write(path, rewritten, failures);
    }
}

u64 generate_shared_resources(Arena* arena, Site* site) {
    Scratch scratch(arena);
    u64 failures = 0;
    SiteSettings settings = site->settings;
    String root = settings.root;
    // A root that is not a folder was reported by the driver; no site is
    // made out of it.
    if (!os_path_properties(root).is_directory) {
        console_print("HTML: Shared ressources generated\n");
        return 0;
    }

    // The theme's fonts and style sheets, where the root lacks them.
    theme_write_missing_files(scratch.arena, root, &failures);
    theme_warn_missing_script(scratch.arena, root, settings.js, settings.dev_js);

    // Read directly, not through the file service: these files are replaced
    // here, and the pages must read the new contents.
    String kav_css_path = string_format(scratch.arena, "%.*s" SHARED_KAV_CSS_PATH, STR_ARG(root));
    String kav_css = os_read_whole_file(scratch.arena, kav_css_path);
    String sheet = shared_style_document(scratch.arena, kav_css, settings.js);
    shared_write(string_format(scratch.arena, "%.*s" SHARED_STYLE_DOCUMENT_PATH, STR_ARG(root)), sheet, &failures);

    shared_rewrite_css_folder(scratch.arena, &settings, &failures);

    // The pages take the head with the styles from here. The file keeps it
    // only when URLs are checked; otherwise it is written as the end of a
    // build leaves it, without the styles and the node-kind metas, so the
    // head is written once, and not at all when nothing changed.
    String head_path = string_format(scratch.arena, "%.*s" SHARED_HEAD_TEMPLATE_PATH, STR_ARG(root));
    String head_text = os_read_whole_file(scratch.arena, head_path);
    String head = shared_rewrite_head(scratch.arena, head_text, head_path, sheet, &settings);
    if (head.size) {
        shared_write(head_path, settings.check_urls ? head : shared_strip_head(scratch.arena, head), &failures);
    } else {
        head = head_text;
    }

    String menu_path = string_format(scratch.arena, "%.*s" SHARED_MENU_TEMPLATE_PATH, STR_ARG(root));
    String menu = shared_rewrite_menu(scratch.arena, os_read_whole_file(scratch.arena, menu_path), menu_path, &settings);
    shared_write(menu_path, menu, &failures);

    site_set_templates(site, head, menu);
    console_print("HTML: Shared ressources generated\n");
    return failures;
}
