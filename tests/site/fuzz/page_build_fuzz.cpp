// libFuzzer target: parse arbitrary bytes, build the page and the raw view
// of the document, and write both as HTML. Checks that conversion leaves the
// parsed tree as it was, that the raw view holds the source, and that the
// page made the way large documents are (parsed for their facts, then again
// a part at a time, the body written out as it goes, kept in memory or sent
// on to a spool) is the same page.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "support/fuzz_check.h"
#include "base/arena.h"
#include "htmldom/html_dom.h"
#include "kav/kav_document.h"
#include "kav/kav_print.h"
#include "site/page.h"
#include "site/site.h"

static Arena* g_arena;
static Site* g_site;


static String templates(Arena* arena, String path) {
    (void)arena;
    if (string_ends_with(path, S("default_head.html"), 0)) return S("<head><meta charset=\"utf-8\"><title>t</title></head>");
    if (string_ends_with(path, S("default_menu.html"), 0)) return S("<nav id=\"menu\"><ul><li><a href=\"/\">Home</a></li></ul></nav>");
    return String{};
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    g_arena = arena_create(GB(64), MB(1));
    SiteSettings settings = {};
    settings.root = S("/fuzz-site/");
    settings.js = 1;
    g_site = site_create(&settings);
    g_site->read_file = templates;
    site_load_templates(g_site);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    u64 mark = arena_pos(g_arena);
    String source = {(u8*)data, (u64)size};
    KavParseResult document = kav_parse_document(g_arena, source, S("/fuzz/doc.kav"));
    String before = document.root ? kav_print_result(g_arena, &document, source) : String{};

    HtmlPage page = {};
    PageBuilder builder = page_builder(g_site, g_arena);
    build_page(&builder, &page, &document, S("/fuzz/doc.kav"), S("/fuzz-site/html/notes/doc.html"));
    String html = html_serialize_to_string(g_arena, page.document.root);
    REQUIRE(string_ends_with(html, S("</body></html>"), 0));
    if (document.root) {
        String after = kav_print_result(g_arena, &document, source);
        REQUIRE(string_equal(before, after));
        String problem = kav_check_result(g_arena, &document, source);
        REQUIRE(problem.size == 0);
    }

    // In parts, the body's text kept in the page's memory, then sent on to a
    // spool (the page is its pieces with the spool's bytes at the mark).
    for (int spooled = 0; spooled < 2 && document.root; spooled += 1) {
        Arena* page_arena = arena_create(GB(8), KB(64));
        Arena* body_parse = arena_create(GB(8), KB(64));
        KavParseResult facts = kav_parse_document_facts(page_arena, source, S("/fuzz/doc.kav"));
        BodyStream stream = body_stream_make(page_arena);
        stream.min_bytes = 0;  // out whenever it is safe: as many steps as can be
        Spool spool = {};
        if (spooled) {
            spool_open(&spool, S("/nonexistent/"));
            stream.spool = &spool;
            stream.spool_mark = html_text_mark(page_arena);
        }
        PageBuilder parts_builder = page_builder(g_site, page_arena);
        parts_builder.stream = &stream;
        parts_builder.body_parse_arena = body_parse;
        HtmlPage parts = {};
        build_page(&parts_builder, &parts, &facts, S("/fuzz/doc.kav"), S("/fuzz-site/html/notes/doc.html"));
        StringList pieces = {};
        HtmlTextWriter writer = html_text_writer(page_arena, &pieces, true);
        html_text_writer_node(&writer, parts.document.root);
        html_text_writer_flush(&writer);
        StringList joined = {};
        for (StringNode* piece = pieces.first; piece; piece = piece->next) {
            if (!spooled || piece->string.str != stream.spool_mark.str) {
                string_list_push(page_arena, &joined, piece->string);
                continue;
            }
            SpoolCursor cursor = {};
            const u8* body = spool.size ? spool_read(&spool, &cursor, spool.size) : (const u8*)"";
            REQUIRE(body);
            string_list_push(page_arena, &joined, string_copy(page_arena, String{(u8*)body, spool.size}));
            spool_cursor_end(&cursor);
        }
        REQUIRE(string_equal(string_list_join(page_arena, &joined), html));
        if (spooled) spool_close(&spool);
        body_stream_release(&stream);
        arena_release(body_parse);
        arena_release(page_arena);
    }

    HtmlPage raw = {};
    PageBuilder raw_builder = page_builder(g_site, g_arena);
    build_raw_page(&raw_builder, &raw, source, S("/fuzz-site/html/notes/raw_doc.html"));
    HtmlNode* block = html_find_last_by_tag(raw.document.root, HTML_TAG_PRE);
    REQUIRE(!html_is_nil(block));
    String text = html_serialize_to_string(g_arena, html_find_kind(block, HTML_NODE_CONTENT));
    REQUIRE(string_equal(text, raw_view_text(g_arena, source)));
    arena_pop_to(g_arena, mark);
    return 0;
}
