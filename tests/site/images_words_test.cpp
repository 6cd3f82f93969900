// Images (source, alternative text, size from the description or from a
// JPEG file), word flushes (text, dates, category chips) and icons.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/icons.h"
#include "site/images.h"
#include "site/site_check.h"
#include "site/words.h"
#include "site_test_support.h"
#include "support/images.h"

using namespace site_test;

namespace {

using kavsite_test::tiny_jpeg;

// The first word of the tree with the image flag.
KavNode* find_image(KavNode* root) {
    for (KavNode* n = root; !kav_node_is_nil(n);) {
        if (n->kind == KAV_NODE_WORD && (n->flags & KAV_FLAG_IMAGE)) return n;
        if (!kav_node_is_nil(n->first)) {
            n = n->first;
            continue;
        }
        while (!kav_node_is_nil(n) && kav_node_is_nil(n->next)) n = n->parent;
        if (!kav_node_is_nil(n)) n = n->next;
    }
    return nullptr;
}

struct ImageTest : SiteFolderTest {
    void SetUp() override {
        kavsite_test::write_file(root + "html/img/a.jpg", tiny_jpeg(33, 17));
        kavsite_test::write_file(root + "html/img/b.png", "\x89PNG");
        site = make_site(root.c_str());
    }
    // The image of `word` as a page of the site shows it, after the check
    // pass looked at the document's files.
    HtmlNode* image(KavParseResult* document, KavNode* word) {
        DiagnosticList wrong = {};
        check_file_words(arena, site, document, S("doc.kav"), CHECK_FILES_FINAL, &wrong);
        PageBuilder builder = page_builder(site, arena);
        return make_image(&builder, word);
    }
};

TEST_F(ImageTest, SourceAltAndSize) {
    struct Case {
        const char* image;  // inside the brackets
        u32 file_check;
        const char* src;    // relative to the site root; "-" for none
        const char* alt;
        const char* width;
        const char* height;
    };
    const Case cases[] = {
        {"_\"/img/a.jpg\"", 0, "html/img/a.jpg", "", "33", "17"},
        {"_\"/img/a.jpg\"(\"cover\")", 0, "html/img/a.jpg", "cover", "33", "17"},
        {"_\"/img/a.jpg\"(\"cover\" 640x480)", 0, "html/img/a.jpg", "cover", "640", "480"},
        {"_\"/img/a.jpg\"(10X20)", 0, "html/img/a.jpg", "", "10", "20"},
        // No size given and none read: the browser takes the image's own.
        {"_\"/img/b.png\"", 0, "html/img/b.png", "", "", ""},
        {"_\"/img/b.png\"(320x200)", 0, "html/img/b.png", "", "320", "200"},
        {"_\"/img/b.png\"(640x)", 0, "html/img/b.png", "", "", ""},
        {"_\"/img/none.jpg\"", 0, "html/img/none.jpg", "", "", ""},
        {"_\"/img/a.jpg\"", 1, "html/img/a.jpg", "", "33", "17"},
        {"_\"/img/none.jpg\"(\"gone\")", 1, "-", "gone", "", ""},
    };
    for (const Case& c : cases) {
        site->settings.file_p_check = c.file_check;
        KavParseResult document = parse(arena, std::string("x [") + c.image + "]\n");
        KavNode* word = find_image(document.root);
        ASSERT_NE(word, nullptr) << c.image;
        HtmlNode* img = image(&document, word);
        std::string src = *c.src == '-' ? "" : "file://" + root + c.src;
        EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_SRC)), src) << c.image;
        EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_ALT)), c.alt) << c.image;
        EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_DATA_TITLE)), c.alt) << c.image;
        EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_WIDTH)), c.width) << c.image;
        EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_HEIGHT)), c.height) << c.image;
        // An unknown size is no attribute at all, never width="0".
        std::string html = str(html_serialize_to_string(arena, img));
        EXPECT_EQ(html.find("width=") != std::string::npos, *c.width != 0) << html;
        EXPECT_EQ(html.find("height=") != std::string::npos, *c.height != 0) << html;
        EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_DRAGGABLE)), "false") << c.image;
    }
}

TEST_F(ImageTest, ExternalImageKeepsItsSourceWithTheFileCheck) {
    site->settings.file_p_check = 1;
    KavParseResult document = parse(arena, "x [_\"https://example.com/a.jpg\"]\n");
    KavNode* word = find_image(document.root);
    ASSERT_NE(word, nullptr);
    HtmlNode* img = image(&document, word);
    EXPECT_EQ(str(html_attribute_value(img, HTML_ATTR_SRC)), "https://example.com/a.jpg");
    EXPECT_EQ(str(html_serialize_to_string(arena, img)).find("width="), std::string::npos);
}

TEST(Words, Flushes) {
    Arena* arena = arena_create(MB(4), KB(4));
    struct Case {
        std::vector<const char*> pieces;
        u32 mode;
        const char* html;
    };
    const Case cases[] = {
        {{"a", " ", "b"}, WORD_MODE_PLAIN, "a b"},
        {{"a<b", " & ", "c>d"}, WORD_MODE_PLAIN, "a&lt;b & c>d"},
        {{"x"}, WORD_MODE_AUTHOR_LINK, "x"},
        {{}, WORD_MODE_PLAIN, ""},
        {{"2024", "/", "03", "/", "15"}, WORD_MODE_DATE, "<time datetime=\"2024-03-15\" >15 Mar 2024, 12:00:00 am</time>"},
        {{"2024-03-15 ", "9:30"}, WORD_MODE_DATE,
         "<time datetime=\"2024-03-15T09:30:00\" >15 Mar 2024, 09:30:00 am</time>"},
        {{"2024-13-01"}, WORD_MODE_DATE, "<span>1 Err 2024, 12:00:00 am</span>"},
        {{"a;;b"}, WORD_MODE_CATEGORY, "<span class=\"cat-it\" >a</span><span class=\"cat-it\" >b</span>"},
        {{"x<y", "; ", "z"}, WORD_MODE_CATEGORY, "<span class=\"cat-it\" >x&lt;y</span><span class=\"cat-it\" >z</span>"},
        {{" it", "; ", "news "}, WORD_MODE_CATEGORY, "<span class=\"cat-it\" >it</span><span class=\"cat-it\" >news</span>"},
        {{";", " ;"}, WORD_MODE_CATEGORY, ""},
    };
    for (const Case& c : cases) {
        StringList pending = {};
        for (const char* p : c.pieces) string_list_push(arena, &pending, string_from_cstr(p));
        HtmlNode* target = html_element_create(arena, HTML_TAG_SPAN, String{});
        flush_words(arena, target, nullptr, &pending, c.mode);
        EXPECT_EQ(inner_html(arena, target), c.html) << c.html;
    }
    arena_release(arena);
}

TEST(Icons, MakeIcon) {
    Arena* arena = arena_create(MB(1), KB(4));
    EXPECT_TRUE(html_is_nil(make_icon(arena, ICON_NIL)));
    EXPECT_TRUE(html_is_nil(make_icon(arena, ICON_COUNT)));
    EXPECT_EQ(str(html_serialize_to_string(arena, make_icon(arena, ICON_INFO))), "<span class=\"icon icon-Info\" ></span>");
    EXPECT_EQ(str(html_serialize_to_string(arena, make_icon(arena, ICON_CHECK_EMPTY))),
              "<span class=\"icon icon-CheckEmpty\" ></span>");
    arena_release(arena);
}

}  // namespace
