#include "site/index_page.h"

#include "base/os.h"
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

// Sets the page's title (the head template's last title, or a new one) and
// puts the empty card grid into the element with id "b_w"; gives the grid.
static HtmlNode* index_page_frame(Arena* arena, HtmlPage* page, String site_title) {
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
    return grid;
}

// A section's card with its heading and no links yet.
static HtmlNode* index_card(Arena* arena, String section) {
    HtmlNode* card = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, card, HTML_ATTR_STYLE, S(INDEX_CARD_STYLE));
    String id = string_format(arena, "wp-l-%.*s", STR_ARG(section));
    html_set_attribute(arena, card, HTML_ATTR_ID, index_escape_attribute(arena, id));
    HtmlNode* heading = html_element_create(arena, HTML_TAG_H3, index_escape_text(arena, section));
    html_set_attribute(arena, heading, HTML_ATTR_STYLE, S(INDEX_HEADING_STYLE));
    html_append_to_content(card, heading);
    return card;
}

// A page's link on its section's card.
static HtmlNode* index_link(Arena* arena, String path, String title, String root, u32 deploy) {
    HtmlNode* link = html_element_create(arena, HTML_TAG_A, index_escape_text(arena, title));
    html_set_attribute(arena, link, HTML_ATTR_STYLE, S(INDEX_LINK_STYLE));
    String href = resolve_link(arena, path, root, deploy);
    html_set_attribute(arena, link, HTML_ATTR_HREF, index_escape_attribute(arena, href));
    return link;
}

static u64 index_list_next(void* context, u64 cursor, String* path, String* title) {
    const HtmlPageNode* node = cursor ? ((const HtmlPageNode*)cursor)->next : (const HtmlPageNode*)context;
    if (!node) return 0;
    *path = node->page.path;
    *title = node->page.title;
    return (u64)node;
}

static IndexPageSource index_list_source(const HtmlPageNode* pages) { return {(void*)pages, index_list_next}; }

// Every page of `section`, in order, as links appended to `card`.
static void index_fill_card(Arena* arena, HtmlNode* card, IndexPageSource pages, String section, String root,
                            u32 deploy) {
    String path = {};
    String title = {};
    for (u64 at = pages.next(pages.context, 0, &path, &title); at; at = pages.next(pages.context, at, &path, &title)) {
        if (!string_match(index_section_of(path), section, MATCH_CASE_INSENSITIVE)) continue;
        html_append_to_content(card, index_link(arena, path, title, root, deploy));
    }
}

void index_page_fill(Arena* arena, HtmlPage* page, const HtmlPageNode* pages, const StringList* sections, String root,
                     u32 deploy, String site_title) {
    HtmlNode* grid = index_page_frame(arena, page, site_title);
    for (const StringNode* section = sections ? sections->first : 0; section; section = section->next) {
        HtmlNode* card = index_card(arena, section->string);
        html_append_to_content(grid, card);
        index_fill_card(arena, card, index_list_source(pages), section->string, root, deploy);
    }
}

// Stands for the content still to come while a frame is serialized: NUL
// bytes are in no path, and the text around it is cut at the one place it
// is found.
#define INDEX_SPLICE_MARK "\0kavsite-index-splice\0"

struct IndexSplit {
    String before;
    String after;
    bool found;  // the mark is there exactly once
};

// The serialization of `root`, which holds the mark once, cut around it.
static IndexSplit index_split(Arena* arena, HtmlNode* root) {
    String text = html_serialize_to_string(arena, root);
    String mark = S(INDEX_SPLICE_MARK);
    IndexSplit split = {};
    u64 at = string_find(text, mark, 0, 0);
    if (at >= text.size || string_find(text, mark, at + 1, 0) < text.size) return split;
    split.before = string_prefix(text, at);
    split.after = string_skip(text, at + mark.size);
    split.found = true;
    return split;
}

bool write_index_page_from(Arena* arena, const Site* site, IndexPageSource pages, const StringList* sections) {
    Scratch scratch(arena);
    String root = site->settings.root;
    u32 deploy = site->settings.deploy;
    HtmlPage index = {};
    index.path = string_format(scratch.arena, "%.*s" INDEX_PAGE_PATH, STR_ARG(root));
    PageBuilder builder = page_builder(site, scratch.arena);
    build_page_skeleton(&builder, &index);
    HtmlNode* grid = index_page_frame(scratch.arena, &index, site->settings.site_title);
    HtmlNode* mark = html_append_text(scratch.arena, grid, S(INDEX_SPLICE_MARK));
    IndexSplit frame = index_split(scratch.arena, index.document.root);
    if (!frame.found) {
        // The templates hold the mark themselves: the page is built whole.
        html_detach(mark);
        for (const StringNode* section = sections ? sections->first : 0; section; section = section->next) {
            HtmlNode* card = index_card(scratch.arena, section->string);
            html_append_to_content(grid, card);
            index_fill_card(scratch.arena, card, pages, section->string, root, deploy);
        }
        return html_write_file(scratch.arena, &index);
    }

    OsFileStream stream;
    os_stream_begin(scratch.arena, &stream, index.path);
    os_stream_write(&stream, frame.before);
    for (const StringNode* section = sections ? sections->first : 0; section; section = section->next) {
        Scratch card_scratch(arena);
        HtmlNode* card = index_card(card_scratch.arena, section->string);
        html_append_text(card_scratch.arena, card, S(INDEX_SPLICE_MARK));
        IndexSplit open = index_split(card_scratch.arena, card);
        os_stream_write(&stream, open.before);
        // Each link is made, written and let go.
        String path = {};
        String title = {};
        for (u64 at = pages.next(pages.context, 0, &path, &title); at;
             at = pages.next(pages.context, at, &path, &title)) {
            if (!string_match(index_section_of(path), section->string, MATCH_CASE_INSENSITIVE)) continue;
            Scratch link_scratch(arena);
            HtmlNode* link = index_link(link_scratch.arena, path, title, root, deploy);
            os_stream_write(&stream, html_serialize_to_string(link_scratch.arena, link));
        }
        os_stream_write(&stream, open.after);
    }
    os_stream_write(&stream, frame.after);
    return os_stream_end(&stream);
}

bool write_index_page(Arena* arena, const Site* site, const HtmlPageNode* pages, const StringList* sections) {
    return write_index_page_from(arena, site, index_list_source(pages), sections);
}
