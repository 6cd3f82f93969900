#include "site/words.h"

#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/convert.h"
#include "site/dates.h"

void flush_words(Arena* arena, HtmlNode* target, const KavNode* node, const StringList* pending, u32 mode) {
    if (!pending || pending->total_size == 0) return;
    Scratch scratch(arena);
    String text = pending->node_count == 1 ? pending->first->string : string_list_join(scratch.arena, pending);
    u64 position = node ? node->offset : 0;

    if (mode == WORD_MODE_DATE) {
        DateRecord date = parse_date(scratch.arena, text, 0);
        String datetime = format_datetime_attribute(scratch.arena, date);
        HtmlNode* time = html_element_create_at(arena, datetime.size ? HTML_TAG_TIME : HTML_TAG_SPAN, position);
        html_append_text(arena, time, format_date(scratch.arena, date));
        html_set_attribute(arena, time, HTML_ATTR_DATETIME, datetime);
        html_append_to_content(target, time);
        return;
    }
    if (mode == WORD_MODE_CATEGORY) {
        // Cut at ";" before escaping: the ";" of an "&lt;" is no separator.
        u64 start = 0;
        for (u64 i = 0; i <= text.size; i += 1) {
            if (i < text.size && text.str[i] != ';') continue;
            String piece = string_trim_whitespace(string_substr(text, start, i));
            start = i + 1;
            if (piece.size == 0) continue;
            HtmlNode* chip = html_element_create_at(arena, HTML_TAG_SPAN, position);
            html_add_class(arena, chip, S("cat-it"));
            html_append_text(arena, chip, html_escape_lt(scratch.arena, piece));
            html_append_to_content(target, chip);
        }
        return;
    }
    html_append_text(arena, target, html_escape_lt(scratch.arena, text));
}
