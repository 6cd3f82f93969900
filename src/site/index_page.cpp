#include "site/index_page.h"

#include "site/links.h"
#include "site/page.h"

#define INDEX_GRID_STYLE "display:flex;flex-direction:row;flex-wrap: wrap;justify-content:space-around;"
#define INDEX_CARD_STYLE \
    "border:1px solid #b3b3b3;padding:1rem;border-radius:0.3rem;box-shadow:0 2px 4px rgba(0,0,0,0.1)"
#define INDEX_HEADING_STYLE "text-transform:capitalize;"
#define INDEX_LINK_STYLE "font-size:0.8rem;"

String index_section_of(String page_path) {
    String name = path_file_name(page_path);
    if (name.size == page_path.size) return String{};
    return path_file_name(string_prefix(page_path, page_path.size - name.size - 1));
}

// Titles and folder names are text of the page: "<" and ">" in them must not
// open markup. Entities already in the text stay as they are.
static String index_escape_text(Arena* arena, String text) {
    if (string_find_byte(text, '<', 0) == text.size && string_find_byte(text, '>', 0) == text.size) return text;
    String out = string_replace_all(arena, text, S("<"), S("&lt;"), 0);
    return string_replace_all(arena, out, S(">"), S("&gt;"), 0);
}

// Attribute values are written between double quotes.
static String index_escape_attribute(Arena* arena, String value) {
    if (string_find_byte(value, '"', 0) == value.size) return value;
    return string_replace_all(arena, value, S("\""), S("&quot;"), 0);
}

static void index_clear_content(HtmlNode* element) {
    HtmlNode* content = html_find_kind(element, HTML_NODE_CONTENT);
    while (!html_is_nil(content->first_child)) html_detach(content->first_child);
    content->text = String{};
}

void index_page_fill(Arena* arena, HtmlPage* page, const HtmlPageNode* pages, const StringList* sections, String root,
                     u32 deploy, String site_title) {
    HtmlNode* document = page->document.root;
    String title_text =
        site_title.size ? string_format(arena, "%.*s | Home", STR_ARG(site_title)) : S(INDEX_PAGE_TITLE);

    // The head template's title (the last one) becomes the page's title.
    HtmlNode* title = html_find_last_by_tag(document, HTML_TAG_TITLE);
    if (html_is_nil(title)) title = html_element_create(arena, HTML_TAG_TITLE, String{});
    html_detach(title);
    index_clear_content(title);
    html_append_text(arena, title, index_escape_text(arena, title_text));
    html_append_to_content(html_find_last_by_tag(document, HTML_TAG_HEAD), title);
    page->title = title_text;

    HtmlNode* grid = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, grid, HTML_ATTR_STYLE, S(INDEX_GRID_STYLE));
    html_append_to_content(html_find_by_attribute(document, HTML_ATTR_ID, S("b_w")), grid);

    for (const StringNode* section = sections ? sections->first : 0; section; section = section->next) {
        HtmlNode* card = html_element_create(arena, HTML_TAG_DIV, String{});
        html_set_attribute(arena, card, HTML_ATTR_STYLE, S(INDEX_CARD_STYLE));
        String id = string_format(arena, "wp-l-%.*s", STR_ARG(section->string));
        html_set_attribute(arena, card, HTML_ATTR_ID, index_escape_attribute(arena, id));
        HtmlNode* heading = html_element_create(arena, HTML_TAG_H3, index_escape_text(arena, section->string));
        html_set_attribute(arena, heading, HTML_ATTR_STYLE, S(INDEX_HEADING_STYLE));
        html_append_to_content(card, heading);
        html_append_to_content(grid, card);

        for (const HtmlPageNode* node = pages; node; node = node->next) {
            if (!string_match(index_section_of(node->page.path), section->string, MATCH_CASE_INSENSITIVE)) continue;
            HtmlNode* link = html_element_create(arena, HTML_TAG_A, index_escape_text(arena, node->page.title));
            html_set_attribute(arena, link, HTML_ATTR_STYLE, S(INDEX_LINK_STYLE));
            String href = resolve_link(arena, node->page.path, root, deploy);
            html_set_attribute(arena, link, HTML_ATTR_HREF, index_escape_attribute(arena, href));
            html_append_to_content(card, link);
        }
    }
}

bool write_index_page(Arena* arena, const Site* site, const HtmlPageNode* pages, const StringList* sections) {
    Scratch scratch(arena);
    String root = site->settings.root;
    HtmlPage index = {};
    index.path = string_format(scratch.arena, "%.*s" INDEX_PAGE_PATH, STR_ARG(root));
    PageBuilder builder = page_builder(site, scratch.arena);
    build_page_skeleton(&builder, &index);
    index_page_fill(scratch.arena, &index, pages, sections, root, site->settings.deploy,
                    site->settings.site_title);
    return html_write_file(scratch.arena, &index);
}
