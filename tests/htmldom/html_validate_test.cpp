#include "html_test_util.h"

namespace {

using HtmlValidate = HtmlTest;
using V = std::vector<std::string>;

TEST_F(HtmlValidate, Findings) {
    const u32 all = HTML_VALIDATE_UNKNOWN_TAGS | HTML_VALIDATE_UNKNOWN_ATTRIBUTES | HTML_VALIDATE_PARENTS;
    struct Case {
        const char* text;
        u32 options;
        V findings;
    } cases[] = {
        {"<head></head>", 0, {"1:1: document missing title", "1:3: head must not have empty content"}},
        {"<head><meta charset=\"utf-8\"><div><title>T</title></div></head>", 0, {}},
        {"<body><p></p></body>", 0, {}},
        {"<head><head><title>T</title></head></head><head>x</head>", 0, {"1:1: document missing title"}},
        {"<div></div>", 0, {"1:3: div must not have empty content"}},
        {"<div> </div><td></td><img><p></p><br>", 0, {}},
        {"<a></a><form>\n</form>", 0, {"1:3: a must not have empty content"}},
        {"<html><body><p>x</p>\n<li>y</li></body></html>", all,
         {"2:3: Structure: li does not have an allowed parent, it should be one of theses: ul;ol;"}},
        {"<body><ul><li>y</li></ul></body>", HTML_VALIDATE_PARENTS,
         {"1:3: Structure: body does not have an allowed parent, it should be one of theses: html;"}},
        {"<!DOCTYPE html><HTML><Body><Footer><P>x</P></Footer></Body></HTML>", HTML_VALIDATE_PARENTS, {}},
        {"<div><p>x</p></div><section><p>x</p></section>", HTML_VALIDATE_PARENTS,
         {"1:3: Structure: div does not have an allowed parent, it should be one of theses: "
          "body;section;article;aside;footer;header;nav;a;",
          "1:22: Structure: section does not have an allowed parent, it should be one of theses: "
          "body;article;aside;footer;header;nav;main;"}},
        {"<p class=\"a\" class=\"b\" id=\"c\">x</p>", 0,
         {"1:5: class is a duplicated attribute", "1:15: class is a duplicated attribute"}},
        {"<p CLASS=\"a\" class=\"b\">x</p>", 0,
         {"1:5: CLASS is a duplicated attribute", "1:15: class is a duplicated attribute"}},
        // Names outside the table are duplicates only of the same name.
        {"<p foo=\"1\" bar=\"2\">x</p>", 0, {}},
        {"<p foo=\"1\" bar=\"2\" Foo=\"3\">x</p>", 0,
         {"1:5: foo is a duplicated attribute", "1:21: Foo is a duplicated attribute"}},
        {"<p foo=\"1\" bar=\"2\">x</p>", HTML_VALIDATE_UNKNOWN_ATTRIBUTES,
         {"1:5: foo unknown attribute", "1:13: bar unknown attribute"}},
        {"<blink>x</blink><blink></blink>", 0, {"1:19: blink must not have empty content"}},
        {"<blink>x</blink>", HTML_VALIDATE_UNKNOWN_TAGS, {"1:3: blink unknown tag element"}},
        {"<a href=\"\">x</a><a href=x>y</a><img src=''>", 0,
         {"1:5: attribute's key href must not be empty", "1:38: attribute's key src must not be empty"}},
        // An attribute read without a value is also a parse error.
        {"<link href>", 0, {"1:11: href's value was a boolean flag but shouldn't ",
                            "1:8: attribute's key href must not be empty"}},
        // The element whose end tag did not match lost its content holder.
        {"<div><p>x</div>", 0,
         {"1:12: The tag name \"p\" has no matching closing tag name. You may have an opening tag without matching "
          "closing one.",
          "1:7: Structure (internal): p does not have correct internal nodes which will cause critical errors"}},
    };
    for (const Case& c : cases) {
        HtmlDocument document = read(c.text, HTML_PARSE_VALIDATE | c.options);
        EXPECT_EQ(messages_at(document.diagnostics, document.root->text), c.findings) << c.text;
        EXPECT_EQ(document.ok, 1u) << c.text;
        // Without the validation bit nothing of this is checked.
        HtmlDocument plain = read(c.text, c.options);
        for (const std::string& m : messages(plain.diagnostics)) {
            EXPECT_EQ(m.find("must not"), std::string::npos) << c.text;
            EXPECT_EQ(m.find("duplicated"), std::string::npos) << c.text;
        }
    }
}

TEST_F(HtmlValidate, CodeBuiltShapes) {
    HtmlDocument document = {};
    document.root = html_node_create(arena, HTML_NODE_DOCUMENT, 0, String{}, 0);
    HtmlNode* bare = html_node_create(arena, HTML_NODE_ELEMENT, 0, S("p"), 5);
    html_append_child(document.root, bare);
    // An element placed among attributes.
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, S("t"));
    html_append_child(document.root, div);
    html_set_attribute(arena, div, HTML_ATTR_ID, S("d"));
    HtmlNode* span = html_element_create(arena, HTML_TAG_SPAN, S("s"));
    span->position = 9;
    html_append_child(html_find_kind(div, HTML_NODE_ATTRIBUTE_LIST), span);
    html_validate_structure(arena, &document);
    EXPECT_EQ(messages(document.diagnostics),
              (V{"Structure (internal): p does not have correct internal nodes which will cause critical errors",
                 "parsing failed, tag was encountered inside attribute node"}));
    EXPECT_EQ(document.diagnostics.first->offset, 5u);
    EXPECT_EQ(document.diagnostics.last->offset, 10u);
    EXPECT_EQ(document.ok, 1u);
}

TEST_F(HtmlValidate, LeavesTheTreeUnchanged) {
    const char* text = "<html><head></head><body><p class=a class=b>x</p><li></li></body></html>";
    std::string before = roundtrip(text);
    HtmlDocument document = read(text, HTML_PARSE_VALIDATE | HTML_PARSE_CHECK_URLS | HTML_VALIDATE_PARENTS);
    EXPECT_GT(document.diagnostics.count, 0u);
    EXPECT_EQ(write(document.root), before);
}

// Links as "text|kind|element" items.
V links_of(const HtmlDocument& document) {
    V out;
    HtmlLink* prev = nullptr;
    u64 count = 0;
    for (HtmlLink* l = document.links_first; l; l = l->next) {
        EXPECT_EQ(l->prev, prev);
        prev = l;
        count += 1;
        String text = string_substr(document.root->text, l->begin, l->end);
        out.push_back(str(text) + "|" + std::to_string(l->kind) + "|" + str(l->element->text));
    }
    EXPECT_EQ(document.links_last, prev);
    EXPECT_EQ(document.link_count, count);
    return out;
}

TEST_F(HtmlValidate, LinkPass) {
    struct Case {
        const char* text;
        V links;
    } cases[] = {
        {"<a href=\"https://example.com/x#frag\">x</a>", {"https://example.com/x|1|a"}},
        {"<a href='https://example.com/a#b#c'>x</a>", {"https://example.com/a#b|1|a"}},
        {"<link href=style>", {"style|2|link"}},
        {"<a href=\"/notes/a.html\">x</a><img src=\"img/a.png\">", {"/notes/a.html|2|a", "img/a.png|2|img"}},
        {"<a href=\"#top\">x</a>", {"|2|a"}},
        {"<a href=\"http://localhost/x\">x</a>", {"http://localhost/x|2|a"}},
        // dontFetch counts only before the URL attribute.
        {"<a dontFetch href=\"https://e.com\">x</a>", {}},
        {"<a DONTFETCH href=\"https://e.com\">x</a>", {}},
        {"<a href=\"https://e.com\" dontFetch>x</a>", {"https://e.com|1|a"}},
        // The first URL attribute of the tag is the one taken.
        {"<a title=\"t\" href=\"one\" src=\"two\">x</a>", {"one|2|a"}},
        {"<a href>x</a><a title=\"u\">y</a>", {}},
        {"<div><a href=\"u1\">1</a><p><a href=\"u2\">2</a></p></div>", {"u1|2|a", "u2|2|a"}},
    };
    for (const Case& c : cases) {
        HtmlDocument document = read(c.text, HTML_PARSE_CHECK_URLS);
        EXPECT_EQ(links_of(document), c.links) << c.text;
        HtmlDocument without = read(c.text);
        EXPECT_EQ(without.link_count, 0u);
        EXPECT_EQ(without.links_first, nullptr);
    }
    // Trees built by code carry no URL flag and give no records.
    HtmlDocument built = {};
    built.root = html_default_document(arena);
    HtmlNode* a = html_append_to_content(html_find_last_by_tag(built.root, HTML_TAG_BODY),
                                         html_element_create(arena, HTML_TAG_A, S("x")));
    html_set_attribute(arena, a, HTML_ATTR_HREF, S("https://e.com"));
    html_collect_links(arena, &built);
    EXPECT_EQ(built.link_count, 0u);
}

}  // namespace
