// Every example of the KAV guide (docs/kav.md) that shows the HTML it makes
// is built into a page the way a build does (parse, output paths, file
// words, page assembly) and the part of the page it fills is compared with
// the "~~~html" block under it, so the guide cannot drift from the pages.
//
// The block is an outline of that part: the HTML as the page writes it,
// without `style` attributes, each element that holds blocks (and each
// `div` that holds several elements) broken into one child per line, two
// blanks of indentation per level. The words after
// "~~~html" choose how the page is built: "deploy", "file_p_check", and
// "header" to show the page's header (id "top") instead of its body (id
// "b_w"). Pages are built under a real site root on disk, shown as /site/.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "kav/kav_guide_examples.h"
#include "site/page.h"
#include "site/site_check.h"
#include "site_test_support.h"
#include "support/files.h"
#include "support/program.h"

using namespace site_test;

namespace {

bool tag_is(HtmlNode* n, std::initializer_list<const char*> names) {
    if (n->kind != HTML_NODE_ELEMENT) return false;
    std::string name = str(n->element->name);
    for (const char* candidate : names) {
        if (name == candidate) return true;
    }
    return false;
}

bool is_block(HtmlNode* n) {
    return tag_is(n, {"div", "p", "h1", "h2", "h3", "h4", "h5", "h6", "ul", "ol", "li", "table", "thead", "tbody", "tr",
                      "blockquote", "hr", "pre"});
}

HtmlNode* content_of(HtmlNode* element) { return html_find_kind(element, HTML_NODE_CONTENT); }

// A container is broken into lines when some child of it is a block; a
// `div` also when it holds more than one element (the lines of a toggle).
bool breaks_into_lines(HtmlNode* element) {
    if (!tag_is(element, {"div", "blockquote", "ul", "ol", "li", "table", "thead", "tbody"})) return false;
    u64 elements = 0;
    for (HtmlNode* c = content_of(element)->first_child; !html_is_nil(c); c = c->next) {
        if (is_block(c)) return true;
        elements += c->kind == HTML_NODE_ELEMENT;
    }
    return elements > 1 && tag_is(element, {"div"});
}

void outline_node(Arena* arena, HtmlNode* n, int depth, std::string* out) {
    std::string indent((size_t)depth * 2, ' ');
    if (n->kind != HTML_NODE_ELEMENT || !breaks_into_lines(n)) {
        std::string text = str(html_serialize_to_string(arena, n));
        // Blanks between the blocks of a broken element are layout.
        if (n->kind != HTML_NODE_ELEMENT && text.find_first_not_of(" \n") == std::string::npos) return;
        *out += indent + text + "\n";
        return;
    }
    // The start tag alone: the element written without its content.
    HtmlNode* content = content_of(n);
    html_detach(content);
    std::string tag = str(html_serialize_to_string(arena, n));
    html_append_child(n, content);
    std::string close = "</" + str(n->element->name) + ">";
    tag = tag.substr(0, tag.size() - close.size());
    *out += indent + tag + "\n";
    for (HtmlNode* c = content->first_child; !html_is_nil(c); c = c->next) outline_node(arena, c, depth + 1, out);
    *out += indent + close + "\n";
}

// The outline of an element's content, `style` attributes left out.
std::string outline(Arena* arena, HtmlNode* element) {
    for (HtmlNode* n = element; !html_is_nil(n); n = html_walk_next(n, element, false)) {
        if (n->kind == HTML_NODE_ELEMENT) html_remove_attribute(n, HTML_ATTR_STYLE);
    }
    std::string out;
    for (HtmlNode* c = content_of(element)->first_child; !html_is_nil(c); c = c->next) outline_node(arena, c, 0, &out);
    return out;
}

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

struct GuidePagesTest : ::testing::Test {
    Arena* arena = nullptr;
    kavsite_test::TempDir temp;
    std::string root;  // the site root on disk, ending in "/"

    void SetUp() override {
        arena = arena_create(GB(1), KB(64));
        root = (temp.path / "site").string() + "/";
        // What the guide's examples name: the example site's photograph (a
        // JPEG of 480x240), a page and a file.
        std::filesystem::create_directories(root + "html/img");
        std::filesystem::copy_file(std::string(KAVSITE_SOURCE_DIR) + "/examples/site/html/img/hills.jpg",
                                   root + "html/img/hills.jpg");
        kavsite_test::write_file(root + "html/notes/other.html", "<p>other</p>\n");
        kavsite_test::write_file(root + "html/files/plan.pdf", "%PDF-1.4\n");
    }
    void TearDown() override { arena_release(arena); }

    // The outline of the page part an example fills, built as `options` say.
    // Empty, with `problem` set, when the options are not understood.
    std::string page_part(const GuideExample& example, std::string* problem) {
        SiteSettings settings = {};
        settings.root = string_copy(arena, from(root));
        bool header = false;
        std::istringstream words(example.html_options);
        for (std::string word; words >> word;) {
            if (word == "deploy") {
                settings.deploy = 1;
            } else if (word == "file_p_check") {
                settings.file_p_check = 1;
            } else if (word == "header") {
                header = true;
            } else {
                *problem = "unknown word \"" + word + "\" after ~~~html";
                return "";
            }
        }
        Site* site = site_create(&settings);
        site_load_templates(site);
        std::string document_path = root + "docs/doc.kav";
        KavParseResult* document = push_struct<KavParseResult>(arena);
        *document = parse(arena, example.source, document_path.c_str());
        StringList outputs = {};
        check_output_paths(arena, site, document, &outputs);
        DiagnosticList wrong_paths = {};
        check_file_words(arena, site, document, from(document_path), CHECK_FILES_FINAL, &wrong_paths);
        // The page of the document's first output path, or one in notes/.
        String page_path = from(root + "html/notes/doc.html");
        for (StringNode* n = outputs.first; n; n = n->next) {
            if (string_equal(path_extension(n->string), S("html"))) {
                page_path = n->string;
                break;
            }
        }
        PageBuilder builder = page_builder(site, arena);
        HtmlPage page = {};
        build_page(&builder, &page, document, from(document_path), page_path);
        HtmlNode* part = html_find_by_attribute(page.document.root, HTML_ATTR_ID, header ? S("top") : S("b_w"));
        std::string text = replace_all(outline(arena, part), root, "/site/");
        arena_release(site->arena);
        return text;
    }

    String from(const std::string& text) { return copy(arena, text); }
};

TEST_F(GuidePagesTest, EveryExampleGivesTheHtmlShownUnderIt) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    size_t checked = 0;
    for (const GuideExample& example : examples) {
        if (!example.has_html) continue;
        checked += 1;
        std::string where = "docs/kav.md:" + std::to_string(example.html_line) + " in \"" + example.section + "\"";
        std::string problem;
        std::string html = page_part(example, &problem);
        EXPECT_EQ(problem, "") << where;
        // On a mismatch the message shows the block as the guide should hold it.
        EXPECT_EQ(html, example.html) << where << "; the page gives:\n~~~html"
                                      << (example.html_options.empty() ? "" : " " + example.html_options) << "\n"
                                      << html << "~~~";
    }
    EXPECT_GT(checked, 0u) << "no ~~~html blocks in docs/kav.md";
}

// The guide's first site, built by the program as the guide says: every
// page is written, and every link and picture of a page leads to a file of
// the site.
TEST_F(GuidePagesTest, FirstSiteBuildsAndItsLinksArrive) {
    namespace fs = std::filesystem;
    fs::path docs = temp.path / "docs" / "garden";
    fs::path site = temp.path / "first-site";
    fs::create_directories(docs);
    fs::create_directories(site / "html" / "img");
    fs::copy_file(fs::path(KAVSITE_SOURCE_DIR) / "examples/site/html/img/hills.jpg", site / "html/img/hills.jpg");
    std::vector<std::string> pages;
    for (const GuideExample& example : guide_examples(read_guide_lines())) {
        if (example.section.find("A first site") == std::string::npos) continue;
        size_t key = example.source.find("output_path: ");
        ASSERT_NE(key, std::string::npos) << "docs/kav.md:" << example.line;
        std::string page = example.source.substr(key + 13, example.source.find('\n', key) - key - 13);
        pages.push_back(page);
        std::string name = fs::path(page).stem().string() + ".kav";
        kavsite_test::write_file(docs / name, example.source);
    }
    ASSERT_EQ(pages.size(), 3u);
    kavsite_test::RunResult run =
        kavsite_test::run_kavsite({"targ_p=" + (temp.path / "docs").string(), "root_p=" + site.string()}, temp.path);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output.find("warning"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("html count: 3"), std::string::npos) << run.output;
    size_t links = 0;
    for (const std::string& page : pages) {
        std::string html = kavsite_test::read_file(site / "html" / page);
        ASSERT_FALSE(html.empty()) << page;
        std::string b_w = html.substr(html.find("id=\"b_w\""));
        for (const char* attribute : {"href=\"file://", "src=\"file://"}) {
            std::string marker = attribute;
            for (size_t at = b_w.find(marker); at != std::string::npos; at = b_w.find(marker, at + 1)) {
                size_t begin = at + marker.size();
                std::string target = b_w.substr(begin, b_w.find('"', begin) - begin);
                EXPECT_TRUE(fs::is_regular_file(target)) << page << " links to " << target;
                links += 1;
            }
        }
    }
    // Two links and a picture on the first page, two links on the second,
    // one on the third.
    EXPECT_EQ(links, 6u);
}

// The outline itself: blocks in blocks go on lines of their own, inline
// content and table rows stay on one line, styles go, text stays as written.
TEST_F(GuidePagesTest, OutlineBreaksBlocksAndKeepsLinesWhole) {
    GuideExample example = {"", 0, "Shopping\n  . bread\n  . fruit\n    1. apples\n|---\n| A | B\n|---\n| 1 | 2\n", "",
                            false, "", true, 0, ""};
    std::string problem;
    EXPECT_EQ(page_part(example, &problem),
              "<h2 id=\"hea_0\" >Shopping</h2>\n"
              "<ul id=\"liu_0\" >\n"
              "  <li id=\"ite_0\" >bread</li>\n"
              "  <li id=\"ite_1\" >\n"
              "    fruit\n"
              "    <ol id=\"lin_1\" >\n"
              "      <li id=\"ite_2\" >apples</li>\n"
              "    </ol>\n"
              "  </li>\n"
              "</ul>\n"
              "<table>\n"
              "  <thead>\n"
              "    <tr><th>A</th><th>B</th></tr>\n"
              "  </thead>\n"
              "  <tbody>\n"
              "    <tr><td>1</td><td>2</td></tr>\n"
              "  </tbody>\n"
              "</table>\n");
    EXPECT_EQ(problem, "");
    example.html_options = "deploy sideways";
    EXPECT_EQ(page_part(example, &problem), "");
    EXPECT_EQ(problem, "unknown word \"sideways\" after ~~~html");
}

}  // namespace
