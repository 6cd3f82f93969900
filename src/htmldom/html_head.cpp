#include "htmldom/html_head.h"

#include "htmldom/html_reader.h"

String html_head_strip(Arena* arena, String text, const String* codes, u64 code_count) {
    if (text.size == 0) return String{};
    Scratch scratch(arena);
    HtmlDocument document = html_read_template(scratch.arena, text, String{}, 0);
    for (u64 i = 0; i < code_count; i += 1) {
        if (codes[i].size == 0) continue;
        html_detach(html_find_by_attribute(document.root, HTML_ATTR_NAME, codes[i]));
    }
    HtmlNode* head = document.root->first_child;
    HtmlNode* content = html_is_nil(head) ? html_nil_node : html_find_kind(head, HTML_NODE_CONTENT);
    for (HtmlNode* child = content->first_child; !html_is_nil(child);) {
        HtmlNode* next = child->next;
        if (child->kind == HTML_NODE_ELEMENT && child->element->tag == HTML_TAG_STYLE) html_detach(child);
        child = next;
    }
    return html_serialize_to_string(arena, document.root);
}
