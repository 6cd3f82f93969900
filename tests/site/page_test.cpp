// Page assembly: the skeleton with or without the site's templates, titles,
// the table of content and the ids it links to, footnotes, the header's
// toggle row, the shared script, and the raw view.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "site/page.h"
#include "site_test_support.h"
#include "support/files.h"

using namespace site_test;

namespace {

// Templates served by path suffix instead of from disk.
std::map<std::string, std::string> g_templates;

String fake_reader(Arena* arena, String path) {
    std::string p = str(path);
    for (const auto& [suffix, text] : g_templates) {
        if (p.size() >= suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return copy(arena, text);
        }
    }
    return String{};
}

const char* const HEAD = "html/shared/html/default_head.html";
const char* const MENU = "html/shared/html/default_menu.html";

struct PageTest : ::testing::Test {
    Arena* arena = nullptr;
    Site* site = nullptr;
    void SetUp() override {
        arena = arena_create(GB(1), KB(64));
        SiteSettings settings = {};
        settings.root = S("/site/");
        settings.deploy = 1;  // links do not depend on a folder
        site = site_create(&settings);
        site->read_file = fake_reader;
        g_templates.clear();
    }
    void TearDown() override {
        arena_release(site->arena);
        arena_release(arena);
    }
    // A builder for one page, with the templates as they are now.
    PageBuilder builder() {
        site_load_templates(site);
        return page_builder(site, arena);
    }
    std::string page_html(const HtmlPage& page) { return str(html_serialize_to_string(arena, page.document.root)); }
    HtmlPage build(const std::string& source, const char* document_path = "/docs/doc.kav",
                   const char* page_path = "/site/html/notes/doc.html") {
        KavParseResult* document = push_struct<KavParseResult>(arena);
        *document = parse(arena, source, document_path);
        HtmlPage page = {};
        PageBuilder b = builder();
        build_page(&b, &page, document, string_from_cstr(document_path), string_from_cstr(page_path));
        return page;
    }
};

const char* const WARN_BAN =
    "<div id=\"warn-ban\"  style=\"font-size:0.6rem;text-align:center;left:0;display:none;top:0;position:fixed;width:100vw;"
    "max-width:100vw;\" ><p style=\"color:red;background-color:yellow;width:100%;\" >Warning: the layout for smartphone is "
    "not done, it is highly recommended to use desktop to access this website.</p></div>";
const char* const LAYOUT =
    "<div id=\"top\"  style=\"box-sizing:border-box;margin-left:10.0vw;margin-top:5.0vh;min-width:75.0vw;width:75.0vw;\" >"
    "</div><div id=\"left\"  style=\"box-sizing:border-box;display:flex;flex-direction:column;border-right: 1px #efefef "
    "solid;position:fixed;min-width:10.0vw;width:10.0vw;max-height:95.0vh;height:95.0vh;top:5.0vh;\" ></div><div id=\"right"
    "\"  style=\"box-sizing:border-box;display:flex;flex-direction:column;border-left:1px #efefef solid;position:fixed;"
    "height:100vh;right:0;min-width:15.0vw;width:15.0vw;max-height:95.0vh;height:95.0vh;top:5.0vh;\" ></div><div id=\"b_w\" "
    " style=\"box-sizing:border-box;margin-left:12.0vw;min-width:75.0vw;width:75.0vw;\" ></div>";

TEST_F(PageTest, SkeletonWithAndWithoutTemplates) {
    struct Case {
        const char* name;
        const char* head;
        const char* menu;
        const char* html_head;  // the head as written
        const char* menu_html;  // what comes first in the body
    };
    const Case cases[] = {
        {"no templates: an empty head and no menu", nullptr, nullptr, "<head></head>", ""},
        {"empty templates", "", "", "<head></head>", ""},
        {"templates: their first element", "<!-- site -->\n<head><meta charset=\"utf-8\"><title>Site</title></head>",
         "<nav id=\"menu\"><ul><li><a href=\"/index.html\">Home</a></li></ul></nav>",
         "<head><meta charset=\"utf-8\" ><title>Site</title></head>",
         "<nav id=\"menu\" ><ul><li><a href=\"/index.html\" >Home</a></li></ul></nav>"},
    };
    for (const Case& c : cases) {
        g_templates.clear();
        if (c.head) g_templates[HEAD] = c.head;
        if (c.menu) g_templates[MENU] = c.menu;
        HtmlPage page = {};
        PageBuilder b = builder();
        build_page_skeleton(&b, &page);
        std::string want = std::string("<!DOCTYPE html ><html lang=\"en\" >") + c.html_head + "<body>" + c.menu_html +
                           WARN_BAN + LAYOUT + "<footer></footer></body></html>";
        EXPECT_EQ(page_html(page), want) << c.name;
    }
}

TEST_F(PageTest, SharedScriptFollowsTheSwitches) {
    struct Case {
        u32 js, dev_js;
        const char* script;  // empty: none
    };
    const Case cases[] = {
        {0, 0, ""},
        {1, 0, "/shared/javascript/website/website_shared.min.js"},
        {1, 1, "/shared/javascript/website/website_shared.js"},
    };
    for (const Case& c : cases) {
        site->settings.js = c.js;
        site->settings.dev_js = c.dev_js;
        HtmlPage page = {};
        PageBuilder b = builder();
        build_page_skeleton(&b, &page);
        std::string html = page_html(page);
        if (*c.script) {
            std::string s = c.script;
            EXPECT_NE(html.find("<head><link rel=\"preload\"  as=\"script\"  href=\"" + s + "\" ></head>"), std::string::npos)
                << html;
            EXPECT_NE(html.find("<body><script src=\"" + s + "\"  defer ></script><div id=\"warn-ban\""), std::string::npos)
                << html;
        } else {
            EXPECT_EQ(html.find("<script"), std::string::npos) << html;
            EXPECT_EQ(html.find("<link"), std::string::npos) << html;
        }
    }
}

TEST_F(PageTest, Titles) {
    struct Case {
        const char* source;
        const char* path;
        const char* title;
    };
    const Case cases[] = {
        {"``\ntitle: A walk in the hills\n``\n", "/docs/walk.kav", "A walk in the hills"},
        {"``\ntitle: _Big_ news today\n``\n", "/docs/x.kav", "Big news today"},
        {"``\ntitle: see \"https://e.com\" now\n``\n", "/docs/x.kav", "see now"},
        {"``\ntitle: a<b\n``\n", "/docs/x.kav", "a&lt;b"},
        {"``\ntitle: \"https://e.com\"\n``\n", "/docs/only-link.kav", "only-link"},
        {"Text\n", "/docs/notes.old.kav", "notes.old"},
        {"Text\n", "C:\\docs\\win.kav", "win"},
        {"Text\n", "/docs/noext", "noext"},
    };
    for (const Case& c : cases) {
        HtmlPage page = build(c.source, c.path);
        EXPECT_EQ(str(page.title), c.title) << c.source;
        // The one `title` element of the head holds it.
        std::string html = page_html(page);
        EXPECT_EQ(count_of(html, "<title>"), 1u) << html;
        EXPECT_NE(html.find(std::string("<title>") + c.title + "</title>"), std::string::npos) << html;
    }
}

TEST_F(PageTest, HeadTemplateTitleTakesThePageTitle) {
    g_templates[HEAD] = "<head><title>Site name</title><meta charset=\"utf-8\"></head>";
    HtmlPage first = build("``\ntitle: Mine\n``\n");
    HtmlPage second = build("``\ntitle: Yours\n``\n");
    // Each page has its own copy of the template's head.
    std::string html = page_html(first);
    EXPECT_NE(html.find("<head><title>Mine</title><meta charset=\"utf-8\" ><style>"), std::string::npos) << html;
    EXPECT_EQ(html.find("Site name"), std::string::npos) << html;
    EXPECT_EQ(html.find("Yours"), std::string::npos) << html;
    html = page_html(second);
    EXPECT_NE(html.find("<head><title>Yours</title><meta charset=\"utf-8\" ><style>"), std::string::npos) << html;
    EXPECT_EQ(count_of(html, "<style>"), 1u) << html;
}

TEST_F(PageTest, TableOfContentLinksToTheHeadings) {
    HtmlPage page = build("Getting started\n  Install it.\n    Linux\nUsing it\n");
    HtmlNode* root = page.document.root;
    HtmlNode* top = html_find_by_attribute(root, HTML_ATTR_ID, S("top"));
    HtmlNode* wrapper = html_find_by_attribute(root, HTML_ATTR_ID, S("b_w"));
    std::string head = inner_html(arena, top);
    EXPECT_EQ(head,
              "<div style=\"display:flex;flex-direction:column;width:100%;\" ></div><div id=\"toc\" ><p style=\"margin-bottom:"
              "1rem;font-size:1.5rem;\" >Table of content:</p><ul><li id=\"toc_i_0\" ><a href=\"#hea_0\" >Getting started</a>"
              "</li><li id=\"toc_i_1\" ><a href=\"#hea_1\" >Linux</a></li><li id=\"toc_i_2\" ><a href=\"#hea_2\" >Using it</a>"
              "</li></ul></div>");
    std::string body = inner_html(arena, wrapper);
    EXPECT_EQ(body, "<h2 id=\"hea_0\" >Getting started</h2><p id=\"par_3\" >Install it.</p><h3 id=\"hea_1\" >Linux</h3>"
                    "<h2 id=\"hea_2\" >Using it</h2>");
    // Without headings and footnotes neither block is made.
    std::string plain = page_html(build("``\nremark: r\n``\n"));
    EXPECT_EQ(plain.find("id=\"toc\""), std::string::npos) << plain;
    EXPECT_EQ(plain.find("id=\"fn_l\""), std::string::npos) << plain;
}

TEST_F(PageTest, HeaderTitleAndFootnotesFindTheirPlaces) {
    HtmlPage page = build("``\ntitle: T\nauthor: Ann\n``\nRiver\n  Rhone[*1].\n[*1] Long.\n");
    HtmlNode* root = page.document.root;
    std::string top = inner_html(arena, html_find_by_attribute(root, HTML_ATTR_ID, S("top")));
    // The header's toggle row, then the title without its id, then the table of content.
    EXPECT_EQ(top.find("<div style=\"display:flex;flex-direction:column;width:100%;\" ><input "), 0u) << top;
    EXPECT_NE(top.find("id=\"toggle-checkbox_contexd\"  type=\"checkbox\" ><div id=\"contexd\"  class=\"toggle-content_1\" >"
                       "<span title=\"author\" >"),
              std::string::npos)
        << top;
    EXPECT_NE(top.find("</div></div><h1 title=\"title\" >T</h1><div id=\"toc\" >"), std::string::npos) << top;
    std::string body = inner_html(arena, html_find_by_attribute(root, HTML_ATTR_ID, S("b_w")));
    EXPECT_EQ(body.find("contexd"), std::string::npos) << body;
    EXPECT_NE(body.find("href=\"#fno_1\""), std::string::npos) << body;
    EXPECT_NE(body.find("<div id=\"fn_l\"  style=\"background-color:#f7f7f7;margin-top:5rem;padding:1rem 0.6rem;font-size:"
                        "0.8em;color:#484745;\" ><ul><li> <sup id=\"fno_1\" >"),
              std::string::npos)
        << body;
    std::string html = page_html(page);
    EXPECT_NE(html.find("<footer></footer><div id=\"bottom\"  style=\"padding:1rem 2rem;\" ></div></body>"), std::string::npos)
        << html;
}

TEST_F(PageTest, ToggleRulesCloseTheHead) {
    std::string html = page_html(build("x\n"));
    EXPECT_NE(html.find("<style>[class*=\"toggle-content_\"]{padding:0 1.2em;margin:0;display:none !important;background-"
                        "color:#f9f9f9;border:1px solid #ddd;border-radius:5px;display:inline-block;}input[type=\"checkbox\"]"
                        ":checked~[class*=\"toggle-content_\"]{display:flex !important;flex-direction:column;}input[type="
                        "\"checkbox\"]:checked~[class*=\"toggle-content_i\"]{display:inline-block !important;}</style></head>"),
              std::string::npos)
        << html;
}

// The raw view shows the source exactly, markup and entities included: the
// text of its `pre` block, as a browser reads it, is the source.
TEST_F(PageTest, RawViewShowsTheSourceExactly) {
    g_templates[MENU] = "<nav id=\"menu\"><ul></ul></nav>";
    const char* sources[] = {
        "``\ntitle: A\n``\nText\n",
        "an \"open quote\n",
        "  ```sh\n    ls \\\n    \\```\n  ```\nafter\n",
        "tabs\tand\ncrlf ```` `` ` \\ \"quoted\"",
        "<b>bold</b> & a < b &amp; &lt;\n",
        "a </script> b </SCRIPT <!-- c --> <![CDATA[ d ]]> </pre> </textarea>",
        "\nstarts with a line feed",
        "\n\ntwo",
        "no final line feed",
    };
    for (const char* source : sources) {
        HtmlPage page = {};
        PageBuilder b = builder();
        build_raw_page(&b, &page, string_from_cstr(source), S("/site/html/notes/raw_doc.html"));
        HtmlNode* root = page.document.root;
        HtmlNode* block = html_find_last_by_tag(root, HTML_TAG_PRE);
        ASSERT_FALSE(html_is_nil(block)) << source;
        std::string text = inner_html(arena, block);
        EXPECT_EQ(kavsite_test::shown_pre_text(text), source);
        // Nothing in it is markup.
        EXPECT_EQ(text.find('<'), std::string::npos) << text;
        EXPECT_EQ(str(page.title), "raw_doc");
    }
}

TEST_F(PageTest, RawViewLayout) {
    g_templates[HEAD] = "<head><title>Site</title></head>";
    g_templates[MENU] = "<nav id=\"menu\"><ul></ul></nav>";
    HtmlPage page = {};
    PageBuilder b = builder();
    build_raw_page(&b, &page, S("Text\n"), S("/site/html/raw_notes/raw_doc.html"));
    EXPECT_EQ(str(page.path), "/site/html/raw_notes/raw_doc.html");
    std::string html = page_html(page);
    for (const char* gone : {"id=\"left\"", "id=\"right\"", "id=\"menu\""}) {
        EXPECT_EQ(html.find(gone), std::string::npos) << gone;
    }
    EXPECT_NE(html.find("<html lang=\"en\"  style=\"background-color:#dbdada;\" >"), std::string::npos) << html;
    EXPECT_NE(html.find("<div id=\"top\"  style=\"padding:0;margin:0;\" >"), std::string::npos) << html;
    EXPECT_NE(html.find("<div id=\"b_w\"  style=\"padding:0 3rem;\" ><pre class=\"blo\"  style=\"color:"
                        "black;width:fit-content;min-width:100vw;height:fit-content;min-height:100vh;padding:0;margin:0;font-"
                        "size:0.7rem;font-family:'Fira Code';user-select:all;cursor: pointer;\" >\nText\n</pre><a class=\"btn\""
                        "  style=\"font-size:0.9rem;position:fixed;top:0;left:0;\"  href=\"/raw_notes/doc.html\" >Return To "
                        "Page</a></div>"),
              std::string::npos)
        << html;
}

// A page whose body is written out as it is converted, at every point
// where that is safe, is the page built whole, byte for byte: the blocks
// kept back for a later inline list or a quote run, and the header's
// slots, survive their arena being emptied.
struct StreamCase {
    const char* name;
    std::string source;
    bool steps;  // the body is written out before its end
};

TEST_F(PageTest, BodyWrittenAsItGoesIsThePageBuiltWhole) {
    const std::string header = "``\ntitle: _Streams_ of text\nauthor: Ann\noutput_path: notes/doc.html\n``\n";
    std::vector<StreamCase> cases = {
        {"footnote references line after line",
         header + "Notes\n  x[*1][*1]\n  y[*1]\n  z[*2]\n[*1] The note.\n[*2] Another.\n", true},
        {"an inline list goes into the block before its own",
         header + "Intro words here.\n\n[#1] 1. one 2. two\n\nLast `code` 1. x 2. y\n", true},
        {"quotes in one run, nested, then prose", header + "> a\n\n> b\n\n>> c\n\n> d\nafter\n\nmore\n", true},
        // A line that ends in emphasis leaves the quote's body, and more
        // of the page comes before the next quote, which still joins the
        // run's container.
        {"a quote run with lines that leave the quote",
         header +
                  "Not which we evening [#7_]\n"
                  "  >  When wondered we kitchen mountain his his no river answer no them been walked.\n"
                  "  >  Out than river market village it has some be. By two walked mountain kitchen language we "
                  "any was history gathered.\n"
                  "\n"
                  "  >  Some now my her more this into were was is.\n"
                  "  >  It or river borrowed that are which their finished she letter such with at. _his then_ By "
                  "summer as them the be one and harbour out to that so on they. _winter and_ The when other when "
                  "gathered from be these at what its of garden carried evening. `new <letter>` Measured like as "
                  "this then will bridge its up summer there into has he out has. __window__\n"
                  "  > >  Said out two with to can other what.\n"
                  "\n"
                  "  >  Evening the be any like listened such remembered out this library now.\n",
         true},
        {"link targets and references", header + "Target [#1_]\n  x[#1]\n  y[#1] [#2]\nEnd [#1]\n", true},
        {"lists, tables and separators",
         header + "- a\n- b\n  - c\nText\n1. x\n2. y\n---\n|--- |---\n| h | i\n|---\n| c | d\nTail\n", true},
        {"a document without a header", "Alone\n  words\n", true},
        {"an empty document", "", false},
    };
    // Every document of the example site as well.
    std::filesystem::path documents = std::filesystem::path(KAVSITE_SOURCE_DIR) / "examples/site/documents";
    for (const auto& entry : std::filesystem::recursive_directory_iterator(documents)) {
        if (entry.path().extension() != ".kav") continue;
        cases.push_back({"example document", kavsite_test::read_file(entry.path()), true});
    }
    for (const StreamCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string whole = page_html(build(c.source));

        KavParseResult* document = push_struct<KavParseResult>(arena);
        *document = parse(arena, c.source, "/docs/doc.kav");
        Arena* text_arena = arena_create(GB(1), KB(64));
        BodyStream stream = body_stream_make(text_arena);
        stream.min_bytes = 0;
        PageBuilder b = builder();
        b.stream = &stream;
        HtmlPage page = {};
        build_page(&b, &page, document, S("/docs/doc.kav"), S("/site/html/notes/doc.html"));
        // The page's own arenas go before its text is used.
        StringList pieces = {};
        HtmlTextWriter writer = html_text_writer(text_arena, &pieces, true);
        html_text_writer_node(&writer, page.document.root);
        html_text_writer_flush(&writer);
        body_stream_release(&stream);
        EXPECT_EQ(str(string_list_join(arena, &pieces)), whole);
        EXPECT_EQ(stream.steps > 0, c.steps) << stream.steps;
        arena_release(text_arena);
    }
}

}  // namespace
