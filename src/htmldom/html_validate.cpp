#include "htmldom/html_reader.h"
#include "base/url.h"

// ---- Structure validation --------------------------------------------------

static void html_check_error(Arena* arena, HtmlDocument* document, String text, u64 position, String message) {
    HtmlNode* anchor = html_node_create(arena, HTML_NODE_TOKEN, 0, text, position);
    diag_append(arena, &document->diagnostics, anchor, DIAG_ERROR, message);
}

// For every `head` in document order, whether a `title` lies anywhere below
// it. One walk: a head's subtree is the stretch of the walk between entering
// and leaving it, so it holds a title when the count of titles grew
// meanwhile.
struct HtmlHeadTitles {
    u8* has_title;  // one entry per head, in document order
    u64 count;
};

static HtmlHeadTitles html_head_titles(Arena* arena, HtmlNode* root) {
    HtmlHeadTitles result = {};
    u64 heads = 0;
    for (HtmlNode* n = root; !html_is_nil(n); n = html_walk_next(n, root, false)) {
        if (n->kind == HTML_NODE_ELEMENT && n->element->tag == HTML_TAG_HEAD) heads += 1;
    }
    if (heads == 0) return result;
    struct OpenHead {
        HtmlNode* node;
        u64 index;
        u64 titles_before;
    };
    result.has_title = push_array<u8>(arena, heads);
    result.count = heads;
    Scratch scratch(arena);
    OpenHead* stack = push_array_no_zero<OpenHead>(scratch.arena, heads);
    u64 depth = 0, next_index = 0, titles = 0;
    HtmlNode* n = root;
    while (!html_is_nil(n)) {
        if (n->kind == HTML_NODE_ELEMENT) {
            if (n->element->tag == HTML_TAG_TITLE) titles += 1;
            if (n->element->tag == HTML_TAG_HEAD) stack[depth++] = OpenHead{n, next_index++, titles};
        }
        if (!html_is_nil(n->first_child)) {
            n = n->first_child;
            continue;
        }
        // Leave n and every ancestor without a next sibling.
        HtmlNode* t = n;
        n = html_nil_node;
        while (!html_is_nil(t)) {
            if (depth && stack[depth - 1].node == t) {
                depth -= 1;
                result.has_title[stack[depth].index] = titles > stack[depth].titles_before;
            }
            if (t == root) break;
            if (!html_is_nil(t->next)) {
                n = t->next;
                break;
            }
            t = t->parent;
        }
    }
    return result;
}

// For the attributes of one list, in order, whether another attribute of
// the same element has the same row; attributes outside the table compare
// by name (A-Z folded), so that two different unknown names are no
// duplicates.
struct HtmlDuplicates {
    HtmlNode* list;
    u8* duplicated;  // one entry per attribute node of the list
    u64 count;
    u64 next;        // entry of the next attribute met by the walk
};

static u64 html_folded_hash(String s) {
    u64 h = 5381;
    for (u64 i = 0; i < s.size; i += 1) h = h * 33 + char_to_lower(s.str[i]);
    return h;
}

static HtmlDuplicates html_find_duplicates(Arena* arena, HtmlNode* list, u32* row_counts) {
    HtmlDuplicates d = {};
    d.list = list;
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) d.count += a->kind == HTML_NODE_ATTRIBUTE;
    if (d.count == 0) return d;
    d.duplicated = push_array<u8>(arena, d.count);

    struct Slot {
        String name;
        u64 hash;
        u64 count;
    };
    u64 capacity = 16;
    while (capacity < d.count * 2) capacity *= 2;
    Slot* slots = 0;
    auto find_slot = [&](String name) -> Slot* {
        u64 hash = html_folded_hash(name);
        for (u64 at = hash & (capacity - 1);; at = (at + 1) & (capacity - 1)) {
            Slot* slot = &slots[at];
            if (slot->count == 0) {
                slot->name = name;
                slot->hash = hash;
                return slot;
            }
            if (slot->hash == hash && string_match(slot->name, name, MATCH_CASE_INSENSITIVE)) return slot;
        }
    };

    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind != HTML_NODE_ATTRIBUTE) continue;
        if (a->attribute->name.size) {
            row_counts[a->attribute->id] += 1;
        } else {
            if (!slots) slots = push_array<Slot>(arena, capacity);
            find_slot(a->text)->count += 1;
        }
    }
    u64 i = 0;
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind != HTML_NODE_ATTRIBUTE) continue;
        u64 count = a->attribute->name.size ? row_counts[a->attribute->id] : find_slot(a->text)->count;
        d.duplicated[i++] = count > 1;
    }
    for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
        if (a->kind == HTML_NODE_ATTRIBUTE && a->attribute->name.size) row_counts[a->attribute->id] = 0;
    }
    return d;
}

static void html_validate_element(Arena* arena, HtmlDocument* document, HtmlNode* n, u32 options, bool missing_title) {
    const HtmlElementInfo* row = n->element;
    if (missing_title) html_check_error(arena, document, String{}, 0, S("document missing title"));

    if (!html_is_nil(n->prev) && n->prev->kind != HTML_NODE_ELEMENT && n->prev->kind != HTML_NODE_CONTENT) {
        html_check_error(arena, document, n->text, n->position + 1,
                         S("parsing failed, tag was encountered inside attribute node"));
    }

    if ((options & HTML_VALIDATE_UNKNOWN_TAGS) && row->tag == 0) {
        html_check_error(arena, document, n->text, n->position + 1,
                         string_format(arena, "%.*s unknown tag element", STR_ARG(n->text)));
    }

    HtmlNode* content = html_nil_node;
    for (HtmlNode* c = n->first_child; !html_is_nil(c) && html_is_nil(content); c = c->next) {
        if (c->kind == HTML_NODE_CONTENT) content = c;
    }
    // Code makes an element's attribute list with its first attribute, so
    // only the content holder must be there.
    if (html_is_nil(content)) {
        html_check_error(arena, document, n->text, n->position,
                         string_format(arena,
                                       "Structure (internal): %.*s does not have correct internal nodes which will "
                                       "cause critical errors",
                                       STR_ARG(n->text)));
    }

    if (options & HTML_VALIDATE_PARENTS) {
        bool at_root = n->parent->kind == HTML_NODE_DOCUMENT;
        HtmlNode* enclosing = html_enclosing_element(n->parent);
        String enclosing_name = enclosing ? enclosing->text : String{};
        bool allowed = html_for_each_name(row->allowed_parents, [&](String name) {
            if (at_root && string_match(name, S("root"), MATCH_CASE_INSENSITIVE)) return true;
            return enclosing != 0 && string_match(name, enclosing_name, MATCH_CASE_INSENSITIVE);
        });
        if (!allowed) {
            html_check_error(arena, document, n->text, n->position + 1,
                             string_format(arena,
                                           "Structure: %.*s does not have an allowed parent, it should be one of "
                                           "theses: %.*s",
                                           STR_ARG(n->text), STR_ARG(row->allowed_parents)));
        }
    }

    bool may_be_empty = row->content_model & (HTML_CONTENT_MAY_BE_EMPTY | HTML_CONTENT_VOID);
    if (!may_be_empty && !html_is_nil(content) && html_is_nil(content->first_child)) {
        html_check_error(arena, document, n->text, n->position + 1,
                         string_format(arena, "%.*s must not have empty content", STR_ARG(n->text)));
    }
}

static void html_validate_attribute(Arena* arena, HtmlDocument* document, HtmlNode* a, u32 options, bool duplicated) {
    if ((options & HTML_VALIDATE_UNKNOWN_ATTRIBUTES) && a->attribute->name.size == 0) {
        html_check_error(arena, document, a->text, a->position + 1,
                         string_format(arena, "%.*s unknown attribute", STR_ARG(a->text)));
    }
    if (duplicated) {
        html_check_error(arena, document, a->text, a->position + 1,
                         string_format(arena, "%.*s is a duplicated attribute", STR_ARG(a->text)));
    }
    if (a->attribute->value_type == HTML_VALUE_URL) {
        HtmlNode* value = a->first_child;
        bool empty_quoted = !html_is_nil(value) && value->text.size == 0 && (value->flags & HTML_NODE_FROM_STRING);
        if (html_is_nil(value) || empty_quoted) {
            html_check_error(arena, document, a->text, a->position + 1,
                             string_format(arena, "attribute's key %.*s must not be empty", STR_ARG(a->text)));
        }
    }
}

void html_validate_structure(Arena* arena, HtmlDocument* document) {
    if (!document) return;
    HtmlNode* root = document->root;
    u32 options = document->options;
    if (root) {
        Scratch scratch(arena);
        HtmlHeadTitles titles = html_head_titles(scratch.arena, root);
        u64 head_index = 0;
        u32* row_counts = push_array<u32>(scratch.arena, HTML_ATTR_COUNT);
        HtmlDuplicates duplicates = {};
        TempArena list_scope = temp_begin(scratch.arena);
        for (HtmlNode* n = root; !html_is_nil(n); n = html_walk_next(n, root, false)) {
            switch (n->kind) {
                case HTML_NODE_ELEMENT: {
                    bool missing_title = false;
                    if (n->element->tag == HTML_TAG_HEAD && head_index < titles.count) {
                        missing_title = !titles.has_title[head_index++];
                    }
                    html_validate_element(arena, document, n, options, missing_title);
                } break;
                case HTML_NODE_ATTRIBUTE_LIST:
                    temp_end(list_scope);
                    list_scope = temp_begin(scratch.arena);
                    duplicates = html_find_duplicates(scratch.arena, n, row_counts);
                    break;
                case HTML_NODE_ATTRIBUTE: {
                    bool duplicated = false;
                    if (n->parent == duplicates.list && duplicates.next < duplicates.count) {
                        duplicated = duplicates.duplicated[duplicates.next++];
                    }
                    html_validate_attribute(arena, document, n, options, duplicated);
                } break;
                default: break;
            }
        }
    }
    document->ok = document->diagnostics.max_level <= DIAG_ERROR ? 1 : 0;
}

// ---- Link pass -------------------------------------------------------------

void html_collect_links(Arena* arena, HtmlDocument* document) {
    if (!document || !document->root) return;
    HtmlNode* root = document->root;
    for (HtmlNode* n = root; !html_is_nil(n); n = html_walk_next(n, root, n->kind == HTML_NODE_ATTRIBUTE_LIST)) {
        if (n->kind != HTML_NODE_ELEMENT || !(n->flags & HTML_NODE_HAS_URL)) continue;
        HtmlNode* list = html_find_kind(n, HTML_NODE_ATTRIBUTE_LIST);
        if (html_is_nil(list)) continue;

        // `dontFetch` counts only when it comes before the URL attribute.
        bool excluded = false;
        HtmlNode* url_attribute = html_nil_node;
        for (HtmlNode* a = list->first_child; !html_is_nil(a); a = a->next) {
            if (a->kind != HTML_NODE_ATTRIBUTE) continue;
            if (string_match(a->text, S("dontFetch"), MATCH_CASE_INSENSITIVE)) excluded = true;
            if (a->attribute->value_type == HTML_VALUE_URL) {
                url_attribute = a;
                break;
            }
        }
        HtmlNode* value = url_attribute->first_child;
        if (excluded || html_is_nil(url_attribute) || html_is_nil(value)) continue;

        // The URL without its fragment; its range in the template skips the
        // opening quote of a quoted value.
        u64 hash = string_find_last_byte(value->text, '#');
        String url = string_prefix(value->text, hash);
        u64 begin = value->position + ((value->flags & HTML_NODE_FROM_STRING) ? 1 : 0);

        HtmlLink* link = push_struct<HtmlLink>(arena);
        link->begin = begin;
        link->end = begin + url.size;
        link->kind = url_is_external(url_split(url)) ? HTML_LINK_EXTERNAL : HTML_LINK_INTERNAL;
        link->element = n;
        link->prev = document->links_last;
        if (document->links_last) {
            document->links_last->next = link;
        } else {
            document->links_first = link;
        }
        document->links_last = link;
        document->link_count += 1;
    }
}
