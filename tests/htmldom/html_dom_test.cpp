#include <sys/resource.h>

#include <filesystem>

#include "base/os.h"
#include "html_test_util.h"
#include "support/files.h"

namespace fs = std::filesystem;

namespace {

using HtmlDom = HtmlTest;

// Children of a node as "kind:text" items, checking the links both ways.
std::vector<std::string> children(HtmlNode* parent) {
    std::vector<std::string> out;
    HtmlNode* prev = html_nil_node;
    u64 count = 0;
    for (HtmlNode* c = parent->first_child; !html_is_nil(c); c = c->next) {
        EXPECT_EQ(c->parent, parent);
        EXPECT_EQ(c->prev, prev);
        prev = c;
        count += 1;
        out.push_back(std::to_string(c->kind) + ":" + str(c->text));
    }
    EXPECT_EQ(parent->last_child, prev);
    EXPECT_EQ(parent->child_count, count);
    return out;
}

HtmlNode* text_node(Arena* arena, const char* text) {
    return html_node_create(arena, HTML_NODE_CONTENT, 0, string_from_cstr(text), 0);
}

TEST_F(HtmlDom, NilNodeLinksToItselfAndIsReadOnly) {
    const HtmlNode* nil = html_nil_node;
    EXPECT_EQ(nil->kind, (u32)HTML_NODE_NONE);
    EXPECT_EQ(nil->next, nil);
    EXPECT_EQ(nil->prev, nil);
    EXPECT_EQ(nil->parent, nil);
    EXPECT_EQ(nil->first_child, nil);
    EXPECT_EQ(nil->last_child, nil);
    EXPECT_EQ(nil->element, &html_nil_element_info);
    EXPECT_EQ(nil->attribute, &html_nil_attribute_info);
    EXPECT_TRUE(html_is_nil(nil));
    EXPECT_TRUE(html_is_nil(nullptr));
    HtmlNode none = {};
    EXPECT_TRUE(html_is_nil(&none));

    // Operations on no node change nothing (the nil node lives in read-only
    // memory: a write would crash).
    HtmlNode* p = html_element_create(arena, HTML_TAG_P, S("x"));
    html_append_child(html_nil_node, p);
    html_append_child(p, html_nil_node);
    html_prepend_child(html_nil_node, p);
    html_detach(html_nil_node);
    html_detach(nullptr);
    EXPECT_TRUE(html_is_nil(html_append_text(arena, html_nil_node, S("t"))));
    EXPECT_TRUE(html_is_nil(html_set_attribute(arena, html_nil_node, HTML_ATTR_ID, S("a"))));
    html_add_class(arena, html_nil_node, S("c"));
    EXPECT_FALSE(html_insert(html_nil_node, p, HTML_INSERT_AFTER));
    EXPECT_FALSE(html_insert(p, html_nil_node, HTML_INSERT_CONTENT_LAST));
    EXPECT_TRUE(html_is_nil(html_find_by_attribute(html_nil_node, HTML_ATTR_ID, S("a"))));
    EXPECT_TRUE(html_is_nil(html_find_last_by_tag(nullptr, HTML_TAG_P)));
    EXPECT_EQ(html_enclosing_element(html_nil_node), nullptr);
    EXPECT_EQ(write(p), "<p>x</p>");
}

TEST_F(HtmlDom, NodeCreationLooksUpRowsAndCopiesText) {
    char name[] = "DIV";
    HtmlNode* div = html_node_create(arena, HTML_NODE_ELEMENT, 7, string_from_cstr(name), 42);
    name[0] = 'X';
    EXPECT_EQ(str(div->text), "DIV");
    EXPECT_EQ(div->text.str[div->text.size], 0);
    EXPECT_EQ(div->element->tag, (HtmlTag)HTML_TAG_DIV);
    EXPECT_EQ(div->attribute, &html_nil_attribute_info);
    EXPECT_EQ(div->flags, 7u);
    EXPECT_EQ(div->position, 42u);
    EXPECT_TRUE(html_is_nil(div->first_child));

    HtmlNode* unknown = html_node_create(arena, HTML_NODE_ELEMENT, 0, S("blink"), 0);
    EXPECT_EQ(unknown->element, &html_nil_element_info);
    HtmlNode* attr = html_node_create(arena, HTML_NODE_ATTRIBUTE, 0, S("HREF"), 0);
    EXPECT_EQ(attr->attribute->id, (HtmlAttr)HTML_ATTR_HREF);
    EXPECT_EQ(attr->element, &html_nil_element_info);
    // Text nodes never get a row, even when their text names one.
    HtmlNode* text = html_node_create(arena, HTML_NODE_CONTENT, 0, S("div"), 0);
    EXPECT_EQ(text->element, &html_nil_element_info);

    HtmlNode* doctype = html_element_create(arena, HTML_TAG_DOCTYPE, String{});
    EXPECT_EQ(str(doctype->text), "!DOCTYPE");
    // A content holder only: the attribute list comes with the first attribute.
    EXPECT_EQ(children(doctype), (std::vector<std::string>{"7:"}));
    html_set_attribute(arena, doctype, HTML_ATTR_HTML, String{});
    EXPECT_EQ(children(doctype), (std::vector<std::string>{"6:", "7:"}));
    EXPECT_TRUE(html_is_nil(html_element_create(arena, 0, S("x"))));
    EXPECT_TRUE(html_is_nil(html_element_create(arena, 80, S("x"))));
    HtmlNode* at = html_element_create_at(arena, HTML_TAG_SPAN, 17);
    EXPECT_EQ(at->position, 17u);
    EXPECT_EQ(write(at), "<span></span>");
}

TEST_F(HtmlDom, WriterExamples) {
    EXPECT_EQ(write(html_default_document(arena)),
              "<!DOCTYPE html ><html lang=\"en\" ><head></head><body></body></html>");
    EXPECT_EQ(write(html_element_create(arena, HTML_TAG_P, String{})), "<p></p>");
    EXPECT_EQ(write(html_element_create(arena, HTML_TAG_P, S("x"))), "<p>x</p>");

    HtmlNode* styled = html_element_create(arena, HTML_TAG_P, String{});
    html_set_attribute(arena, styled, HTML_ATTR_STYLE, S("a;"));
    html_set_attribute(arena, styled, HTML_ATTR_STYLE, S("b;"));
    EXPECT_EQ(write(styled), "<p style=\"a;b;\" ></p>");

    HtmlNode* ided = html_element_create(arena, HTML_TAG_DIV, String{});
    html_set_attribute(arena, ided, HTML_ATTR_ID, S("first"));
    html_set_attribute(arena, ided, HTML_ATTR_ID, S("second"));
    EXPECT_EQ(write(ided), "<div id=\"second\" ></div>");

    HtmlNode* classed = html_element_create(arena, HTML_TAG_SPAN, String{});
    html_set_attribute(arena, classed, HTML_ATTR_CLASS, S("x"));
    html_set_attribute(arena, classed, HTML_ATTR_CLASS, S("y"));
    EXPECT_EQ(write(classed), "<span class=\"x y\" ></span>");

    HtmlNode* input = html_element_create(arena, HTML_TAG_INPUT, String{});
    html_set_attribute(arena, input, HTML_ATTR_DISABLED, String{});
    EXPECT_EQ(write(input), "<input disabled >");

    // Each attribute opens with a blank and is followed by one, so two
    // attributes stand two blanks apart.
    HtmlNode* link = html_element_create(arena, HTML_TAG_A, S("t"));
    html_set_attribute(arena, link, HTML_ATTR_HREF, S("x"));
    html_set_attribute(arena, link, HTML_ATTR_CHECKED, String{});
    html_set_attribute(arena, link, HTML_ATTR_TITLE, S("y"));
    EXPECT_EQ(write(link), "<a href=\"x\"  checked  title=\"y\" >t</a>");
}

TEST_F(HtmlDom, WriterNestingVoidsAndTextOrder) {
    HtmlNode* root = html_node_create(arena, HTML_NODE_DOCUMENT, 0, String{}, 0);
    HtmlNode* ul = html_element_create(arena, HTML_TAG_UL, String{});
    html_append_child(root, ul);
    for (const char* item : {"one", "two"}) {
        HtmlNode* li = html_element_create(arena, HTML_TAG_LI, string_from_cstr(item));
        html_append_to_content(li, html_element_create(arena, HTML_TAG_BR, String{}));
        html_append_text(arena, li, S("!"));
        html_append_to_content(ul, li);
    }
    HtmlNode* img = html_element_create(arena, HTML_TAG_IMG, String{});
    html_set_attribute(arena, img, HTML_ATTR_SRC, S("a.png"));
    html_set_attribute(arena, img, HTML_ATTR_ALT, S("A"));
    html_append_child(root, img);
    html_append_child(root, html_element_create(arena, HTML_TAG_HR, String{}));
    // A content holder's own text comes before its children.
    HtmlNode* p = html_element_create(arena, HTML_TAG_P, String{});
    html_find_kind(p, HTML_NODE_CONTENT)->text = S("own");
    html_append_text(arena, p, S("-child"));
    html_append_child(root, p);
    // Text is written as it is: producers put entities themselves.
    html_append_child(root, html_element_create(arena, HTML_TAG_CODE, S("a < b &amp; \"c\"")));
    EXPECT_EQ(write(root),
              "<ul><li>one<br>!</li><li>two<br>!</li></ul><img src=\"a.png\"  alt=\"A\" ><hr><p>own-child</p>"
              "<code>a < b &amp; \"c\"</code>");
    // A subtree is written with its own end tag.
    EXPECT_EQ(write(html_find_kind(ul, HTML_NODE_CONTENT)->first_child), "<li>one<br>!</li>");
    StringList out = {};
    HtmlDocument document = {};
    document.root = root;
    html_serialize(arena, &document, &out);
    EXPECT_EQ(str(string_list_join(arena, &out)), write(root));
    HtmlDocument empty = {};
    StringList none = {};
    html_serialize(arena, &empty, &none);
    EXPECT_EQ(none.total_size, 0u);
}

TEST_F(HtmlDom, WriterKeepsNamesOutsideTheTableAndQuotesValuesSafely) {
    HtmlNode* custom = html_node_create(arena, HTML_NODE_ELEMENT, 0, S("my-widget"), 0);
    html_append_child(custom, html_node_create(arena, HTML_NODE_ATTRIBUTE_LIST, 0, String{}, 0));
    html_append_child(custom, html_node_create(arena, HTML_NODE_CONTENT, 0, String{}, 0));
    html_append_text(arena, custom, S("x"));
    EXPECT_EQ(write(custom), "<my-widget>x</my-widget>");

    struct Case {
        const char* value;
        const char* written;
    } cases[] = {
        {"plain", " title=\"plain\" "},
        {"it's", " title=\"it's\" "},
        {"say \"hi\"", " title='say \"hi\"' "},
        {"both ' and \"", " title=\"both ' and &quot;\" "},
        {"a<b", " title=\"a&lt;b\" "},
        {"a<\"b\"", " title='a&lt;\"b\"' "},
    };
    for (const Case& c : cases) {
        HtmlNode* span = html_element_create(arena, HTML_TAG_SPAN, String{});
        html_set_attribute(arena, span, HTML_ATTR_TITLE, string_from_cstr(c.value));
        EXPECT_EQ(write(span), std::string("<span") + c.written + "></span>") << c.value;
    }
}

TEST_F(HtmlDom, SetAttributeRules) {
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    // Empty value of a non-boolean attribute, unknown id: nothing.
    EXPECT_TRUE(html_is_nil(html_set_attribute(arena, div, HTML_ATTR_TITLE, String{})));
    EXPECT_TRUE(html_is_nil(html_set_attribute(arena, div, 84, S("x"))));
    EXPECT_EQ(write(div), "<div></div>");

    // Booleans take no value, even when given one, and are added once.
    HtmlNode* hidden = html_set_attribute(arena, div, HTML_ATTR_HIDDEN, S("ignored"));
    EXPECT_EQ(hidden->kind, (u32)HTML_NODE_ATTRIBUTE);
    EXPECT_EQ(html_set_attribute(arena, div, HTML_ATTR_HIDDEN, String{}), hidden);
    EXPECT_TRUE(html_is_nil(hidden->first_child));

    // `lang` replaces: the old node goes, the new one comes last.
    html_set_attribute(arena, div, HTML_ATTR_LANG, S("fr"));
    html_set_attribute(arena, div, HTML_ATTR_TITLE, S("t"));
    html_set_attribute(arena, div, HTML_ATTR_LANG, S("de"));
    EXPECT_EQ(write(div), "<div hidden  title=\"t\"  lang=\"de\" ></div>");
    EXPECT_EQ(str(html_attribute_value(div, HTML_ATTR_LANG)), "de");
    EXPECT_EQ(html_find_attribute(div, HTML_ATTR_LANG)->child_count, 1u);

    // Any node of the element reaches its attribute list.
    HtmlNode* text = html_append_text(arena, div, S("body"));
    html_set_attribute(arena, text, HTML_ATTR_DATA_TITLE, S("d"));
    EXPECT_EQ(str(html_attribute_value(div, HTML_ATTR_DATA_TITLE)), "d");

    // A lone text node has no attribute list.
    HtmlNode* lone = text_node(arena, "t");
    EXPECT_TRUE(html_is_nil(html_set_attribute(arena, lone, HTML_ATTR_ID, S("x"))));
}

TEST_F(HtmlDom, FindAttributeDoesNotConfuseUnknownNamesWithIdZero) {
    HtmlDocument document = read("<form blah=\"1\" accept=\"x\"></form><form blah=\"2\"></form>");
    HtmlNode* first = document.root->first_child;
    EXPECT_EQ(str(html_attribute_value(first, HTML_ATTR_ACCEPT)), "x");
    HtmlNode* second = first->next;
    EXPECT_TRUE(html_is_nil(html_find_attribute(second, HTML_ATTR_ACCEPT)));
    EXPECT_EQ(html_attribute_value(second, HTML_ATTR_ACCEPT).size, 0u);
}

TEST_F(HtmlDom, Classes) {
    HtmlNode* p = html_element_create(arena, HTML_TAG_P, String{});
    EXPECT_FALSE(html_has_class(p, S("a")));
    html_add_class(arena, p, S("Abc"));
    html_add_class(arena, p, S("abc"));
    html_add_class(arena, p, S("ABC"));
    html_add_class(arena, p, S("d"));
    html_add_class(arena, p, String{});
    EXPECT_EQ(write(p), "<p class=\"Abc d\" ></p>");
    EXPECT_TRUE(html_has_class(p, S("aBC")));
    EXPECT_TRUE(html_has_class(p, S("D")));
    EXPECT_FALSE(html_has_class(p, S("ab")));

    struct Case {
        const char* prefix;
        bool expected;
    } cases[] = {{"ab", true}, {"ABC", true}, {"", true}, {"bc", false}, {"abcd", false}};
    for (const Case& c : cases) {
        EXPECT_EQ(html_attribute_starts_with(p, HTML_ATTR_CLASS, string_from_cstr(c.prefix)), c.expected) << c.prefix;
    }
    // Missing attribute or empty value: false even for an empty prefix.
    EXPECT_FALSE(html_attribute_starts_with(p, HTML_ATTR_ID, String{}));
    HtmlDocument document = read("<a href=\"\"></a>");
    EXPECT_FALSE(html_attribute_starts_with(document.root->first_child, HTML_ATTR_HREF, String{}));
}

TEST_F(HtmlDom, AppendPrependAndMoveBetweenParents) {
    HtmlNode* a = html_element_create(arena, HTML_TAG_DIV, String{});
    HtmlNode* b = html_element_create(arena, HTML_TAG_DIV, String{});
    HtmlNode* x = text_node(arena, "x");
    HtmlNode* y = text_node(arena, "y");
    HtmlNode* z = text_node(arena, "z");
    html_append_to_content(a, x);
    html_append_to_content(a, y);
    html_insert(a, z, HTML_INSERT_CONTENT_FIRST);
    HtmlNode* content_a = html_find_kind(a, HTML_NODE_CONTENT);
    EXPECT_EQ(children(content_a), (std::vector<std::string>{"7:z", "7:x", "7:y"}));

    // Linking a node that is still linked moves it: both parents stay whole.
    html_append_to_content(b, x);
    EXPECT_EQ(children(content_a), (std::vector<std::string>{"7:z", "7:y"}));
    EXPECT_EQ(children(html_find_kind(b, HTML_NODE_CONTENT)), (std::vector<std::string>{"7:x"}));
    html_prepend_child(content_a, y);
    EXPECT_EQ(children(content_a), (std::vector<std::string>{"7:y", "7:z"}));
    EXPECT_EQ(write(a), "<div>yz</div>");
    EXPECT_EQ(write(b), "<div>x</div>");
    // A node is not its own child.
    html_append_child(a, a);
    EXPECT_EQ(a->child_count, 1u);
}

TEST_F(HtmlDom, DetachFirstMiddleLastAndOnly) {
    struct Case {
        int index;
        std::vector<std::string> left;
    } cases[] = {
        {0, {"7:b", "7:c"}},
        {1, {"7:a", "7:c"}},
        {2, {"7:a", "7:b"}},
    };
    for (const Case& c : cases) {
        HtmlNode* p = html_element_create(arena, HTML_TAG_P, String{});
        HtmlNode* nodes[3] = {html_append_text(arena, p, S("a")), html_append_text(arena, p, S("b")),
                              html_append_text(arena, p, S("c"))};
        html_detach(nodes[c.index]);
        EXPECT_EQ(children(html_find_kind(p, HTML_NODE_CONTENT)), c.left) << c.index;
        EXPECT_TRUE(html_is_nil(nodes[c.index]->parent));
        EXPECT_TRUE(html_is_nil(nodes[c.index]->next));
        EXPECT_TRUE(html_is_nil(nodes[c.index]->prev));
        // Detaching twice changes nothing.
        html_detach(nodes[c.index]);
        EXPECT_EQ(children(html_find_kind(p, HTML_NODE_CONTENT)), c.left) << c.index;
    }
    HtmlNode* p = html_element_create(arena, HTML_TAG_P, S("only"));
    HtmlNode* content = html_find_kind(p, HTML_NODE_CONTENT);
    html_detach(content->first_child);
    EXPECT_EQ(content->child_count, 0u);
    EXPECT_TRUE(html_is_nil(content->first_child));
    EXPECT_TRUE(html_is_nil(content->last_child));
    EXPECT_EQ(write(p), "<p></p>");
}

TEST_F(HtmlDom, InsertAfter) {
    HtmlNode* body = html_element_create(arena, HTML_TAG_BODY, String{});
    HtmlNode* h1 = html_element_create(arena, HTML_TAG_H1, S("T"));
    HtmlNode* p = html_element_create(arena, HTML_TAG_P, S("last"));
    html_append_to_content(body, h1);
    html_append_to_content(body, p);
    // After an element in the middle, after the last one, and after the
    // element of a text node.
    EXPECT_TRUE(html_insert(h1, html_element_create(arena, HTML_TAG_HR, String{}), HTML_INSERT_AFTER));
    EXPECT_TRUE(html_insert(p, html_element_create(arena, HTML_TAG_BR, String{}), HTML_INSERT_AFTER));
    EXPECT_TRUE(html_insert(h1->last_child->first_child, html_element_create(arena, HTML_TAG_SPAN, S("s")),
                            HTML_INSERT_AFTER));
    EXPECT_EQ(write(body), "<body><h1>T</h1><span>s</span><hr><p>last</p><br></body>");
    EXPECT_EQ(html_find_kind(body, HTML_NODE_CONTENT)->child_count, 5u);
    EXPECT_EQ(children(html_find_kind(body, HTML_NODE_CONTENT)).size(), 5u);
    // An element without a parent, and an unknown place, are refused.
    HtmlNode* lone = html_element_create(arena, HTML_TAG_DIV, String{});
    EXPECT_FALSE(html_insert(lone, text_node(arena, "t"), HTML_INSERT_AFTER));
    EXPECT_FALSE(html_insert(lone, text_node(arena, "t"), 0));
    EXPECT_FALSE(html_insert(lone, text_node(arena, "t"), 4));
    EXPECT_TRUE(html_insert(lone, text_node(arena, "t"), HTML_INSERT_CONTENT_LAST));
    EXPECT_EQ(write(lone), "<div>t</div>");
}

TEST_F(HtmlDom, FindKindAndEnclosingElement) {
    HtmlNode* p = html_element_create(arena, HTML_TAG_P, S("t"));
    html_set_attribute(arena, p, HTML_ATTR_ID, S("v"));
    HtmlNode* list = p->first_child;
    HtmlNode* content = p->last_child;
    HtmlNode* text = content->first_child;
    HtmlNode* attribute = list->first_child;
    HtmlNode* value = attribute->first_child;
    struct Case {
        HtmlNode* from;
        u32 kind;
        HtmlNode* expected;
    } cases[] = {
        {p, HTML_NODE_ELEMENT, p},
        {p, HTML_NODE_CONTENT, content},
        {p, HTML_NODE_ATTRIBUTE_LIST, list},
        {text, HTML_NODE_CONTENT, content},  // the holder, not the text node
        {value, HTML_NODE_CONTENT, content},
        {value, HTML_NODE_ATTRIBUTE_LIST, list},
        {value, HTML_NODE_ATTRIBUTE_VALUE, value},  // itself as a last resort
        {text, HTML_NODE_ATTRIBUTE, html_nil_node},
        {p, HTML_NODE_DOCUMENT, html_nil_node},
    };
    for (const Case& c : cases) EXPECT_EQ(html_find_kind(c.from, c.kind), c.expected) << c.kind;

    HtmlNode* lone = text_node(arena, "x");
    EXPECT_EQ(html_find_kind(lone, HTML_NODE_CONTENT), lone);
    EXPECT_EQ(html_enclosing_element(value), p);
    EXPECT_EQ(html_enclosing_element(p), p);
    EXPECT_EQ(html_enclosing_element(lone), nullptr);
    EXPECT_EQ(html_content_last_child(value), text);
    EXPECT_TRUE(html_is_nil(html_content_last_child(html_element_create(arena, HTML_TAG_DIV, String{}))));
}

TEST_F(HtmlDom, Searches) {
    HtmlDocument document = read(
        "<html><head><title>A</title></head><body>"
        "<div id=\"x\"><p id=\"y\">1</p></div><p id=\"x\">2</p><title>B</title>"
        "</body></html>");
    HtmlNode* root = document.root;
    HtmlNode* x = html_find_by_attribute(root, HTML_ATTR_ID, S("x"));
    EXPECT_EQ(x->element->tag, (HtmlTag)HTML_TAG_DIV);
    EXPECT_EQ(html_find_by_attribute(root, HTML_ATTR_ID, S("y"))->element->tag, (HtmlTag)HTML_TAG_P);
    // The start node counts; the search stays inside its subtree.
    EXPECT_EQ(html_find_by_attribute(x, HTML_ATTR_ID, S("x")), x);
    HtmlNode* inner = html_find_by_attribute(x, HTML_ATTR_ID, S("y"));
    EXPECT_TRUE(html_is_nil(html_find_by_attribute(inner, HTML_ATTR_ID, S("x"))));
    EXPECT_TRUE(html_is_nil(html_find_by_attribute(root, HTML_ATTR_ID, S("X"))));
    EXPECT_TRUE(html_is_nil(html_find_by_attribute(root, HTML_ATTR_LANG, S("fr"))));
    EXPECT_EQ(html_find_by_attribute(root, HTML_ATTR_LANG, S("en"))->element->tag, (HtmlTag)HTML_TAG_HTML);

    HtmlNode* last_title = html_find_last_by_tag(root, HTML_TAG_TITLE);
    EXPECT_EQ(write(last_title), "<title>B</title>");
    EXPECT_EQ(document.title, html_find_last_by_tag(html_find_last_by_tag(root, HTML_TAG_HEAD), HTML_TAG_TITLE));
    EXPECT_TRUE(html_is_nil(html_find_last_by_tag(root, HTML_TAG_TABLE)));
    EXPECT_TRUE(html_is_nil(html_find_last_by_tag(root, 0)));
    EXPECT_EQ(html_find_last_by_tag(inner, HTML_TAG_P), inner);

    // Levels: the first element with both the tag and the level.
    HtmlNode* body = html_find_last_by_tag(root, HTML_TAG_BODY);
    HtmlNode* h1a = html_append_to_content(body, html_element_create(arena, HTML_TAG_H1, S("a")));
    HtmlNode* h1b = html_append_to_content(body, html_element_create(arena, HTML_TAG_H1, S("b")));
    h1a->level = 2;
    EXPECT_EQ(html_find_by_tag_and_level(root, HTML_TAG_H1, 0), h1b);
    EXPECT_EQ(html_find_by_tag_and_level(root, HTML_TAG_H1, 2), h1a);
    EXPECT_TRUE(html_is_nil(html_find_by_tag_and_level(root, HTML_TAG_H1, 1)));
}

TEST_F(HtmlDom, DiagnosticsAnchorOnNodePosition) {
    DiagnosticList list = {};
    HtmlNode* anchor = html_node_create(arena, HTML_NODE_TOKEN, 0, S("x"), 12);
    Diagnostic* d = diag_append(arena, &list, anchor, DIAG_WARNING, S("m"));
    EXPECT_EQ(d->offset, 12u);
    EXPECT_EQ(d->node, anchor);
    EXPECT_EQ(list.max_level, DIAG_WARNING);
    EXPECT_EQ(list.count, 1u);
}

// ---- Files -------------------------------------------------------------------

struct HtmlFiles : HtmlTest {
    kavsite_test::TempDir temp;
    fs::path dir = temp.path;
    void SetUp() override { os_init(); }
    std::vector<std::string> entries(const fs::path& d) {
        std::vector<std::string> out;
        for (auto& e : fs::directory_iterator(d)) out.push_back(e.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }
    HtmlPage page(const fs::path& path, const char* text) {
        HtmlPage page = {};
        page.path = string_copy(arena, from(path.string()));
        page.document.root = html_default_document(arena);
        html_append_text(arena, html_find_last_by_tag(page.document.root, HTML_TAG_BODY), string_from_cstr(text));
        return page;
    }
};

TEST_F(HtmlFiles, WriteCreatesDirectoriesAndReplacesWholeFile) {
    fs::path target = dir / "site/html/notes/a.html";
    HtmlPage first = page(target, "a much longer first body than the second one");
    ASSERT_TRUE(html_write_file(arena, &first));
    EXPECT_EQ(kavsite_test::read_file(target), write(first.document.root));
    HtmlPage second = page(target, "short");
    ASSERT_TRUE(html_write_file(arena, &second));
    EXPECT_EQ(kavsite_test::read_file(target), "<!DOCTYPE html ><html lang=\"en\" ><head></head><body>short</body></html>");
    EXPECT_EQ(entries(dir / "site/html/notes"), (std::vector<std::string>{"a.html"}));
}

TEST_F(HtmlFiles, FailedWriteKeepsOldFileAndLeavesNoTemporary) {
    fs::path target = dir / "page.html";
    HtmlPage old_page = page(target, "old");
    ASSERT_TRUE(html_write_file(arena, &old_page));
    std::string old_text = kavsite_test::read_file(target);

    // The new page is larger than the file size limit of the child process,
    // so its write fails part way.
    std::string big(200000, 'x');
    HtmlPage new_page = page(target, big.c_str());
    std::string result = run_in_child(
        [&] {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit = {4096, 4096};
            setrlimit(RLIMIT_FSIZE, &limit);
            return html_write_file(arena, &new_page) ? 1 : 0;
        },
        60);
    EXPECT_EQ(result, "");
    EXPECT_EQ(kavsite_test::read_file(target), old_text);
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"page.html"}));

    // A directory in the way: refused, nothing left behind.
    fs::create_directories(dir / "taken.html/inner");
    HtmlPage blocked = page(dir / "taken.html", "x");
    EXPECT_FALSE(html_write_file(arena, &blocked));
    EXPECT_TRUE(fs::is_directory(dir / "taken.html/inner"));
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"page.html", "taken.html"}));
    HtmlPage no_path = {};
    EXPECT_FALSE(html_write_file(arena, &no_path));
}

}  // namespace
