#include "site/icons.h"

#include "htmldom/html_dom.h"

HtmlNode* make_icon(Arena* arena, u32 index) {
    if (index == ICON_NIL || index >= ICON_COUNT) return html_nil_node;
    HtmlNode* span = html_element_create(arena, HTML_TAG_SPAN, String{});
    html_add_class(arena, span, S("icon"));
    String name = icon_table[index].name;
    html_add_class(arena, span, string_format(arena, "icon-%.*s", STR_ARG(name)));
    return span;
}
