// The home page's title and section cards, filled into a small skeleton.
#include "site/index_page.h"
#include "support/strings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kavsite_test::str;

const std::string kGrid =
    "<div style=\"display:flex;flex-direction:row;flex-wrap: wrap;justify-content:space-around;\" >";
const std::string kCard =
    "<div style=\"border:1px solid #b3b3b3;padding:1rem;border-radius:0.3rem;box-shadow:0 2px 4px rgba(0,0,0,0.1)\"  ";
const std::string kHeading = "<h3 style=\"text-transform:capitalize;\" >";

struct IndexFill : ::testing::Test {
    Arena* arena = arena_create(MB(16), KB(64));
    std::vector<HtmlPageNode*> nodes;
    StringList sections = {};
    ~IndexFill() override { arena_release(arena); }

    void page(const char* path, const char* title) {
        HtmlPageNode* node = push_struct<HtmlPageNode>(arena);
        node->page.path = string_from_cstr(path);
        node->page.title = string_from_cstr(title);
        if (!nodes.empty()) nodes.back()->next = node;
        nodes.push_back(node);
    }
    void section(const char* name) { string_list_push(arena, &sections, string_from_cstr(name)); }

    // A skeleton like the real one: a head from a template (with or without
    // a title) and a body wrapper with id "b_w".
    std::string fill(bool template_title, u32 deploy = 0) {
        HtmlPage index = {};
        index.document.root = html_default_document(arena);
        HtmlNode* head = html_find_last_by_tag(index.document.root, HTML_TAG_HEAD);
        html_append_to_content(head, html_element_create(arena, HTML_TAG_META, String{}));
        if (template_title) html_append_to_content(head, html_element_create(arena, HTML_TAG_TITLE, S("Old")));
        html_append_to_content(head, html_element_create(arena, HTML_TAG_LINK, String{}));
        HtmlNode* wrapper = html_element_create(arena, HTML_TAG_DIV, String{});
        html_set_attribute(arena, wrapper, HTML_ATTR_ID, S("b_w"));
        html_append_to_content(html_find_last_by_tag(index.document.root, HTML_TAG_BODY), wrapper);
        index_page_fill(arena, &index, nodes.empty() ? nullptr : nodes.front(), &sections, S("/srv/site/"), deploy);
        EXPECT_EQ(str(index.title), "Ilvo Marsk | Home");
        return str(html_serialize_to_string(arena, index.document.root));
    }
};

TEST_F(IndexFill, OneCardPerSectionWithItsPagesInOrder) {
    page("/srv/site/html/notes/a.html", "Alpha");
    page("/srv/site/html/journal/c.html", "Gamma");
    page("/srv/site/html/Notes/b.html", "Beta");  // same section, other case
    page("/srv/site/html/top.html", "Top");       // directly in html: no card
    page("d.html", "No folder");
    page("/srv/site/html/notes/deeper/e.html", "Deeper");  // section "deeper", not listed
    section("notes");
    section("journal");
    std::string text = fill(true);

    std::string grid =
        kGrid + kCard + "id=\"wp-l-notes\" >" + kHeading + "notes</h3>" +
        "<a style=\"font-size:0.8rem;\"  href=\"file:///srv/site/html/notes/a.html\" >Alpha</a>" +
        "<a style=\"font-size:0.8rem;\"  href=\"file:///srv/site/html/Notes/b.html\" >Beta</a></div>" + kCard +
        "id=\"wp-l-journal\" >" + kHeading + "journal</h3>" +
        "<a style=\"font-size:0.8rem;\"  href=\"file:///srv/site/html/journal/c.html\" >Gamma</a></div>" + "</div>";
    EXPECT_NE(text.find("<div id=\"b_w\" >" + grid + "</div>"), std::string::npos) << text;
    for (const char* absent : {"Top", "No folder", "Deeper"}) EXPECT_EQ(text.find(absent), std::string::npos);
}

TEST_F(IndexFill, TitleReplacesTheTemplateTitleOrIsAdded) {
    for (bool template_title : {true, false}) {
        std::string text = fill(template_title);
        EXPECT_NE(text.find("<head><meta><link><title>Ilvo Marsk | Home</title></head>"), std::string::npos) << text;
        EXPECT_EQ(text.find("Old"), std::string::npos) << text;
    }
}

TEST_F(IndexFill, WithoutSectionsTheGridStaysEmpty) {
    page("/srv/site/html/top.html", "Top");
    std::string text = fill(true);
    EXPECT_NE(text.find("<div id=\"b_w\" >" + kGrid + "</div></div>"), std::string::npos) << text;
}

TEST_F(IndexFill, DeployedLinksAndNamesAsFirstSeen) {
    page("/srv/site/html/Travel Notes/a.html", "A <draft> & more");
    section("Travel Notes");
    std::string text = fill(true, 1);
    EXPECT_NE(text.find(kCard + "id=\"wp-l-Travel Notes\" >"), std::string::npos) << text;
    EXPECT_NE(text.find(kHeading + "Travel Notes</h3>"), std::string::npos) << text;
    EXPECT_NE(text.find("href=\"/Travel Notes/a.html\" >A &lt;draft&gt; & more</a>"), std::string::npos) << text;
}

TEST_F(IndexFill, SectionOfAPath) {
    struct Case {
        const char* path;
        const char* section;
    } cases[] = {
        {"/srv/site/html/notes/a.html", "notes"},
        {"notes\\a.html", "notes"},
        {"a.html", ""},
        {"/a.html", ""},
        {"x/y/z/a.html", "z"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(str(index_section_of(string_from_cstr(c.path))), c.section) << c.path;
}

}  // namespace
