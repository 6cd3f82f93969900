// Fuzzes the status-line parser of response heads: no input may crash it,
// and its slices must lie inside the head.
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>

#include "urlcheck/http.h"

static bool inside(String part, String whole) {
    if (!part.size) return true;
    return part.str >= whole.str && part.str + part.size <= whole.str + whole.size;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    String head = {(u8*)data, size};
    HttpStatusLine line = http_parse_status(head);
    if (!inside(line.version, head) || !inside(line.rest, head)) abort();
    if (line.status && !string_starts_with(string_trim_whitespace(head), S("HTTP/"), 0)) abort();
    return 0;
}
