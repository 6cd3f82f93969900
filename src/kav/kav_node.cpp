#include "kav/kav_node.h"

// ---- Nil node -----------------------------------------------------------------------

extern const KavNode kav_nil_node;
const KavNode kav_nil_node = {
    const_cast<KavNode*>(&kav_nil_node), const_cast<KavNode*>(&kav_nil_node),
    const_cast<KavNode*>(&kav_nil_node), const_cast<KavNode*>(&kav_nil_node),
    const_cast<KavNode*>(&kav_nil_node), 0, 0, {}, {}, 0, 0, KAV_NODE_NIL, 0, 0, 0,
};

// ---- Tree operations ------------------------------------------------------------------

KavNode* kav_node_make(Arena* arena, u32 kind, u64 flags, String text, String value, u64 offset) {
    // Every field is set here, so the memory need not be zeroed first.
    KavNode* node = push_array_no_zero<KavNode>(arena, 1);
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
    return node;
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
        if (child->flags & KAV_FLAG_SPACE_AFTER) {
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
    {1, S("File"), 0, S("fil"), S("")},
    {2, S("ErrorMarker"), 0, S("erm"), S("")},
    {18, S("Context"), 0, S("contex"), S("")},
    {18, S("Context"), 0x400000, S("contexi"), S("margin-top:0.1rem;")},
    {18, S("Context"), 0x200000, S("contex"), S("")},
    {19, S("ContextInlined"), 0, S("contexi"), S("")},
    {21, S("ContextDocument"), 0, S("contexd"), S("")},
    {3, S("Main"), 0, S("mai"), S("")},
    {4, S("Desc"), 0, S("des"), S("")},
    {5, S("Checkbox"), 0, S("chb"), S("")},
    {6, S("Heading"), 0, S("hea"), S("")},
    {6, S("Heading"), 0x400000000, S("hec"), S("")},
    {22, S("Paragraph"), 0, S("par"), S("font-weight:400;")},
    {22, S("Paragraph"), 0x80000, S("pab"), S("")},
    {22, S("Paragraph"), 0x100000, S("pae"), S("")},
    {22, S("Paragraph"), 0x400000000, S("pac"), S("")},
    {7, S("Word"), 0x10, S("wsq"), S("color:red;")},
    {7, S("Word"), 0x80000, S("wsq"), S("color:green;")},
    {7, S("Word"), 0x20, S("wdq"), S("font-style:italic;")},
    {7, S("Word"), 0x800, S("lif"), S("width:fit-content;font-weight:400;font-style:initial;color:#0f0d5f;")},
    {7, S("Word"), 0x400, S("lih"), S("width:fit-content;font-weight:400;font-style:initial;color:#0f0d5f;")},
    {7, S("Word"), 0x1000, S("lib"), S("font-style:initial;color:red;")},
    {7, S("Word"), 0x80, S("won"), S("font-style:initial;color:red;")},
    {8, S("Prefix"), 0, S("pre"), S("")},
    {9, S("Quote"), 0, S("quo"), S("")},
    {10, S("FootNoteReference"), 0, S("fnr"), S("")},
    {12, S("FootnoteList"), 0, S("fnl"), S("")},
    {11, S("FootNote"), 0, S("fno"), S("display:inline-block;margin-top:1rem;")},
    {13, S("InternalLink"), 0, S("int"), S("")},
    {14, S("InternalLinkReference"), 0, S("inr"), S("")},
    {15, S("Block"), 0, S("blo"),
     S("color:#3a3c3c;margin-top:0.5rem;display:inline-block;background-color:#dbdada;border-radius:2px;width:fit-"
       "content;padding:1em 1.2em;white-space:pre;")},
    {17, S("UnformatedText"), 0, S("unt"),
     S("font-family:'Fira Code';line-height: 1.4rem;color:#161616;display:inline-block;background-color:#f1f1f1;"
       "width:fit-content;font-size:0.9em;padding:0 0.2em;white-space:pre;")},
    {20, S("ReservedContextKeyword"), 0, S("res"), S("")},
    {20, S("ReservedContextKeyword"), 0x800, S("res"), S("")},
    {29, S("TOC"), 0, S("toc"), S("")},
    {23, S("List"), 0, S("lis"), S("")},
    {23, S("List"), 0x8000000, S("lin"), S("")},
    {23, S("List"), 0x20000000, S("liu"), S("list-style:lower-alpha inside;")},
    {23, S("List"), 0x40000000, S("lii"), S("")},
    {23, S("List"), 0x2000000, S("lia"), S("list-style:lower-alpha inside;")},
    {24, S("Separator"), 0, S("sep"), S("")},
    {25, S("Table"), 0, S("tab"), S("")},
    {26, S("TableEntry"), 0, S("tae"), S("")},
    {27, S("TableHeaderColumn"), 0, S("tac"), S("")},
    {28, S("Item"), 0, S("ite"), S("font-weight:300;")},
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
