#include "site/dates.h"

static const char* const date_month_names[13] = {"Err", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads the leading decimal digits of a trimmed piece; a piece that does not
// start with a digit reads as 0.
static u64 date_read_number(String piece) {
    piece = string_trim_whitespace(piece);
    u64 value = 0;
    for (u64 i = 0; i < piece.size && char_is_digit(piece.str[i]); i += 1) value = value * 10 + (piece.str[i] - '0');
    return value;
}

DateRecord parse_date(Arena* arena, String text, u32 order) {
    DateRecord date = {};
    if (order != 0) return date;
    Scratch scratch(arena);
    StringList pieces = string_split(scratch.arena, text, S("/.-:"), SPLIT_KEEP_EMPTY);
    u64 index = 0;
    for (StringNode* n = pieces.first; n && index < 3; n = n->next, index += 1) {
        u64 value = date_read_number(n->string);
        switch (index) {
            case 0: date.year = (u16)value; break;
            case 1: date.month = (u8)value; break;
            default: date.day = (u8)value; break;
        }
    }
    return date;
}

String format_date(Arena* arena, DateRecord date) {
    const char* month = date.month >= 1 && date.month <= 12 ? date_month_names[date.month] : date_month_names[0];
    int hour12 = date.hour % 12;
    if (hour12 == 0) hour12 = 12;
    return string_format(arena, "%d %s %d, %02d:%02d:%02d %s", (int)date.day, month, (int)date.year, hour12,
                         (int)date.minute, (int)date.second, date.hour < 12 ? "am" : "pm");
}

String format_datetime_attribute(Arena* arena, DateRecord date) {
    return string_format(arena, "%d-%d-%d", (int)date.year, (int)date.month, (int)date.day);
}
