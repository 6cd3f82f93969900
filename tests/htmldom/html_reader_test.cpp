#include "html_test_util.h"

namespace {

using HtmlReader = HtmlTest;

// Tokens as "text|kind" items.
std::vector<std::string> tokens_of(Arena* arena, const std::string& text) {
    HtmlTokens tokens = html_tokenize(arena, from(text));
    std::vector<std::string> out;
    u64 expected_begin = 0;
    for (u64 i = 0; i < tokens.count; i += 1) {
        const HtmlToken& t = tokens.tokens[i];
        EXPECT_EQ(t.begin, expected_begin) << "tokens cover the text without gaps";
        EXPECT_LT(t.begin, t.end);
        expected_begin = t.end;
        char kind[16];
        snprintf(kind, sizeof(kind), "%x", t.kind);
        out.push_back(text.substr(t.begin, t.end - t.begin) + "|" + kind);
    }
    EXPECT_EQ(expected_begin, text.size());
    return out;
}

TEST_F(HtmlReader, TokenKinds) {
    using V = std::vector<std::string>;
    struct Case {
        std::string text;
        V tokens;
    } cases[] = {
        {" \t\v\r\n\n", {" \t\v\r|40", "\n|80", "\n|80"}},
        {"</a/>=>", {"</|10", "a|2", "/>|10", "=|10", ">|10"}},
        {"<", {"<|10"}},
        {"a<", {"a|2", "<|10"}},
        {"<<", {"<|10", "<|10"}},
        {"Ab9!(x)-?[y]-", {"Ab9!(x)-?[y]-|2"}},
        {"\xC3\xA9t\xC3\xA9", {"\xC3|2", "\xA9|800", "t\xC3|2", "\xA9|800"}},
        {"12.5em 1.2.3", {"12.5em|1", " |40", "1.2.3|1"}},
        {"-1 .5 -a .a", {"-1|1", " |40", ".5|1", " |40", "-|8", "a|2", " |40", ".|8", "a|2"}},
        {"&lt;&gt;&amp;&apos;&quot;&#47;&#45;",
         {"&lt;|4008", "&gt;|4008", "&amp;|4008", "&apos;|4008", "&quot;|4008", "&#47;|4008", "&#45;|4008"}},
        {"&nbsp;", {"&|8", "nbsp|2", ";|8"}},
        {"&LT;", {"&|8", "LT|2", ";|8"}},
        {"\"a b\"'c\"d'", {"\"a b\"|404", "'c\"d'|104"}},
        {"\"open", {"\"open|1404"}},
        {"'open", {"'open|1104"}},
        {"\"x<y\"", {"\"|1404", "x|2", "<|10", "y|2", "\"|1404"}},
        {"'x<y", {"'|304", "x|2", "<|10", "y|2"}},
        {"#$%&*+-./?^{}|~", {"#$%&*+-./?^{}|~|8"}},
        {",:;@\\_`", {",|8", ":|8", ";|8", "@|8", "\\|8", "_|8", "`|8"}},
        {"/ />", {"/|8", " |40", "/>|10"}},
        {"-/>", {"-/|8", ">|10"}},
        {std::string("\0\x7f\f", 3), {std::string("\0|800", 5), "\x7f|800", "\f|800"}},
    };
    for (const Case& c : cases) EXPECT_EQ(tokens_of(arena, c.text), c.tokens) << c.text;
    EXPECT_EQ(html_tokenize(arena, String{}).count, 0u);
}

TEST_F(HtmlReader, TokenBlocksJoinIntoOneArray) {
    std::string text;
    for (int i = 0; i < 10000; i += 1) text += "<p>";
    HtmlTokens tokens = html_tokenize(arena, from(text));
    ASSERT_EQ(tokens.count, 30000u);
    for (u64 i = 0; i < tokens.count; i += 3) {
        EXPECT_EQ(tokens.tokens[i].begin, i);
        EXPECT_EQ(tokens.tokens[i + 1].kind, (u32)HTML_TOKEN_IDENTIFIER);
    }
}

TEST_F(HtmlReader, DocumentWithTitle) {
    std::string text = "<!DOCTYPE html><html><head><title>T</title></head><body></body></html>";
    HtmlDocument document = read(text);
    EXPECT_EQ(document.ok, 1u);
    EXPECT_EQ(document.diagnostics.count, 0u);
    EXPECT_EQ(document.root->child_count, 2u);
    EXPECT_EQ(str(document.root->text), text);
    HtmlNode* html = document.root->last_child;
    EXPECT_EQ(str(html_attribute_value(html, HTML_ATTR_LANG)), "en");
    ASSERT_NE(document.title, nullptr);
    EXPECT_EQ(document.title->element->tag, (HtmlTag)HTML_TAG_TITLE);
    EXPECT_EQ(write(document.root), "<!DOCTYPE html ><html lang=\"en\" ><head><title>T</title></head><body></body></html>");
    EXPECT_EQ(document.options, (u32)HTML_PARSE_QUIET);
}

TEST_F(HtmlReader, WrittenBack) {
    struct Case {
        const char* text;
        const char* written;
    } cases[] = {
        // Whitespace inside elements is text; at document level it goes.
        {"\n <div>\n  <p>a</p>\n</div>\n", "<div>\n  <p>a</p>\n</div>"},
        {"<html LANG=\"fr\"></html>", "<html LANG=\"fr\" ></html>"},
        {"<!DOCTYPE html><!DOCTYPE>", "<!DOCTYPE html ><!DOCTYPE html >"},
        {"<DIV Class='a'>x</DIV>", "<div Class=\"a\" >x</div>"},
        // End tags match names with A-Z folded, in content and raw text.
        {"<DIV>x</div><Style>a</STYLE>", "<div>x</div><style>a</style>"},
        {"<sTyle>a</style", "<style>a</style>"},
        {"<p>a &nbsp; b &lt; c</p>", "<p>a &nbsp; b &lt; c</p>"},
        {"<a href=x title = 'y' >z</a>", "<a href=\"x\"  title=\"y\" >z</a>"},
        {"<br/><p/>t</p>", "<br><p>t</p>"},
        {"<meta charset=\"utf-8\"><link rel=\"icon\">", "<meta charset=\"utf-8\" ><link rel=\"icon\" >"},
        {"<input disabled>", "<input disabled >"},
        // Raw text: "<" and ">" are text, and so is an end tag of another
        // element.
        {"<style>a>b{}<p></p></style>", "<style>a>b{}<p></p></style>"},
        {"<script>if (a<b) x='</p>';</script>", "<script>if (a<b) x='</p>';</script>"},
        {"<code>x</codex></code>", "<code>x</codex></code>"},
        // Elements left open are closed by the writer.
        {"<div><p>text", "<div><p>text</p></div>"},
        {"<style>unclosed", "<style>unclosed</style>"},
        // A start tag cut off by the end keeps the attributes read so far.
        {"<div class=\"a\" id=b", "<div class=\"a\"  id=\"b\" ></div>"},
        {"<p><span title=", "<p><span title ></span></p>"},
        // Names outside the table are kept.
        {"<custom-el data-x=\"1\">c</custom-el>", "<custom-el data-x=\"1\" >c</custom-el>"},
        // The token after a matched end-tag name is taken for ">".
        {"<div><p>a</p x>b</div>", "<div><p>a</p>x>b</div>"},
    };
    for (const Case& c : cases) EXPECT_EQ(roundtrip(c.text), c.written) << c.text;
}

TEST_F(HtmlReader, ErrorsAndPositions) {
    using V = std::vector<std::string>;
    const char* tag_label = "Tag label expected after '<' symbol, was: %s. If inside a text, escape it with &lt;";
    auto label = [&](const char* was) {
        char buffer[256];
        snprintf(buffer, sizeof(buffer), tag_label, was);
        return std::string(buffer);
    };
    struct Case {
        std::string text;
        V messages;
    } cases[] = {
        {"<p>a < b</p>", {"1:6: " + label(" ")}},
        // The cut-off quote leaves x>y to be read as tokens of the tag.
        {"<div class=\"x>y</div>",
         {"1:12: class's Attribute value has string broken.", "1:14: x's value was a boolean flag but shouldn't "}},
        {"<img src=\"a.png\" alt>", {"1:21: alt's value was a boolean flag but shouldn't "}},
        {"<img alt src=\"a\">", {}},
        {"<input disabled>", {}},
        {"<input type=\"checkbox\" checked/>", {}},
        {"<p>x</div>",
         {"1:7: The tag name \"p\" has no matching closing tag name. You may have an opening tag without matching closing "
          "one."}},
        {"<div>\n<!-- note -->\n</div>", {"2:1: " + label("!--")}},
        {"<", {"1:1: " + label("")}},
        {"text", {"1:1: Unexpected \"text\" token."}},
        {"</p>", {"1:1: Unexpected \"</\" token.", "1:3: Unexpected \"p\" token.", "1:4: Unexpected \">\" token."}},
        {"<p =x>", {"1:4: Unexpected \"=\" token.", "1:6: x's value was a boolean flag but shouldn't "}},
        {"<p \"v\" 1>", {"1:4: Unexpected \"\"v\"\" token.", "1:8: Unexpected \"1\" token."}},
        {"<!doctype html>",
         {"1:1: " + label("!"), "1:2: Unexpected \"!\" token.", "1:3: Unexpected \"doctype\" token.",
          "1:11: Unexpected \"html\" token.", "1:15: Unexpected \">\" token."}},
        // The apostrophe cut short by "<" gives an empty value; the rest of
        // the tag is read as tokens, up to a string broken by the end.
        {"<a href='x<y'>", {"1:11: Unexpected \"<\" token.", "1:13: Unexpected \"'>\" token."}},
    };
    for (Case& c : cases) {
        HtmlDocument document = read(c.text);
        EXPECT_EQ(messages_at(document.diagnostics, document.root->text), c.messages) << c.text;
        EXPECT_EQ(document.ok, c.messages.empty() ? 1u : 0u) << c.text;
        for (Diagnostic* d = document.diagnostics.first; d; d = d->next) {
            EXPECT_EQ(d->level, DIAG_ERROR);
            EXPECT_EQ(((const HtmlNode*)d->node)->kind, (u32)HTML_NODE_TOKEN);
        }
    }
}

TEST_F(HtmlReader, UnmatchedEndTagDropsTheOpenElementsContent) {
    HtmlDocument document = read("<div><p>lost</div>after</div>");
    EXPECT_EQ(document.diagnostics.count, 1u);
    HtmlNode* p = html_find_last_by_tag(document.root, HTML_TAG_P);
    EXPECT_EQ(p->child_count, 1u);
    EXPECT_EQ(write(document.root), "<div><p></p>after</div>");
}

TEST_F(HtmlReader, NodeFlagsAndPositions) {
    std::string text = "<a href=\"u\" title='t' data-n=5><style>x</style></a>";
    HtmlDocument document = read(text);
    HtmlNode* a = document.root->first_child;
    EXPECT_EQ(a->position, 1u);
    EXPECT_TRUE(a->flags & HTML_NODE_FROM_IDENTIFIER);
    EXPECT_TRUE(a->flags & HTML_NODE_HAS_URL);
    EXPECT_FALSE(a->flags & HTML_NODE_RAW_TEXT);
    HtmlNode* href = html_find_attribute(a, HTML_ATTR_HREF);
    EXPECT_EQ(href->position, 3u);
    EXPECT_EQ(href->flags, (u64)HTML_NODE_FROM_IDENTIFIER);
    EXPECT_EQ(href->first_child->flags, (u64)(HTML_NODE_FROM_STRING | HTML_NODE_FROM_DOUBLE_QUOTED));
    EXPECT_EQ(href->first_child->position, 8u);
    EXPECT_EQ(str(href->first_child->text), "u");
    HtmlNode* title = html_find_attribute(a, HTML_ATTR_TITLE);
    EXPECT_EQ(title->first_child->flags, (u64)(HTML_NODE_FROM_STRING | HTML_NODE_FROM_SINGLE_QUOTED));
    HtmlNode* number = html_find_kind(a, HTML_NODE_ATTRIBUTE_LIST)->last_child;
    EXPECT_EQ(str(number->text), "data-n");
    EXPECT_EQ(number->attribute, &html_nil_attribute_info);
    EXPECT_EQ(number->first_child->flags, (u64)HTML_NODE_FROM_NUMBER);
    HtmlNode* style = html_find_last_by_tag(a, HTML_TAG_STYLE);
    EXPECT_TRUE(style->flags & HTML_NODE_RAW_TEXT);
    EXPECT_FALSE(style->flags & HTML_NODE_HAS_URL);
}

TEST_F(HtmlReader, RequiredAttributesAreAddedOnlyWhenMissing) {
    struct Case {
        const char* text;
        const char* written;
    } cases[] = {
        {"<html></html>", "<html lang=\"en\" ></html>"},
        {"<html lang=\"de\"></html>", "<html lang=\"de\" ></html>"},
        {"<html Lang=\"de\"></html>", "<html Lang=\"de\" ></html>"},
        {"<html id=\"r\"></html>", "<html id=\"r\"  lang=\"en\" ></html>"},
        {"<!DOCTYPE>", "<!DOCTYPE html >"},
        {"<!DOCTYPE HTML>", "<!DOCTYPE HTML >"},
        // A start tag cut off by the end still gets them.
        {"<html id=r", "<html id=\"r\"  lang=\"en\" ></html>"},
        {"<!DOCTYPE", "<!DOCTYPE html >"},
    };
    for (const Case& c : cases) EXPECT_EQ(roundtrip(c.text), c.written) << c.text;
}

TEST_F(HtmlReader, RawTextTokensEachBecomeTextNodes) {
    HtmlDocument document = read("<script>a<b</script>");
    HtmlNode* content = html_find_kind(document.root->first_child, HTML_NODE_CONTENT);
    EXPECT_EQ(content->child_count, 3u);
    EXPECT_EQ(str(content->first_child->text), "a");
    EXPECT_EQ(str(content->last_child->text), "b");
    // An ordinary element gathers its run into one text node.
    document = read("<p>a &nbsp; b</p>");
    content = html_find_kind(document.root->first_child, HTML_NODE_CONTENT);
    EXPECT_EQ(content->child_count, 1u);
    EXPECT_EQ(str(content->first_child->text), "a &nbsp; b");
    EXPECT_EQ(content->first_child->position, 12u);
}

TEST_F(HtmlReader, EscapeStrayLessThanOption) {
    HtmlDocument document = read("<p>a < b</p>", HTML_PARSE_ESCAPE_STRAY_LT);
    EXPECT_EQ(document.diagnostics.count, 0u);
    EXPECT_EQ(document.ok, 1u);
    EXPECT_EQ(write(document.root), "<p>a &lt; b</p>");
}

TEST_F(HtmlReader, AutoStructureFilesElementsUnderTheirParents) {
    HtmlDocument document = read("<title>T</title><p>a</p><meta charset=\"utf-8\"><div><p>b</p></div>",
                                 HTML_PARSE_AUTO_STRUCTURE);
    EXPECT_EQ(document.diagnostics.count, 0u);
    EXPECT_EQ(write(document.root),
              "<!DOCTYPE html ><html lang=\"en\" ><head><title>T</title><meta charset=\"utf-8\" ></head>"
              "<body><p>a</p><div><p>b</p></div></body></html>");
    // An element whose first parent is not open stops the filing; it and
    // the rest stay where they are written.
    document = read("<li>x</li><title>T</title>", HTML_PARSE_AUTO_STRUCTURE);
    EXPECT_EQ(write(document.root),
              "<!DOCTYPE html ><html lang=\"en\" ><head></head><body><li>x</li><title>T</title></body></html>");
}

TEST_F(HtmlReader, EmptyTemplate) {
    testing::internal::CaptureStdout();
    HtmlDocument document = html_read_template(arena, String{}, S("e.html"), HTML_PARSE_VALIDATE);
    console_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(document.root, nullptr);
    EXPECT_EQ(document.ok, 0u);
    EXPECT_EQ(document.diagnostics.count, 0u);
    EXPECT_EQ(document.title, nullptr);
    EXPECT_EQ(document.options, 0u);
}

TEST_F(HtmlReader, PrintsDiagnosticsInThreeLines) {
    std::string text = "<div>\n<p>a < b</p>\n</span>";
    testing::internal::CaptureStdout();
    HtmlDocument document = html_read_template(arena, from(text), S("html/shared/html/default_head.html"), 0);
    console_flush();
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed,
              "error: \n"
              "token: Tag label expected after '<' symbol, was:  . If inside a text, escape it with &lt;\n"
              "html/shared/html/default_head.html:2:6\n"
              "error: \n"
              "token: The tag name \"div\" has no matching closing tag name. You may have an opening tag without "
              "matching closing one.\n"
              "html/shared/html/default_head.html:3:3\n");
    // Printed diagnostics are not handed on; errors do not make the
    // document unusable.
    EXPECT_EQ(document.diagnostics.count, 0u);
    EXPECT_EQ(document.diagnostics.first, nullptr);
    EXPECT_EQ(document.ok, 1u);

    // The first byte is line 1, column 1; an empty path prints ":1:1".
    testing::internal::CaptureStdout();
    html_read_template(arena, S("x"), String{}, 0);
    console_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "error: \ntoken: Unexpected \"x\" token.\n:1:1\n");
}

}  // namespace
