// Node-to-HTML conversion on small documents parsed from KAV text: ids and
// the links that point at them, escaping, toggles, keys, links, images, and
// where each element lands on the parent stack.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "site/icons.h"
#include "site/site_check.h"
#include "site_test_support.h"

using namespace site_test;

namespace {

// Links are resolved for deployment, so they do not depend on a folder.
struct ConvertTest : ::testing::Test {
    Arena* arena = nullptr;
    Site* site = nullptr;
    void SetUp() override {
        arena = arena_create(GB(1), KB(64));
        site = make_site("/site/", 1);
    }
    void TearDown() override {
        arena_release(site->arena);
        arena_release(arena);
    }
    std::string body(const KavParseResult& document, TocAnchor* toc = nullptr, u64 toc_count = 0) {
        return convert_body(arena, site, document, toc, toc_count);
    }
    // Converts `start` and what follows it with a fresh builder.
    PageBuilder convert(KavNode* start, const KavParseResult& document, HtmlNode* container) {
        PageBuilder builder = page_builder(site, arena);
        convert_nodes(&builder, start, &document, container, S("/site/html/doc.html"));
        return builder;
    }
};

// Sources whose converted body is known exactly.
struct ExactCase {
    const char* name;
    const char* source;
    const char* html;
};

const ExactCase exact_cases[] = {
    {"only < is escaped", "a<b&c>d\n", "<h2>a&lt;b&c>d</h2>"},
    {"a toggle without content makes nothing", "a `` `` b\n", "<h2>a b</h2>"},
    {"internal link reference without description",
     "See [#3] now\nSources [#3_]\n",
     "<h2>See <a href=\"#int_3\"  style=\"margin-right:.3em;\" ><span style=\"border: 0px solid grey;border-bottom-width:"
     "0.1em;left:0;top:0;font-size:0.6rem;font-family:Fira Code;line-height:1;\" ><span style=\"vertical-align:text-top;"
     "margin-right:0.2em;\" >3</span><span class=\"icon icon-Eye\" ></span></span></a> now</h2><span class=\"icon "
     "icon-Eye\"  style=\"color:#a9a9a9;transform:translate(0.3em, 0.2em) rotate(90deg);font-size:0.8em;margin:0;\"  "
     "id=\"int_3\" ></span><h2>Sources</h2>"},
    {"internal link reference with description: the words are the link text",
     "See [#3(the sources)].\nSources [#3_]\n",
     "<h2>See <a href=\"#int_3\" ><span style=\"border: 0px solid grey;border-bottom-width:0.1em;left:0;top:0;font-size:"
     "0.6rem;font-family:Fira Code;line-height:1;\" ><span style=\"vertical-align:text-top;margin-right:0.2em;\" >3</span>"
     "<span class=\"icon icon-Eye\"  style=\"margin-right:0.4em;\" ></span></span>the sources</a>.</h2><span class=\"icon "
     "icon-Eye\"  style=\"color:#a9a9a9;transform:translate(0.3em, 0.2em) rotate(90deg);font-size:0.8em;margin:0;\"  "
     "id=\"int_3\" ></span><h2>Sources</h2>"},
    {"target of an internal link gets the eye anchor before it",
     "Sources [#3_]\n",
     "<span class=\"icon icon-Eye\"  style=\"color:#a9a9a9;transform:translate(0.3em, 0.2em) rotate(90deg);font-size:"
     "0.8em;margin:0;\"  id=\"int_3\" ></span><h2>Sources</h2>"},
    {"footnote reference",
     "The Rhone[*1] flows\n[*1] Long.\n",
     "<h2>The Rhone   <a style=\"display:inline;margin-right:1.5em;position:relative;white-space:pre;\"  href=\"#fno_1\" >"
     "<span style=\"border: 0px solid grey;border-bottom-width:0.1em;position:absolute;left:0;top:0;font-size:0.6rem;"
     "font-family:'Fira Code';line-height:1;margin-left:0.5em;\" ><span style=\"vertical-align:text-top;margin-right:"
     "0.2em;\" >1</span><span class=\"icon icon-DownDir\" ></span></span></a> flows</h2>"},
    {"paragraphs get numbered ids, headings none without a table of content",
     "Top\n  one\n  two\n",
     "<h2>Top</h2><p id=\"par_0\" >one</p><p id=\"par_1\" >two</p>"},
    {"emphasis", "A _b c_ and __d__ e\n", "<h2>A <strong>b c </strong>and <em>d </em>e</h2>"},
    {"a line ending in closing emphasis closes its element too",
     "x\n  _all strong_\n  next\n",
     "<h2>x</h2><p id=\"pab_0\" ><strong>all strong</strong></p><p id=\"par_1\" >next</p>"},
    {"inline code keeps its text", "Run `make <x>` now\n", "<h2>Run <code>make &lt;x&gt;</code> now</h2>"},
    {"code block", "```\n<b> & c\n```\n", "<span class=\"blo\" >&lt;b> & c\n</span>"},
    {"checkboxes",
     "Tasks\n  [x] write [ ] publish\n",
     "<h2>Tasks</h2><p id=\"par_0\" ><span class=\"icon icon-Check\" ></span> write <span class=\"icon icon-CheckEmpty\" >"
     "</span> publish</p>"},
    {"separator goes to the root", "a\n---\nb\n", "<h2>a</h2><hr><h2>b</h2>"},
    {"embedded html", "Intro ~{<abbr title=\"H\">HTML</abbr>}~ here\n",
     "<h2>Intro <abbr title=\"H\" >HTML</abbr> here</h2>"},
    {"link without description shows its own text",
     "See \"https://e.com\" x\n",
     "<h2>See <a href=\"https://e.com\"  id=\"wdq_0\" >https://e.com</a> x</h2>"},
    {"described link: the description is the text, the blank comes after",
     "See \"https://e.com\"(the site) x\n",
     "<h2>See <a href=\"https://e.com\"  id=\"wdq_0\" >the site</a> x</h2>"},
    {"lists and items: each numbered by its own page-wide counter",
     "Shop\n  . bread\n  . fruit\n    1. apples\n  . milk\n",
     "<h2>Shop</h2><ul id=\"liu_0\" ><li id=\"ite_0\" >bread</li><li id=\"ite_1\" >fruit<ol id=\"lin_1\" ><li id=\"ite_2\" >"
     "apples</li></ol></li><li id=\"ite_3\" >milk</li></ul>"},
    {"inline list goes into the line that precedes it and shows its numbers",
     "Steps: 1. mix 2. bake\n",
     "<h2>Steps: <span id=\"lin_0\" ><span id=\"ite_0\" >1. mix </span><span id=\"ite_1\" >2. bake</span></span></h2>"},
    {"inline toggle: its words inside, a dot between its parts",
     "A ``x y | z`` b\n",
     "<h2>A <input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_0\"  type="
     "\"checkbox\" ><span class=\"toggle-content_i_0 contexi\"  id=\"contex_0\" >x y \xC2\xB7 z</span> b</h2>"},
    {"a heading after a quote is not inside the quote",
     "> q\nafter\n",
     "<blockquote style=\"display:flex;flex-direction:column;\" ><div style=\"margin-left:0.6rem;display:flex;flex-direction:"
     "row;\" ><div style=\"height:0.7rem;width:1rem;border-style:solid;border-color:#cbc8c0;border-bottom:none;border-left-"
     "width:2px;border-top:none;border-right:none;\" ></div></div><div style=\"margin-left:0.2em;margin-left:0.2em;padding:"
     "0.5rem 0.5rem 0.5rem 0.2rem;border:2px solid #ebebeb;border-radius:3px;\"  id=\"quo_0\" ><h2>q</h2></div></blockquote>"
     "<h2>after</h2>"},
    {"a heading after a toggle block is not inside the toggle",
     "Head\n  ``\n  inside\n  ``\nNext\n",
     "<h2>Head</h2><input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_0\"  type="
     "\"checkbox\" ><div class=\"toggle-content_0 contex\"  id=\"contex_0\" ><span id=\"hea_1\" >inside</span></div>"
     "<h2>Next</h2>"},
    {"header: title to the root, free text in the header, body after it",
     "``\ntitle: T\n  free text\n``\nBody\n",
     "<input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_contexd\"  type="
     "\"checkbox\" ><div id=\"contexd\"  class=\"toggle-content_0\" ><p id=\"pac_1\" >free text</p></div><h1 title=\"title\" >"
     "T</h1><h2>Body</h2>"},
    {"a key without value does not take the next key in",
     "``\nauthor:\nremark: R\n``\n",
     "<input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_contexd\"  type="
     "\"checkbox\" ><div id=\"contexd\"  class=\"toggle-content_0\" ><span title=\"author\" ><span class=\"icon icon-User\""
     "  style=\"color:#9f9480;margin-right:0.3em;\" ></span></span><span title=\"remark\" ><span class=\"icon icon-"
     "Comment\"  style=\"color:#9f9480;margin-right:0.3em;\" ></span>R</span></div>"},
    {"summary is emphasised, dates are times, categories are chips",
     "``\nsummary: A short text\ncreation_date: 2023-12-01\ncategory: it; ;news\n``\n",
     "<input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_contexd\"  type="
     "\"checkbox\" ><div id=\"contexd\"  class=\"toggle-content_0\" ><span title=\"summary\" ><span class=\"icon icon-Quote\""
     "  style=\"color:#9f9480;margin-right:0.3em;\" ></span><em>A short text</em></span><span title=\"creation_date\" >"
     "<span class=\"icon icon-Calendar\"  style=\"color:#9f9480;margin-right:0.3em;\" ></span><time datetime=\"2023-12-01\" >"
     "1 Dec 2023, 12:00:00 am</time></span><span title=\"category\" ><span class=\"icon icon-Tag\"  style=\"color:#9f9480;"
     "margin-right:0.3em;\" ></span><span class=\"cat-it\" >it</span><span class=\"cat-it\" >news</span></span></div>"},
    {"a heading level without a tag leaves its words where it stands", "                deep\n  para\n",
     "deep<p id=\"par_0\" >para</p>"},
    {"a described link and a checkbox stay inside their list items",
     ". see \"https://e.com\"(site) now\n. [x] two\nafter\n",
     "<ul id=\"liu_0\" ><li id=\"ite_0\" >see <a href=\"https://e.com\"  id=\"wdq_0\" >site</a> now</li><li id=\"ite_1\" >"
     "<span class=\"icon icon-Check\" ></span> two</li></ul><h2>after</h2>"},
    {"a described link and a checkbox stay inside their table cells",
     "|---\n| A | B\n|---\n| \"https://e.com\"(site) x | [x] y\nafter\n",
     "<table><thead><tr><th>A</th><th>B</th></tr></thead><tbody><tr><td><a href=\"https://e.com\"  id=\"wdq_0\" >site</a> x"
     "</td><td><span class=\"icon icon-Check\" ></span> y</td></tr></tbody></table><h2>after</h2>"},
    {"output paths: one view raw link to the page's raw copy, status shows nothing",
     "``\noutput_path: a.html b.html\nstatus: ready\noutput_path: c.html\n``\n",
     "<input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_contexd\"  type="
     "\"checkbox\" ><div id=\"contexd\"  class=\"toggle-content_0\" ><a rel=\"alternate\"  id=\"lif_0\"  target=\"_blank\"  "
     "title=\"view raw document\"  href=\"/notes/raw_doc.html\" ><span class=\"icon icon-Pencil\"  style=\"color:#9f9480;"
     "margin-right:0.3em;\" ></span>view raw</a></div>"},
};

TEST_F(ConvertTest, ConvertedBodies) {
    for (const ExactCase& c : exact_cases) {
        KavParseResult document = parse(arena, c.source);
        EXPECT_EQ(body(document), c.html) << c.name;
    }
}

TEST_F(ConvertTest, ConsecutiveWordsBecomeOneTextNode) {
    KavParseResult document = parse(arena, "x\n  a b\n");
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    convert(document.root, document, div);
    HtmlNode* p = html_find_last_by_tag(div, HTML_TAG_P);
    HtmlNode* content = html_find_kind(p, HTML_NODE_CONTENT);
    ASSERT_EQ(content->child_count, 1u);
    EXPECT_EQ(str(content->first_child->text), "a b");
}

TEST_F(ConvertTest, EmptyToggleTakesNoNumber) {
    KavParseResult document = parse(arena, "a `` `` b ``c`` d\n");
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    PageBuilder builder = convert(document.root, document, div);
    std::string html = inner_html(arena, div);
    // The toggle with content is the first to take a number.
    EXPECT_EQ(kavsite_test::attribute_values(html, "id"), (std::vector<std::string>{"toggle-checkbox_0", "contex_0"})) << html;
    EXPECT_EQ(builder.element_counter, 1u);
}

// The first document header is the page's header; a later one is numbered
// like a toggle, so no id repeats.
TEST_F(ConvertTest, TwoDocumentHeadersGiveDistinctIds) {
    KavParseResult document = parse(arena, "``\ntitle: A\n``\n``\nremark: B\n``\n");
    std::string html = body(document);
    EXPECT_EQ(kavsite_test::attribute_values(html, "id"),
              (std::vector<std::string>{"toggle-checkbox_contexd", "contexd", "toggle-checkbox_contexd_1", "contexd_1"}))
        << html;
    EXPECT_EQ(count_of(html, "class=\"toggle-content_0\""), 1u) << html;
    EXPECT_EQ(count_of(html, "class=\"toggle-content_1\""), 1u) << html;
}

// Headings take their ids from the table-of-content links made from them
// (found by the heading's offset), whatever their level.
TEST_F(ConvertTest, HeadingsTakeTheirIdsFromTheTableOfContent) {
    KavParseResult document = parse(arena, "Top\n    Sub\nOther\n");
    ASSERT_EQ(document.toc_entries.count, 3u);
    // Links for the first two headings only; the third has none.
    KavNodeCell* cell = document.toc_entries.first;
    TocAnchor anchors[] = {{cell->node->offset, S("#hea_0")}, {cell->next->node->offset, S("#x_7")}};
    std::string html = body(document, anchors, 2);
    EXPECT_EQ(html, "<h2 id=\"hea_0\" >Top</h2><h3 id=\"x_7\" >Sub</h3><h2>Other</h2>");
}

TEST_F(ConvertTest, FootnotesAndTheirReferencesShareIds) {
    KavParseResult document = parse(arena, "Rivers\n  Rhone[*1] and Seine[*2].\n[*1] First.\n[*2] Second.\n");
    std::string html = body(document);
    EXPECT_EQ(kavsite_test::attribute_values(html, "href"), (std::vector<std::string>{"#fno_1", "#fno_2"})) << html;
    HtmlNode* list = html_element_create(arena, HTML_TAG_UL, String{});
    for (KavNodeCell* cell = document.footnotes.first; cell; cell = cell->next) {
        convert(cell->node, document, list);
    }
    std::string notes = inner_html(arena, list);
    EXPECT_EQ(notes,
              "<li> <sup id=\"fno_1\" ><span style=\"margin-right:0.5em;vertical-align: super;font-size:0.6rem;font-family:"
              "Fira Code;line-height:1;\" >1</span>First.</sup></li><li> <sup id=\"fno_2\" ><span style=\"margin-right:0.5em;"
              "vertical-align: super;font-size:0.6rem;font-family:Fira Code;line-height:1;\" >2</span>Second.</sup></li>");
}

TEST_F(ConvertTest, ImageShowsNeitherItsPathNorItsDescription) {
    KavParseResult document = parse(arena, "p [_\"/img/a.png\"(\"Cat\" 320x200)] after\n");
    std::string html = body(document);
    EXPECT_EQ(html.find("/img/a.png<"), std::string::npos) << html;
    EXPECT_EQ(count_of(html, "Cat"), 2u) << html;  // alt and data-title only
    EXPECT_EQ(html.find("320x200"), std::string::npos) << html;
    EXPECT_NE(html.find("<h2>p <img src="), std::string::npos) << html;
    EXPECT_NE(html.find(" alt=\"Cat\"  width=\"320\"  height=\"200\"  data-title=\"Cat\"  draggable=\"false\" > after</h2>"),
              std::string::npos)
        << html;
}

TEST_F(ConvertTest, TablesSideBySideShareOneRow) {
    KavParseResult document = parse(arena, "|---          |---\n| City | Pop  | River\n|---          |---\n| Lyon | 0.5  | Rhone\nafter\n");
    std::string html = body(document);
    EXPECT_EQ(html,
              "<div class=\"ta_c\" ><table><thead><tr><th>City</th><th>Pop</th></tr></thead><tbody><tr><td>Lyon</td><td>0.5"
              "</td></tr></tbody></table><table><thead><tr><th>River</th></tr></thead><tbody><tr><td>Rhone</td></tr></tbody>"
              "</table></div><h2>after</h2>");
}

// Where blocks land, as outlines (tags, ids and text): each element goes
// where the tree has its node, and what follows a block stays in the block
// around it.
TEST_F(ConvertTest, BlocksLandWhereTheTreeHasThem) {
    struct Case {
        const char* name;
        const char* source;
        const char* shape;
    };
    // A first quote: its bar row, then its body.
    const Case cases[] = {
        {"nested quotes, each in the body of the one around it, the text after one after it",
         "> a\n> > b\n> > > c\n> > d\n> e\n",
         "blockquote{div{div} div#quo_0{h2{'a'} blockquote#quo_1{div{div div#quo_2{h2{'b'} blockquote#quo_3{div{div "
         "div#quo_4{h2{'c'}}}} h2{'d'}}}} h2{'e'}}}"},
        {"a quote after a blank line joins the quote before it",
         "> a\n\n> b\nafter\n",
         "blockquote{div{div} div#quo_0{h2{'a'}} blockquote#quo_1{div{div div#quo_2{h2{'b'}}}}} h2{'after'}"},
        {"a toggle in a quote stands where it is written",
         "> q\n> ``\n> hidden\n> ``\n",
         "blockquote{div{div} div#quo_0{h2{'q'} input#toggle-checkbox_1 div#contex_1{span#hea_2{'hidden'}}}}"},
        {"the headings of a quote in a toggle stay in the quote",
         "Head\n  ``\n  > q in toggle\n  > more\n  ``\nafter\n",
         "h2{'Head'} input#toggle-checkbox_0 div#contex_0{blockquote{div{div} div#quo_1{h2{'q in toggle'} h2{'more'}}}} "
         "h2{'after'}"},
        {"lines after a list, a table or a separator in a toggle stay in the toggle",
         "Head\n  ``\n  . a\n  after list\n  |---\n  | t\n  |---\n  | u\n  after table\n  ---\n  after rule\n  ``\nout\n",
         "h2{'Head'} input#toggle-checkbox_0 div#contex_0{ul#liu_0{li#ite_0{'a'}} span#hea_1{'after list'} "
         "table{thead{tr{th{'t'}}} tbody{tr{td{'u'}}}} span#hea_2{'after table'} hr span#hea_3{'after rule'}} h2{'out'}"},
        {"lines after a list or a table in a quote stay in the quote",
         "> q\n> . a\n> after list\n> |---\n> | t\n> |---\n> | u\n> after table\nout\n",
         "blockquote{div{div} div#quo_0{h2{'q'} ul#liu_0{li#ite_0{'a'}} h2{'after list'} table{thead{tr{th{'t'}}} "
         "tbody{tr{td{'u'}}}} h2{'after table'}}} h2{'out'}"},
        {"tables side by side in a toggle share their row there",
         "Head\n  ``\n  |---          |---\n  | City | Pop  | River\n  ``\nafter\n",
         "h2{'Head'} input#toggle-checkbox_0 div#contex_0{div{table{thead{tr{th{'City'} th{'Pop'}}}} "
         "table{thead{tr{th{'River'}}}}}} h2{'after'}"},
        {"emphasis in a list item ends at its closing marker",
         ". item with _strong_ and plain end\n. _all_\n. __x__ y _z_\n",
         "ul#liu_0{li#ite_0{'item with ' strong{'strong '} 'and plain end'} li#ite_1{strong{'all'}} "
         "li#ite_2{em{'x '} 'y ' strong{'z'}}}"},
        {"a quote in the document header stays in the header",
         "``\nauthor: A\n> q\n``\nBody\n",
         "input#toggle-checkbox_contexd div#contexd{span{span 'A'} blockquote{div{div} div#quo_1{h2{'q'}}}} h2{'Body'}"},
    };
    for (const Case& c : cases) {
        KavParseResult document = parse(arena, c.source);
        HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
        convert(document.root, document, div);
        EXPECT_EQ(shape(div), c.shape) << c.name;
    }
}

// Quotes past the drawn depth: their lines go on, in order, in the body of
// the deepest drawn quote, and the lines after them stay where they were.
TEST_F(ConvertTest, QuotesPastTheDrawnDepthShareTheDeepestBody) {
    std::string source = std::string(40, '>') + " deep\n" + std::string(35, '>') + " again\n> back\nafter\n";
    KavParseResult document = parse(arena, source);
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    convert(document.root, document, div);

    std::string inner = "h2{'deep'} h2{'again'}";
    for (u32 level = KAV_QUOTE_LEVELS_SHOWN; level >= 2; level -= 1) {
        inner = "blockquote#quo_" + std::to_string(2 * level - 3) + "{div{div div#quo_" + std::to_string(2 * level - 2) +
                "{" + inner + "}}}";
    }
    EXPECT_EQ(shape(div), "blockquote{div{div} div#quo_0{" + inner + " h2{'back'}}} h2{'after'}");
}

// Numbers that name link targets: the first footnote or label of a number
// takes the id, and a reference to a number that names nothing links
// nowhere (an `a` without href).
TEST_F(ConvertTest, LinkTargetsAreUniqueAndReferencesHaveThem) {
    struct Case {
        const char* name;
        const char* source;
        std::vector<std::string> ids;
        std::vector<std::string> hrefs;
    };
    const Case cases[] = {
        {"two labels of one number", "A [#1_]\nB [#1_]\nsee [#1]\n", {"int_1"}, {"#int_1"}},
        {"a reference to a label that is not there", "A [#1_]\nsee [#2] and [#1]\n", {"int_1"}, {"#int_1"}},
        {"a reference to a footnote that is not there", "Rhone[*1] and Seine[*2]\n[*1] One.\n", {}, {"#fno_1"}},
    };
    for (const Case& c : cases) {
        KavParseResult document = parse(arena, c.source);
        PageBuilder builder = page_builder(site, arena);
        HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
        convert_nodes(&builder, document.root, &document, div, S("/site/html/doc.html"));
        std::string html = inner_html(arena, div);
        EXPECT_EQ(kavsite_test::attribute_values(html, "id"), c.ids) << c.name << "\n" << html;
        EXPECT_EQ(kavsite_test::attribute_values(html, "href"), c.hrefs) << c.name << "\n" << html;
    }
    // Footnotes of one number: the first takes the id.
    KavParseResult document = parse(arena, "Rhone[*1]\n[*1] One.\n[*1] Again.\n");
    PageBuilder builder = page_builder(site, arena);
    HtmlNode* list = html_element_create(arena, HTML_TAG_UL, String{});
    for (KavNodeCell* cell = document.footnotes.first; cell; cell = cell->next) {
        convert_nodes(&builder, cell->node, &document, list, S("/site/html/doc.html"));
    }
    EXPECT_EQ(kavsite_test::attribute_values(inner_html(arena, list), "id"), (std::vector<std::string>{"fno_1"}));
}

// Category chips are cut at ";" as written, then escaped.
TEST_F(ConvertTest, CategoriesAreSplitBeforeEscaping) {
    KavParseResult document = parse(arena, "``\ncategory: x<y; z\n``\n");
    std::string html = body(document);
    EXPECT_NE(html.find("<span class=\"cat-it\" >x&lt;y</span><span class=\"cat-it\" >z</span></span>"), std::string::npos)
        << html;
    EXPECT_EQ(count_of(html, "cat-it"), 2u) << html;
}

// A heading too deep for a heading element keeps its words where it
// stands; the table of content still finds it.
TEST_F(ConvertTest, DeepHeadingTakesTheIdItsContentLinkNames) {
    KavParseResult document = parse(arena, "                deep\n");
    ASSERT_EQ(document.toc_entries.count, 1u);
    TocAnchor anchor = {document.toc_entries.first->node->offset, S("#hea_0")};
    EXPECT_EQ(body(document, &anchor, 1), "<span id=\"hea_0\" >deep</span>");
}

// A quote inside a list item (a tree the converter may meet) goes into the
// item.
TEST_F(ConvertTest, QuoteInAListItemGoesIntoTheItem) {
    KavParseResult document = parse(arena, ". item\n> q\n");
    KavNode* list = document.root->first;
    KavNode* quote = list->next;
    ASSERT_EQ(list->kind, (u32)KAV_NODE_LIST);
    ASSERT_EQ(quote->kind, (u32)KAV_NODE_QUOTE);
    // Move the quote into the item, after its words.
    list->next = kav_nil();
    document.root->last = list;
    document.root->child_count -= 1;
    quote->prev = kav_nil();
    quote->parent = kav_nil();
    kav_node_append(list->first, quote);
    HtmlNode* div = html_element_create(arena, HTML_TAG_DIV, String{});
    convert(document.root, document, div);
    EXPECT_EQ(shape(div), "ul#liu_0{li#ite_0{'item' blockquote{div{div} div#quo_0{h2{'q'}}}}}");
}

TEST_F(ConvertTest, MissingFileIsMarkedWhereItStands) {
    site->settings.file_p_check = 1;
    KavParseResult document = parse(arena, "See \"/no/such/file.png\" and more\n");
    DiagnosticList wrong = {};
    check_file_words(arena, site, &document, S("doc.kav"), CHECK_FILES_FINAL, &wrong);
    EXPECT_EQ(wrong.count, 1u);
    std::string html = body(document);
    EXPECT_EQ(html,
              "<h2>See <span title=\"/no/such/file.png\"  id=\"wdq_0\" ><span class=\"icon icon-Unlink\"  style=\"color:"
              "#440202\" ></span></span>/no/such/file.png and more</h2>");
}

// Deeply nested and long inputs: the walk and the stack hold.
TEST_F(ConvertTest, DeepAndLongInputs) {
    struct Case {
        const char* name;
        std::string source;
        const char* needle;
        size_t times;
    };
    std::string openers, toggles, notes;
    for (int i = 0; i < 20000; i += 1) openers += "_a ";
    for (int i = 0; i < 5000; i += 1) toggles += "w ``x | y`` ";
    for (int i = 0; i < 5000; i += 1) notes += "w[*1] ";
    notes += "\n[*1] the note";
    std::string lists = "L\n";
    for (int i = 0; i < 300; i += 1) lists += std::string(2 + 2 * (i % 120), ' ') + ". item\n";
    Case cases[] = {
        {"unclosed strong openers", "x " + openers + "\n", "<strong>", 20000},
        {"many inline toggles", toggles + "\n", "class=\"toggle-content_i_", 5000},
        {"many footnote references", notes + "\n", "href=\"#fno_1\"", 5000},
        {"deep lists", lists, "<li ", 300},
    };
    for (const Case& c : cases) {
        KavParseResult document = parse(arena, c.source);
        std::string html = body(document);
        EXPECT_EQ(count_of(html, c.needle), c.times) << c.name;
    }
}

}  // namespace
