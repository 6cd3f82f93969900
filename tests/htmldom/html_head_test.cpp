#include "html_test_util.h"
#include "htmldom/html_head.h"

namespace {

using HtmlHead = HtmlTest;

const String codes[] = {S(""), S("co_he_"), S("co_x_"), S("absent")};

TEST_F(HtmlHead, StripsKindMetasAndHeadStyles) {
    struct Case {
        const char* text;
        const char* stripped;
    } cases[] = {
        {"<head><meta charset=\"utf-8\"><title>Site</title><link rel=\"icon\" href=\"/f.ico\">"
         "<style>*{all:unset;}</style><style>p{}</style><meta name=\"co_he_\" content=\"Heading\">"
         "<meta name=\"co_x_\" content=\"X\"><meta name=\"keep\" content=\"k\"></head>",
         "<head><meta charset=\"utf-8\" ><title>Site</title><link rel=\"icon\"  href=\"/f.ico\" >"
         "<meta name=\"keep\"  content=\"k\" ></head>"},
        // Only styles directly in the head go; a code listed once removes
        // one element.
        {"<head><noscript><style>n{}</style></noscript><meta name=\"co_x_\"><meta name=\"co_x_\"></head>",
         "<head><noscript><style>n{}</style></noscript><meta name=\"co_x_\" ></head>"},
        // Codes are matched wherever the element is; an empty code matches
        // nothing.
        {"<head><title>T</title></head><div name=\"co_he_\"></div><div name=\"\">x</div>",
         "<head><title>T</title></head><div name=\"\" >x</div>"},
        {"<head></head>", "<head></head>"},
        {"<head>\n<title>T</title>\n<style>s</style>\n<meta name=\"co_x_\">\n</head>",
         "<head>\n<title>T</title>\n\n\n</head>"},
    };
    for (const Case& c : cases) {
        String out = html_head_strip(arena, string_from_cstr(c.text), codes, ARRAY_COUNT(codes));
        EXPECT_EQ(str(out), c.stripped) << c.text;
    }
    EXPECT_EQ(html_head_strip(arena, String{}, codes, ARRAY_COUNT(codes)).size, 0u);
    EXPECT_EQ(str(html_head_strip(arena, S("<head><style>x</style></head>"), 0, 0)), "<head></head>");
}

TEST_F(HtmlHead, StripPrintsProblemsAndKeepsTheTreeAsRead) {
    // The template is read with an empty path and no options: problems are
    // printed, the tree as read is written.
    testing::internal::CaptureStdout();
    String out = html_head_strip(
        arena, S("<head>\n<title>T</title>\n<style>s</style>\n<meta name=\"co_x_\">\n<p>a < b</p>\n</head>"), codes,
        ARRAY_COUNT(codes));
    console_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "error: \ntoken: Tag label expected after '<' symbol, was:  . If inside a text, escape it with &lt;\n"
              ":5:6\n");
    EXPECT_EQ(str(out), "<head>\n<title>T</title>\n\n\n<p>a  b</p>\n</head>");
}

}  // namespace
