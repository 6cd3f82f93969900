#include "site/convert.h"

#include <string.h>

#include "htmldom/html_reader.h"
#include "kav/kav_metadata.h"
#include "site/icons.h"
#include "site/images.h"
#include "site/key_rendering.h"
#include "site/links.h"
#include "site/words.h"

PageBuilder page_builder(const Site* site, Arena* arena) {
    PageBuilder builder = {};
    builder.site = site;
    builder.arena = arena;
    return builder;
}

String page_link(const PageBuilder* builder, Arena* arena, String path) {
    return resolve_link(arena, path, builder->site->settings.root, builder->site->settings.deploy);
}

// ---- DOM helpers -------------------------------------------------------------------------

void html_element_retag(HtmlNode* element, HtmlTag tag) {
    const HtmlElementInfo* row = html_element_info_by_tag(tag);
    if (html_is_nil(element) || element->kind != HTML_NODE_ELEMENT || !row) return;
    element->element = row;
    element->text = row->name;
}

void html_remove_attribute(HtmlNode* element, HtmlAttr attr) {
    HtmlNode* attribute = html_find_attribute(element, attr);
    if (!html_is_nil(attribute)) html_detach(attribute);
}

void html_replace_attribute(Arena* arena, HtmlNode* element, HtmlAttr attr, String value) {
    html_remove_attribute(element, attr);
    html_set_attribute(arena, element, attr, value);
}

String html_escape_lt(Arena* arena, String text) {
    u64 count = 0;
    for (u64 i = 0; i < text.size; i += 1) count += text.str[i] == '<';
    if (count == 0) return text;
    u8* bytes = push_array_no_zero<u8>(arena, text.size + count * 3 + 1);
    u64 at = 0;
    for (u64 i = 0; i < text.size; i += 1) {
        if (text.str[i] == '<') {
            memcpy(bytes + at, "&lt;", 4);
            at += 4;
        } else {
            bytes[at++] = text.str[i];
        }
    }
    bytes[at] = 0;
    return String{bytes, at};
}

// ---- Fixed texts -----------------------------------------------------------------------------

#define STYLE_ANCHOR_ICON "color:#a9a9a9;transform:translate(0.3em, 0.2em) rotate(90deg);font-size:0.8em;margin:0;"
#define STYLE_NOTE_REF_LINK "display:inline;margin-right:1.5em;position:relative;white-space:pre;"
#define STYLE_NOTE_REF_BOX                                                                                    \
    "border: 0px solid grey;border-bottom-width:0.1em;position:absolute;left:0;top:0;font-size:0.6rem;font-" \
    "family:'Fira Code';line-height:1;margin-left:0.5em;"
#define STYLE_NUMBER "vertical-align:text-top;margin-right:0.2em;"
#define STYLE_NOTE_NUMBER "margin-right:0.5em;vertical-align: super;font-size:0.6rem;font-family:Fira Code;line-height:1;"
#define STYLE_LINK_REF_BOX \
    "border: 0px solid grey;border-bottom-width:0.1em;left:0;top:0;font-size:0.6rem;font-family:Fira Code;line-height:1;"
#define STYLE_QUOTE "display:flex;flex-direction:column;"
#define STYLE_QUOTE_ROW "margin-left:0.6rem;display:flex;flex-direction:row;"
#define STYLE_QUOTE_BAR                                                                                         \
    "height:0.7rem;width:1rem;border-style:solid;border-color:#cbc8c0;border-bottom:none;border-left-width:2px;" \
    "border-top:none;border-right:none;"
#define STYLE_QUOTE_BODY \
    "margin-left:0.2em;margin-left:0.2em;padding:0.5rem 0.5rem 0.5rem 0.2rem;border:2px solid #ebebeb;border-radius:3px;"
#define STYLE_QUOTE_NESTED "margin:0.5rem 0 0 1rem;"
#define STYLE_QUOTE_CORNER                                                                                  \
    "height:0.7rem;width:1rem;border-style:solid;border-color:#cbc8c0;border-bottom-width:2px;border-bottom-" \
    "left-radius:4px;border-left-width:2px;border-top:none;border-right:none;"
#define STYLE_QUOTE_NESTED_BODY "margin:0.5em 0 0 0;padding:0.6em 0.7em;border:2px solid #ebebeb;border-radius:3px;"
#define STYLE_QUOTE_PARAGRAPH "line-height:1em;margin:0;"
#define STYLE_TOGGLE_ICON "color:#9f9480;margin:0 0.3em;"
#define STYLE_KEY_ICON "color:#9f9480;margin-right:0.3em;"
// A blank, U+00B7 MIDDLE DOT, a blank: between the parts of an inline toggle.
#define CONTEXT_PART_SEPARATOR " \xC2\xB7 "

#define FLAGS_EMPHASIS (KAV_FLAG_STRONG_OPEN | KAV_FLAG_STRONG_CLOSE | KAV_FLAG_EM_OPEN | KAV_FLAG_EM_CLOSE)
#define FLAGS_OPENS (KAV_FLAG_STRONG_OPEN | KAV_FLAG_EM_OPEN)
#define FLAGS_CLOSES (KAV_FLAG_STRONG_CLOSE | KAV_FLAG_EM_CLOSE)
#define FLAGS_LINK (KAV_FLAG_URL | KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING)
// Value flags of the metadata keys whose value is shown emphasised.
#define KEY_FLAGS_EMPHASISED (FLAGS_EMPHASIS | KAV_FLAG_STRONG_MARK | KAV_FLAG_EM_MARK)

// ---- Converter state ------------------------------------------------------------------------------

// What kind of block an element on the parent stack is: the closing rules
// pop back to a kind of block, never search the page for it.
enum StackBlock : u32 {
    BLOCK_NONE = 0,
    BLOCK_QUOTE = 1 << 0,             // the body of a quote
    BLOCK_CONTEXT = 1 << 1,           // the content of a toggle
    BLOCK_DOCUMENT_CONTEXT = 1 << 2,  // the content of the document header's toggle
    BLOCK_TABLE = 1 << 3,
    BLOCK_TABLE_ROW = 1 << 4,  // the row that holds tables side by side
    BLOCK_LIST = 1 << 5,
};

// The rows of a table's body by row number, made as its cells come.
struct TableRecord {
    HtmlNode* header_row;
    HtmlNode* body;  // nil until the first cell
    HtmlNode** rows;
    u64 row_capacity;
};

// A list's element while it is on the stack: its items go back to it.
struct ListSlot {
    struct StackEntry* entry;  // null once popped
};

struct StackEntry {
    StackEntry* below;
    HtmlNode* element;
    u32 block;                // StackBlock
    StackEntry* table;        // the nearest table entry at or below this one; null when none
    TableRecord* record;      // table entries
    ListSlot* list;           // list entries
};

// The blocks that hold lines of their own: a line, a list or a table that
// is done goes back to the innermost of them, never out of it.
#define BLOCKS_HOLDING_LINES (BLOCK_QUOTE | BLOCK_CONTEXT | BLOCK_DOCUMENT_CONTEXT)

// An element pushed for a node with children: when the walk leaves that
// node, the stack goes back below the element.
struct ScopeEntry {
    ScopeEntry* below;
    const KavNode* owner;
    u64 depth;            // stack depth with the element on top
    StackEntry* entry;    // the element's entry: still on the stack while
    HtmlNode* element;    // it holds this element (popped entries hold none)
    u64 generation;       // the converter's generation when pushed
};

// Emphasis markers put around a key's value for the duration of one call.
struct MarkerInsert {
    MarkerInsert* next;
    KavNode* keyword;
    KavNode* open;
    KavNode* close;
};

// A node on the walk's path from the top of the tree, with what the
// converter asks about its ancestors, copied from the entry below so no
// question walks the tree. Each answer includes the node itself.
struct PathEntry {
    const KavNode* node;
    const KavNode* table;  // the innermost Table node; nil when none
    u32 block;             // kind of the innermost Quote, Context or ContextDocument; 0 when none
    ListSlot* list;        // List nodes: their element on the stack (set when converted)
};

struct Converter {
    PageBuilder* builder;
    Arena* arena;
    Arena* scratch;
    const KavParseResult* document;
    const KavNode* boundary;
    const KavNode* start;
    String source;  // the document's text, for the parts of inline toggles
    String document_path;
    HtmlNode* root;

    StackEntry* top;
    StackEntry* free_entries;
    u64 depth;  // entries on the stack, the page root included
    ScopeEntry* scopes;
    ScopeEntry* free_scopes;

    PathEntry* path;
    u64 path_count;
    u64 path_capacity;

    u8* pending;  // pending words as written; escaped when flushed
    u64 pending_size;
    u64 pending_capacity;
    u32 mode;  // WordMode of the next flush

    // The outermost blockquote of the last quote that did not sit in a
    // quote, and the last quote of its run: a quote that follows that one
    // directly joins the container.
    HtmlNode* quote_container;
    const KavNode* quote_run_last;
    HtmlNode* inline_holder;  // element that received the last flush

    MarkerInsert* markers;

    BodyStream* stream;  // set while converting the streamed body
    // Counts the times blocks were written out: the elements of the scopes
    // of an earlier generation are gone (they were all closed then).
    u64 generation;
};

// ---- Small helpers -----------------------------------------------------------------------------------

static bool is_kind(const KavNode* node, u32 kind) { return !kav_node_is_nil(node) && node->kind == kind; }

static bool is_word_with(const KavNode* node, u64 flags) { return is_kind(node, KAV_NODE_WORD) && (node->flags & flags); }

static bool is_inline_context(const KavNode* node) {
    return is_kind(node, KAV_NODE_CONTEXT) && (node->flags & KAV_FLAG_INLINE_CONTEXT);
}

static bool is_hidden_key(const KavNode* node) {
    return is_kind(node, KAV_NODE_RESERVED_CONTEXT_KEYWORD) && node->entry && node->entry->hidden;
}

static String numbered_id(Converter* c, u32 kind, u64 flags, u64 n) {
    String code = kav_kind_code(kind, flags);
    return string_format(c->scratch, "%.*s_%llu", STR_ARG(code), (unsigned long long)n);
}

static u64 next_element_number(Converter* c) { return c->builder->element_counter++; }

static HtmlNode* element(Converter* c, HtmlTag tag, const KavNode* node) {
    return html_element_create_at(c->arena, tag, node->offset);
}

static void set(Converter* c, HtmlNode* el, HtmlAttr attr, String value) { html_set_attribute(c->arena, el, attr, value); }
// A value that is a constant of the program: the node points at it.
static void set_fixed(Converter* c, HtmlNode* el, HtmlAttr attr, String value) {
    html_set_attribute_fixed(c->arena, el, attr, value);
}

static HtmlNode* icon(Converter* c, u32 index, const KavNode* node, const char* style) {
    HtmlNode* el = make_icon(c->arena, index);
    if (html_is_nil(el)) return el;
    el->position = node->offset;
    if (style) set_fixed(c, el, HTML_ATTR_STYLE, string_from_cstr(style));
    return el;
}

static String number_text(Converter* c, u64 n) { return string_format(c->scratch, "%llu", (unsigned long long)n); }

// ---- Path ----------------------------------------------------------------------------------------------

// The entry `node` would have with `below` (null at the top) under it.
static PathEntry path_entry(const PathEntry* below, const KavNode* node) {
    PathEntry e = {};
    e.node = node;
    e.table = below ? below->table : kav_nil();
    if (below) e.block = below->block;
    if (node->kind == KAV_NODE_TABLE) e.table = node;
    if (node->kind == KAV_NODE_QUOTE || node->kind == KAV_NODE_CONTEXT || node->kind == KAV_NODE_CONTEXT_DOCUMENT) {
        e.block = node->kind;
    }
    return e;
}

static void path_push(Converter* c, const KavNode* node) {
    if (c->path_count == c->path_capacity) {
        u64 capacity = MAX(c->path_capacity * 2, 64ull);
        PathEntry* grown = push_array_no_zero<PathEntry>(c->scratch, capacity);
        if (c->path_count) memcpy(grown, c->path, c->path_count * sizeof(PathEntry));
        c->path = grown;
        c->path_capacity = capacity;
    }
    c->path[c->path_count] = path_entry(c->path_count ? &c->path[c->path_count - 1] : 0, node);
    c->path_count += 1;
}

static const PathEntry* path_top(const Converter* c) { return &c->path[c->path_count - 1]; }

// ---- Parent stack ------------------------------------------------------------------------------------

static HtmlNode* top(Converter* c) { return c->top->element; }

static StackEntry* stack_push(Converter* c, HtmlNode* el, u32 block) {
    StackEntry* entry = c->free_entries;
    if (entry) {
        c->free_entries = entry->below;
    } else {
        entry = push_struct<StackEntry>(c->scratch);
    }
    StackEntry* below = c->top;
    *entry = StackEntry{};
    entry->element = el;
    entry->block = block;
    entry->below = below;
    entry->table = block == BLOCK_TABLE ? entry : below ? below->table : 0;
    c->top = entry;
    c->depth += 1;
    return entry;
}

// Pushes the element made for `owner`, unless the node has no children
// (there is nothing to put into it, and nothing would take it off again).
static StackEntry* push_for(Converter* c, HtmlNode* el, const KavNode* owner, u32 block) {
    if (kav_node_is_nil(owner->first)) return 0;
    StackEntry* entry = stack_push(c, el, block);
    ScopeEntry* scope = c->free_scopes;
    if (scope) {
        c->free_scopes = scope->below;
    } else {
        scope = push_struct<ScopeEntry>(c->scratch);
    }
    scope->owner = owner;
    scope->depth = c->depth;
    scope->entry = entry;
    scope->element = el;
    scope->generation = c->generation;
    scope->below = c->scopes;
    c->scopes = scope;
    return entry;
}

// A list element on the stack, found again by its items through the list's
// path entry.
static void push_list(Converter* c, HtmlNode* el, const KavNode* owner) {
    StackEntry* entry = push_for(c, el, owner, BLOCK_LIST);
    if (!entry) return;
    ListSlot* slot = push_struct<ListSlot>(c->scratch);
    slot->entry = entry;
    entry->list = slot;
    c->path[c->path_count - 1].list = slot;
}

// Never below the page root.
static void stack_pop(Converter* c) {
    if (c->depth <= 1) return;
    StackEntry* entry = c->top;
    if (entry->list) entry->list->entry = 0;
    entry->element = 0;
    c->top = entry->below;
    entry->below = c->free_entries;
    c->free_entries = entry;
    c->depth -= 1;
}

static void pop_to_root(Converter* c) {
    while (c->depth > 1) stack_pop(c);
}

// Pops to the nearest element of one of the `blocks`, or to the root.
static void pop_to_block(Converter* c, u32 blocks) {
    while (c->depth > 1 && !(c->top->block & blocks)) stack_pop(c);
}

// Pops to the element of a list when it is on the stack.
static void pop_to_list(Converter* c, const ListSlot* list) {
    if (!list || !list->entry) return;
    while (c->top != list->entry) stack_pop(c);
}

// Pops to the innermost block that holds lines (a quote, a toggle, the
// document header), or to the root.
static void pop_to_lines_block(Converter* c) { pop_to_block(c, BLOCKS_HOLDING_LINES); }

// True when the top of the stack is a place for a block of its own: the
// root or a block that holds lines.
static bool at_lines_block(const Converter* c) { return c->depth == 1 || (c->top->block & BLOCKS_HOLDING_LINES); }

// Kinds whose element may hold a quote (a flow container).
static bool holds_blocks(const KavNode* node) {
    switch (node->kind) {
        case KAV_NODE_QUOTE:
        case KAV_NODE_CONTEXT:
        case KAV_NODE_CONTEXT_DOCUMENT:
        case KAV_NODE_ITEM:
        case KAV_NODE_TABLE_ENTRY:
        case KAV_NODE_TABLE_HEADER_COLUMN: return true;
        default: return false;
    }
}

// Pops to where a block made for `node` goes: the element of its parent
// when that element is open and may hold it, else the innermost block that
// holds lines (a quote never goes into a heading or a paragraph).
static void pop_to_place_of(Converter* c, const KavNode* node) {
    ScopeEntry* scope = c->scopes;
    if (scope && scope->owner == node->parent && holds_blocks(node->parent) && scope->generation == c->generation &&
        scope->entry->element == scope->element) {
        while (c->top != scope->entry) stack_pop(c);
        return;
    }
    pop_to_lines_block(c);
}

// ---- Pending words -------------------------------------------------------------------------------------

static void pending_reserve(Converter* c, u64 extra) {
    if (c->pending_size + extra <= c->pending_capacity) return;
    u64 capacity = MAX(MAX(c->pending_capacity * 2, c->pending_size + extra), 256ull);
    u8* bytes = push_array_no_zero<u8>(c->scratch, capacity);
    if (c->pending_size) memcpy(bytes, c->pending, c->pending_size);
    c->pending = bytes;
    c->pending_capacity = capacity;
}

static void pending_add(Converter* c, String text) {
    pending_reserve(c, text.size);
    if (text.size) memcpy(c->pending + c->pending_size, text.str, text.size);
    c->pending_size += text.size;
}

// Writes the pending words into the top element by `mode` and starts a new
// list.
static void flush_pending(Converter* c, const KavNode* node, u32 mode) {
    if (c->pending_size) {
        StringNode piece = {0, String{c->pending, c->pending_size}};
        StringList list = {&piece, &piece, 1, c->pending_size};
        flush_words(c->arena, top(c), node, &list, mode);
    }
    c->inline_holder = top(c);
    c->pending_size = 0;
}

// ---- Lookups -----------------------------------------------------------------------------------------------

// The href of the table-of-content link made from the heading at `offset`;
// empty when there is none.
static String toc_href(Converter* c, u64 offset) {
    const PageBuilder* b = c->builder;
    if (b->toc_sorted) {
        u64 low = 0, high = b->toc_count;
        while (low < high) {
            u64 mid = low + (high - low) / 2;
            if (b->toc[mid].offset < offset) {
                low = mid + 1;
            } else {
                high = mid;
            }
        }
        return low < b->toc_count && b->toc[low].offset == offset ? b->toc[low].href : String{};
    }
    for (u64 i = 0; i < b->toc_count; i += 1) {
        if (b->toc[i].offset == offset) return b->toc[i].href;
    }
    return String{};
}

static u64 target_key(const PageBuilder* b, const KavNode* node) {
    return b->targets_by_offset ? (node->offset << 6 | node->kind) : (u64)(uintptr_t)node;
}

// The high bits of a multiplicative hash: nodes sit at regular strides, so
// the low bits of the product would crowd a few slots.
static u64 target_slot(const PageBuilder* b, u64 key) {
    u64 h = key * 0x9E3779B97F4A7C15ull;
    return (h >> 32) & (b->target_capacity - 1);
}

// Sets of the numbers 0-255 (footnotes and link targets are numbered so).
static bool number_in(const u64* set, u64 n) { return n < 256 && (set[n >> 6] >> (n & 63)) & 1; }
static void number_add(u64* set, u64 n) {
    if (n < 256) set[n >> 6] |= 1ull << (n & 63);
}

static void build_target_index(PageBuilder* b, const KavParseResult* document) {
    b->targets = 0;
    b->target_capacity = 0;
    memset(b->target_numbers, 0, sizeof(b->target_numbers));
    memset(b->footnote_numbers, 0, sizeof(b->footnote_numbers));
    if (document) {
        for (KavNodeCell* cell = document->footnotes.first; cell; cell = cell->next) {
            number_add(b->footnote_numbers, cell->node->level);
        }
    }
    u64 count = document ? document->internal_links.count : 0;
    if (count == 0) return;
    u64 capacity = 16;
    while (capacity < count * 2) capacity *= 2;
    b->targets = push_array<LinkTarget>(b->arena, capacity);
    b->target_capacity = capacity;
    for (KavNodeCell* cell = document->internal_links.first; cell; cell = cell->next) {
        const KavNode* target = cell->node->first;
        if (kav_node_is_nil(target)) continue;
        u64 key = target_key(b, target);
        for (u64 i = target_slot(b, key);; i = (i + 1) & (capacity - 1)) {
            if (b->targets[i].key == key) break;
            if (!b->targets[i].key) {
                b->targets[i] = LinkTarget{key, cell->node->level};
                number_add(b->target_numbers, cell->node->level);
                break;
            }
        }
    }
}

// The number of the first internal link that targets each node, once per
// page and document; the numbers that label a node, and the numbers of the
// footnotes.
static void index_targets(PageBuilder* b, const KavParseResult* document) {
    if (b->targets_of == document) return;
    b->targets_of = document;
    b->targets_by_offset = false;
    build_target_index(b, document);
}

void page_builder_index_targets_again(PageBuilder* b, const KavParseResult* facts, const KavParseResult* document) {
    b->targets_of = document;
    b->targets_by_offset = true;
    build_target_index(b, facts);
}

static u64 target_number(const Converter* c, const KavNode* node) {
    const PageBuilder* b = c->builder;
    if (b->target_capacity == 0) return 0;
    u64 key = target_key(b, node);
    for (u64 i = target_slot(b, key);; i = (i + 1) & (b->target_capacity - 1)) {
        if (b->targets[i].key == key) return b->targets[i].number;
        if (!b->targets[i].key) return 0;
    }
}

// The block a line of the current node belongs to for the parent stack:
// the innermost quote, toggle or document header around it keeps it.
static u32 line_blocks(const PathEntry* at) {
    switch (at->block) {
        case KAV_NODE_QUOTE: return BLOCK_QUOTE;
        case KAV_NODE_CONTEXT: return BLOCK_CONTEXT | BLOCK_DOCUMENT_CONTEXT;
        case KAV_NODE_CONTEXT_DOCUMENT: return BLOCK_DOCUMENT_CONTEXT;
        default: return BLOCK_NONE;
    }
}

// True when the source holds a "|" between word `a` and its next sibling `b`:
// the pipe that separates the parts of an inline toggle.
static bool pipe_between(const Converter* c, const KavNode* a, const KavNode* b) {
    u64 token = a->text.size + ((a->flags & (KAV_FLAG_QUOTED | KAV_FLAG_TEXT)) ? 2 : 0);
    u64 from = a->offset + token;
    u64 to = MIN(b->offset, c->source.size);
    for (u64 i = from; i < to; i += 1) {
        if (c->source.str[i] == '|') return true;
    }
    return false;
}

// ---- Conversion of one node ------------------------------------------------------------------------------

// The eye icon that marks the target of an internal link.
static void convert_anchor(Converter* c, const KavNode* node) {
    flush_pending(c, node, c->mode);
    c->mode = WORD_MODE_PLAIN;
    HtmlNode* eye = icon(c, ICON_EYE, node, STYLE_ANCHOR_ICON);
    // A number labels one place of the page: the first one.
    u64 n = target_number(c, node);
    if (!number_in(c->builder->anchor_ids, n)) {
        number_add(c->builder->anchor_ids, n);
        set(c, eye, HTML_ATTR_ID, numbered_id(c, KAV_NODE_INTERNAL_LINK, 0, n));
    }
    html_append_to_content(top(c), eye);
    if (node->flags & KAV_FLAG_SPACE_AFTER) pending_add(c, S(" "));
}

static void convert_heading(Converter* c, KavNode* node) {
    const PathEntry* at = path_top(c);
    u32 blocks = line_blocks(at);
    if (blocks) pop_to_block(c, blocks);
    if (at->block == KAV_NODE_CONTEXT) {
        // The table of content links to headings in toggles too: such a
        // heading keeps the id the link names.
        HtmlNode* span = element(c, HTML_TAG_SPAN, node);
        String id = numbered_id(c, KAV_NODE_HEADING, node->flags, next_element_number(c));
        String href = toc_href(c, node->offset);
        set(c, span, HTML_ATTR_ID, href.size > 1 ? string_skip(href, 1) : id);
        html_append_to_content(top(c), span);
        push_for(c, span, node, BLOCK_NONE);
        return;
    }
    HtmlTag tag = node->level == 0   ? HTML_TAG_H2
                  : node->level == 2 ? HTML_TAG_H3
                  : node->level == 4 ? HTML_TAG_H4
                  : node->level == 6 ? HTML_TAG_H5
                                     : HTML_TAG_NONE;
    String href = toc_href(c, node->offset);
    if (tag == HTML_TAG_NONE) {
        // No heading element: the content goes where the heading stands, in
        // a span when the table of content links to it.
        HtmlNode* holder = top(c);
        if (href.size > 1) {
            holder = element(c, HTML_TAG_SPAN, node);
            set(c, holder, HTML_ATTR_ID, string_skip(href, 1));
            html_append_to_content(top(c), holder);
        }
        push_for(c, holder, node, BLOCK_NONE);
        return;
    }
    HtmlNode* heading = element(c, tag, node);
    heading->level = node->level;
    set(c, heading, HTML_ATTR_ID, string_skip(href, 1));
    html_append_to_content(top(c), heading);
    push_for(c, heading, node, BLOCK_NONE);
}

static void convert_paragraph(Converter* c, KavNode* node) {
    const PathEntry* at = path_top(c);
    u32 blocks = line_blocks(at);
    if (blocks) {
        pop_to_block(c, blocks);
    } else {
        pop_to_root(c);
    }
    bool in_context = at->block == KAV_NODE_CONTEXT;
    HtmlNode* paragraph = element(c, in_context ? HTML_TAG_SPAN : HTML_TAG_P, node);
    set(c, paragraph, HTML_ATTR_ID, numbered_id(c, KAV_NODE_PARAGRAPH, node->flags, next_element_number(c)));
    if (!in_context) {
        if (at->block == KAV_NODE_QUOTE) set_fixed(c, paragraph, HTML_ATTR_STYLE, S(STYLE_QUOTE_PARAGRAPH));
        paragraph->level = node->level;
    }
    html_append_to_content(top(c), paragraph);
    push_for(c, paragraph, node, BLOCK_NONE);
}

// A quote's body: the element its lines go into, pushed for the quote.
static void push_quote_body(Converter* c, HtmlNode* body, const KavNode* node) {
    set(c, body, HTML_ATTR_ID, numbered_id(c, KAV_NODE_QUOTE, 0, next_element_number(c)));
    push_for(c, body, node, BLOCK_QUOTE);
}

// A quote that sits in a quote, or follows the quote before it directly:
// a blockquote with a corner instead of a bar, in `host`.
static void convert_inner_quote(Converter* c, KavNode* node, HtmlNode* host) {
    HtmlNode* quote = element(c, HTML_TAG_BLOCKQUOTE, node);
    set_fixed(c, quote, HTML_ATTR_STYLE, S(STYLE_QUOTE));
    set(c, quote, HTML_ATTR_ID, numbered_id(c, KAV_NODE_QUOTE, 0, next_element_number(c)));
    set_fixed(c, quote, HTML_ATTR_STYLE, S(STYLE_QUOTE_NESTED));
    quote->level = node->level;
    html_append_to_content(host, quote);
    HtmlNode* row = element(c, HTML_TAG_DIV, node);
    set_fixed(c, row, HTML_ATTR_STYLE, S(STYLE_QUOTE_ROW));
    HtmlNode* corner = element(c, HTML_TAG_DIV, node);
    set_fixed(c, corner, HTML_ATTR_STYLE, S(STYLE_QUOTE_CORNER));
    HtmlNode* body = element(c, HTML_TAG_DIV, node);
    set_fixed(c, body, HTML_ATTR_STYLE, S(STYLE_QUOTE_NESTED_BODY));
    html_append_to_content(row, corner);
    html_append_to_content(row, body);
    html_append_to_content(quote, row);
    push_quote_body(c, body, node);
}

// Quotes are placed where the tree has them: a nested quote in the body of
// its quote, after the lines before it; any other where it stands (in a
// toggle, a list item, or the innermost block around it). A quote that
// follows another directly (a blank line between them) joins its run.
static void convert_quote(Converter* c, KavNode* node) {
    if (is_kind(node->parent, KAV_NODE_QUOTE)) {
        pop_to_place_of(c, node);
        // Too deep to draw: its lines go on in the body of the quote around it.
        if (node->level >= KAV_QUOTE_LEVELS_SHOWN) {
            push_for(c, top(c), node, BLOCK_QUOTE);
            return;
        }
        convert_inner_quote(c, node, top(c));
        return;
    }
    if (!html_is_nil(c->quote_container) && node->prev == c->quote_run_last) {
        c->quote_run_last = node;
        convert_inner_quote(c, node, c->quote_container);
        return;
    }
    pop_to_place_of(c, node);
    HtmlNode* quote = element(c, HTML_TAG_BLOCKQUOTE, node);
    set_fixed(c, quote, HTML_ATTR_STYLE, S(STYLE_QUOTE));
    quote->level = node->level;
    c->quote_container = quote;
    c->quote_run_last = node;
    html_append_to_content(top(c), quote);
    HtmlNode* row = element(c, HTML_TAG_DIV, node);
    set_fixed(c, row, HTML_ATTR_STYLE, S(STYLE_QUOTE_ROW));
    HtmlNode* bar = element(c, HTML_TAG_DIV, node);
    set_fixed(c, bar, HTML_ATTR_STYLE, S(STYLE_QUOTE_BAR));
    html_append_to_content(row, bar);
    html_append_to_content(quote, row);
    HtmlNode* body = element(c, HTML_TAG_DIV, node);
    set_fixed(c, body, HTML_ATTR_STYLE, S(STYLE_QUOTE_BODY));
    html_append_to_content(quote, body);
    push_quote_body(c, body, node);
}

// The checkbox that shows and hides a toggle's content: the "Info" icon
// made an `input`.
static HtmlNode* toggle_control(Converter* c, const KavNode* node, String id) {
    HtmlNode* control = icon(c, ICON_INFO, node, STYLE_TOGGLE_ICON);
    html_element_retag(control, HTML_TAG_INPUT);
    set(c, control, HTML_ATTR_ID, id);
    set_fixed(c, control, HTML_ATTR_TYPE, S("checkbox"));
    return control;
}

static void convert_context(Converter* c, KavNode* node) {
    if (kav_node_is_nil(node->first)) return;
    u64 n = next_element_number(c);
    bool inline_context = node->flags & KAV_FLAG_INLINE_CONTEXT;
    HtmlNode* content = element(c, inline_context ? HTML_TAG_SPAN : HTML_TAG_DIV, node);
    set(c, content, HTML_ATTR_CLASS,
        string_format(c->scratch, inline_context ? "toggle-content_i_%llu" : "toggle-content_%llu", (unsigned long long)n));
    html_add_class(c->arena, content, kav_kind_code(KAV_NODE_CONTEXT, node->flags));
    set(c, content, HTML_ATTR_ID, numbered_id(c, KAV_NODE_CONTEXT, 0, n));
    HtmlNode* control = toggle_control(c, node, string_format(c->scratch, "toggle-checkbox_%llu", (unsigned long long)n));

    // Where it stands, in a quote too: the checkbox, then its content.
    html_append_to_content(top(c), control);
    html_insert(control, content, HTML_INSERT_AFTER);
    push_for(c, content, node, BLOCK_CONTEXT);
}

static void convert_document_context(Converter* c, KavNode* node) {
    u64 n = next_element_number(c);
    String code = kav_kind_code(KAV_NODE_CONTEXT_DOCUMENT, 0);
    // The page's header takes the code as its id; a later header of the
    // document is numbered, so ids stay unique.
    String id = code;
    if (c->builder->header_done) id = string_format(c->scratch, "%.*s_%llu", STR_ARG(code), (unsigned long long)n);
    c->builder->header_done = true;
    HtmlNode* content = element(c, HTML_TAG_DIV, node);
    set(c, content, HTML_ATTR_ID, id);
    set(c, content, HTML_ATTR_CLASS, string_format(c->scratch, "toggle-content_%llu", (unsigned long long)n));
    HtmlNode* control = toggle_control(c, node, string_format(c->scratch, "toggle-checkbox_%.*s", STR_ARG(id)));
    PageSlots* slots = c->builder->slots;
    if (slots && html_is_nil(slots->header_content)) {
        // The first document header goes to the page's header row.
        slots->header_control = control;
        slots->header_content = content;
    } else {
        html_append_to_content(top(c), control);
        html_insert(control, content, HTML_INSERT_AFTER);
    }
    push_for(c, content, node, BLOCK_DOCUMENT_CONTEXT);
}

// Puts emphasis markers around the key's value (for this call only).
static void mark_key_value(Converter* c, KavNode* key) {
    if (!is_kind(key->first, KAV_NODE_WORD) || !is_kind(key->last, KAV_NODE_WORD)) return;
    for (KavNode* child = key->first; !kav_node_is_nil(child); child = child->next) {
        if (child->flags & FLAGS_EMPHASIS) return;
    }
    MarkerInsert* insert = push_struct<MarkerInsert>(c->scratch);
    insert->keyword = key;
    insert->open = kav_node_make(c->scratch, KAV_NODE_WORD, KAV_FLAG_EM_OPEN, String{}, String{}, key->first->offset);
    insert->close = kav_node_make(c->scratch, KAV_NODE_WORD, KAV_FLAG_EM_CLOSE, String{}, String{}, key->last->offset);
    kav_node_insert_before(key, key->first, insert->open);
    kav_node_append(key, insert->close);
    insert->next = c->markers;
    c->markers = insert;
}

static void unmark_key_values(Converter* c) {
    for (MarkerInsert* m = c->markers; m; m = m->next) {
        KavNode* key = m->keyword;
        KavNode* nil = kav_nil();
        key->first = m->open->next;
        key->first->prev = nil;
        key->last = m->close->prev;
        key->last->next = nil;
        key->child_count -= 2;
    }
    c->markers = 0;
}

static void convert_keyword(Converter* c, KavNode* node) {
    const KavMetaKey* key = node->entry;
    if (!key || key->hidden) return;
    HtmlNode* el;
    if (key->id == KAV_KEY_TITLE) {
        el = element(c, HTML_TAG_H1, node);
        PageSlots* slots = c->builder->slots;
        if (slots && html_is_nil(slots->title)) {
            slots->title = el;  // the page's title heading, in its header
        } else {
            html_append_to_content(c->root, el);
        }
    } else {
        el = element(c, HTML_TAG_SPAN, node);
        html_append_to_content(top(c), el);
        if (key->id == KAV_KEY_AUTHOR_LINK) {
            c->mode = WORD_MODE_AUTHOR_LINK;
        } else if (key->id == KAV_KEY_CATEGORY) {
            next_element_number(c);
            c->mode = WORD_MODE_CATEGORY;
        } else if (key->mask & KAV_KEY_MASK_DATE) {
            c->mode = WORD_MODE_DATE;
        } else if (key_rendering(key->id)->emphasis & KEY_FLAGS_EMPHASISED) {
            mark_key_value(c, node);
        }
    }
    html_append_to_content(el, icon(c, key_rendering(key->id)->icon, node, STYLE_KEY_ICON));
    set(c, el, HTML_ATTR_TITLE, node->text);
    push_for(c, el, node, BLOCK_NONE);
}

// Every list and every item takes a number of its own, page-wide, so their
// ids are unique.
static void convert_list(Converter* c, KavNode* node) {
    bool inline_list = node->flags & KAV_FLAG_INLINE_LIST;
    HtmlTag tag = inline_list                                              ? HTML_TAG_SPAN
                  : (node->flags & (KAV_FLAG_LETTERED | KAV_FLAG_NUMBERED)) ? HTML_TAG_OL
                                                                           : HTML_TAG_UL;
    HtmlNode* list = element(c, tag, node);
    set(c, list, HTML_ATTR_ID, numbered_id(c, KAV_NODE_LIST, node->flags, c->builder->list_counter++));
    list->level = node->level;
    html_append_to_content(inline_list ? c->inline_holder : top(c), list);
    push_list(c, list, node);
}

static void convert_item(Converter* c, KavNode* node) {
    const KavNode* list = node->parent;
    bool inline_parent = is_kind(list, KAV_NODE_LIST) && (list->flags & KAV_FLAG_INLINE_LIST);
    // The parent list is the entry below the item's on the path.
    if (c->path_count >= 2) pop_to_list(c, c->path[c->path_count - 2].list);
    HtmlNode* item = element(c, inline_parent ? HTML_TAG_SPAN : HTML_TAG_LI, node);
    set(c, item, HTML_ATTR_ID, numbered_id(c, KAV_NODE_ITEM, node->flags, c->builder->item_counter++));
    item->level = node->level;
    // A list inside a line has no markers of its own: the item shows the
    // number it was written with.
    if (inline_parent && node->text.size) {
        html_append_text(c->arena, item, string_format(c->scratch, "%.*s. ", STR_ARG(node->text)));
    }
    html_append_to_content(top(c), item);
    push_for(c, item, node, BLOCK_NONE);
}

static TableRecord* new_table_record(Converter* c, HtmlNode* header_row) {
    TableRecord* record = push_struct<TableRecord>(c->scratch);
    record->header_row = header_row;
    record->body = html_nil_node;
    return record;
}

// The table's head, with its one row, in `table`.
static HtmlNode* add_table_head(Converter* c, HtmlNode* table, const KavNode* node) {
    HtmlNode* head = element(c, HTML_TAG_THEAD, node);
    HtmlNode* row = element(c, HTML_TAG_TR, node);
    html_append_to_content(head, row);
    html_append_to_content(table, head);
    return row;
}

static void convert_table(Converter* c, KavNode* node) {
    if (kav_node_is_nil(node->first)) return;
    if ((node->flags & KAV_FLAG_SIDE_BY_SIDE) && at_lines_block(c)) {
        HtmlNode* row = element(c, HTML_TAG_DIV, node);
        set_fixed(c, row, HTML_ATTR_CLASS, S("ta_c"));
        html_append_to_content(top(c), row);
        push_for(c, row, node, BLOCK_TABLE_ROW);
        HtmlNode* table = element(c, HTML_TAG_TABLE, node);
        table->level = node->level;
        html_append_to_content(row, table);
        StackEntry* entry = stack_push(c, table, BLOCK_TABLE);
        entry->record = new_table_record(c, add_table_head(c, table, node));
        return;
    }
    HtmlNode* table = element(c, HTML_TAG_TABLE, node);
    table->level = node->level;
    html_append_to_content(top(c), table);
    StackEntry* entry = push_for(c, table, node, BLOCK_TABLE);
    HtmlNode* header_row = add_table_head(c, table, node);
    if (entry) entry->record = new_table_record(c, header_row);
}

// The body row of `record` for row number `level`, made when missing.
static HtmlNode* table_row(Converter* c, TableRecord* record, const KavNode* node) {
    if (html_is_nil(record->body)) {
        record->body = element(c, HTML_TAG_TBODY, node);
        StackEntry* table = c->top;
        html_append_to_content(table->element, record->body);
    }
    u64 level = node->level;
    if (level >= record->row_capacity) {
        u64 capacity = MAX(MAX(record->row_capacity * 2, level + 1), 8ull);
        HtmlNode** grown = push_array<HtmlNode*>(c->scratch, capacity);
        if (record->row_capacity) memcpy(grown, record->rows, record->row_capacity * sizeof(HtmlNode*));
        record->rows = grown;
        record->row_capacity = capacity;
    }
    if (!record->rows[level]) {
        HtmlNode* row = element(c, HTML_TAG_TR, node);
        row->level = node->level;
        html_append_to_content(record->body, row);
        record->rows[level] = row;
    }
    return record->rows[level];
}

static void convert_table_entry(Converter* c, KavNode* node) {
    pop_to_block(c, BLOCK_TABLE);
    // With no table open the cell goes where the walk stands.
    HtmlNode* row = c->top->block == BLOCK_TABLE ? table_row(c, c->top->record, node) : top(c);
    HtmlNode* cell = element(c, HTML_TAG_TD, node);
    html_append_to_content(row, cell);
    push_for(c, cell, node, BLOCK_NONE);
}

static void convert_table_header(Converter* c, KavNode* node) {
    StackEntry* table = c->top->table;
    HtmlNode* row = table ? table->record->header_row : top(c);
    HtmlNode* cell = element(c, HTML_TAG_TH, node);
    cell->level = node->level;
    html_append_to_content(row, cell);
    push_for(c, cell, node, BLOCK_NONE);
}

static void convert_footnote_reference(Converter* c, KavNode* node) {
    html_append_text(c->arena, top(c), S("   "));
    String code = kav_kind_code(KAV_NODE_FOOTNOTE, 0);
    HtmlNode* link = element(c, HTML_TAG_A, node);
    set_fixed(c, link, HTML_ATTR_STYLE, S(STYLE_NOTE_REF_LINK));
    // A reference to a footnote the document lacks links nowhere.
    if (number_in(c->builder->footnote_numbers, node->level)) {
        set(c, link, HTML_ATTR_HREF,
            string_format(c->scratch, "#%.*s_%llu", STR_ARG(code), (unsigned long long)node->level));
    }
    HtmlNode* box = element(c, HTML_TAG_SPAN, node);
    set_fixed(c, box, HTML_ATTR_STYLE, S(STYLE_NOTE_REF_BOX));
    HtmlNode* number = element(c, HTML_TAG_SPAN, node);
    set_fixed(c, number, HTML_ATTR_STYLE, S(STYLE_NUMBER));
    html_append_text(c->arena, number, number_text(c, node->level));
    html_append_to_content(box, number);
    html_append_to_content(box, icon(c, ICON_DOWN_DIR, node, 0));
    html_append_to_content(link, box);
    html_append_to_content(top(c), link);
}

static void convert_footnote(Converter* c, KavNode* node) {
    HtmlNode* item = element(c, HTML_TAG_LI, node);
    html_append_text(c->arena, item, S(" "));
    HtmlNode* sup = element(c, HTML_TAG_SUP, node);
    // Two footnotes of one number: the references go to the first.
    if (!number_in(c->builder->footnote_ids, node->level)) {
        number_add(c->builder->footnote_ids, node->level);
        set(c, sup, HTML_ATTR_ID, numbered_id(c, KAV_NODE_FOOTNOTE, 0, node->level));
    }
    HtmlNode* number = element(c, HTML_TAG_SPAN, node);
    set_fixed(c, number, HTML_ATTR_STYLE, S(STYLE_NOTE_NUMBER));
    html_append_text(c->arena, number, number_text(c, node->level));
    html_append_to_content(sup, number);
    html_append_to_content(item, sup);
    html_append_to_content(top(c), item);
    push_for(c, sup, node, BLOCK_NONE);
}

static void convert_link_reference(Converter* c, KavNode* node) {
    String code = kav_kind_code(KAV_NODE_INTERNAL_LINK, 0);
    HtmlNode* link = element(c, HTML_TAG_A, node);
    // A reference to a number that labels nothing links nowhere.
    if (number_in(c->builder->target_numbers, node->level)) {
        set(c, link, HTML_ATTR_HREF,
            string_format(c->scratch, "#%.*s_%llu", STR_ARG(code), (unsigned long long)node->level));
    }
    HtmlNode* box = element(c, HTML_TAG_SPAN, node);
    set_fixed(c, box, HTML_ATTR_STYLE, S(STYLE_LINK_REF_BOX));
    HtmlNode* number = element(c, HTML_TAG_SPAN, node);
    set_fixed(c, number, HTML_ATTR_STYLE, S(STYLE_NUMBER));
    html_append_text(c->arena, number, number_text(c, node->level));
    HtmlNode* eye = icon(c, ICON_EYE, node, 0);
    html_append_to_content(box, number);
    html_append_to_content(box, eye);
    html_append_to_content(link, box);
    html_append_to_content(top(c), link);
    if (kav_node_is_nil(node->first)) {
        set_fixed(c, link, HTML_ATTR_STYLE, S("margin-right:.3em;"));
    } else {
        set_fixed(c, eye, HTML_ATTR_STYLE, S("margin-right:0.4em;"));
        push_for(c, link, node, BLOCK_NONE);
    }
}

static void convert_embedded_html(Converter* c, KavNode* node) {
    HtmlDocument fragment = html_read_template(c->arena, node->value, String{}, HTML_PARSE_QUIET);
    if (!fragment.root) return;
    HtmlNode* child = fragment.root->first_child;
    while (!html_is_nil(child)) {
        HtmlNode* next = child->next;
        html_detach(child);
        html_append_to_content(top(c), child);
        child = next;
    }
}

// The "view raw" link of a page: to the raw copy beside the page.
static void convert_view_raw(Converter* c, KavNode* word) {
    String path = c->document_path;
    String name = path_file_name(path);
    String directory = name.size < path.size ? string_prefix(path, path.size - name.size - 1) : String{};
    String raw = string_format(c->scratch, "%.*s/raw_%.*s", STR_ARG(directory), STR_ARG(name));
    HtmlNode* link = element(c, HTML_TAG_A, word);
    set_fixed(c, link, HTML_ATTR_REL, S("alternate"));
    // Numbered like every link of the page, so no word link shares its id.
    // An element number is taken as well, unused, as for the category key.
    next_element_number(c);
    set(c, link, HTML_ATTR_ID, numbered_id(c, KAV_NODE_WORD, KAV_FLAG_FILE_FOUND, c->builder->link_counter++));
    set_fixed(c, link, HTML_ATTR_TARGET, S("_blank"));
    set_fixed(c, link, HTML_ATTR_TITLE, S("view raw document"));
    set(c, link, HTML_ATTR_HREF, page_link(c->builder, c->scratch, raw));
    html_append_to_content(link, icon(c, ICON_PENCIL, word, STYLE_KEY_ICON));
    html_append_text(c->arena, link, S("view raw"));
    html_append_to_content(top(c), link);
}

static void convert_word(Converter* c, KavNode* node) {
    KavNode* parent = node->parent;

    if (is_inline_context(node->prev)) {
        while (c->depth > 1 && (c->top->block & (BLOCK_CONTEXT | BLOCK_DOCUMENT_CONTEXT))) stack_pop(c);
    }

    // Code: the text goes in as it is, one word after the other.
    if (is_kind(parent, KAV_NODE_BLOCK) || is_kind(parent, KAV_NODE_UNFORMATED_TEXT)) {
        html_append_text(c->arena, top(c), html_escape_lt(c->scratch, node->text));
        if (kav_node_is_nil(node->next)) stack_pop(c);
        return;
    }

    // Hidden keys show nothing, except the page's "view raw" link at the
    // first output_path line: a page has one raw view, however many paths
    // the document names.
    if (is_hidden_key(parent)) {
        if (parent->entry->id == KAV_KEY_OUTPUT_PATH && parent->first == node && !c->builder->view_raw_done) {
            c->builder->view_raw_done = true;
            convert_view_raw(c, node);
        }
        return;
    }

    // The description of an image is its alternative text and size.
    bool image_description = is_kind(parent, KAV_NODE_DESC) && (parent->parent->flags & KAV_FLAG_IMAGE);
    if (image_description) return;


    bool image = node->flags & KAV_FLAG_IMAGE;
    bool described = is_kind(node->first, KAV_NODE_DESC);
    bool text_taken = image || (node->flags & FLAGS_EMPHASIS);
    if (((node->flags & FLAGS_LINK) && !image) || c->mode == WORD_MODE_AUTHOR_LINK) {
        HtmlNode* link = html_nil_node;
        if (node->flags & KAV_FLAG_FILE_MISSING) {
            StringList parts = path_split(c->scratch, node->text);
            StringJoin join = {String{}, S("/"), String{}};
            link = element(c, HTML_TAG_SPAN, node);
            set(c, link, HTML_ATTR_TITLE, string_list_join(c->scratch, &parts, &join));
            html_append_to_content(link, icon(c, ICON_UNLINK, node, "color:#440202"));
        } else if (node->flags & (KAV_FLAG_URL | KAV_FLAG_FILE_FOUND)) {
            link = element(c, HTML_TAG_A, node);
            String href = (node->flags & KAV_FLAG_FILE_FOUND) ? page_link(c->builder, c->scratch, node->text) : node->text;
            set(c, link, HTML_ATTR_HREF, href);
        }
        if (!html_is_nil(link)) {
            // Words before the link stay before it.
            flush_pending(c, node, c->mode);
            set(c, link, HTML_ATTR_ID, numbered_id(c, KAV_NODE_WORD, node->flags, c->builder->link_counter++));
            html_append_to_content(top(c), link);
            if (described) {
                push_for(c, link, node, BLOCK_NONE);
                text_taken = true;
            } else if (link->element->tag == HTML_TAG_A) {
                // A link without a description shows its own text.
                html_append_text(c->arena, link, html_escape_lt(c->scratch, node->text));
                text_taken = true;
            }
        }
    }
    if (!text_taken) pending_add(c, node->text);
    if (image) {
        flush_pending(c, node, c->mode);  // words before the image stay before it
        HtmlNode* img = make_image(c->builder, node);
        html_append_to_content(top(c), img);
        if (described) push_for(c, img, node, BLOCK_NONE);
    }
    // A described word takes its blank after the description is done.
    if ((node->flags & KAV_FLAG_SPACE_AFTER) && !described) pending_add(c, S(" "));
    if (node->flags & KAV_FLAG_EM_OPEN) {
        HtmlNode* em = element(c, HTML_TAG_EM, node);
        html_append_to_content(top(c), em);
        stack_push(c, em, BLOCK_NONE);
    } else if (node->flags & KAV_FLAG_STRONG_OPEN) {
        HtmlNode* strong = element(c, HTML_TAG_STRONG, node);
        html_append_to_content(top(c), strong);
        stack_push(c, strong, BLOCK_NONE);
    }
}

static void convert_node(Converter* c, KavNode* node) {
    switch (node->kind) {
        case KAV_NODE_CHECKBOX:
            html_append_to_content(top(c), icon(c, (node->flags & KAV_FLAG_TICKED) ? ICON_CHECK : ICON_CHECK_EMPTY, node, 0));
            break;
        case KAV_NODE_HEADING: convert_heading(c, node); break;
        case KAV_NODE_WORD: convert_word(c, node); break;
        case KAV_NODE_QUOTE: convert_quote(c, node); break;
        case KAV_NODE_FOOTNOTE_REFERENCE: convert_footnote_reference(c, node); break;
        case KAV_NODE_FOOTNOTE: convert_footnote(c, node); break;
        case KAV_NODE_INTERNAL_LINK_REFERENCE: convert_link_reference(c, node); break;
        case KAV_NODE_BLOCK: {
            HtmlNode* span = element(c, HTML_TAG_SPAN, node);
            set_fixed(c, span, HTML_ATTR_CLASS, kav_kind_code(KAV_NODE_BLOCK, 0));
            html_append_to_content(top(c), span);
            push_for(c, span, node, BLOCK_NONE);
        } break;
        case KAV_NODE_EMBEDDED_HTML: convert_embedded_html(c, node); break;
        case KAV_NODE_UNFORMATED_TEXT: {
            HtmlNode* code = element(c, HTML_TAG_CODE, node);
            html_append_to_content(top(c), code);
            push_for(c, code, node, BLOCK_NONE);
        } break;
        case KAV_NODE_CONTEXT: convert_context(c, node); break;
        case KAV_NODE_RESERVED_CONTEXT_KEYWORD: convert_keyword(c, node); break;
        case KAV_NODE_CONTEXT_DOCUMENT: convert_document_context(c, node); break;
        case KAV_NODE_PARAGRAPH: convert_paragraph(c, node); break;
        case KAV_NODE_LIST: convert_list(c, node); break;
        case KAV_NODE_ITEM: convert_item(c, node); break;
        case KAV_NODE_SEPARATOR:
            // Across the block that holds it: the page, a toggle, a quote.
            pop_to_lines_block(c);
            html_append_to_content(top(c), element(c, HTML_TAG_HR, node));
            break;
        case KAV_NODE_TABLE: convert_table(c, node); break;
        case KAV_NODE_TABLE_ENTRY: convert_table_entry(c, node); break;
        case KAV_NODE_TABLE_HEADER_COLUMN: convert_table_header(c, node); break;
        default: break;  // File, Main, Desc, InternalLink: children in place
    }
}

// ---- Streamed body ---------------------------------------------------------------------------------------------


BodyStream body_stream_make(Arena* text_arena) {
    BodyStream stream = {};
    for (u32 i = 0; i < 2; i += 1) {
        stream.blocks[i] = arena_create(GB(8), KB(64));
        stream.bases[i] = arena_pos(stream.blocks[i]);
    }
    stream.text_arena = text_arena;
    stream.min_bytes = KB(256);
    return stream;
}

void body_stream_release(BodyStream* stream) {
    for (u32 i = 0; i < 2; i += 1) {
        if (stream->blocks[i]) arena_release(stream->blocks[i]);
        stream->blocks[i] = 0;
    }
    if (stream->spool_arena) arena_release(stream->spool_arena);
    stream->spool_arena = 0;
}

// The writer's text so far goes on to the spool; its memory is used again.
static void stream_to_spool(BodyStream* s) {
    html_text_writer_flush(&s->writer);
    for (StringNode* piece = s->text.first; piece; piece = piece->next) spool_append(s->spool, piece->string);
    s->text = StringList{};
    arena_pop_to(s->spool_arena, 0);
    s->writer = html_text_writer(s->spool_arena, &s->text, true);
}

// The child of `content` that holds `node`; the nil node when `node` is not
// below `content`.
static HtmlNode* child_holding(HtmlNode* content, HtmlNode* node) {
    for (HtmlNode* n = node; !html_is_nil(n); n = n->parent) {
        if (n->parent == content) return n;
    }
    return html_nil_node;
}

// Before node `next` (null: the body is done), with the stack down to the
// container: writes out the blocks converted so far and empties their
// arena, when that is safe and worth it. The block that holds the element
// the next inline list would go to, and those after it, stay; they move to
// the other arena, as do the page's header slots. Nothing else outside the
// stack points into the blocks (scopes of earlier generations are closed).
static void stream_blocks(Converter* c, const KavNode* next) {
    BodyStream* s = c->stream;
    Arena* a = s->blocks[s->current];
    if (next) {
        if (c->depth != 1) return;
        // While the quote after the last of a run may still join the run's
        // container (the lines of the last one may come first), it stays.
        if (!html_is_nil(c->quote_container) && is_kind(c->quote_run_last->next, KAV_NODE_QUOTE)) return;
        // Twice what the last copy kept at least, so copies stay linear
        // overall.
        if (s->min_bytes && arena_pos(a) - s->bases[s->current] < MAX(s->min_bytes, 2 * s->kept)) return;
    }
    HtmlNode* content = html_find_kind(c->root, HTML_NODE_CONTENT);
    HtmlNode* keep = next ? child_holding(content, c->inline_holder) : html_nil_node;
    if (!s->writing) {
        if (s->spool && !s->spool_arena) s->spool_arena = arena_create(GB(8), KB(64));
        s->writer = html_text_writer(s->spool ? s->spool_arena : s->text_arena, &s->text, true);
        s->writing = true;
    }
    HtmlNode* quote_block = child_holding(content, c->quote_container);
    bool quote_written = false;
    while (content->first_child != keep) {
        HtmlNode* child = content->first_child;
        quote_written |= child == quote_block;
        html_text_writer_node(&s->writer, child);
        html_detach(child);
    }
    if (s->spool) stream_to_spool(s);
    if (!next) {
        html_text_writer_flush(&s->writer);
        return;
    }
    c->generation += 1;
    s->steps += 1;

    // What stays is copied to the other arena, then this one is emptied.
    u32 other = 1 - s->current;
    Arena* b = s->blocks[other];
    arena_pop_to(b, s->bases[other]);
    HtmlNode* tracked[2] = {c->inline_holder, c->quote_container};
    PageSlots* slots = c->builder->slots;
    if (slots) {
        HtmlNode** slot_nodes[3] = {&slots->title, &slots->header_control, &slots->header_content};
        for (HtmlNode** slot : slot_nodes) {
            if (!html_is_nil(*slot)) *slot = html_clone(b, *slot, true, tracked, 2);
        }
    }
    u64 kept_count = 0;
    for (HtmlNode* n = keep; !html_is_nil(n); n = n->next) kept_count += 1;
    HtmlNode** kept = push_array_no_zero<HtmlNode*>(c->scratch, MAX(kept_count, 1ull));
    for (u64 i = 0; i < kept_count; i += 1) {
        kept[i] = content->first_child;
        html_detach(kept[i]);
    }
    for (u64 i = 0; i < kept_count; i += 1) html_append_child(content, html_clone(b, kept[i], true, tracked, 2));
    c->inline_holder = tracked[0];
    // A quote container written out takes no more quotes: no quote follows
    // the last of its run.
    c->quote_container = quote_written ? html_nil_node : tracked[1];
    arena_pop_to(a, s->bases[s->current]);
    s->current = other;
    s->kept = arena_pos(b) - s->bases[other];
    c->arena = b;
}

// ---- After a node --------------------------------------------------------------------------------------------

// Whether the words collected so far are written after word `node`.
static bool word_flushes(const KavNode* node, const KavNode* next) {
    const KavNode* parent = node->parent;
    if (is_kind(parent, KAV_NODE_BLOCK) || is_kind(next, KAV_NODE_DESC) || is_hidden_key(parent)) return false;
    if (!is_kind(next, KAV_NODE_WORD)) return true;
    if (next->flags & (KAV_FLAG_URL | KAV_FLAG_FILE_FOUND | FLAGS_OPENS)) return true;
    if (node->flags & FLAGS_CLOSES) return true;
    if (is_kind(parent, KAV_NODE_DESC) && parent->last == node) return true;
    // Leaving the parent: its words stay inside it (inline toggles). Code
    // words never collect.
    return next->parent != parent && !is_kind(parent, KAV_NODE_UNFORMATED_TEXT);
}

static bool top_is_emphasis(Converter* c) {
    HtmlTag tag = top(c)->element->tag;
    return c->depth > 1 && (tag == HTML_TAG_STRONG || tag == HTML_TAG_EM);
}

// After a flush: the element of the words is done unless more inline
// content follows. The words of a list item go straight into its element,
// which stays open for the rest of the item: there only the emphasis that
// a marker closes ends. Returns true when that emphasis was closed.
static bool close_after_flush(Converter* c, const KavNode* node, const KavNode* next) {
    if (is_kind(node->parent, KAV_NODE_ITEM)) {
        if (!(node->flags & FLAGS_CLOSES) || !top_is_emphasis(c)) return false;
        stack_pop(c);
        return true;
    }
    if (is_inline_context(next) || is_kind(next, KAV_NODE_CHECKBOX) || is_kind(next, KAV_NODE_FOOTNOTE_REFERENCE) ||
        is_kind(next, KAV_NODE_EMBEDDED_HTML) || is_kind(next, KAV_NODE_UNFORMATED_TEXT) ||
        is_kind(next, KAV_NODE_INTERNAL_LINK_REFERENCE) || is_word_with(next, FLAGS_OPENS)) {
        return false;
    }
    if (is_kind(node->next, KAV_NODE_WORD) && !(node->flags & FLAGS_CLOSES)) return false;
    stack_pop(c);
    return false;
}

// `next` is what the walk converts after `node`; `next_at` its path entry
// (what its ancestors are), and `next_inside_parent` whether it belongs to
// the subtree of node's parent.
// `emphasis_closed`: the flush after word `node` already closed the
// emphasis the word ends.
static void close_after_node(Converter* c, const KavNode* node, const KavNode* next, const PathEntry* next_at,
                             bool next_inside_parent, bool emphasis_closed) {
    const KavNode* parent = node->parent;

    // Parts of an inline toggle are set apart by a middle dot.
    if (is_inline_context(parent) && !kav_node_is_nil(node->next) && pipe_between(c, node, node->next)) {
        if (c->pending_size && c->pending[c->pending_size - 1] == ' ') c->pending_size -= 1;
        flush_pending(c, node, c->mode);
        html_append_text(c->arena, top(c), S(CONTEXT_PART_SEPARATOR));
    }

    // Leaving a list item for something that is not list content: out of
    // the list, to the block that holds it (the page root at the top).
    if (is_kind(parent, KAV_NODE_ITEM) && !next_inside_parent && !is_kind(next, KAV_NODE_WORD) &&
        !is_kind(next, KAV_NODE_FOOTNOTE_REFERENCE) && !is_kind(next, KAV_NODE_INTERNAL_LINK_REFERENCE) &&
        !is_kind(next, KAV_NODE_UNFORMATED_TEXT) && !is_kind(next, KAV_NODE_LIST) && !is_kind(next, KAV_NODE_ITEM)) {
        pop_to_lines_block(c);
    }

    // Tables: out of the table to the block that holds it, to where the
    // table stands for a table beside it (the row of side-by-side tables),
    // or back to the table for the next cell.
    const KavNode* table = path_top(c)->table;
    if (!kav_node_is_nil(table)) {
        if (kav_node_is_nil(next) || kav_node_is_nil(next_at->table)) {
            pop_to_lines_block(c);
        } else if (next->kind == KAV_NODE_TABLE) {
            StackEntry* open = c->top->table;
            if (next->parent == table && open) {
                while (c->top != open) stack_pop(c);
                stack_pop(c);
            } else {
                pop_to_lines_block(c);
            }
        } else if (next->kind == KAV_NODE_TABLE_ENTRY || next->kind == KAV_NODE_TABLE_HEADER_COLUMN) {
            pop_to_block(c, BLOCK_TABLE);
        }
    }

    // A line that ends with closing emphasis closes its own element too.
    if (!emphasis_closed && (node->flags & FLAGS_CLOSES) && is_kind(parent->last, KAV_NODE_WORD) &&
        (parent->last->flags & (FLAGS_EMPHASIS | KAV_FLAG_STRONG_MARK | KAV_FLAG_EM_MARK))) {
        stack_pop(c);
    }
}

// The walk leaves `node` (and its subtree): the element made for it is done.
static void leave_node(Converter* c, const KavNode* node) {
    while (c->scopes && c->scopes->owner == node) {
        ScopeEntry* scope = c->scopes;
        if (c->pending_size) {
            flush_pending(c, node, c->mode);
            c->mode = WORD_MODE_PLAIN;
        }
        while (c->depth > 1 && c->depth >= scope->depth) stack_pop(c);
        c->scopes = scope->below;
        scope->below = c->free_scopes;
        c->free_scopes = scope;
    }
    // The blank after an inline construct (code, a toggle, a link
    // reference, a described link, ...) comes after all of it. A plain
    // word adds its own blank.
    bool plain_word = node->kind == KAV_NODE_WORD && !is_kind(node->first, KAV_NODE_DESC);
    bool empty_toggle = node->kind == KAV_NODE_CONTEXT && kav_node_is_nil(node->first);
    if ((node->flags & KAV_FLAG_SPACE_AFTER) && !plain_word && !empty_toggle) pending_add(c, S(" "));
}

// ---- Walk ----------------------------------------------------------------------------------------------------------

// Everything a walk needs before its first node; false when there is
// nothing to convert.
static bool convert_setup(Converter* c, PageBuilder* builder, KavNode* start, const KavParseResult* document,
                          HtmlNode* container, String document_path, Arena* scratch) {
    if (html_is_nil(container) || kav_node_is_nil(start)) return false;
    c->builder = builder;
    c->arena = builder->arena;
    c->scratch = scratch;
    c->document = document;
    c->boundary = document && !kav_node_is_nil(document->root) ? document->root : start;
    c->start = start;
    c->source = document && !kav_node_is_nil(document->root) ? document->root->text : String{};
    c->document_path = document_path;
    c->root = container;
    c->quote_container = html_nil_node;
    c->inline_holder = container;
    stack_push(c, container, BLOCK_NONE);
    index_targets(builder, document);
    BodyStream* stream = builder->stream;
    if (stream && stream->container == container && start == c->boundary) {
        c->stream = stream;
        c->arena = stream->blocks[stream->current];
    }

    // The path starts with the ancestors of `start`, top first.
    u64 above = 0;
    for (KavNode* a = start->parent; !kav_node_is_nil(a); a = a->parent) above += 1;
    if (above) {
        KavNode** chain = push_array_no_zero<KavNode*>(c->scratch, above);
        u64 k = above;
        for (KavNode* a = start->parent; !kav_node_is_nil(a); a = a->parent) chain[--k] = a;
        for (u64 i = 0; i < above; i += 1) path_push(c, chain[i]);
    }
    return true;
}

// Converts from `node` on in document order, and stops before `stop` (nil:
// at the end of the walk). Returns where it stopped.
static KavNode* convert_walk(Converter* c, KavNode* node, const KavNode* stop) {
    while (!kav_node_is_nil(node) && node != stop) {
        if (c->stream && c->depth == 1) stream_blocks(c, node);
        path_push(c, node);
        if (node->flags & KAV_FLAG_LINK_TARGET) convert_anchor(c, node);
        convert_node(c, node);

        // Next in document order; an internal link's `first` is its target,
        // not a child. `left` counts the nodes the walk leaves on the way,
        // node itself first; the entry below the last one left is the
        // parent of `next`.
        KavNode* next = kav_nil();
        u64 left = 0;
        if (!kav_node_is_nil(node->first) && node->kind != KAV_NODE_INTERNAL_LINK) {
            next = node->first;
        } else {
            for (KavNode* t = node;; t = t->parent) {
                left += 1;
                if (t == c->boundary || t == c->start) break;
                if (!kav_node_is_nil(t->next)) {
                    next = t->next;
                    break;
                }
                if (kav_node_is_nil(t->parent)) break;
            }
        }
        u64 below = c->path_count - left;  // entries up to next's parent
        PathEntry next_at = {kav_nil(), kav_nil(), 0, 0};
        if (!kav_node_is_nil(next)) next_at = path_entry(below ? &c->path[below - 1] : 0, next);
        bool next_inside_parent = !kav_node_is_nil(next) && left <= 1;

        bool emphasis_closed = false;
        if (node->kind == KAV_NODE_WORD && word_flushes(node, next)) {
            flush_pending(c, node, c->mode);
            c->mode = WORD_MODE_PLAIN;
            emphasis_closed = close_after_flush(c, node, next);
        }
        close_after_node(c, node, next, &next_at, next_inside_parent, emphasis_closed);
        for (u64 i = 0; i < left; i += 1) {
            leave_node(c, c->path[c->path_count - 1].node);
            c->path_count -= 1;
        }
        node = next;
    }
    return node;
}

static void convert_finish(Converter* c) {
    flush_pending(c, c->start, c->mode);
    unmark_key_values(c);
    if (c->stream) stream_blocks(c, 0);
}

void convert_nodes(PageBuilder* builder, KavNode* start, const KavParseResult* document, HtmlNode* container,
                   String document_path) {
    Scratch scratch(builder->arena);
    Converter converter = {};
    Converter* c = &converter;
    if (!convert_setup(c, builder, start, document, container, document_path, scratch.arena)) return;
    convert_walk(c, start, kav_nil());
    convert_finish(c);
}

// ---- A walk that follows a parse ------------------------------------------------------------------------

struct ConvertRun {
    Arena* scratch;  // the walk's own working memory, kept between its steps
    Converter converter;
    KavNode* node;  // where the walk goes on
    bool active;
};

ConvertRun* convert_run_begin(PageBuilder* builder, KavNode* start, const KavParseResult* document,
                              HtmlNode* container, String document_path) {
    Arena* scratch = arena_create(GB(8), KB(64));
    ConvertRun* run = push_struct<ConvertRun>(scratch);
    run->scratch = scratch;
    run->active = convert_setup(&run->converter, builder, start, document, container, document_path, scratch);
    run->node = start;
    return run;
}

void convert_run_until(ConvertRun* run, const KavNode* stop) {
    if (run->active) run->node = convert_walk(&run->converter, run->node, stop);
}

void convert_run_forget_before(ConvertRun* run, const KavNode* keep) {
    Converter* c = &run->converter;
    // Every key the walk marked is behind it: its markers come out now,
    // while its node is still the key's.
    unmark_key_values(c);
    // A quote to come joins the last run only when `keep`, the node before
    // it at the earliest, ended that run; else the run is over and nothing
    // may compare with its last quote, whose memory is about to be used
    // again.
    if (c->quote_run_last != keep) {
        c->quote_run_last = 0;
        c->quote_container = html_nil_node;
    }
}

void convert_run_end(ConvertRun* run) {
    if (run->active) {
        run->node = convert_walk(&run->converter, run->node, kav_nil());
        convert_finish(&run->converter);
    }
    arena_release(run->scratch);
}
