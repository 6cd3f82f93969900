#include "site/dates.h"

static const char* const date_month_names[13] = {"Err", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Reads the decimal digits at the start of `piece` from `*at` on.
static u64 date_read_digits(String piece, u64* at) {
    u64 value = 0;
    for (; *at < piece.size && char_is_digit(piece.str[*at]); *at += 1) value = value * 10 + (piece.str[*at] - '0');
    return value;
}

// Reads the leading decimal digits of a trimmed piece; a piece that does not
// start with a digit reads as 0.
static u64 date_read_number(String piece) {
    u64 at = 0;
    return date_read_digits(string_trim_whitespace(piece), &at);
}

DateRecord parse_date(Arena* arena, String text, u32 order) {
    DateRecord date = {};
    if (order != 0) return date;
    Scratch scratch(arena);
    StringList pieces = string_split(scratch.arena, text, S("/.-:"), SPLIT_KEEP_EMPTY);
    StringNode* n = pieces.first;
    if (n) {
        date.year = (u16)date_read_number(n->string);
        n = n->next;
    }
    if (n) {
        date.month = (u8)date_read_number(n->string);
        n = n->next;
    }
    if (!n) return date;
    // The day, and a time after it: "15 10:30" or "15T10:30".
    String day = string_trim_whitespace(n->string);
    u64 at = 0;
    date.day = (u8)date_read_digits(day, &at);
    u64 digits_end = at;
    while (at < day.size && (char_is_whitespace(day.str[at]) || day.str[at] == 'T')) at += 1;
    if (at > digits_end && at < day.size && char_is_digit(day.str[at])) {
        date.has_time = 1;
        date.hour = (u8)date_read_digits(day, &at);
        n = n->next;
        if (n) {
            date.minute = (u8)date_read_number(n->string);
            n = n->next;
        }
        if (n) date.second = (u8)date_read_number(n->string);
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

bool date_is_valid(DateRecord date) {
    static const u8 month_days[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1) return false;
    bool leap = date.year % 4 == 0 && (date.year % 100 != 0 || date.year % 400 == 0);
    u8 days = date.month == 2 && !leap ? 28 : month_days[date.month - 1];
    if (date.day > days) return false;
    return !date.has_time || (date.hour < 24 && date.minute < 60 && date.second < 60);
}

String format_datetime_attribute(Arena* arena, DateRecord date) {
    if (!date_is_valid(date)) return String{};
    if (!date.has_time) {
        return string_format(arena, "%04d-%02d-%02d", (int)date.year, (int)date.month, (int)date.day);
    }
    return string_format(arena, "%04d-%02d-%02dT%02d:%02d:%02d", (int)date.year, (int)date.month, (int)date.day,
                         (int)date.hour, (int)date.minute, (int)date.second);
}
