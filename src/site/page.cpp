#include "site/page.h"

#include "base/os.h"
#include "htmldom/html_reader.h"
#include "kav/kav_parser.h"
#include "kav/kav_tokenizer.h"
#include "site/convert.h"
#include "site/links.h"

// ---- Templates ------------------------------------------------------------------------

// A copy of a template element of the site for one page; the nil element
// when the site has none.
static HtmlNode* template_copy(Arena* arena, HtmlNode* element) {
    return html_is_nil(element) ? html_nil_node : html_clone(arena, element, false, 0, 0);
}

// ---- Fixed texts -------------------------------------------------------------------------

#define STYLE_WARN_BAN \
    "font-size:0.6rem;text-align:center;left:0;display:none;top:0;position:fixed;width:100vw;max-width:100vw;"
#define STYLE_WARN_TEXT "color:red;background-color:yellow;width:100%;"
#define TEXT_WARN                                                                                            \
    "Warning: the layout for smartphone is not done, it is highly recommended to use desktop to access this " \
    "website."
#define STYLE_LEFT \
    "box-sizing:border-box;display:flex;flex-direction:column;border-right: 1px #efefef solid;position:fixed;"
#define STYLE_RIGHT                                                                                           \
    "box-sizing:border-box;display:flex;flex-direction:column;border-left:1px #efefef solid;position:fixed;" \
    "height:100vh;right:0;"
#define FORMAT_PANEL_SIZE "min-width:%.*svw;width:%.*svw;max-height:%.*svh;height:%.*svh;top:%.*svh;"
#define STYLE_TOC_TITLE "margin-bottom:1rem;font-size:1.5rem;"
#define STYLE_BOTTOM "padding:1rem 2rem;"
#define STYLE_FOOTNOTES "background-color:#f7f7f7;margin-top:5rem;padding:1rem 0.6rem;font-size:0.8em;color:#484745;"
#define STYLE_TOGGLE_ROW "display:flex;flex-direction:column;width:100%;"
#define STYLE_RAW_BLOCK                                                                                           \
    "color:black;width:fit-content;min-width:100vw;height:fit-content;min-height:100vh;padding:0;margin:0;font-" \
    "size:0.7rem;font-family:'Fira Code';user-select:all;cursor: pointer;"
#define STYLE_RETURN "font-size:0.9rem;position:fixed;top:0;left:0;"
#define STYLE_RAW_HTML "background-color:#dbdada;"
#define STYLE_RAW_TOP "padding:0;margin:0;"
#define STYLE_RAW_WRAPPER "padding:0 3rem;"

static const char* const page_toggle_rules[] = {
    ("[class*=\"toggle-content_\"]{padding:0 1.2em;margin:0;display:none !important;background-color:#f9f9f9;"
     "border:1px solid #ddd;border-radius:5px;display:inline-block;}"),
    "input[type=\"checkbox\"]:checked~[class*=\"toggle-content_\"]{display:flex !important;flex-direction:column;}",
    "input[type=\"checkbox\"]:checked~[class*=\"toggle-content_i\"]{display:inline-block !important;}",
};

// Layout sizes, vw across and vh down.
#define LAYOUT_PANEL_HEIGHT 95.0
#define LAYOUT_TOP 5.0
#define LAYOUT_LEFT_WIDTH 10.0
#define LAYOUT_RIGHT_WIDTH 15.0
#define LAYOUT_CONTENT_WIDTH 75.0
#define LAYOUT_CONTENT_LEFT 12.0

// ---- Helpers -------------------------------------------------------------------------------

static HtmlNode* div_with(Arena* arena, String id, String style) {
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, div, HTML_ATTR_ID, id);
    html_set_attribute(arena, div, HTML_ATTR_STYLE, style);
    return div;
}

// The elements of a page that assembly fills, as the skeleton made them.
struct PageParts {
    HtmlNode* html;
    HtmlNode* head;
    HtmlNode* body;
    HtmlNode* top;      // the page's header
    HtmlNode* wrapper;  // the content
};

enum PageKind : u32 {
    PAGE_FULL = 0,  // menu and side panels
    PAGE_RAW = 1,   // a raw view: neither, and its own colours and spacing
};

// Empties an element's content (its text and its children).
static void clear_content(HtmlNode* element) {
    HtmlNode* content = html_find_kind(element, HTML_NODE_CONTENT);
    if (html_is_nil(content)) return;
    while (!html_is_nil(content->first_child)) html_detach(content->first_child);
    content->text = String{};
}

// ---- Skeleton ----------------------------------------------------------------------------------

// The header, the side panels and the content wrapper, appended to `body`.
static void layout(Arena* arena, HtmlNode* body, PageKind kind, PageParts* parts) {
    Scratch scratch(arena);
    String height = string_format(scratch.arena, "%.1f", LAYOUT_PANEL_HEIGHT);
    String top = string_format(scratch.arena, "%.1f", LAYOUT_TOP);
    String left = string_format(scratch.arena, "%.1f", LAYOUT_LEFT_WIDTH);
    String right = string_format(scratch.arena, "%.1f", LAYOUT_RIGHT_WIDTH);
    String width = string_format(scratch.arena, "%.1f", LAYOUT_CONTENT_WIDTH);
    String margin = string_format(scratch.arena, "%.1f", LAYOUT_CONTENT_LEFT);

    HtmlNode* header;
    if (kind == PAGE_RAW) {
        header = div_with(arena, S("top"), S(STYLE_RAW_TOP));
    } else {
        header = div_with(arena, S("top"),
                          string_format(scratch.arena, "box-sizing:border-box;margin-left:%.*svw;margin-top:%.*svh;",
                                        STR_ARG(left), STR_ARG(top)));
        html_set_attribute(
            arena, header, HTML_ATTR_STYLE,
            string_format(scratch.arena, "min-width:%.*svw;width:%.*svw;", STR_ARG(width), STR_ARG(width)));
    }
    html_append_to_content(body, header);
    parts->top = header;

    if (kind == PAGE_RAW) {
        parts->wrapper = html_append_to_content(body, div_with(arena, S("b_w"), S(STYLE_RAW_WRAPPER)));
        return;
    }

    HtmlNode* left_panel = div_with(arena, S("left"), S(STYLE_LEFT));
    html_set_attribute(arena, left_panel, HTML_ATTR_STYLE,
                       string_format(scratch.arena, FORMAT_PANEL_SIZE, STR_ARG(left), STR_ARG(left), STR_ARG(height),
                                     STR_ARG(height), STR_ARG(top)));
    html_append_to_content(body, left_panel);

    HtmlNode* right_panel = div_with(arena, S("right"), S(STYLE_RIGHT));
    html_set_attribute(arena, right_panel, HTML_ATTR_STYLE,
                       string_format(scratch.arena, FORMAT_PANEL_SIZE, STR_ARG(right), STR_ARG(right), STR_ARG(height),
                                     STR_ARG(height), STR_ARG(top)));
    html_append_to_content(body, right_panel);

    HtmlNode* wrapper =
        div_with(arena, S("b_w"),
                 string_format(scratch.arena, "box-sizing:border-box;margin-left:%.*svw;min-width:%.*svw;width:%.*svw;",
                               STR_ARG(margin), STR_ARG(width), STR_ARG(width)));
    html_append_to_content(body, wrapper);
    parts->wrapper = wrapper;
}

// Doctype, `html`, the head from the site's head template (an empty `head`
// when there is none), and `body`: the shared script when the js option is
// on, the small-screen banner, the layout, the menu (full pages), a
// `footer`.
static PageParts page_skeleton(PageBuilder* builder, HtmlPage* page, PageKind kind) {
    PageParts parts = {};
    Arena* arena = builder->arena;
    const Site* site = builder->site;
    if (!page->document.root) {
        page->document.root = html_node_create(arena, HTML_NODE_DOCUMENT, 0, String{}, 0);
        page->document.ok = 1;
    }
    HtmlNode* root = page->document.root;
    HtmlNode* doctype = html_element_create(arena, HTML_TAG_DOCTYPE, String{});
    html_set_attribute(arena, doctype, HTML_ATTR_HTML, String{});
    html_append_child(root, doctype);
    HtmlNode* html = html_element_create(arena, HTML_TAG_HTML, String{});
    html_set_attribute(arena, html, HTML_ATTR_LANG, S("en"));
    if (kind == PAGE_RAW) html_set_attribute(arena, html, HTML_ATTR_STYLE, S(STYLE_RAW_HTML));
    html_append_child(root, html);
    parts.html = html;

    HtmlNode* head = template_copy(arena, site->head_template);
    if (html_is_nil(head)) head = html_element_create(arena, HTML_TAG_HEAD, String{});
    html_append_to_content(html, head);
    parts.head = head;

    HtmlNode* body = html_element_create(arena, HTML_TAG_BODY, String{});
    if (site->settings.js || site->settings.dev_js) {
        Scratch scratch(arena);
        String script = site->settings.dev_js ? S("/shared/javascript/website/website_shared.js")
                                              : S("/shared/javascript/website/website_shared.min.js");
        String link = page_link(builder, scratch.arena, script);
        HtmlNode* preload = html_element_create(arena, HTML_TAG_LINK, String{});
        html_set_attribute(arena, preload, HTML_ATTR_REL, S("preload"));
        html_set_attribute(arena, preload, HTML_ATTR_AS, S("script"));
        html_set_attribute(arena, preload, HTML_ATTR_HREF, link);
        html_append_to_content(head, preload);
        HtmlNode* tag = html_element_create(arena, HTML_TAG_SCRIPT, String{});
        html_set_attribute(arena, tag, HTML_ATTR_SRC, link);
        html_set_attribute(arena, tag, HTML_ATTR_DEFER, String{});
        html_append_to_content(body, tag);
    }

    HtmlNode* banner = div_with(arena, S("warn-ban"), S(STYLE_WARN_BAN));
    HtmlNode* warning = html_element_create(arena, HTML_TAG_P, S(TEXT_WARN));
    html_set_attribute(arena, warning, HTML_ATTR_STYLE, S(STYLE_WARN_TEXT));
    html_append_to_content(banner, warning);
    html_append_to_content(body, banner);

    layout(arena, body, kind, &parts);

    if (kind == PAGE_FULL) {
        HtmlNode* menu = template_copy(arena, site->menu_template);
        if (!html_is_nil(menu)) html_insert(body, menu, HTML_INSERT_CONTENT_FIRST);
    }

    html_append_to_content(body, html_element_create(arena, HTML_TAG_FOOTER, String{}));
    html_append_to_content(html, body);
    parts.body = body;
    return parts;
}

void build_page_skeleton(PageBuilder* builder, HtmlPage* page) { page_skeleton(builder, page, PAGE_FULL); }

// ---- Page ----------------------------------------------------------------------------------------

// The head template's own `title` (the last one) takes the page's title, so
// the page has one.
static void set_head_title(Arena* arena, HtmlNode* head, String text) {
    HtmlNode* title = html_find_last_by_tag(head, HTML_TAG_TITLE);
    if (html_is_nil(title)) {
        title = html_element_create(arena, HTML_TAG_TITLE, String{});
        html_append_to_content(head, title);
    } else {
        clear_content(title);
    }
    html_append_text(arena, title, text);
}

// The rules that open and close toggles, in a `style` element of the head.
static void add_toggle_rules(Arena* arena, HtmlNode* head) {
    Scratch scratch(arena);
    StringList rules = {};
    for (const char* rule : page_toggle_rules) string_list_push(scratch.arena, &rules, string_from_cstr(rule));
    html_append_to_content(head, html_element_create(arena, HTML_TAG_STYLE, string_list_join(scratch.arena, &rules)));
}

#define TITLE_SKIPPED_FLAGS                                                                                  \
    (KAV_FLAG_URL | KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING | KAV_FLAG_STRONG_OPEN | KAV_FLAG_STRONG_CLOSE | \
     KAV_FLAG_EM_OPEN | KAV_FLAG_EM_CLOSE | KAV_FLAG_STRONG_MARK | KAV_FLAG_EM_MARK)

String page_title(Arena* arena, const KavParseResult* document, String document_path) {
    Scratch scratch(arena);
    StringList words = {};
    if (document && !kav_node_is_nil(document->title)) {
        bool blank = false;  // the text so far ends in a blank
        for (KavNode* w = document->title->first; !kav_node_is_nil(w); w = w->next) {
            bool skipped = w->flags & TITLE_SKIPPED_FLAGS;
            if (!skipped && w->value.size) {
                string_list_push(scratch.arena, &words, w->value);
                blank = false;
            }
            // A left-out mark keeps the blank after it: "_Big_ news" is "Big news".
            if ((w->flags & KAV_FLAG_SPACE_AFTER) && words.total_size && !blank) {
                string_list_push(scratch.arena, &words, S(" "));
                blank = true;
            }
        }
    }
    String title = string_list_join(scratch.arena, &words);
    if (title.size == 0) {
        title = path_file_name(document_path);
        u64 dot = string_find_last_byte(title, '.');
        if (dot < title.size) title = string_prefix(title, dot);
    }
    return string_copy(arena, html_escape_lt(scratch.arena, title));
}

// The table of content's frame: its caption and the list the links go in.
static HtmlNode* toc_frame(Arena* arena, HtmlNode** list) {
    HtmlNode* toc = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, toc, HTML_ATTR_ID, S("toc"));
    HtmlNode* caption = html_element_create(arena, HTML_TAG_P, S("Table of content:"));
    html_set_attribute(arena, caption, HTML_ATTR_STYLE, S(STYLE_TOC_TITLE));
    html_append_to_content(toc, caption);
    *list = html_element_create(arena, HTML_TAG_UL, String{});
    html_append_to_content(toc, *list);
    return toc;
}

// The list item of one heading copy, numbered with the page's element
// counter; its link is recorded as the next of `anchors`, its href in
// `lasting`, so the converted heading takes the id the link names.
static HtmlNode* toc_item(PageBuilder* builder, const KavParseResult* document, KavNode* entry, String page_path,
                          Arena* lasting, TocAnchor* anchor) {
    Arena* arena = builder->arena;
    Scratch scratch(arena);
    HtmlNode* holder = html_element_create(arena, HTML_TAG_DIV, String{});
    convert_nodes(builder, entry, document, holder, page_path);
    HtmlNode* content = html_find_kind(holder, HTML_NODE_CONTENT);
    HtmlNode* link = content->first_child;
    if (html_is_nil(link) || link->kind != HTML_NODE_ELEMENT || link != content->last_child) {
        // Not one element (a heading level without a tag): the link holds
        // what the conversion made.
        link = html_element_create_at(arena, HTML_TAG_A, entry->offset);
        while (!html_is_nil(content->first_child)) {
            HtmlNode* child = content->first_child;
            html_detach(child);
            html_append_to_content(link, child);
        }
    }
    html_detach(link);
    html_element_retag(link, HTML_TAG_A);
    String code = kav_kind_code(entry->kind, 0);
    u64 n = builder->element_counter++;
    String href = string_format(lasting, "#%.*s_%llu", STR_ARG(code), (unsigned long long)n);
    html_set_attribute(arena, link, HTML_ATTR_HREF, href);
    HtmlNode* item = html_element_create(arena, HTML_TAG_LI, String{});
    html_set_attribute(arena, item, HTML_ATTR_ID, string_format(scratch.arena, "toc_i_%llu", (unsigned long long)n));
    html_append_to_content(item, link);
    *anchor = TocAnchor{link->position, href};
    return item;
}

// Records the table of content's links in the builder.
static void toc_anchors_done(PageBuilder* builder, TocAnchor* anchors, u64 count) {
    bool sorted = true;
    for (u64 i = 1; i < count; i += 1) {
        if (anchors[i - 1].offset > anchors[i].offset) sorted = false;
    }
    builder->toc = anchors;
    builder->toc_count = count;
    builder->toc_sorted = sorted;
}

// The table of content: one link per heading copy.
static HtmlNode* build_toc(PageBuilder* builder, const KavParseResult* document, String page_path) {
    Arena* arena = builder->arena;
    HtmlNode* list = 0;
    HtmlNode* toc = toc_frame(arena, &list);
    TocAnchor* anchors = push_array_no_zero<TocAnchor>(arena, document->toc_entries.count);
    u64 anchor_count = 0;
    for (KavNodeCell* cell = document->toc_entries.first; cell; cell = cell->next) {
        html_append_to_content(list, toc_item(builder, document, cell->node, page_path, arena, &anchors[anchor_count++]));
    }
    toc_anchors_done(builder, anchors, anchor_count);
    return toc;
}

// ---- A body parsed again as it is converted --------------------------------------------

struct BodyParse {
    KavParser* parser;
    ConvertRun* run;
    KavNodePool pool;
};

// Before a block is placed in the body: every block but the last is
// complete, so the walk converts up to the last, and those before the one
// ahead of it go back to the pool.
static void convert_passed_blocks(void* context, KavNode* main) {
    BodyParse* b = (BodyParse*)context;
    KavNode* last = main->last;
    if (kav_node_is_nil(last)) return;
    convert_run_until(b->run, last);
    KavNode* keep = last->prev;
    if (kav_node_is_nil(keep)) return;
    convert_run_forget_before(b->run, keep);
    kav_node_pool_free_children_before(&b->pool, main, keep);
}

// Parses the body of `facts` again and converts it into `container` as the
// parse goes.
static void convert_body_parsing(PageBuilder* builder, const KavParseResult* facts, String document_path,
                                 HtmlNode* container, String page_path) {
    Arena* arena = builder->body_parse_arena;
    String source = facts->root->text;
    Arena* token_arena = arena_create(GB(8), MB(1));
    KavTokens tokens = kav_tokenize_windowed(token_arena, source);
    BodyParse* b = push_struct<BodyParse>(arena);
    b->parser = kav_parser_begin(arena, document_path, source, &tokens, &b->pool, KAV_PARSE_BODY_ONLY, facts);
    const KavParseResult* document = kav_parser_result(b->parser);
    page_builder_index_targets_again(builder, facts, document);
    b->run = convert_run_begin(builder, document->root, document, container, page_path);
    kav_parser_run(b->parser, convert_passed_blocks, b);
    arena_release(token_arena);
    convert_run_end(b->run);
}

// Text already written out stands where its elements were, in `parent`.
static void append_written_text(Arena* arena, HtmlNode* parent, const StringList* text) {
    for (StringNode* piece = text->first; piece; piece = piece->next) {
        html_append_to_content(parent, html_text_node_lasting(arena, piece->string));
    }
}

// A frame of the page written out with the items of its list made and
// written one at a time, so that their DOM never stands whole: `frame`
// makes the frame and its list, which is written with a mark where the
// items go; `item` makes item k (with `children`, an element whose children
// are the items). Both are made in an arena of their own, the builder's
// while they are made, and an item's memory goes once it is written. The
// text is in the stream's arena.
typedef HtmlNode* (*WrittenFrame)(Arena* arena, HtmlNode** list);
typedef HtmlNode* (*WrittenItem)(PageBuilder* builder, void* context, u64 k);

static StringList written_out_list(PageBuilder* builder, WrittenFrame frame, u64 count, WrittenItem item,
                                   bool children, void* context) {
    Arena* text_arena = builder->stream->text_arena;
    Arena* page_arena = builder->arena;
    Arena* dom = arena_create(GB(8), KB(64));
    builder->arena = dom;
    HtmlNode* list = 0;
    HtmlNode* root = frame(dom, &list);
    String mark = html_text_mark(dom);
    html_append_to_content(list, html_text_node_lasting(dom, mark));
    StringList frame_text = {};
    HtmlTextWriter frame_writer = html_text_writer(text_arena, &frame_text, true);
    html_text_writer_node(&frame_writer, root);
    html_text_writer_flush(&frame_writer);
    StringList text = {};
    StringList after = {};
    html_text_split_at_mark(&frame_text, mark, &text, &after);

    HtmlTextWriter writer = html_text_writer(text_arena, &text, true);
    u64 base = arena_pos(dom);
    for (u64 k = 0; k < count; k += 1) {
        HtmlNode* made = item(builder, context, k);
        if (!children) {
            html_text_writer_node(&writer, made);
        } else {
            HtmlNode* content = html_find_kind(made, HTML_NODE_CONTENT);
            for (HtmlNode* child = content->first_child; !html_is_nil(child); child = child->next) {
                html_text_writer_node(&writer, child);
            }
        }
        // The first item made the index of link targets in this arena:
        // the items' DOM goes back to just after it.
        if (k == 0) base = arena_pos(dom);
        arena_pop_to(dom, base);
    }
    html_text_writer_flush(&writer);
    for (StringNode* piece = after.first; piece; piece = piece->next) string_list_push(text_arena, &text, piece->string);
    builder->targets_of = 0;  // its index of link targets went with the arena
    builder->arena = page_arena;
    arena_release(dom);
    return text;
}

struct TocWriting {
    const KavParseResult* document;
    String page_path;
    Arena* page_arena;
    TocAnchor* anchors;
    KavNodeCell* cell;
};

static HtmlNode* toc_written_item(PageBuilder* builder, void* context, u64 k) {
    TocWriting* t = (TocWriting*)context;
    KavNode* entry = t->cell->node;
    t->cell = t->cell->next;
    return toc_item(builder, t->document, entry, t->page_path, t->page_arena, &t->anchors[k]);
}

// The table of content of a page whose body is written out as it goes, as
// text in the stream's arena. The links stay in the page's arena for the
// body's headings.
static StringList toc_written_out(PageBuilder* builder, const KavParseResult* document, String page_path) {
    Arena* page_arena = builder->arena;
    u64 count = document->toc_entries.count;
    TocWriting t = {document, page_path, page_arena, push_array_no_zero<TocAnchor>(page_arena, MAX(count, 1ull)),
                    document->toc_entries.first};
    StringList text = written_out_list(builder, toc_frame, count, toc_written_item, false, &t);
    toc_anchors_done(builder, t.anchors, count);
    return text;
}

// The footnotes' block: the list they go in.
static HtmlNode* footnotes_frame(Arena* arena, HtmlNode** list) {
    HtmlNode* block = div_with(arena, S("fn_l"), S(STYLE_FOOTNOTES));
    *list = html_element_create(arena, HTML_TAG_UL, String{});
    html_append_to_content(block, *list);
    return block;
}

struct NotesWriting {
    const KavParseResult* document;
    String page_path;
    KavNodeCell* cell;
};

// A footnote's items, in a list of their own whose children are written.
static HtmlNode* note_written_item(PageBuilder* builder, void* context, u64) {
    NotesWriting* n = (NotesWriting*)context;
    HtmlNode* holder = html_element_create(builder->arena, HTML_TAG_UL, String{});
    convert_nodes(builder, n->cell->node, n->document, holder, n->page_path);
    n->cell = n->cell->next;
    return holder;
}

// The footnotes of a page whose body is written out as it goes, as text in
// the stream's arena, a note at a time.
static StringList notes_written_out(PageBuilder* builder, const KavParseResult* document, String page_path) {
    NotesWriting n = {document, page_path, document->footnotes.first};
    return written_out_list(builder, footnotes_frame, document->footnotes.count, note_written_item, true, &n);
}

void build_page(PageBuilder* builder, HtmlPage* out, const KavParseResult* document, String document_path,
                String page_path) {
    Arena* arena = builder->arena;
    Scratch scratch(arena);
    *out = HtmlPage{};
    out->path = page_path;
    PageParts parts = page_skeleton(builder, out, PAGE_FULL);

    out->title = page_title(arena, document, document_path);
    set_head_title(arena, parts.head, out->title);

    HtmlNode* toc = html_nil_node;
    StringList toc_text = {};
    if (document && document->toc_entries.count) {
        if (builder->stream) {
            toc_text = toc_written_out(builder, document, page_path);
        } else {
            toc = build_toc(builder, document, page_path);
        }
    }

    html_append_to_content(parts.body, div_with(arena, S("bottom"), S(STYLE_BOTTOM)));

    // The body fills the header's slots as it meets the title and the
    // document header; only the body's headings link to the table of content.
    PageSlots slots = {html_nil_node, html_nil_node, html_nil_node};
    if (document && !kav_node_is_nil(document->root)) {
        builder->slots = &slots;
        if (builder->stream) builder->stream->container = parts.wrapper;
        if (builder->body_parse_arena) {
            convert_body_parsing(builder, document, document_path, parts.wrapper, page_path);
        } else {
            convert_nodes(builder, document->root, document, parts.wrapper, page_path);
        }
        builder->slots = 0;
        // The body written out as it went: its text stands where its
        // elements were.
        if (builder->stream) {
            append_written_text(arena, parts.wrapper, &builder->stream->text);
            if (builder->stream->spool) {
                html_append_to_content(parts.wrapper, html_text_node_lasting(arena, builder->stream->spool_mark));
            }
        }
    }
    builder->toc = 0;
    builder->toc_count = 0;

    add_toggle_rules(arena, parts.head);

    // The header: the document header's toggle in a row, the title, the
    // table of content.
    HtmlNode* row = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, row, HTML_ATTR_STYLE, S(STYLE_TOGGLE_ROW));
    html_append_to_content(row, slots.header_control);
    html_append_to_content(row, slots.header_content);
    html_append_to_content(parts.top, row);
    html_append_to_content(parts.top, slots.title);
    html_append_to_content(parts.top, toc);
    append_written_text(arena, parts.top, &toc_text);

    if (document && document->footnotes.count) {
        if (builder->stream) {
            StringList notes = notes_written_out(builder, document, page_path);
            append_written_text(arena, parts.wrapper, &notes);
        } else {
            HtmlNode* list = 0;
            html_append_to_content(parts.wrapper, footnotes_frame(arena, &list));
            for (KavNodeCell* cell = document->footnotes.first; cell; cell = cell->next) {
                convert_nodes(builder, cell->node, document, list, page_path);
            }
        }
    }
}

// ---- Raw view --------------------------------------------------------------------------------------

String raw_view_text(Arena* arena, String source) {
    u64 extra = 0;
    for (u64 i = 0; i < source.size; i += 1) extra += source.str[i] == '<' ? 3 : source.str[i] == '&' ? 4 : 0;
    u8* bytes = push_array_no_zero<u8>(arena, source.size + extra + 2);
    u64 at = 0;
    // A line feed right after the start tag is dropped by the reader: this
    // one, so that a source's own first line feed stays.
    bytes[at++] = '\n';
    for (u64 i = 0; i < source.size; i += 1) {
        const char* entity = source.str[i] == '<' ? "&lt;" : source.str[i] == '&' ? "&amp;" : 0;
        if (!entity) {
            bytes[at++] = source.str[i];
            continue;
        }
        for (const char* e = entity; *e; e += 1) bytes[at++] = (u8)*e;
    }
    bytes[at] = 0;
    return String{bytes, at};
}

void build_raw_page(PageBuilder* builder, HtmlPage* out, String source, String raw_path, Arena* text_arena) {
    Arena* arena = builder->arena;
    Scratch scratch(arena);
    *out = HtmlPage{};
    out->path = raw_path;
    PageParts parts = page_skeleton(builder, out, PAGE_RAW);
    out->title = page_title(arena, 0, raw_path);
    set_head_title(arena, parts.head, out->title);
    html_append_to_content(parts.body, div_with(arena, S("bottom"), S(STYLE_BOTTOM)));

    // The source in one preformatted block, escaped, so the page shows
    // every character as written.
    HtmlNode* code = html_element_create(arena, HTML_TAG_PRE, String{});
    html_add_class(arena, code, kav_kind_code(KAV_NODE_BLOCK, 0));
    html_set_attribute(arena, code, HTML_ATTR_STYLE, S(STYLE_RAW_BLOCK));
    if (text_arena) {
        html_append_to_content(code, html_text_node_lasting(arena, raw_view_text(text_arena, source)));
    } else {
        html_append_text(arena, code, raw_view_text(scratch.arena, source));
    }
    html_append_to_content(parts.wrapper, code);

    add_toggle_rules(arena, parts.head);
    HtmlNode* row = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, row, HTML_ATTR_STYLE, S(STYLE_TOGGLE_ROW));
    html_append_to_content(parts.top, row);

    // Back to the page: the raw path without the "raw_" of its file name.
    String name = path_file_name(raw_path);
    String page_name = string_starts_with(name, S("raw_"), 0) ? string_skip(name, 4) : name;
    String directory = string_prefix(raw_path, raw_path.size - name.size);
    String page_path = string_format(scratch.arena, "%.*s%.*s", STR_ARG(directory), STR_ARG(page_name));
    HtmlNode* back = html_element_create(arena, HTML_TAG_A, S("Return To Page"));
    html_add_class(arena, back, S("btn"));
    html_set_attribute(arena, back, HTML_ATTR_STYLE, S(STYLE_RETURN));
    html_set_attribute(arena, back, HTML_ATTR_HREF, page_link(builder, scratch.arena, page_path));
    html_append_to_content(parts.wrapper, back);
}
