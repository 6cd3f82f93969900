// Header dates: "2024/03/15" becomes the readable "15 Mar 2024, 12:00:00 am"
// and the machine-readable "2024-03-15"; "2024-03-15 10:30" gives
// "15 Mar 2024, 10:30:00 am" and "2024-03-15T10:30:00".
#pragma once

#include "base/arena.h"
#include "base/string.h"

struct DateRecord {
    u16 year;
    u8 month;  // as written, 1 to 12 when valid
    u8 day;
    u8 hour;
    u8 minute;
    u8 second;
    u8 has_time;  // a time was written after the date
};

// Pieces cut at "/", ".", "-" and ":" are read as year, month, day (order
// 0; any other order reads nothing). Missing pieces leave their field 0.
// A time may follow the day after blanks or a "T": hour, then minute and
// second after ":".
DateRecord parse_date(Arena* arena, String text, u32 order);
// "%d %s %d, %02d:%02d:%02d %s": day, month name ("Err" when not 1-12),
// year, 12-hour time, "am"/"pm".
String format_date(Arena* arena, DateRecord date);
// True for a day of the calendar (year 1 or later) and, when given, a time
// of that day.
bool date_is_valid(DateRecord date);
// The valid HTML date ("2024-03-15"), with the time when one was given
// ("2024-03-15T10:30:00"); empty for a date that is not valid.
String format_datetime_attribute(Arena* arena, DateRecord date);
