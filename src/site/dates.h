// Header dates: "2024/03/15" becomes the readable "15 Mar 2024, 12:00:00 am"
// and the machine-readable "2024-3-15".
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
};

// Pieces cut at "/", ".", "-" and ":" are read as year, month, day (order
// 0; any other order reads nothing). Missing pieces leave their field 0.
DateRecord parse_date(Arena* arena, String text, u32 order);
// "%d %s %d, %02d:%02d:%02d %s": day, month name ("Err" when not 1-12),
// year, 12-hour time, "am"/"pm".
String format_date(Arena* arena, DateRecord date);
// Year, month and day in decimal without padding, joined with "-".
String format_datetime_attribute(Arena* arena, DateRecord date);
