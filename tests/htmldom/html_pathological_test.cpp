// Inputs that break naive readers: each runs in a child process under a
// wall-clock limit, so a hang or a quadratic rescan fails the test instead of
// stalling the suite, and a crash is reported as a signal.
#include <fcntl.h>

#include <functional>

#include "html_test_util.h"

namespace {

const int N = 300000;  // quadratic work on this many units takes minutes
const int MEGABYTE = 1 << 20;
// Catches hangs and quadratic work only: linear work on one of these
// inputs takes about a second in a release build, and sanitizer builds on
// a busy machine are many times slower.
#ifdef NDEBUG
const int LIMIT_SECONDS = 60;
#else
const int LIMIT_SECONDS = 280;
#endif

using kavsite_test::repeat;

struct Shape {
    u64 diagnostics;
    u64 links;
    std::string written;  // the serialization, compared whole
};

std::string describe(const Shape& s) {
    std::string head = s.written.substr(0, 40);
    return "diagnostics=" + std::to_string(s.diagnostics) + " links=" + std::to_string(s.links) +
           " size=" + std::to_string(s.written.size()) + " hash=" + std::to_string(std::hash<std::string>{}(s.written)) +
           " head=" + head;
}

// Reads, validates, collects links and writes `text`; the description of
// the result comes back through a pipe.
std::string read_in_child(const std::string& text, u32 options, std::string* status) {
    int fds[2];
    if (pipe(fds) != 0) return "pipe failed";
    *status = run_in_child(
        [&] {
            close(fds[0]);
            Arena* arena = arena_create(GB(1), MB(1));
            String copy = string_copy(arena, from(text));
            HtmlDocument document = html_read_template(arena, copy, S("p.html"), options | HTML_PARSE_QUIET);
            Shape shape = {document.diagnostics.count, document.link_count,
                           document.root ? str(html_serialize_to_string(arena, document.root)) : std::string()};
            std::string line = describe(shape);
            if (write(fds[1], line.data(), line.size()) != (ssize_t)line.size()) return 3;
            close(fds[1]);
            return 0;
        },
        LIMIT_SECONDS);
    close(fds[1]);
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = read(fds[0], buffer, sizeof(buffer))) > 0) out.append(buffer, (size_t)got);
    close(fds[0]);
    return out;
}

const u32 ALL_CHECKS = HTML_PARSE_VALIDATE | HTML_PARSE_CHECK_URLS | HTML_VALIDATE_UNKNOWN_TAGS |
                       HTML_VALIDATE_UNKNOWN_ATTRIBUTES | HTML_VALIDATE_PARENTS;

struct Case {
    const char* name;
    std::string text;
    u32 options;
    Shape expected;
};

struct Row {
    const char* name;
    std::function<Case()> make;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

// Each row makes its input when its test runs; each is a test of its own,
// so the limit applies to one row, never to the sum.
const Row kRows[] = {
    // Every "<" lacks a name: one error each, nothing kept.
    {"megabyte_of_lt", [] { return Case{"megabyte_of_lt", std::string(MEGABYTE, '<'), 0, {(u64)MEGABYTE, 0, ""}}; }},
    {"megabyte_of_lt_escaped", [] { return Case{"megabyte_of_lt_escaped", "<p>x" + std::string(MEGABYTE, '<') + "</p>", HTML_PARSE_ESCAPE_STRAY_LT, {0, 0, "<p>x" + repeat("&lt;", MEGABYTE) + "</p>"}}; }},
    {"deep_nesting_unclosed", [] { return Case{"deep_nesting_unclosed", repeat("<div>", N) + "x", 0, {0, 0, repeat("<div>", N) + "x" + repeat("</div>", N)}}; }},
    {"deep_nesting_checked", [] { return Case{"deep_nesting_checked", "<html><body>" + repeat("<div>", N) + "x" + repeat("</div>", N) + "</body></html>", ALL_CHECKS, {N - 1, 0, "<html lang=\"en\" ><body>" + repeat("<div>", N) + "x" + repeat("</div>", N) + "</body></html>"}}; }},
    // Every start tag is left open inside the first one's attributes.
    {"unclosed_start_tags", [] { return Case{"unclosed_start_tags", repeat("<p", N), ALL_CHECKS, {(u64)(N - 1) * 3 + 1, 0, "<p" + repeat(" p ", N - 1) + "></p>"}}; }},
    {"unclosed_double_quote", [] { return Case{"unclosed_double_quote", "<p title=\"" + std::string(MEGABYTE, 'x'), 0, {1, 0, "<p title ></p>"}}; }},
    {"unclosed_single_quotes", [] { return Case{"unclosed_single_quotes", "<p>" + repeat("'a", N) + "</p>", 0, {0, 0, "<p>" + repeat("'a", N) + "</p>"}}; }},
    {"many_duplicate_attributes", [] { return Case{"many_duplicate_attributes", "<div" + repeat(" class=\"a\"", N) + ">x</div>", ALL_CHECKS, {(u64)N + 1, 0, "<div" + repeat(" class=\"a\" ", N) + ">x</div>"}}; }},
    {"many_unknown_attributes", [] { return Case{"many_unknown_attributes", "<div" + repeat(" data-x=\"a\"", N) + ">x</div>", HTML_PARSE_VALIDATE, {(u64)N, 0, "<div" + repeat(" data-x=\"a\" ", N) + ">x</div>"}}; }},
    {"stray_end_tags", [] { return Case{"stray_end_tags", "<div>x" + repeat("</p>", N), 0, {1 + (u64)(N - 1) * 3, 0, "<div></div>"}}; }},
    {"mismatched_end_tags", [] { return Case{"mismatched_end_tags", repeat("<div>", N) + repeat("</p>", N), 0, {(u64)N, 0, "<div></div>"}}; }},
    {"raw_text_with_tags", [] { return Case{"raw_text_with_tags", "<style>" + repeat("a<b>", N) + "</style>", 0, {0, 0, "<style>" + repeat("a<b>", N) + "</style>"}}; }},
    {"raw_text_never_closed", [] { return Case{"raw_text_never_closed", "<script>" + repeat("</", N), 0, {0, 0, "<script>" + repeat("</", N) + "</script>"}}; }},
    {"comments", [] { return Case{"comments", "<p>" + repeat("<!-- c -->", N) + "</p>", 0, {(u64)N, 0, "<p>" + repeat("!-- c -->", N) + "</p>"}}; }},
    {"unknown_entities", [] { return Case{"unknown_entities", "<p>" + repeat("&nbsp;&lt;", N) + "</p>", 0, {0, 0, "<p>" + repeat("&nbsp;&lt;", N) + "</p>"}}; }},
    {"nul_bytes", [] { return Case{"nul_bytes", "<p>" + std::string(MEGABYTE, '\0') + "</p>", 0, {0, 0, "<p>" + std::string(MEGABYTE, '\0') + "</p>"}}; }},
    {"nul_bytes_in_tags", [] { return Case{"nul_bytes_in_tags", repeat(std::string("<p\0a=\0>", 7), N), 0, {(u64)N, 0, repeat(std::string("<p a=\"\0\" >", 10), N) + repeat("</p>", N)}}; }},
    {"long_line", [] { return Case{"long_line", "<p>" + repeat("word ", 5 * N) + "</p>", 0, {0, 0, "<p>" + repeat("word ", 5 * N) + "</p>"}}; }},
    {"nested_heads", [] { return Case{"nested_heads", repeat("<head>", N), HTML_PARSE_VALIDATE, {(u64)N + 1, 0, repeat("<head>", N) + repeat("</head>", N)}}; }},
    {"many_links", [] { return Case{"many_links", repeat("<a href=\"https://e.com/x#f\">x</a>", N), HTML_PARSE_CHECK_URLS, {0, (u64)N, repeat("<a href=\"https://e.com/x#f\" >x</a>", N)}}; }},
    {"deep_auto_structure", [] { return Case{"deep_auto_structure", repeat("<div>", N), HTML_PARSE_AUTO_STRUCTURE, {0, 0, "<!DOCTYPE html ><html lang=\"en\" ><head></head><body>" + repeat("<div></div>", N) + "</body></html>"}}; }},
    {"deep_lists", [] { return Case{"deep_lists", repeat("<ul><li>", N), ALL_CHECKS, {(u64)N + 1, 0, repeat("<ul><li>", N) + repeat("</li></ul>", N)}}; }},
};

struct HtmlPathological : ::testing::TestWithParam<Row> {};

TEST_P(HtmlPathological, AlwaysATreeLinearTime) {
    Case c = GetParam().make();
    std::string status;
    std::string got = read_in_child(c.text, c.options, &status);
    EXPECT_EQ(status, "") << c.name;
    EXPECT_EQ(got, describe(c.expected)) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Rows, HtmlPathological, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

}  // namespace
