// Helpers of the page-generation tests: KAV text parsed with the parse
// driver, DOM trees written as HTML, counting and cutting HTML text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/files.h"
#include "support/html_text.h"
#include "support/strings.h"
#include "base/arena.h"
#include "base/string.h"
#include "htmldom/html_dom.h"
#include "kav/kav_document.h"
#include "site/convert.h"
#include "site/site.h"

namespace site_test {

using kavsite_test::count_of;
using kavsite_test::str;

// A String over the bytes of `text`, copied into `arena`.
inline String copy(Arena* arena, const std::string& text) {
    return string_copy(arena, kavsite_test::from(text));
}

inline KavParseResult parse(Arena* arena, const std::string& text, const char* path = "/docs/doc.kav") {
    return kav_parse_document(arena, copy(arena, text), string_from_cstr(path));
}

// The HTML text of an element's content (its children), without the
// element's own tags.
inline std::string inner_html(Arena* arena, HtmlNode* element) {
    std::string out;
    HtmlNode* content = html_find_kind(element, HTML_NODE_CONTENT);
    for (HtmlNode* n = content->first_child; !html_is_nil(n); n = n->next) out += str(html_serialize_to_string(arena, n));
    return out;
}

// The outline of an element's content: each element as its tag, "#id" when
// it has one, and its content in braces; text in single quotes; siblings
// apart by a blank. Styles and other attributes are left out, so a case
// shows where things are, not how they look.
inline std::string shape(HtmlNode* element) {
    std::string out;
    HtmlNode* content = html_find_kind(element, HTML_NODE_CONTENT);
    for (HtmlNode* n = content->first_child; !html_is_nil(n); n = n->next) {
        if (!out.empty()) out += " ";
        if (n->kind != HTML_NODE_ELEMENT) {
            out += "'" + str(n->text) + "'";
            continue;
        }
        out += str(n->element->name);
        String id = html_attribute_value(n, HTML_ATTR_ID);
        if (id.size) out += "#" + str(id);
        std::string inside = shape(n);
        if (!inside.empty()) out += "{" + inside + "}";
    }
    return out;
}

// A site at `root` in an arena of its own (release it with
// arena_release(site->arena)).
inline Site* make_site(const char* root, u32 deploy = 0, u32 file_p_check = 0) {
    SiteSettings settings = {};
    settings.root = string_from_cstr(root);
    settings.deploy = deploy;
    settings.file_p_check = file_p_check;
    return site_create(&settings);
}

// A test with an arena and a site root in a fresh folder under /tmp; the
// test writes its files, then makes `site` (released with the test).
struct SiteFolderTest : ::testing::Test {
    Arena* arena = arena_create(GB(1), KB(64));
    kavsite_test::TempDir temp;
    std::string root = temp.path.string() + "/";
    Site* site = nullptr;
    ~SiteFolderTest() override {
        if (site) arena_release(site->arena);
        arena_release(arena);
    }
};

// The body of a document converted into a `div` by a fresh page builder, as
// HTML; headings take their ids from the `toc` links (sorted by offset).
inline std::string convert_body(Arena* arena, const Site* site, const KavParseResult& document, TocAnchor* toc = nullptr,
                                u64 toc_count = 0, const char* page_path = "/site/html/notes/doc.html") {
    PageBuilder builder = page_builder(site, arena);
    builder.toc = toc;
    builder.toc_count = toc_count;
    builder.toc_sorted = true;
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    convert_nodes(&builder, document.root, &document, div, string_from_cstr(page_path));
    return inner_html(arena, div);
}


}  // namespace site_test
