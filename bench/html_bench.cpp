// HTML throughput: reading + writing a large generated template, and the
// writer alone on a DOM of 100,000 elements built by code. Every figure is
// the median of several runs, next to memcpy of the same bytes measured in
// the same run as a reference.
//
//   html_bench [template MiB (default 16)] [runs (default 7)]
#include <stdlib.h>
#include <string.h>

#include "base/arena.h"
#include "base/os.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "htmldom/html_reader.h"

// ---- Generated template (fixed seed) -------------------------------------------

struct Rng {
    u64 state;
};

static u64 rng_next(Rng* r) {
    r->state ^= r->state << 13;
    r->state ^= r->state >> 7;
    r->state ^= r->state << 17;
    return r->state;
}

static const char* const bench_words[] = {
    "static", "site",  "page",    "template", "arena", "node",   "writer", "reader", "token",  "frame",
    "link",   "style", "content", "element",  "value", "search", "table",  "header", "footer", "menu",
};

static void push_words(Arena* arena, StringList* out, Rng* rng, u32 count) {
    for (u32 i = 0; i < count; i += 1) {
        string_list_pushf(arena, out, "%s ", bench_words[rng_next(rng) % ARRAY_COUNT(bench_words)]);
    }
}

// A page-like template: sections with headings, paragraphs with links and
// entities, lists, images, tables, small scripts, all nested and indented.
static String bench_template(Arena* arena, u64 target_size) {
    Rng rng = {0x9E3779B97F4A7C15ull};
    StringList out = {};
    string_list_push(arena, &out,
                     S("<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Bench</title>\n"
                       "<style>body{margin:0}p>a{color:#333}</style>\n</head>\n<body>\n"));
    for (u64 i = 0; out.total_size < target_size; i += 1) {
        string_list_pushf(arena, &out, "<section id=\"s%llu\" class=\"sec k%llu\">\n  <h2>Heading %llu</h2>\n",
                          (unsigned long long)i, (unsigned long long)(rng_next(&rng) % 7), (unsigned long long)i);
        string_list_push(arena, &out, S("  <p class=\"t\">"));
        push_words(arena, &out, &rng, 12 + (u32)(rng_next(&rng) % 20));
        string_list_pushf(arena, &out, "&amp; <a href=\"https://example.com/p%llu#f\">link</a> <strong>",
                          (unsigned long long)i);
        push_words(arena, &out, &rng, 2);
        string_list_push(arena, &out, S("</strong> &nbsp; "));
        push_words(arena, &out, &rng, 8);
        string_list_push(arena, &out, S("</p>\n  <ul>\n"));
        for (u32 k = 0; k < 4; k += 1) {
            string_list_push(arena, &out, S("    <li>"));
            push_words(arena, &out, &rng, 4);
            string_list_push(arena, &out, S("</li>\n"));
        }
        string_list_pushf(arena, &out,
                          "  </ul>\n  <img src=\"img/%llu.png\" alt=\"picture %llu\"><br>\n  <table><tr><td>a</td>"
                          "<td>b</td></tr><tr><td>1</td><td>2</td></tr></table>\n"
                          "  <script>var x = %llu; if (x < 3 && x > 1) { x = 'q'; }</script>\n</section>\n",
                          (unsigned long long)i, (unsigned long long)i, (unsigned long long)i);
    }
    string_list_push(arena, &out, S("</body>\n</html>\n"));
    return string_list_join(arena, &out);
}

// ---- DOM built by code -----------------------------------------------------------

// 10,000 blocks of 10 elements each inside the body of a default document.
static HtmlNode* bench_dom(Arena* arena, u64* element_count) {
    HtmlNode* root = html_default_document(arena);
    HtmlNode* body = html_find_last_by_tag(root, HTML_TAG_BODY);
    u64 elements = 4;
    for (u32 i = 0; i < 10000; i += 1) {
        HtmlNode* div = html_append_to_content(body, html_element_create(arena, HTML_TAG_DIV, String{}));
        html_set_attribute(arena, div, HTML_ATTR_ID, string_format(arena, "b%u", i));
        html_add_class(arena, div, S("block"));
        HtmlNode* p = html_append_to_content(div, html_element_create(arena, HTML_TAG_P, S("Some text of the block ")));
        HtmlNode* a = html_append_to_content(p, html_element_create(arena, HTML_TAG_A, S("a link")));
        html_set_attribute(arena, a, HTML_ATTR_HREF, string_format(arena, "/notes/page_%u.html", i));
        html_append_to_content(p, html_element_create(arena, HTML_TAG_STRONG, S("strong words")));
        HtmlNode* span = html_append_to_content(div, html_element_create(arena, HTML_TAG_SPAN, S("tag")));
        html_add_class(arena, span, S("cat-it"));
        html_add_class(arena, span, S("icon"));
        html_append_to_content(div, html_element_create(arena, HTML_TAG_BR, String{}));
        HtmlNode* img = html_append_to_content(div, html_element_create(arena, HTML_TAG_IMG, String{}));
        html_set_attribute(arena, img, HTML_ATTR_SRC, S("/img/picture.png"));
        html_set_attribute(arena, img, HTML_ATTR_ALT, S("a picture"));
        HtmlNode* ul = html_append_to_content(div, html_element_create(arena, HTML_TAG_UL, String{}));
        html_append_to_content(ul, html_element_create(arena, HTML_TAG_LI, S("first item")));
        html_append_to_content(ul, html_element_create(arena, HTML_TAG_LI, S("second item")));
        elements += 10;
    }
    *element_count = elements;
    return root;
}

// ---- Measuring -------------------------------------------------------------------

static int compare_u64(const void* a, const void* b) {
    u64 x = *(const u64*)a, y = *(const u64*)b;
    return x < y ? -1 : x > y ? 1 : 0;
}

static u64 median(u64* values, u64 count) {
    qsort(values, count, sizeof(u64), compare_u64);
    return values[count / 2];
}

static double mb_per_s(u64 bytes, u64 microseconds) {
    return microseconds ? (double)bytes / (double)MB(1) / ((double)microseconds / 1e6) : 0.0;
}

int main(int argc, char** argv) {
    ThreadContext ctx = thread_context_create();
    ctx.is_main_thread = 1;
    thread_context_set(&ctx);
    os_init();
    u64 template_mib = argc > 1 ? strtoull(argv[1], 0, 10) : 16;
    u64 runs = argc > 2 ? strtoull(argv[2], 0, 10) : 7;
    if (template_mib == 0) template_mib = 16;
    if (runs == 0 || runs > 64) runs = 7;

    Arena* arena = arena_create(GB(16), MB(4));
    console_print("logical processors: %u\n", os_system_info()->processor_count);

    String text = bench_template(arena, MB(template_mib));
    console_print("template: %.2f MiB generated (fixed seed)\n", (double)text.size / (double)MB(1));

    u64 read_times[64], write_times[64], both_times[64], copy_times[64];
    u64 written_size = 0, nodes_bytes = 0;
    u8* copy = push_array_no_zero<u8>(arena, text.size);
    u64 base = arena_pos(arena);
    for (u64 r = 0; r < runs; r += 1) {
        u64 t0 = os_now_microseconds();
        memcpy(copy, text.str, text.size);
        u64 t1 = os_now_microseconds();
        HtmlDocument document = html_read_template(arena, text, S("bench.html"), HTML_PARSE_QUIET);
        u64 t2 = os_now_microseconds();
        String out = html_serialize_to_string(arena, document.root);
        u64 t3 = os_now_microseconds();
        copy_times[r] = t1 - t0;
        read_times[r] = t2 - t1;
        write_times[r] = t3 - t2;
        both_times[r] = t3 - t1;
        written_size = out.size;
        nodes_bytes = arena_pos(arena) - base;
        if (document.diagnostics.count) console_print("unexpected diagnostics: %llu\n", (unsigned long long)document.diagnostics.count);
        arena_pop_to(arena, base);
    }
    u64 copy_us = median(copy_times, runs), read_us = median(read_times, runs);
    u64 write_us = median(write_times, runs), both_us = median(both_times, runs);
    console_print("read + serialize: %.1f MB/s (median of %llu; read %.1f MB/s, serialize %.1f MB/s of output)\n",
                  mb_per_s(text.size, both_us), (unsigned long long)runs, mb_per_s(text.size, read_us),
                  mb_per_s(written_size, write_us));
    console_print("reference memcpy: %.1f MB/s; read + serialize takes %.1fx the time of memcpy\n",
                  mb_per_s(text.size, copy_us), copy_us ? (double)both_us / (double)copy_us : 0.0);
    console_print("arena use for one read + serialize: %.1f MiB (%.1fx the template)\n",
                  (double)nodes_bytes / (double)MB(1), (double)nodes_bytes / (double)text.size);

    // Writer alone on a DOM built by code.
    u64 element_count = 0;
    HtmlNode* root = bench_dom(arena, &element_count);
    u64 dom_base = arena_pos(arena);
    u64 dom_times[64], dom_size = 0;
    for (u64 r = 0; r < runs; r += 1) {
        u64 t0 = os_now_microseconds();
        String out = html_serialize_to_string(arena, root);
        u64 t1 = os_now_microseconds();
        dom_times[r] = t1 - t0;
        dom_size = out.size;
        arena_pop_to(arena, dom_base);
    }
    u64 dom_us = median(dom_times, runs);
    console_print("writer on %llu elements: %.1f MB/s of output (%.2f MiB in %.2f ms, %.1f M elements/s)\n",
                  (unsigned long long)element_count, mb_per_s(dom_size, dom_us), (double)dom_size / (double)MB(1),
                  (double)dom_us / 1000.0, dom_us ? (double)element_count / (double)dom_us : 0.0);

    // The same page stored atomically in /tmp: serialize, write, rename.
    HtmlPage page = {};
    page.path = string_format(arena, "/tmp/kavsite_html_bench_%llu.html", (unsigned long long)os_now_microseconds());
    page.document.root = root;
    u64 file_times[64];
    bool ok = true;
    for (u64 r = 0; r < runs; r += 1) {
        u64 t0 = os_now_microseconds();
        ok &= html_write_file(arena, &page);
        file_times[r] = os_now_microseconds() - t0;
    }
    os_delete_file(page.path);
    u64 file_us = median(file_times, runs);
    console_print("html_write_file of that page: %.2f ms (%.1f MB/s)%s\n", (double)file_us / 1000.0,
                  mb_per_s(dom_size, file_us), ok ? "" : " WRITE FAILED");
    console_flush();
    return ok ? 0 : 1;
}
