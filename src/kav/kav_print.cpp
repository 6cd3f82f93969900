#include "kav/kav_print.h"

#include "kav/kav_metadata.h"

struct FlagName {
    u64 bit;
    const char* name;
};

static const FlagName kFlagNames[] = {
    {KAV_FLAG_SPACE_AFTER, "space"},
    {KAV_FLAG_RED, "red"},
    {KAV_FLAG_QUOTED, "quoted"},
    {KAV_FLAG_NUMBER, "number"},
    {KAV_FLAG_TEXT, "text"},
    {KAV_FLAG_SYMBOL, "symbol"},
    {KAV_FLAG_URL, "url"},
    {KAV_FLAG_FILE_FOUND, "found"},
    {KAV_FLAG_FILE_MISSING, "missing"},
    {KAV_FLAG_STRONG_OPEN, "strong-open"},
    {KAV_FLAG_STRONG_CLOSE, "strong-close"},
    {KAV_FLAG_EM_OPEN, "em-open"},
    {KAV_FLAG_EM_CLOSE, "em-close"},
    {KAV_FLAG_STRONG_MARK, "green"},
    {KAV_FLAG_EM_MARK, "em-mark"},
    {KAV_FLAG_BACKQUOTES, "backquotes"},
    {KAV_FLAG_INLINE_CONTEXT, "inline"},
    {KAV_FLAG_LETTERED, "letters"},
    {KAV_FLAG_IMAGE, "image"},
    {KAV_FLAG_NUMBERED, "numbers"},
    {KAV_FLAG_NESTED_LIST, "nested"},
    {KAV_FLAG_DOT_LIST, "dots"},
    {KAV_FLAG_INLINE_LIST, "inline-list"},
    {KAV_FLAG_HEADER_DASH, "header-dash"},
    {KAV_FLAG_MULTI_COLUMN, "columns"},
    {KAV_FLAG_LINK_TARGET, "target"},
    {KAV_FLAG_IN_DOCUMENT, "doc"},
    {KAV_FLAG_SIDE_BY_SIDE, "side"},
    {KAV_FLAG_TICKED, "ticked"},
};

String kav_flag_names(Arena* arena, u32 kind, u64 flags) {
    Scratch scratch(arena);
    StringList parts = {};
    u64 known = 0;
    for (const FlagName& f : kFlagNames) {
        known |= f.bit;
        if (!(flags & f.bit)) continue;
        const char* name = f.name;
        // Paragraph variants reuse the two marker bits.
        if (kind == KAV_NODE_PARAGRAPH && f.bit == KAV_FLAG_STRONG_MARK) name = "strong-line";
        if (kind == KAV_NODE_PARAGRAPH && f.bit == KAV_FLAG_EM_MARK) name = "em-line";
        if (kind == KAV_NODE_WORD && f.bit == KAV_FLAG_IN_DOCUMENT) name = "in-context";
        string_list_push(scratch.arena, &parts, string_from_cstr(name));
    }
    if (flags & ~known) string_list_pushf(scratch.arena, &parts, "0x%llx", (unsigned long long)(flags & ~known));
    StringJoin join = {String{}, S(" "), String{}};
    return string_list_join(arena, &parts, &join);
}

// Quoted text with the bytes a line of output cannot hold written as escapes.
static void push_quoted(Arena* arena, StringList* out, String text) {
    Scratch scratch(arena);
    u8* buffer = push_array_no_zero<u8>(scratch.arena, text.size * 4 + 2);
    u64 n = 0;
    buffer[n++] = '"';
    static const char hex[] = "0123456789abcdef";
    for (u64 k = 0; k < text.size; k += 1) {
        u8 c = text.str[k];
        if (c == '"' || c == '\\') {
            buffer[n++] = '\\';
            buffer[n++] = c;
        } else if (c == '\n') {
            buffer[n++] = '\\';
            buffer[n++] = 'n';
        } else if (c == '\t') {
            buffer[n++] = '\\';
            buffer[n++] = 't';
        } else if (c == '\r') {
            buffer[n++] = '\\';
            buffer[n++] = 'r';
        } else if (c < 0x20 || c >= 0x7F) {
            buffer[n++] = '\\';
            buffer[n++] = 'x';
            buffer[n++] = (u8)hex[c >> 4];
            buffer[n++] = (u8)hex[c & 15];
        } else {
            buffer[n++] = c;
        }
    }
    buffer[n++] = '"';
    string_list_push(arena, out, string_copy(arena, String{buffer, n}));
}

static bool prints_text(u32 kind) {
    return kind == KAV_NODE_WORD || kind == KAV_NODE_RESERVED_CONTEXT_KEYWORD || kind == KAV_NODE_EMBEDDED_HTML ||
           kind == KAV_NODE_ERROR_MARKER;
}

static bool prints_indent(u32 kind) {
    switch (kind) {
        case KAV_NODE_HEADING:
        case KAV_NODE_PARAGRAPH:
        case KAV_NODE_LIST:
        case KAV_NODE_ITEM:
        case KAV_NODE_QUOTE:
        case KAV_NODE_CONTEXT:
        case KAV_NODE_CONTEXT_DOCUMENT:
        case KAV_NODE_TABLE:
        case KAV_NODE_BLOCK:
        case KAV_NODE_SEPARATOR: return true;
        default: return false;
    }
}

static constexpr u64 kMaxIndentedDepth = 64;

static void print_node_line(Arena* arena, StringList* out, const KavNode* node, u64 depth) {
    Scratch scratch(arena);
    StringList line = {};
    // Beyond a readable depth the level is written as a number, so a deeply
    // nested tree prints in linear size.
    if (depth <= kMaxIndentedDepth) {
        for (u64 d = 0; d < depth; d += 1) string_list_push(scratch.arena, &line, S("  "));
    } else {
        string_list_pushf(scratch.arena, &line, "(%llu) ", (unsigned long long)depth);
    }
    string_list_push(scratch.arena, &line, kav_kind_name(node->kind));
    if (node->level) string_list_pushf(scratch.arena, &line, " level=%u", (unsigned)node->level);
    if (node->indent && prints_indent(node->kind)) string_list_pushf(scratch.arena, &line, " indent=%u", (unsigned)node->indent);
    if (node->kind == KAV_NODE_ITEM || node->kind == KAV_NODE_LIST) {
        string_list_push(scratch.arena, &line, S(" "));
        push_quoted(scratch.arena, &line, node->text);
    }
    String flags = kav_flag_names(scratch.arena, node->kind, node->flags);
    if (flags.size) {
        string_list_push(scratch.arena, &line, S(" "));
        string_list_push(scratch.arena, &line, flags);
    }
    if (prints_text(node->kind)) {
        string_list_push(scratch.arena, &line, S(" "));
        push_quoted(scratch.arena, &line, node->text);
        if (!string_equal(node->text, node->value)) {
            string_list_push(scratch.arena, &line, S(" value="));
            push_quoted(scratch.arena, &line, node->value);
        }
    }
    string_list_push(scratch.arena, &line, S("\n"));
    string_list_push(arena, out, string_list_join(arena, &line));
}

void kav_print_subtree(Arena* arena, StringList* out, const KavNode* top, u64 depth) {
    if (kav_node_is_nil(top)) return;
    // Pre-order walk by links, no recursion; InternalLink nodes are leaves
    // (their `first` points at the labelled node, not at a child).
    const KavNode* node = top;
    u64 d = depth;
    for (;;) {
        print_node_line(arena, out, node, d);
        if (node->kind != KAV_NODE_INTERNAL_LINK && !kav_node_is_nil(node->first)) {
            node = node->first;
            d += 1;
            continue;
        }
        while (node != top && kav_node_is_nil(node->next)) {
            node = node->parent;
            d -= 1;
        }
        if (node == top) break;
        node = node->next;
    }
}

static void print_position(Arena* arena, StringList* out, String source, KavPositionCursor* cursor, u64 offset) {
    TextPosition at = kav_position_at(source, cursor, offset);
    string_list_pushf(arena, out, "%lld:%lld", (long long)at.line, (long long)at.column);
}

String kav_print_result(Arena* arena, const KavParseResult* result, String source) {
    Scratch scratch(arena);
    StringList out = {};
    if (!kav_node_is_nil(result->root)) {
        for (const KavNode* child = result->root->first; !kav_node_is_nil(child); child = child->next) {
            kav_print_subtree(scratch.arena, &out, child, 0);
        }
    }
    for (KavNodeCell* c = result->footnotes.first; c; c = c->next) {
        string_list_push(scratch.arena, &out, S("note\n"));
        kav_print_subtree(scratch.arena, &out, c->node, 1);
    }
    KavPositionCursor cursor = {};
    for (KavNodeCell* c = result->internal_links.first; c; c = c->next) {
        const KavNode* target = c->node->first;
        string_list_pushf(scratch.arena, &out, "target %u -> %.*s ", (unsigned)c->node->level,
                          STR_ARG(kav_kind_name(target->kind)));
        print_position(scratch.arena, &out, source, &cursor, target->offset);
        string_list_push(scratch.arena, &out, S("\n"));
    }
    struct Named {
        const char* name;
        const KavNodeList* list;
    };
    Named word_lists[] = {{"url ", &result->urls}, {"file ", &result->file_paths}};
    for (const Named& named : word_lists) {
        for (KavNodeCell* c = named.list->first; c; c = c->next) {
            string_list_push(scratch.arena, &out, string_from_cstr(named.name));
            push_quoted(scratch.arena, &out, c->node->text);
            string_list_push(scratch.arena, &out, S(" "));
            print_position(scratch.arena, &out, source, &cursor, c->node->offset);
            string_list_push(scratch.arena, &out, S("\n"));
        }
    }
    for (KavNodeCell* c = result->toc_entries.first; c; c = c->next) {
        StringList words = {};
        for (const KavNode* w = c->node->first; !kav_node_is_nil(w); w = w->next) {
            string_list_push(scratch.arena, &words, w->text);
        }
        string_list_pushf(scratch.arena, &out, "toc level=%u ", (unsigned)c->node->level);
        push_quoted(scratch.arena, &out, string_list_join(scratch.arena, &words));
        string_list_push(scratch.arena, &out, S("\n"));
    }
    if (result->title) {
        string_list_push(scratch.arena, &out, S("title "));
        print_position(scratch.arena, &out, source, &cursor, result->title->offset);
        string_list_push(scratch.arena, &out, S("\n"));
    }
    if (result->status.size) {
        string_list_push(scratch.arena, &out, S("status "));
        push_quoted(scratch.arena, &out, result->status);
        string_list_push(scratch.arena, &out, S("\n"));
    }
    if (result->document_context) {
        string_list_push(scratch.arena, &out, S("document context "));
        print_position(scratch.arena, &out, source, &cursor, result->document_context->offset);
        string_list_push(scratch.arena, &out, S("\n"));
    }
    for (StringNode* n = result->output_paths.first; n; n = n->next) {
        string_list_push(scratch.arena, &out, S("output "));
        push_quoted(scratch.arena, &out, n->string);
        string_list_push(scratch.arena, &out, S("\n"));
    }
    for (Diagnostic* d = result->diagnostics.first; d; d = d->next) {
        string_list_pushf(scratch.arena, &out, "%.*s ", STR_ARG(diag_level_name(d->level)));
        print_position(scratch.arena, &out, source, &cursor, d->offset);
        string_list_pushf(scratch.arena, &out, " %.*s\n", STR_ARG(d->message));
    }
    return string_list_join(arena, &out);
}

// ---- Invariants ----------------------------------------------------------------------

String kav_check_result(Arena* arena, const KavParseResult* r, String source) {
#define KAV_CHECK(cond, what)                          \
    do {                                               \
        if (!(cond)) return string_copy(arena, S(what)); \
    } while (0)
    if (!r->root) {
        KAV_CHECK(source.size == 0, "no root for a non-empty source");
        return String{};
    }
    KAV_CHECK(r->root->kind == KAV_NODE_FILE, "the root is not a File node");
    KAV_CHECK(r->root->parent == kav_nil(), "the root has a parent");
    const u8* begin = source.str;
    const u8* end = source.str + source.size;
    const KavNode* node = r->root;
    for (;;) {
        KAV_CHECK(node->kind > 0 && node->kind < KAV_NODE_KIND_COUNT, "a node of unknown kind");
        KAV_CHECK(node->offset <= source.size, "an offset past the end of the source");
        if (node->text.size && node->text.str >= begin && node->text.str < end) {
            KAV_CHECK(node->text.str + node->text.size <= end, "a text running past the source");
        }
        u64 children = 0;
        const KavNode* previous = kav_nil();
        for (const KavNode* c = node->first; !kav_node_is_nil(c); c = c->next) {
            KAV_CHECK(c->parent == node, "a child whose parent is another node");
            KAV_CHECK(c->prev == previous, "a broken previous-sibling link");
            previous = c;
            children += 1;
        }
        KAV_CHECK(node->last == previous, "a last-child link that is not the last child");
        KAV_CHECK(node->child_count == children, "a child count that does not match");
        if (!kav_node_is_nil(node->first)) {
            node = node->first;
            continue;
        }
        while (node != r->root && kav_node_is_nil(node->next)) node = node->parent;
        if (node == r->root) break;
        node = node->next;
    }
    const KavNodeList* ordered[] = {&r->footnotes, &r->internal_links, &r->file_paths, &r->urls, &r->toc_entries};
    for (const KavNodeList* list : ordered) {
        u64 count = 0;
        u64 offset = 0;
        for (KavNodeCell* c = list->first; c; c = c->next) {
            KAV_CHECK(c->node->offset >= offset, "a result list out of document order");
            offset = c->node->offset;
            count += 1;
        }
        KAV_CHECK(count == list->count, "a result list whose count does not match");
    }
    for (KavNodeCell* c = r->footnotes.first; c; c = c->next) {
        KAV_CHECK(c->node->kind == KAV_NODE_FOOTNOTE && c->node->parent == kav_nil(), "a footnote in the tree");
    }
    for (KavNodeCell* c = r->internal_links.first; c; c = c->next) {
        KAV_CHECK(c->node->kind == KAV_NODE_INTERNAL_LINK, "an internal link of another kind");
        KAV_CHECK(c->node->first->flags & KAV_FLAG_LINK_TARGET, "an internal link target without its flag");
    }
    for (KavNodeCell* c = r->urls.first; c; c = c->next) {
        KAV_CHECK(c->node->kind == KAV_NODE_WORD && (c->node->flags & KAV_FLAG_URL), "a URL entry that is no URL word");
    }
    for (KavNodeCell* c = r->file_paths.first; c; c = c->next) {
        KAV_CHECK(c->node->kind == KAV_NODE_WORD, "a file path entry that is no word");
    }
    for (KavNodeCell* c = r->toc_entries.first; c; c = c->next) {
        KAV_CHECK(c->node->kind == KAV_NODE_HEADING, "a table-of-content entry that is no heading");
    }
    if (r->document_context) {
        KAV_CHECK(r->document_context->kind == KAV_NODE_CONTEXT_DOCUMENT, "a document context of another kind");
        KAV_CHECK(r->document_context->parent == r->root, "a document context below the root");
    }
#undef KAV_CHECK
    return String{};
}
