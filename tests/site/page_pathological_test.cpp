// Hostile documents through the whole page path: parse, check pass, page
// and raw view assembly, serialization. Each row is its own test (ctest runs
// them side by side) in a child process under a wall-clock limit that only
// catches hangs and quadratic work: linear work on these inputs takes well
// under a second in a release build.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "kav/kav_document.h"
#include "site/page.h"
#include "site/site_check.h"
#include "site_test_support.h"
#include "support/child.h"

using namespace site_test;

namespace {

#ifdef NDEBUG
constexpr unsigned kLimitSeconds = 60;
#else
constexpr unsigned kLimitSeconds = 280;  // sanitizer and debug builds
#endif

using kavsite_test::repeat;

struct PageRow {
    const char* name;
    std::function<std::string()> input;
    const char* needle;  // counted in the page
    size_t times;        // how often it must occur; 0: only that the page is whole
};

const std::string kHeader = "``\ntitle: Hostile\noutput_path: h/page.html\n``\n";

const PageRow kRows[] = {
    {"deep_quote_lines_alternating", [] { return repeat(repeat("> ", 12) + "a\n> b\n", 8000); }, "<blockquote", 0},
    {"one_line_of_nested_quotes", [] { return repeat("> ", 60000) + "x\n"; }, "<blockquote", 0},
    {"inline_toggle_pieces", [] { return repeat("`` ", 32000) + "\n"; }, "toggle-checkbox", 0},
    {"repeated_internal_link_labels", [] { return repeat("[#1(label)] text [#1_]\n", 20000); }, "href=\"#int_1\"", 20000},
    {"table_of_many_columns",
     [] { return repeat("|---", 5000) + "\n" + repeat("| a ", 5000) + "\n|---\n" + repeat("| b ", 5000) + "\n"; },
     "<td>", 5000},
    {"table_of_many_rows", [] { return "|---\n| h | i\n|---\n" + repeat("| a | b\n|---\n", 20000); }, "<table", 1},
    {"footnote_references_on_one_line", [] { return "x" + repeat("[*1]", 50000) + "\n[*1] note\n"; }, "href=\"#fno_1\"",
     50000},
    {"deeply_nested_lists", [] {
         std::string s = "L\n";
         for (int i = 0; i < 20000; i += 1) s += std::string(2 + 2 * (i % 200), ' ') + ". item\n";
         return s;
     },
     "id=\"ite_", 20000},
    {"headings_in_toggles", [] { return repeat("``\nHeading\n  text\n``\n", 10000); }, "toc_i_", 0},
    {"unclosed_emphasis", [] { return "x " + repeat("_a ", 40000) + "\n"; }, "<strong>", 40000},
    {"many_document_headers", [] { return repeat("``\ntitle: T\nremark: r\n``\n", 10000); }, "<h1", 10001},
    {"blocks_inside_blocks",
     [] { return repeat("Head\n  ``\n  > q\n  . a\n  |---\n  | t\n  ---\n  after\n  ``\n> x\n> > y\n> z\n", 8000); },
     "<hr>", 8000},
    {"run_of_quotes_after_blank_lines", [] { return repeat("> a\n\n", 40000); }, "<blockquote", 40000},
    {"embedded_html_soup", [] { return repeat("~{<div><b>x</b></div>}~ y ~{<i>\n", 20000); }, "<b>", 20000},
};

std::string run_row(const PageRow& row) {
    return kavsite_test::run_in_child([&row] {
        Arena* arena = arena_create(GB(64), MB(4));
        std::string text = kHeader + row.input();
        String source = copy(arena, text);
        Site* site = make_site("/site/");
        KavParseResult document = kav_parse_document(arena, source, S("/docs/p.kav"));
        StringList outputs = {};
        check_output_paths(arena, site, &document, &outputs);
        DiagnosticList wrong = {};
        check_file_words(arena, site, &document, S("/docs/p.kav"), CHECK_FILES_FINAL, &wrong);
        PageBuilder builder = page_builder(site, arena);
        HtmlPage page = {};
        build_page(&builder, &page, &document, S("/docs/p.kav"), S("/site/html/h/page.html"));
        std::string html = str(html_serialize_to_string(arena, page.document.root));
        PageBuilder raw_builder = page_builder(site, arena);
        HtmlPage raw = {};
        build_raw_page(&raw_builder, &raw, source, S("/site/html/h/raw_page.html"));
        std::string raw_html = str(html_serialize_to_string(arena, raw.document.root));
        std::string problem;
        if (html.size() < 7 || html.compare(html.size() - 7, 7, "</html>") != 0) problem = "the page is not whole";
        size_t pre = raw_html.find("<pre");
        size_t pre_end = raw_html.find("</pre>");
        if (pre == std::string::npos || pre_end == std::string::npos ||
            kavsite_test::shown_pre_text(raw_html.substr(raw_html.find('>', pre) + 1, pre_end - raw_html.find('>', pre) - 1)) != text) {
            problem = "the raw view lost the source";
        }
        size_t found = count_of(html, row.needle);
        if (problem.empty() && row.times && found != row.times) {
            problem = std::string(row.needle) + " " + std::to_string(found) + " times, want " + std::to_string(row.times);
        }
        if (problem.empty() && !row.times && found == 0) problem = std::string("no ") + row.needle;
        if (!problem.empty()) fprintf(stderr, "%s: %s\n", row.name, problem.c_str());
        return problem.empty() ? 0 : 1;
    }, kLimitSeconds);
}

void PrintTo(const PageRow& row, std::ostream* out) { *out << row.name; }

struct PagePathological : ::testing::TestWithParam<PageRow> {};

TEST_P(PagePathological, BuildsInTimeWithItsShape) { EXPECT_EQ(run_row(GetParam()), "") << GetParam().name; }

INSTANTIATE_TEST_SUITE_P(Rows, PagePathological, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<PageRow>& info) { return std::string(info.param.name); });

}  // namespace
