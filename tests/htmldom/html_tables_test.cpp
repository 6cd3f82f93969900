#include <set>

#include "html_test_util.h"
#include "htmldom/html_tables.h"

namespace {

TEST(HtmlTables, EveryIdHasItsRowAndNothingBeyond) {
    std::set<std::string> names;
    for (HtmlTag tag = 1; tag <= 79; tag += 1) {
        const HtmlElementInfo* row = html_element_info_by_tag(tag);
        ASSERT_NE(row, nullptr) << tag;
        EXPECT_EQ(row->tag, tag);
        EXPECT_EQ(html_element_info_by_name(row->name), row) << str(row->name);
        names.insert(str(row->name));
    }
    EXPECT_EQ(names.size(), 79u);
    EXPECT_EQ(html_element_info_by_tag(0), nullptr);
    EXPECT_EQ(html_element_info_by_tag(80), nullptr);

    std::set<std::string> attribute_names;
    for (HtmlAttr id = 0; id <= 83; id += 1) {
        const HtmlAttributeInfo* row = html_attribute_info_by_id(id);
        ASSERT_NE(row, nullptr) << id;
        EXPECT_EQ(row->id, id);
        EXPECT_EQ(html_attribute_info_by_name(row->name), row) << str(row->name);
        EXPECT_EQ(str(html_attribute_name(id)), str(row->name));
        attribute_names.insert(str(row->name));
    }
    EXPECT_EQ(attribute_names.size(), 84u);
    EXPECT_EQ(html_attribute_info_by_id(84), nullptr);
    EXPECT_EQ(html_attribute_name(84).size, 0u);
}

TEST(HtmlTables, NamesMatchWithAsciiCaseFolded) {
    struct Case {
        const char* name;
        HtmlTag tag;
    } cases[] = {
        {"div", HTML_TAG_DIV}, {"DIV", HTML_TAG_DIV},         {"Div", HTML_TAG_DIV},   {"!DOCTYPE", HTML_TAG_DOCTYPE},
        {"!doctype", HTML_TAG_DOCTYPE}, {"h6", HTML_TAG_H6}, {"divx", 0},            {"di", 0},
        {"", 0},                       {"doctype", 0},       {"d\xC4\xB0v", 0},       {"body ", 0},
    };
    for (const Case& c : cases) {
        const HtmlElementInfo* row = html_element_info_by_name(string_from_cstr(c.name));
        EXPECT_EQ(row ? row->tag : 0, c.tag) << c.name;
    }

    struct AttrCase {
        const char* name;
        s64 id;  // -1: no row
    } attrs[] = {
        {"dontFetch", HTML_ATTR_DONTFETCH}, {"DONTFETCH", HTML_ATTR_DONTFETCH}, {"dontfetch", HTML_ATTR_DONTFETCH},
        {"data-x", -1},                      {"data-*", -1},                     {"data-* ", HTML_ATTR_DATA},
        {"data-title", HTML_ATTR_DATA_TITLE}, {"HREF", HTML_ATTR_HREF},          {"accept", HTML_ATTR_ACCEPT},
        {"http-equiv", HTML_ATTR_HTTP_EQUIV}, {"viewBox", HTML_ATTR_VIEWBOX},    {"", -1},
    };
    for (const AttrCase& c : attrs) {
        const HtmlAttributeInfo* row = html_attribute_info_by_name(string_from_cstr(c.name));
        EXPECT_EQ(row ? (s64)row->id : -1, c.id) << c.name;
    }
}

TEST(HtmlTables, ContentModelsByGroup) {
    struct Group {
        u32 model;
        std::set<std::string> names;
    } groups[] = {
        {8, {"meta", "base", "link", "hr", "br", "img", "input", "path", "source", "track", "embed", "!DOCTYPE"}},
        {1, {"style", "script", "pre", "code"}},
        {6, {"p", "strong", "i", "em", "u", "figure", "figcaption", "tfoot", "tr", "th", "td", "object"}},
        {0, {"a", "form", "button", "select", "option", "textarea"}},
    };
    for (HtmlTag tag = 1; tag <= 79; tag += 1) {
        const HtmlElementInfo* row = html_element_info_by_tag(tag);
        u32 expected = 2;
        for (const Group& g : groups) {
            if (g.names.count(str(row->name))) expected = g.model;
        }
        EXPECT_EQ(row->content_model, expected) << str(row->name);
    }
}

TEST(HtmlTables, SelectedRowsAsWritten) {
    struct Case {
        HtmlTag tag;
        const char* name;
        const char* parents;
        const char* required;
    } cases[] = {
        {HTML_TAG_DETAILS, "details", "body;", ""},
        {HTML_TAG_FOOTER, "footer", "body;section;article;aside;nav", ""},
        {HTML_TAG_CODE, "code", "body;section;article;aside;footer;header;nav;pre;p;", ""},
        {HTML_TAG_A, "a", "body;section;article;aside;footer;header;nav;p;div;span;", ""},
        {HTML_TAG_BUTTON, "button", "form;body;section;article;aside;footer;header;nav;div;", ""},
        {HTML_TAG_SOURCE, "source", "audio;video;picture;", ""},
        {HTML_TAG_TR, "tr", "table;thead;tbody;tfoot;", ""},
        {HTML_TAG_DOCTYPE, "!DOCTYPE", "root;", "html;"},
        {HTML_TAG_HTML, "html", "root;", "lang;"},
        {HTML_TAG_BODY, "body", "html;", ""},
    };
    for (const Case& c : cases) {
        const HtmlElementInfo* row = html_element_info_by_tag(c.tag);
        EXPECT_EQ(str(row->name), c.name);
        EXPECT_EQ(str(row->allowed_parents), c.parents) << c.name;
        EXPECT_EQ(str(row->required_attributes), c.required) << c.name;
    }
}

TEST(HtmlTables, AttributeTypesFlagsAndDefaults) {
    std::set<HtmlAttr> boolean = {5, 6, 7, 11, 19, 20, 28, 30, 37, 42, 48, 49, 51, 58, 60, 65, 82, 83};
    std::set<HtmlAttr> number = {10, 29, 43, 44, 45, 47, 53, 61, 62, 66, 73, 80};
    std::set<HtmlAttr> url = {31, 41, 68};
    for (HtmlAttr id = 0; id < 84; id += 1) {
        const HtmlAttributeInfo* row = html_attribute_info_by_id(id);
        u32 type = boolean.count(id) ? 2 : number.count(id) ? 3 : url.count(id) ? 5 : id == 72 ? 4 : 1;
        EXPECT_EQ(row->value_type, type) << str(row->name);
        bool replace = id == HTML_ATTR_ID || id == HTML_ATTR_LANG;
        EXPECT_EQ((row->flags & HTML_ATTRIBUTE_REPLACE) != 0, replace) << str(row->name);
        const char* value = id == HTML_ATTR_LANG                ? "en"
                            : id == HTML_ATTR_TODO              ? "permit to print todos"
                            : id == HTML_ATTR_DONTFETCH         ? "permit to disable url checking when enabled"
                                                                : "";
        EXPECT_EQ(str(row->default_value), value) << str(row->name);
    }
    EXPECT_EQ(str(html_attribute_name(HTML_ATTR_STYLE)), "style");
    EXPECT_EQ(str(html_attribute_name(HTML_ATTR_DATA)), "data-* ");
}

TEST(HtmlTables, NilRowsAreEmpty) {
    EXPECT_EQ(html_nil_element_info.name.size, 0u);
    EXPECT_EQ(html_nil_element_info.tag, 0u);
    EXPECT_EQ(html_nil_element_info.content_model, 0u);
    EXPECT_EQ(html_nil_attribute_info.name.size, 0u);
    EXPECT_EQ(html_nil_attribute_info.id, 0u);
    EXPECT_EQ(html_nil_attribute_info.value_type, 0u);
}

TEST(HtmlTables, FirstAllowedParent) {
    struct Case {
        HtmlTag tag;
        HtmlTag parent;
    } cases[] = {
        {HTML_TAG_P, HTML_TAG_BODY},          {HTML_TAG_TITLE, HTML_TAG_HEAD},   {HTML_TAG_META, HTML_TAG_HEAD},
        {HTML_TAG_SUMMARY, HTML_TAG_DETAILS}, {HTML_TAG_STRONG, HTML_TAG_P},     {HTML_TAG_LI, HTML_TAG_UL},
        {HTML_TAG_FOOTER, HTML_TAG_BODY},     {HTML_TAG_SOURCE, HTML_TAG_AUDIO}, {HTML_TAG_INPUT, HTML_TAG_FORM},
        {HTML_TAG_HEAD, HTML_TAG_HTML},       {HTML_TAG_HTML, 0},                {HTML_TAG_DOCTYPE, 0},
        {0, 0},                               {80, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(html_first_allowed_parent(c.tag), c.parent) << c.tag;
}

TEST(HtmlTables, ForEachNameSplitsAtSemicolons) {
    struct Case {
        const char* list;
        std::vector<std::string> names;
    } cases[] = {
        {"body;", {"body"}},
        {"body;section;article;aside;nav", {"body", "section", "article", "aside", "nav"}},
        {"", {}},
        {";;a;;", {"a"}},
        {"x", {"x"}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> got;
        html_for_each_name(string_from_cstr(c.list), [&](String name) {
            got.push_back(str(name));
            return false;
        });
        EXPECT_EQ(got, c.names) << c.list;
    }
    // Stopping early reports the hit.
    int seen = 0;
    EXPECT_TRUE(html_for_each_name(S("a;b;c;"), [&](String name) {
        seen += 1;
        return string_equal(name, S("b"));
    }));
    EXPECT_EQ(seen, 2);
}

TEST(HtmlTables, DefaultStyleLookup) {
    EXPECT_EQ(str(html_element_default_style(HTML_TAG_P)), "display:block;font-size:1em;line-height:1.4rem;margin-top:0.2em;");
    EXPECT_EQ(str(html_element_default_style(HTML_TAG_HTML)), "font-size:17px;");
    EXPECT_EQ(html_element_default_style(HTML_TAG_BLOCKQUOTE).size, 0u);
    EXPECT_EQ(html_element_default_style(HTML_TAG_CODE).size, 0u);
    EXPECT_EQ(html_element_default_style(HTML_TAG_H6).size, 0u);
    EXPECT_EQ(html_element_default_style(0).size, 0u);
}

TEST(HtmlTables, DefaultStyleSheetInElementOrder) {
    Arena* arena = arena_create(MB(8), KB(64));
    StringList out = {};
    html_write_default_styles(arena, &out);
    std::string sheet = str(string_list_join(arena, &out));
    const char* expected =
        "style{display:none;}"
        "pre{display:inline-block;background-color:#dbdada;border-radius:2px;width:fit-content;padding:1em "
        "1.2em;white-space:pre;}"
        "h1{display:block;font-size:2em;font-weight:bold;margin-top:0.8em;}"
        "h2{display:block;font-size:1.5em;font-weight:bold;margin-top:0.8em;}"
        "h3{display:block;font-size:1.2rem;font-weight:bold;margin-top:0.8em;}"
        "h4{display:block;font-size:1.17em;font-weight:bold;margin-top:0.8em;}"
        "h5{display:block;font-size:1.11em;font-weight:bold;margin-top:0.8em;}"
        "p{display:block;font-size:1em;line-height:1.4rem;margin-top:0.2em;}"
        "strong{font-weight:bold;}"
        "em{font-style:italic;}"
        "hr{border-bottom: #cfc4c4 1px solid;margin-top:0.8em;}"
        "ol{list-style-position:inside;display:block;list-style-type:decimal;margin-block-start:0.2rem;margin-block-"
        "end:0.2rem;padding-inline-start:0.5rem;}"
        "ul{display:flex;flex-direction:column;}"
        "li{display:list-item;text-align:-webkit-match-parent;unicode-bidi:isolate;}"
        "div{overflow-wrap:break-word;display:flex;flex-direction:column;}"
        "span{margin-top:0.5em;}"
        "a{display:inline-block;width:fit-content;cursor:pointer;color:#5c5b8f;line-height:1.4em;margin-top:0.5em;}"
        "table{box-shadow: 0 2px 4px rgba(0, 0, 0, "
        "0.1);width:fit-content;border-collapse:collapse;text-align:left;display:table;margin-top:0.5rem;margin-bottom:"
        "0.5rem;}"
        "thead{display:table-header-group;background-color:#dbdada;}"
        "tbody{display:table-row-group;}"
        "tr{display:table-row;font-family:sans-serif;}"
        "th{display:table-cell;padding: 0.5em 1.1em;text-align:center;}"
        "td{display:table-cell;padding: 0.5em 1.1em;}"
        "input{cursor:pointer;min-width:1em;min-height:1em;}"
        "button{margin: 0 0.2em;padding:0.1em 0.3em;background-color:#dbdada; border:1px solid "
        "grey;display:inline-block;cursor:pointer;text-align:center;font-family:Arial, "
        "sans-serif;font-size:1em;width:fit-content;}"
        "title{display:none;}"
        "html{font-size:17px;}"
        "body{display:inline-block;max-width:100vw;width:100vw;}"
        "tbody tr:nth-child(even){background-color:#f5f5f594;}"
        "td:not(:first-child),th:not(:first-child){border-left:#c3bfbf 1px solid;}"
        "tr:not(:last-child){border-bottom:#c3bfbf 1px solid;}"
        "thead{border:#6d6d6d 1px solid;}"
        "tbody{border-left:#6d6d6d 1px solid;border-right:#6d6d6d 1px solid;border-bottom:#6d6d6d 1px solid;}"
        "::selection {background-color:#c3baa4;color:black;}";
    EXPECT_EQ(sheet, expected);
    EXPECT_EQ(sheet.find("blockquote"), std::string::npos);
    EXPECT_EQ(sheet.find("code{"), std::string::npos);
    arena_release(arena);
}

}  // namespace
