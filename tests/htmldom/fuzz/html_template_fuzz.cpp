// Reads any bytes as a template with every check on, collects links and
// writes the tree back; then checks that writing is stable: the written text
// read back and written again gives the same text.
#include <stdint.h>
#include <string.h>

#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_reader.h"

static String html_fuzz_write(Arena* arena, String text, u32 options) {
    HtmlDocument document = html_read_template(arena, text, S("fuzz.html"), options | HTML_PARSE_QUIET);
    // Every link range lies inside the template text.
    for (HtmlLink* link = document.links_first; link; link = link->next) {
        if (link->begin > link->end || link->end > text.size) __builtin_trap();
    }
    return document.root ? html_serialize_to_string(arena, document.root) : String{};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Arena* arena = arena_create(GB(4), MB(1));
    u64 start = arena_pos(arena);
    String text = string_copy(arena, String{(u8*)data, (u64)size});

    const u32 checks = HTML_PARSE_VALIDATE | HTML_PARSE_CHECK_URLS | HTML_VALIDATE_UNKNOWN_TAGS |
                       HTML_VALIDATE_UNKNOWN_ATTRIBUTES | HTML_VALIDATE_PARENTS;
    html_fuzz_write(arena, text, checks | HTML_PARSE_AUTO_STRUCTURE | HTML_PARSE_ESCAPE_STRAY_LT);

    String first = html_fuzz_write(arena, text, checks);
    String second = html_fuzz_write(arena, first, checks);
    if (!string_equal(first, second)) __builtin_trap();

    arena_pop_to(arena, start);
    return 0;
}
