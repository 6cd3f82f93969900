#include "kav/kav_node.h"

// ---- Nil node -----------------------------------------------------------------------

extern const KavNode kav_nil_node;
const KavNode kav_nil_node = {
    const_cast<KavNode*>(&kav_nil_node), const_cast<KavNode*>(&kav_nil_node),
    const_cast<KavNode*>(&kav_nil_node), const_cast<KavNode*>(&kav_nil_node),
    const_cast<KavNode*>(&kav_nil_node), 0, 0, {}, {}, 0, 0, KAV_NODE_NIL, 0, 0, 0, 0,
};

// ---- Tree operations ------------------------------------------------------------------

KavNode* kav_node_make(Arena* arena, u32 kind, u64 flags, String text, String value, u64 offset) {
    // Every field is set here, so the memory need not be zeroed first.
    return kav_node_init(push_array_no_zero<KavNode>(arena, 1), kind, flags, text, value, offset);
}

KavNode* kav_node_init(KavNode* node, u32 kind, u64 flags, String text, String value, u64 offset) {
    KavNode* nil = kav_nil();
    node->next = node->prev = node->parent = node->first = node->last = nil;
    node->entry = 0;
    node->flags = flags;
    node->text = text;
    node->value = value;
    node->offset = offset;
    node->child_count = 0;
    node->kind = kind;
    node->level = 0;
    node->indent = 0;
    node->child_level = 0;
    node->kept = KAV_KEPT_NOT;
    return node;
}

// Post-order without a stack: a node goes back to the pool once its
// children have, its `next` and `parent` read before that.
void kav_node_pool_free_subtree(KavNodePool* pool, KavNode* top) {
    if (kav_node_is_nil(top)) return;
    KavNode* node = top;
    for (;;) {
        while (node->kept != KAV_KEPT_SUBTREE && !kav_node_is_nil(node->first)) node = node->first;
        for (;;) {
            KavNode* next = node->next;
            KavNode* parent = node->parent;
            bool done = node == top;
            if (!node->kept) {
                node->next = pool->free;
                pool->free = node;
            }
            if (done) return;
            if (!kav_node_is_nil(next)) {
                node = next;
                break;
            }
            node = parent;
        }
    }
}

void kav_node_append(KavNode* parent, KavNode* child) {
    if (kav_node_is_nil(child) || kav_node_is_nil(parent)) return;
    KavNode* nil = kav_nil();
    child->parent = parent;
    child->next = nil;
    if (kav_node_is_nil(parent->last)) {
        child->prev = nil;
        parent->first = child;
    } else {
        child->prev = parent->last;
        parent->last->next = child;
    }
    parent->last = child;
    parent->child_count += 1;
}

void kav_node_insert_before(KavNode* parent, KavNode* before, KavNode* child) {
    if (kav_node_is_nil(before) || before->parent != parent) {
        kav_node_append(parent, child);
        return;
    }
    if (kav_node_is_nil(child) || kav_node_is_nil(parent)) return;
    child->parent = parent;
    child->next = before;
    child->prev = before->prev;
    if (kav_node_is_nil(before->prev)) {
        parent->first = child;
    } else {
        before->prev->next = child;
    }
    before->prev = child;
    parent->child_count += 1;
}

void kav_node_pool_free_children_before(KavNodePool* pool, KavNode* parent, KavNode* keep) {
    if (kav_node_is_nil(keep) || keep->parent != parent) return;
    KavNode* nil = kav_nil();
    for (KavNode* child = parent->first; child != keep;) {
        KavNode* next = child->next;
        child->parent = child->next = nil;
        kav_node_pool_free_subtree(pool, child);
        child = next;
    }
    parent->first = keep;
    keep->prev = nil;
}

KavNode* kav_node_ancestor(KavNode* node, u32 kind) {
    for (KavNode* n = node; !kav_node_is_nil(n); n = n->parent) {
        if (n->kind == kind) return n;
    }
    return kav_nil();
}

KavNode* kav_node_copy_for_toc(Arena* arena, const KavNode* heading) {
    if (kav_node_is_nil(heading)) return kav_nil();
    String text = string_copy(arena, heading->text);
    String value = string_equal(heading->text, heading->value) ? text : string_copy(arena, heading->value);
    KavNode* copy = kav_node_make(arena, heading->kind, 0, text, value, heading->offset);
    copy->level = heading->level;
    copy->indent = heading->indent;
    for (KavNode* child = heading->first; !kav_node_is_nil(child); child = child->next) {
        if (child->kind != KAV_NODE_WORD) continue;
        String word_value = string_copy(arena, child->value);
        String word_text;
        if (child->flags & (KAV_FLAG_STRONG_OPEN | KAV_FLAG_STRONG_CLOSE | KAV_FLAG_EM_OPEN | KAV_FLAG_EM_CLOSE)) {
            // An emphasis marker shows nothing once its flags are gone; only
            // the blank after it stays between the words.
            word_value = string_copy(arena, String{});
            word_text = (child->flags & KAV_FLAG_SPACE_AFTER) ? string_copy(arena, S(" ")) : word_value;
        } else if (child->flags & KAV_FLAG_SPACE_AFTER) {
            u8* bytes = push_array_no_zero<u8>(arena, child->text.size + 2);
            if (child->text.size) __builtin_memcpy(bytes, child->text.str, child->text.size);
            bytes[child->text.size] = ' ';
            bytes[child->text.size + 1] = 0;
            word_text = String{bytes, child->text.size + 1};
        } else if (string_equal(child->text, child->value)) {
            word_text = word_value;
        } else {
            word_text = string_copy(arena, child->text);
        }
        kav_node_append(copy, kav_node_make(arena, KAV_NODE_WORD, 0, word_text, word_value, child->offset));
    }
    return copy;
}

// ---- Node-kind table --------------------------------------------------------------------

const KavKindRow kav_kind_table[KAV_KIND_ROW_COUNT] = {
    {KAV_NODE_FILE, S("File"), 0, S("fil"), S("")},
    {KAV_NODE_ERROR_MARKER, S("ErrorMarker"), 0, S("erm"), S("")},
    {KAV_NODE_CONTEXT, S("Context"), 0, S("contex"), S("")},
    {KAV_NODE_CONTEXT, S("Context"), KAV_FLAG_INLINE_CONTEXT, S("contexi"), S("margin-top:0.1rem;")},
    {KAV_NODE_CONTEXT, S("Context"), KAV_FLAG_BACKQUOTES, S("contex"), S("")},
    {KAV_NODE_CONTEXT_INLINED, S("ContextInlined"), 0, S("contexi"), S("")},
    {KAV_NODE_CONTEXT_DOCUMENT, S("ContextDocument"), 0, S("contexd"), S("")},
    {KAV_NODE_MAIN, S("Main"), 0, S("mai"), S("")},
    {KAV_NODE_DESC, S("Desc"), 0, S("des"), S("")},
    {KAV_NODE_CHECKBOX, S("Checkbox"), 0, S("chb"), S("")},
    {KAV_NODE_HEADING, S("Heading"), 0, S("hea"), S("")},
    {KAV_NODE_HEADING, S("Heading"), KAV_FLAG_IN_DOCUMENT, S("hec"), S("")},
    {KAV_NODE_PARAGRAPH, S("Paragraph"), 0, S("par"), S("font-weight:400;")},
    {KAV_NODE_PARAGRAPH, S("Paragraph"), KAV_FLAG_STRONG_MARK, S("pab"), S("")},
    {KAV_NODE_PARAGRAPH, S("Paragraph"), KAV_FLAG_EM_MARK, S("pae"), S("")},
    {KAV_NODE_PARAGRAPH, S("Paragraph"), KAV_FLAG_IN_DOCUMENT, S("pac"), S("")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_RED, S("wsq"), S("color:red;")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_STRONG_MARK, S("wsq"), S("color:green;")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_QUOTED, S("wdq"), S("font-style:italic;")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_FILE_FOUND, S("lif"), S("width:fit-content;font-weight:400;font-style:initial;color:#0f0d5f;")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_URL, S("lih"), S("width:fit-content;font-weight:400;font-style:initial;color:#0f0d5f;")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_FILE_MISSING, S("lib"), S("font-style:initial;color:red;")},
    {KAV_NODE_WORD, S("Word"), KAV_FLAG_NUMBER, S("won"), S("font-style:initial;color:red;")},
    {KAV_NODE_PREFIX, S("Prefix"), 0, S("pre"), S("")},
    {KAV_NODE_QUOTE, S("Quote"), 0, S("quo"), S("")},
    {KAV_NODE_FOOTNOTE_REFERENCE, S("FootNoteReference"), 0, S("fnr"), S("")},
    {KAV_NODE_FOOTNOTE_LIST, S("FootnoteList"), 0, S("fnl"), S("")},
    {KAV_NODE_FOOTNOTE, S("FootNote"), 0, S("fno"), S("display:inline-block;margin-top:1rem;")},
    {KAV_NODE_INTERNAL_LINK, S("InternalLink"), 0, S("int"), S("")},
    {KAV_NODE_INTERNAL_LINK_REFERENCE, S("InternalLinkReference"), 0, S("inr"), S("")},
    {KAV_NODE_BLOCK, S("Block"), 0, S("blo"),
     S("color:#3a3c3c;margin-top:0.5rem;display:inline-block;background-color:#dbdada;border-radius:2px;width:fit-"
       "content;padding:1em 1.2em;white-space:pre;")},
    {KAV_NODE_UNFORMATED_TEXT, S("UnformatedText"), 0, S("unt"),
     S("font-family:'Fira Code';line-height: 1.4rem;color:#161616;display:inline-block;background-color:#f1f1f1;"
       "width:fit-content;font-size:0.9em;padding:0 0.2em;white-space:pre;")},
    {KAV_NODE_RESERVED_CONTEXT_KEYWORD, S("ReservedContextKeyword"), 0, S("res"), S("")},
    {KAV_NODE_RESERVED_CONTEXT_KEYWORD, S("ReservedContextKeyword"), KAV_FLAG_FILE_FOUND, S("res"), S("")},
    {KAV_NODE_TOC, S("TOC"), 0, S("toc"), S("")},
    {KAV_NODE_LIST, S("List"), 0, S("lis"), S("")},
    {KAV_NODE_LIST, S("List"), KAV_FLAG_NUMBERED, S("lin"), S("")},
    {KAV_NODE_LIST, S("List"), KAV_FLAG_DOT_LIST, S("liu"), S("list-style:lower-alpha inside;")},
    {KAV_NODE_LIST, S("List"), KAV_FLAG_INLINE_LIST, S("lii"), S("")},
    {KAV_NODE_LIST, S("List"), KAV_FLAG_LETTERED, S("lia"), S("list-style:lower-alpha inside;")},
    {KAV_NODE_SEPARATOR, S("Separator"), 0, S("sep"), S("")},
    {KAV_NODE_TABLE, S("Table"), 0, S("tab"), S("")},
    {KAV_NODE_TABLE_ENTRY, S("TableEntry"), 0, S("tae"), S("")},
    {KAV_NODE_TABLE_HEADER_COLUMN, S("TableHeaderColumn"), 0, S("tac"), S("")},
    {KAV_NODE_ITEM, S("Item"), 0, S("ite"), S("font-weight:300;")},
};
static_assert(sizeof(kav_kind_table) / sizeof(kav_kind_table[0]) == 45, "the node-kind table has 45 rows");

const KavKindRow* kav_kind_row(u32 kind, u64 flags) {
    const KavKindRow* first = 0;
    const KavKindRow* plain = 0;
    for (const KavKindRow& row : kav_kind_table) {
        if (row.kind != kind) continue;
        if (!first) first = &row;
        if (row.mask == 0 && !plain) plain = &row;
        if (flags == 0) return first;
        if (row.mask & flags) return &row;
    }
    return plain;
}

String kav_kind_code(u32 kind, u64 flags) {
    const KavKindRow* row = kav_kind_row(kind, flags);
    return row ? row->code : String{};
}

String kav_kind_name(u32 kind) {
    if (kind == KAV_NODE_NIL) return S("Nil");
    if (kind == KAV_NODE_EMBEDDED_HTML) return S("EmbeddedHtml");
    for (const KavKindRow& row : kav_kind_table) {
        if (row.kind == kind) return row.name;
    }
    return String{};
}

// ---- Positions ------------------------------------------------------------------------------

TextPosition kav_position_at(String source, KavPositionCursor* cursor, u64 offset) {
    if (cursor->position.line == 0 || offset < cursor->offset) *cursor = KavPositionCursor{0, {1, 1}};
    u64 end = MIN(offset, source.size);
    if (end > cursor->offset) {
        TextPosition at = text_position(string_substr(source, cursor->offset, end), end - cursor->offset);
        if (at.line > 1) {
            cursor->position.line += at.line - 1;
            cursor->position.column = at.column;
        } else {
            cursor->position.column += at.column - 1;
        }
        cursor->offset = end;
    }
    return cursor->position;
}

// ---- Node lists ---------------------------------------------------------------------------

void kav_node_list_push(Arena* arena, KavNodeList* list, KavNode* node) {
    KavNodeCell* cell = push_struct<KavNodeCell>(arena);
    cell->node = node;
    SLL_QUEUE_PUSH(list->first, list->last, cell);
    list->count += 1;
}
