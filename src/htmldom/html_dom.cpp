#include "htmldom/html_dom.h"

#include <string.h>

#include "base/os.h"

constinit const HtmlNode html_nil_node_storage = {
    .next = const_cast<HtmlNode*>(&html_nil_node_storage),
    .prev = const_cast<HtmlNode*>(&html_nil_node_storage),
    .parent = const_cast<HtmlNode*>(&html_nil_node_storage),
    .first_child = const_cast<HtmlNode*>(&html_nil_node_storage),
    .last_child = const_cast<HtmlNode*>(&html_nil_node_storage),
    .element = &html_nil_element_info,
    .attribute = &html_nil_attribute_info,
    .text = String{},
    .position = 0,
    .kind = HTML_NODE_NONE,
    .flags = 0,
    .child_count = 0,
    .level = 0,
};

Diagnostic* diag_append(Arena* arena, DiagnosticList* list, HtmlNode* node, s32 level, String message) {
    return diag_append_at(arena, list, node, node ? node->position : 0, level, message);
}

// ---- Construction ----------------------------------------------------------

// Empty texts share one NUL byte instead of an allocation each.
static u8 html_empty_text_byte = 0;

// `copy`: the text is copied into the arena; else it is kept as given (a
// constant of the program, or a text that outlives the tree).
static HtmlNode* html_node_make(Arena* arena, u32 kind, u64 flags, String text, u64 position, bool copy = true) {
    HtmlNode* node = push_struct<HtmlNode>(arena);
    node->next = node->prev = node->parent = html_nil_node;
    node->first_child = node->last_child = html_nil_node;
    node->element = &html_nil_element_info;
    node->attribute = &html_nil_attribute_info;
    node->kind = kind;
    node->flags = (u32)flags;
    if (text.size == 0) {
        node->text = String{&html_empty_text_byte, 0};
    } else {
        node->text = copy ? string_copy(arena, text) : text;
    }
    node->position = position;
    return node;
}

HtmlNode* html_node_create(Arena* arena, u32 kind, u64 flags, String text, u64 position) {
    HtmlNode* node = html_node_make(arena, kind, flags, text, position);
    if (kind == HTML_NODE_ELEMENT) {
        const HtmlElementInfo* row = html_element_info_by_name(text);
        if (row) node->element = row;
    } else if (kind == HTML_NODE_ATTRIBUTE) {
        const HtmlAttributeInfo* row = html_attribute_info_by_name(text);
        if (row) node->attribute = row;
    }
    return node;
}

HtmlNode* html_text_node_lasting(Arena* arena, String text) {
    return html_node_make(arena, HTML_NODE_CONTENT, HTML_NODE_LASTING_TEXT, text, 0, false);
}

// Names of the element and attribute tables are constants: nodes point at
// them. The attribute list is made with the first attribute: most elements
// a page is built of have none (table rows and cells, list items).
static HtmlNode* html_element_from_row(Arena* arena, const HtmlElementInfo* row, u64 position) {
    HtmlNode* element = html_node_make(arena, HTML_NODE_ELEMENT, 0, row->name, position, false);
    element->element = row;
    html_append_child(element, html_node_make(arena, HTML_NODE_CONTENT, 0, String{}, 0));
    return element;
}

HtmlNode* html_element_create(Arena* arena, HtmlTag tag, String text) {
    const HtmlElementInfo* row = html_element_info_by_tag(tag);
    if (!row) return html_nil_node;
    HtmlNode* element = html_element_from_row(arena, row, 0);
    if (text.size) html_append_child(element->last_child, html_node_make(arena, HTML_NODE_CONTENT, 0, text, 0));
    return element;
}

HtmlNode* html_element_create_at(Arena* arena, HtmlTag tag, u64 position) {
    const HtmlElementInfo* row = html_element_info_by_tag(tag);
    if (!row) return html_nil_node;
    return html_element_from_row(arena, row, position);
}

HtmlNode* html_default_document(Arena* arena) {
    HtmlNode* root = html_node_create(arena, HTML_NODE_DOCUMENT, 0, String{}, 0);
    HtmlNode* doctype = html_element_create(arena, HTML_TAG_DOCTYPE, String{});
    html_set_attribute(arena, doctype, HTML_ATTR_HTML, String{});
    html_append_child(root, doctype);
    HtmlNode* html = html_element_create(arena, HTML_TAG_HTML, String{});
    html_set_attribute(arena, html, HTML_ATTR_LANG, S("en"));
    html_append_to_content(html, html_element_create(arena, HTML_TAG_HEAD, String{}));
    html_append_to_content(html, html_element_create(arena, HTML_TAG_BODY, String{}));
    html_append_child(root, html);
    return root;
}

// ---- Linking ---------------------------------------------------------------

void html_detach(HtmlNode* node) {
    if (html_is_nil(node)) return;
    HtmlNode* parent = node->parent;
    // A node whose parent was set but which was never linked among the
    // parent's children only forgets the parent.
    bool linked = !html_is_nil(parent) && (parent->first_child == node || parent->last_child == node ||
                                          !html_is_nil(node->prev) || !html_is_nil(node->next));
    if (linked) {
        if (html_is_nil(node->prev)) {
            parent->first_child = node->next;
        } else {
            node->prev->next = node->next;
        }
        if (html_is_nil(node->next)) {
            parent->last_child = node->prev;
        } else {
            node->next->prev = node->prev;
        }
        if (parent->child_count) parent->child_count -= 1;
    }
    node->prev = node->next = node->parent = html_nil_node;
}

void html_append_child(HtmlNode* parent, HtmlNode* child) {
    if (html_is_nil(parent) || html_is_nil(child) || parent == child) return;
    if (!html_is_nil(child->parent) || !html_is_nil(child->prev) || !html_is_nil(child->next)) html_detach(child);
    child->parent = parent;
    child->next = html_nil_node;
    if (html_is_nil(parent->first_child)) {
        child->prev = html_nil_node;
        parent->first_child = parent->last_child = child;
    } else {
        child->prev = parent->last_child;
        parent->last_child->next = child;
        parent->last_child = child;
    }
    parent->child_count += 1;
}

void html_prepend_child(HtmlNode* parent, HtmlNode* child) {
    if (html_is_nil(parent) || html_is_nil(child) || parent == child) return;
    if (!html_is_nil(child->parent) || !html_is_nil(child->prev) || !html_is_nil(child->next)) html_detach(child);
    child->parent = parent;
    child->prev = html_nil_node;
    if (html_is_nil(parent->first_child)) {
        child->next = html_nil_node;
        parent->first_child = parent->last_child = child;
    } else {
        child->next = parent->first_child;
        parent->first_child->prev = child;
        parent->first_child = child;
    }
    parent->child_count += 1;
}

HtmlNode* html_append_to_content(HtmlNode* target, HtmlNode* child) {
    html_append_child(html_find_kind(target, HTML_NODE_CONTENT), child);
    return child;
}

HtmlNode* html_append_text(Arena* arena, HtmlNode* target, String text) {
    HtmlNode* content = html_find_kind(target, HTML_NODE_CONTENT);
    if (html_is_nil(content)) return html_nil_node;
    HtmlNode* node = html_node_make(arena, HTML_NODE_CONTENT, 0, text, 0);
    html_append_child(content, node);
    return node;
}

bool html_insert(HtmlNode* target, HtmlNode* node, u32 where) {
    if (html_is_nil(target) || html_is_nil(node)) return false;
    switch (where) {
        case HTML_INSERT_AFTER: {
            HtmlNode* element = html_enclosing_element(target);
            if (!element || element == node || html_is_nil(element->parent)) return false;
            html_detach(node);
            HtmlNode* parent = element->parent;
            if (html_is_nil(element->next)) {
                html_append_child(parent, node);
            } else {
                node->prev = element;
                node->next = element->next;
                element->next->prev = node;
                element->next = node;
                node->parent = parent;
                parent->child_count += 1;
            }
            return true;
        }
        case HTML_INSERT_CONTENT_FIRST:
        case HTML_INSERT_CONTENT_LAST: {
            HtmlNode* content = html_find_kind(target, HTML_NODE_CONTENT);
            if (html_is_nil(content) || content == node) return false;
            if (where == HTML_INSERT_CONTENT_FIRST) {
                html_prepend_child(content, node);
            } else {
                html_append_child(content, node);
            }
            return true;
        }
        default: return false;
    }
}

// ---- Attributes ------------------------------------------------------------

// The attribute node of `row` in an attribute list, or the nil node.
static HtmlNode* html_list_find(HtmlNode* list, const HtmlAttributeInfo* row) {
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind == HTML_NODE_ATTRIBUTE && a->attribute == row) return a;
    }
    return html_nil_node;
}

static HtmlNode* html_set_attribute_copy(Arena* arena, HtmlNode* element, HtmlAttr attr, String value, bool copy) {
    // Any node of an element reaches the element's attributes.
    HtmlNode* owner = html_enclosing_element(element);
    const HtmlAttributeInfo* row = html_attribute_info_by_id(attr);
    if (!owner || !row) return html_nil_node;
    bool boolean = row->value_type == HTML_VALUE_BOOLEAN;
    if (!boolean && value.size == 0) return html_nil_node;
    HtmlNode* list = html_find_kind(owner, HTML_NODE_ATTRIBUTE_LIST);
    if (html_is_nil(list)) {
        list = html_node_make(arena, HTML_NODE_ATTRIBUTE_LIST, 0, String{}, 0);
        html_prepend_child(owner, list);
    }

    HtmlNode* node = html_list_find(list, row);
    if (!html_is_nil(node) && (row->flags & HTML_ATTRIBUTE_REPLACE)) {
        html_detach(node);
        node = html_nil_node;
    }
    if (html_is_nil(node)) {
        node = html_node_make(arena, HTML_NODE_ATTRIBUTE, 0, row->name, 0, false);
        node->attribute = row;
        html_append_child(list, node);
    }
    if (!boolean) html_append_child(node, html_node_make(arena, HTML_NODE_ATTRIBUTE_VALUE, 0, value, 0, copy));
    return node;
}

HtmlNode* html_set_attribute(Arena* arena, HtmlNode* element, HtmlAttr attr, String value) {
    return html_set_attribute_copy(arena, element, attr, value, true);
}

HtmlNode* html_set_attribute_fixed(Arena* arena, HtmlNode* element, HtmlAttr attr, String value) {
    return html_set_attribute_copy(arena, element, attr, value, false);
}

HtmlNode* html_find_attribute(HtmlNode* element, HtmlAttr attr) {
    const HtmlAttributeInfo* row = html_attribute_info_by_id(attr);
    if (!row) return html_nil_node;
    HtmlNode* list = html_find_kind(element, HTML_NODE_ATTRIBUTE_LIST);
    if (html_is_nil(list)) return html_nil_node;
    return html_list_find(list, row);
}

String html_attribute_value(HtmlNode* element, HtmlAttr attr) {
    HtmlNode* value = html_find_attribute(element, attr)->first_child;
    return html_is_nil(value) ? String{} : value->text;
}

bool html_attribute_starts_with(HtmlNode* element, HtmlAttr attr, String prefix) {
    String value = html_attribute_value(element, attr);
    if (value.size == 0) return false;
    return string_starts_with(value, prefix, MATCH_CASE_INSENSITIVE);
}

bool html_has_class(HtmlNode* element, String class_name) {
    HtmlNode* list = html_find_kind(element, HTML_NODE_ATTRIBUTE_LIST);
    if (html_is_nil(list)) return false;
    const HtmlAttributeInfo* row = html_attribute_info_by_id(HTML_ATTR_CLASS);
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind != HTML_NODE_ATTRIBUTE || a->attribute != row) continue;
        for (HtmlNode* v = a->first_child; !html_is_nil(v); v = v->next) {
            if (string_match(v->text, class_name, MATCH_CASE_INSENSITIVE)) return true;
        }
    }
    return false;
}

void html_add_class(Arena* arena, HtmlNode* element, String class_name) {
    if (class_name.size == 0 || html_has_class(element, class_name)) return;
    HtmlNode* attribute = html_find_attribute(element, HTML_ATTR_CLASS);
    if (html_is_nil(attribute)) {
        html_set_attribute(arena, element, HTML_ATTR_CLASS, class_name);
    } else {
        html_append_child(attribute, html_node_make(arena, HTML_NODE_ATTRIBUTE_VALUE, 0, class_name, 0));
    }
}

// ---- Copies ------------------------------------------------------------------

HtmlNode* html_clone(Arena* arena, HtmlNode* source, bool copy_texts, HtmlNode** tracked, u64 tracked_count) {
    auto copy = [&](HtmlNode* n) {
        HtmlNode* c = push_struct<HtmlNode>(arena);
        *c = *n;
        c->next = c->prev = c->parent = c->first_child = c->last_child = html_nil_node;
        c->child_count = 0;
        if (copy_texts && n->text.size && !(n->flags & HTML_NODE_LASTING_TEXT)) c->text = string_copy(arena, n->text);
        for (u64 i = 0; i < tracked_count; i += 1) {
            if (tracked[i] == n) tracked[i] = c;
        }
        return c;
    };
    HtmlNode* result = copy(source);
    HtmlNode* from = source;
    HtmlNode* to = result;
    for (;;) {
        if (!html_is_nil(from->first_child)) {
            from = from->first_child;
            HtmlNode* child = copy(from);
            html_append_child(to, child);
            to = child;
            continue;
        }
        while (from != source && html_is_nil(from->next)) {
            from = from->parent;
            to = to->parent;
        }
        if (from == source) break;
        from = from->next;
        HtmlNode* sibling = copy(from);
        html_append_child(to->parent, sibling);
        to = sibling;
    }
    return result;
}

// ---- Queries ---------------------------------------------------------------

HtmlNode* html_walk_next(HtmlNode* node, HtmlNode* root, bool skip_children) {
    if (!skip_children && !html_is_nil(node->first_child)) return node->first_child;
    for (HtmlNode* t = node; !html_is_nil(t) && t != root; t = t->parent) {
        if (!html_is_nil(t->next)) return t->next;
    }
    return html_nil_node;
}

// Elements of root's subtree in document order; attribute lists are stepped
// over since nothing inside them is an element.
#define HTML_FOR_EACH_ELEMENT(root, n)                                                                  \
    for (HtmlNode* n = (root); !html_is_nil(n); n = html_walk_next(n, (root), n->kind == HTML_NODE_ATTRIBUTE_LIST)) \
        if (n->kind == HTML_NODE_ELEMENT)

HtmlNode* html_find_by_attribute(HtmlNode* root, HtmlAttr attr, String value) {
    const HtmlAttributeInfo* row = html_attribute_info_by_id(attr);
    if (!row || html_is_nil(root)) return html_nil_node;
    HTML_FOR_EACH_ELEMENT(root, n) {
        HtmlNode* list = n->first_child;
        if (list->kind != HTML_NODE_ATTRIBUTE_LIST) continue;
        HtmlNode* first = html_list_find(list, row)->first_child;
        if (!html_is_nil(first) && string_equal(first->text, value)) return n;
    }
    return html_nil_node;
}

HtmlNode* html_find_last_by_tag(HtmlNode* root, HtmlTag tag) {
    HtmlNode* found = html_nil_node;
    if (tag == 0 || html_is_nil(root)) return found;
    HTML_FOR_EACH_ELEMENT(root, n) {
        if (n->element->tag == tag) found = n;
    }
    return found;
}

HtmlNode* html_find_by_tag_and_level(HtmlNode* root, HtmlTag tag, u8 level) {
    if (tag == 0 || html_is_nil(root)) return html_nil_node;
    HTML_FOR_EACH_ELEMENT(root, n) {
        if (n->element->tag == tag && n->level == level) return n;
    }
    return html_nil_node;
}

HtmlNode* html_find_kind(HtmlNode* node, u32 kind) {
    if (html_is_nil(node)) return html_nil_node;
    HtmlNode* top = node;
    while (top->kind != HTML_NODE_ELEMENT && !html_is_nil(top->parent)) top = top->parent;
    if (top->kind == kind) return top;
    for (HtmlNode* c = top->first_child; !html_is_nil(c); c = c->next) {
        if (c->kind == kind) return c;
    }
    if (node->kind == kind) return node;
    return html_nil_node;
}

HtmlNode* html_content_last_child(HtmlNode* node) {
    HtmlNode* content = html_find_kind(node, HTML_NODE_CONTENT);
    return html_is_nil(content) ? html_nil_node : content->last_child;
}

HtmlNode* html_enclosing_element(HtmlNode* node) {
    while (!html_is_nil(node) && node->kind != HTML_NODE_ELEMENT) node = node->parent;
    return html_is_nil(node) ? 0 : node;
}

// ---- Output ----------------------------------------------------------------

// Pieces are copied into chunks of the arena, and each full chunk becomes
// one piece of the output list; long texts are not copied but listed as
// they are.
#define HTML_WRITER_CHUNK_SIZE KB(64)
// Texts of at least this many bytes are listed as pieces of their own, not
// copied into the writer's chunks: a lasting one is listed as it is.
#define HTML_WRITER_COPY_LIMIT KB(4)

typedef HtmlTextWriter HtmlWriter;

static void html_writer_flush(HtmlWriter* w) {
    if (w->used == 0) return;
    string_list_push(w->arena, w->out, String{w->chunk, w->used});
    w->chunk += w->used;
    w->capacity -= w->used;
    w->used = 0;
}

// `lasting`: the text outlives the list, so it may be listed as it is.
static void html_emit(HtmlWriter* w, String s, bool lasting = false) {
    if (s.size >= HTML_WRITER_COPY_LIMIT) {
        html_writer_flush(w);
        if (w->copy_texts && !lasting) s = string_copy(w->arena, s);
        string_list_push(w->arena, w->out, s);
        return;
    }
    if (w->used + s.size > w->capacity) {
        html_writer_flush(w);
        w->chunk = push_array_no_zero<u8>(w->arena, HTML_WRITER_CHUNK_SIZE);
        w->capacity = HTML_WRITER_CHUNK_SIZE;
    }
    memcpy(w->chunk + w->used, s.str, s.size);
    w->used += s.size;
}

static String html_element_name(const HtmlNode* element) {
    // An element whose name is not in the table keeps the name it was
    // written with, so that a template with such an element survives being
    // read and written back.
    return element->element->tag ? element->element->name : element->text;
}

static void html_write_open(HtmlWriter* w, const HtmlNode* element) {
    html_emit(w, S("<"));
    html_emit(w, html_element_name(element));
}

static void html_write_close(HtmlWriter* w, const HtmlNode* element) {
    if (element->element->content_model == HTML_CONTENT_VOID) return;
    html_emit(w, S("</"));
    html_emit(w, html_element_name(element));
    html_emit(w, S(">"));
}

// A value is written between double quotes as it is, unless that would end
// the attribute early or could not be read back: a value holding a double
// quote is put between apostrophes (or, holding both kinds, gets "&quot;"),
// and "<" becomes "&lt;" (the reader ends a quoted string at "<").
static String html_value_escape(Arena* arena, String value, u8 quote) {
    u64 extra = 0;
    for (u64 i = 0; i < value.size; i += 1) {
        if (value.str[i] == '<') extra += 3;
        if (value.str[i] == '"' && quote == '"') extra += 5;
    }
    if (extra == 0) return value;
    u8* bytes = push_array_no_zero<u8>(arena, value.size + extra + 1);
    u64 at = 0;
    for (u64 i = 0; i < value.size; i += 1) {
        u8 c = value.str[i];
        const char* entity = c == '<' ? "&lt;" : (c == '"' && quote == '"') ? "&quot;" : 0;
        if (entity) {
            for (const char* e = entity; *e; e += 1) bytes[at++] = (u8)*e;
        } else {
            bytes[at++] = c;
        }
    }
    bytes[at] = 0;
    return String{bytes, at};
}

static void html_write_attributes(HtmlWriter* w, const HtmlNode* list) {
    const HtmlAttributeInfo* class_row = html_attribute_info_by_id(HTML_ATTR_CLASS);
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind != HTML_NODE_ATTRIBUTE) continue;
        html_emit(w, S(" "));
        html_emit(w, a->text);
        if (!html_is_nil(a->first_child)) {
            bool has_double = false, has_single = false, has_lt = false;
            for (HtmlNode* v = a->first_child; !html_is_nil(v); v = v->next) {
                for (u64 i = 0; i < v->text.size; i += 1) {
                    u8 c = v->text.str[i];
                    has_double |= c == '"';
                    has_single |= c == '\'';
                    has_lt |= c == '<';
                }
            }
            u8 quote = (has_double && !has_single) ? '\'' : '"';
            bool escape = has_lt || (has_double && quote == '"');
            html_emit(w, quote == '"' ? S("=\"") : S("='"));
            for (HtmlNode* v = a->first_child; !html_is_nil(v); v = v->next) {
                String text = escape ? html_value_escape(w->arena, v->text, quote) : v->text;
                html_emit(w, text);
                if (a->attribute == class_row && !html_is_nil(v->next)) html_emit(w, S(" "));
            }
            html_emit(w, quote == '"' ? S("\"") : S("'"));
        }
        html_emit(w, S(" "));
    }
    html_emit(w, S(">"));
}

HtmlTextWriter html_text_writer(Arena* arena, StringList* out, bool copy_texts) {
    HtmlTextWriter w = {};
    w.arena = arena;
    w.out = out;
    w.copy_texts = copy_texts;
    return w;
}

void html_text_writer_flush(HtmlTextWriter* w) { html_writer_flush(w); }

void html_serialize_node(Arena* arena, HtmlNode* root, StringList* out) {
    HtmlWriter w = html_text_writer(arena, out, false);
    html_text_writer_node(&w, root);
    html_writer_flush(&w);
}

String html_text_mark(Arena* arena) {
    return String{push_array<u8>(arena, HTML_WRITER_COPY_LIMIT), HTML_WRITER_COPY_LIMIT};
}

bool html_text_split_at_mark(StringList* pieces, String mark, StringList* before, StringList* after) {
    StringList* side = before;
    bool found = false;
    for (StringNode* piece = pieces->first; piece;) {
        StringNode* next = piece->next;
        if (piece->string.str == mark.str) {
            side = after;
            found = true;
        } else {
            piece->next = 0;
            SLL_QUEUE_PUSH(side->first, side->last, piece);
            side->node_count += 1;
            side->total_size += piece->string.size;
        }
        piece = next;
    }
    *pieces = StringList{};
    return found;
}

void html_text_writer_node(HtmlTextWriter* writer, HtmlNode* root) {
    HtmlWriter& w = *writer;
    HtmlNode* n = root;
    while (!html_is_nil(n)) {
        // Successor and the number of levels climbed to reach it. The
        // attribute list writes its attributes itself, so the walk steps over
        // them to the content holder.
        bool skip = n->kind == HTML_NODE_ATTRIBUTE_LIST;
        HtmlNode* s = html_nil_node;
        u64 climbed = 0;
        if (!skip && !html_is_nil(n->first_child)) {
            s = n->first_child;
        } else {
            for (HtmlNode* t = n; !html_is_nil(t) && t != root; t = t->parent, climbed += 1) {
                if (!html_is_nil(t->next)) {
                    s = t->next;
                    break;
                }
            }
        }

        switch (n->kind) {
            case HTML_NODE_ELEMENT:
                html_write_open(&w, n);
                // Every element normally starts with its attribute list,
                // which ends the start tag; without one the tag ends here.
                if (n->first_child->kind != HTML_NODE_ATTRIBUTE_LIST) html_emit(&w, S(">"));
                break;
            case HTML_NODE_ATTRIBUTE_LIST: html_write_attributes(&w, n); break;
            case HTML_NODE_CONTENT:
                if (n->text.size) html_emit(&w, n->text, n->flags & HTML_NODE_LASTING_TEXT);
                break;
            default: break;
        }

        // End tags of the elements left on the way up: n and its ancestors,
        // climbed + 1 nodes in all.
        if (climbed > 0) {
            HtmlNode* m = n;
            for (u64 i = 0; i <= climbed && !html_is_nil(m); i += 1, m = m->parent) {
                if (m->kind == HTML_NODE_ELEMENT) html_write_close(&w, m);
            }
        }
        n = s;
    }
}

void html_serialize(Arena* arena, const HtmlDocument* document, StringList* out) {
    if (!document || !document->root) return;
    html_serialize_node(arena, document->root, out);
}

String html_serialize_to_string(Arena* arena, HtmlNode* root) {
    Scratch scratch(arena);
    StringList pieces = {};
    html_serialize_node(scratch.arena, root, &pieces);
    return string_list_join(arena, &pieces);
}

bool html_write_file(Arena* arena, const HtmlPage* page) {
    if (!page || page->path.size == 0) return false;
    Scratch scratch(arena);
    String text = html_serialize_to_string(scratch.arena, page->document.root);
    return os_write_file_atomic(page->path, text);
}
