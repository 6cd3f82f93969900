// The shared style sheet, the url(...) rewrite of style sheets and the head
// and menu template rewrites, on texts.
#include "site/shared_resources.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "htmldom/html_head.h"
#include "htmldom/html_reader.h"
#include "htmldom/html_tables.h"
#include "kav/kav_node.h"
#include "site/icons.h"
#include "support/strings.h"

namespace {

using kavsite_test::count_of;
using kavsite_test::from;
using kavsite_test::str;

struct Shared : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    ~Shared() override { arena_release(arena); }

    std::string sheet(const char* kav_css, u32 js) {
        StringList rules = {};
        shared_style_rules(arena, &rules, string_from_cstr(kav_css), js);
        return str(string_list_join(arena, &rules));
    }
    std::string css(const char* text, const char* root, u32 deploy) {
        SiteSettings settings = {};
        settings.root = string_from_cstr(root);
        settings.deploy = deploy;
        settings.js = 0;
        return str(shared_rewrite_css_urls(arena, string_from_cstr(text), &settings));
    }
    std::string head(const std::string& text, u32 js, const char* root = "/srv/site/", u32 deploy = 0) {
        SiteSettings settings = {};
        settings.root = string_from_cstr(root);
        settings.deploy = deploy;
        settings.js = js;
        String style = shared_style_document(arena, S(".kav{}"), js);
        return str(shared_rewrite_head(arena, from(text), S("head.html"), style, &settings));
    }
    std::string menu(const std::string& text, const char* root = "/srv/site/", u32 deploy = 0) {
        SiteSettings settings = {};
        settings.root = string_from_cstr(root);
        settings.deploy = deploy;
        settings.js = 0;
        return str(shared_rewrite_menu(arena, from(text), S("menu.html"), &settings));
    }
    // The end-of-build cleaning of the head template.
    std::string strip(const std::string& text) {
        String codes[KAV_KIND_ROW_COUNT];
        for (u64 i = 0; i < KAV_KIND_ROW_COUNT; i += 1) codes[i] = kav_kind_table[i].code;
        return str(html_head_strip(arena, from(text), codes, KAV_KIND_ROW_COUNT));
    }
};

// ---- Style sheet ---------------------------------------------------------------------

TEST_F(Shared, IconRulesEscapeTheApostropheAndLeaveNilEmpty) {
    std::string text = sheet("", 0);
    EXPECT_NE(text.find(".icon-At::before{content:'\\'';}"), std::string::npos);
    EXPECT_NE(text.find(".icon-Nil::before{content:'';}"), std::string::npos);
    // The double quote glyph of "Menu" needs no escape inside apostrophes.
    EXPECT_NE(text.find(".icon-Menu::before{content:'\"';}"), std::string::npos);
    // Every icon has its rule, in table order, right after the .icon rule.
    std::string icons = ".icon{font-family:'IconFont';width:1em;height:1em;display:inline-block;text-align:center;}";
    size_t at = text.find(icons);
    ASSERT_NE(at, std::string::npos);
    at += icons.size();
    for (const IconInfo& icon : icon_table) {
        std::string prefix = ".icon-" + str(icon.name) + "::before{content:'";
        EXPECT_EQ(text.compare(at, prefix.size(), prefix), 0) << str(icon.name);
        at = text.find("}", at) + 1;
    }
}

TEST_F(Shared, RulesComeInTheirFixedOrder) {
    std::string text = sheet("/*KAV*/", 0);

    StringList defaults = {};
    html_write_default_styles(arena, &defaults);
    std::string element_defaults = str(string_list_join(arena, &defaults));
    ASSERT_EQ(text.compare(0, element_defaults.size(), element_defaults), 0);

    // Kind rules follow at once: id then class, for each styled row in order.
    size_t at = element_defaults.size();
    for (const KavKindRow& row : kav_kind_table) {
        if (row.style.size == 0) continue;
        std::string pair = "[id*=\"" + str(row.code) + "\"]{" + str(row.style) + "}[class*=\"" + str(row.code) +
                           "\"]{" + str(row.style) + "}";
        EXPECT_EQ(text.compare(at, pair.size(), pair), 0) << str(row.name) << " at " << at;
        at += pair.size();
    }
    EXPECT_EQ(text.compare(at, 6, ".icon{"), 0);

    // css_kav.css sits between the icon rules and the fixed rules, whole.
    EXPECT_NE(text.find(".icon-Bookmark::before{content:'V';}/*KAV*/html{font-family:\"Figtree\"}"), std::string::npos);

    const char* in_order[] = {
        "html{font-family:\"Figtree\"}#menu>ul{display:flex;flex-direction:row;}",
        ".cat-it{border:#d7cfcf 1px solid;",
        ".ta_c{display:flex;flex-direction:row;}li.it_un::marker{font-family:'IconFont';content:'!   ';"
        "font-size:0.4rem;}",
        "#contexd{display:flex;flex-direction:column;width:30vw;",
        ".contex{;font-size: 0.8rem;font-family:'Fira Code';",
        ".contexi{;font-size: 0.8rem;font-family:'Fira Code';",
        "#fnl li{margin-left:0;}#fnl{font-family:\"Fira Code\";}",
        "pre{font-family:Fira Code}h1{font-family:Figtree}h2{font-family:Figtree}h3{font-family:Figtree}"
        "h4{font-family:Figtree}h5{font-family:Figtree}p{font-family:Figtree}ul{list-style:none;}"
        "li{font-family:Figtree}span{font-size:1em;}"
        "a{color:#111051;text-decoration:none;font-weight:500;border: 1px solid transparent;border-top:none;"
        "border-left:none;border-right:none;color:#0f0d5f;}a:hover{border-color:#6d6760;}"
        "table{margin-right: 0.5rem;}tr{font-family:'Fira Code';font-size: 0.8rem;}time{font-size:1em;}"
        "sup{font-family:Fira Code}",
    };
    size_t previous = 0;
    for (const char* piece : in_order) {
        size_t found = text.find(piece, previous);
        ASSERT_NE(found, std::string::npos) << piece;
        previous = found;
    }
    // The tag font rules end the sheet.
    EXPECT_EQ(text.substr(text.size() - 26), "sup{font-family:Fira Code}");
}

TEST_F(Shared, EmptyKavCssAddsNothingAndJsAddsNoRuleToday) {
    std::string plain = sheet("", 0);
    EXPECT_NE(plain.find("content:'V';}html{font-family"), std::string::npos);
    // Every selection and highlight style is empty, so js changes nothing.
    EXPECT_EQ(sheet("", 1), plain);
    EXPECT_EQ(sheet("x{}", 0).size(), plain.size() + 3);
}

TEST_F(Shared, StyleDocumentReadsBackAsOneStyleElement) {
    String document = shared_style_document(arena, S("q{content:'<b>'}"), 0);
    std::string text = str(document);
    EXPECT_EQ(text.rfind("<style>", 0), 0u);
    EXPECT_EQ(text.substr(text.size() - 8), "</style>");
    HtmlDocument read = html_read_template(arena, document, S("css_default.html"), HTML_PARSE_QUIET);
    ASSERT_NE(read.root, nullptr);
    HtmlNode* style = read.root->first_child;
    EXPECT_EQ(style->element->tag, (HtmlTag)HTML_TAG_STYLE);
    EXPECT_TRUE(html_is_nil(style->next));
    EXPECT_EQ(str(html_serialize_to_string(arena, read.root)), text);
}

// ---- Links that are resolved ------------------------------------------------------------

TEST_F(Shared, OnlyLinksIntoTheSiteAreResolved) {
    struct Case {
        const char* link;
        bool into_site;
    } cases[] = {
        {"img/a.png", true},
        {"/shared/fonts/a.woff2", true},
        {"../fonts/a.woff2", true},
        {"file:///srv/site/html/a.png", true},
        {"FILE:///srv/site/html/a.png", true},
        {"C:/site/html/a.png", true},
        {"https://cdn.example.com/a.woff2", false},
        {"http://example.com/", false},
        {"mailto:ann@example.com", false},
        {"data:image/png;base64,AAAA", false},
        {"//cdn.example.com/a.css", false},
        {"#gradient", false},
        {"", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shared_link_points_into_site(string_from_cstr(c.link)), c.into_site) << c.link;
    }
}

// ---- Style sheet url(...) rewrite ------------------------------------------------------------

TEST_F(Shared, CssUrlsAreResolvedAndEverythingElseKept) {
    struct Case {
        const char* text;
        const char* local;     // root /srv/site/
        const char* deployed;  // deploy on
    } cases[] = {
        {"a{background:url(\"img/a.png\")}", "a{background:url(\"file:///srv/site/html/img/a.png\")}",
         "a{background:url(\"/img/a.png\")}"},
        {"a{background:url('img/a.png') no-repeat}", "a{background:url('file:///srv/site/html/img/a.png') no-repeat}",
         "a{background:url('/img/a.png') no-repeat}"},
        // Blanks around the argument stay; unquoted arguments run to ")".
        {"a{b:url( 'x.png' )}", "a{b:url( 'file:///srv/site/html/x.png' )}", "a{b:url( '/x.png' )}"},
        {"a{b:url(x.png)}", "a{b:url(file:///srv/site/html/x.png)}", "a{b:url(/x.png)}"},
        {"a{b:url( x.png )}", "a{b:url( file:///srv/site/html/x.png )}", "a{b:url( /x.png )}"},
        // The quote that opens the argument closes it, whatever follows.
        {"a{b:url(\"it's.png\")} c{d:'e'}", "a{b:url(\"file:///srv/site/html/it's.png\")} c{d:'e'}",
         "a{b:url(\"/it's.png\")} c{d:'e'}"},
        {"@font-face{src:url('/shared/f.woff2'),url(\"/shared/f.woff\")}",
         "@font-face{src:url('file:///srv/site/html/shared/f.woff2'),url(\"file:///srv/site/html/shared/f.woff\")}",
         "@font-face{src:url('/shared/f.woff2'),url(\"/shared/f.woff\")}"},
        {"a{b:url(html/img/a.png)}", "a{b:url(file:///srv/site/html/img/a.png)}", "a{b:url(/img/a.png)}"},
        // Links out of the site stay as written.
        {"a{b:url(\"https://cdn.example.com/f.woff2\")}", "a{b:url(\"https://cdn.example.com/f.woff2\")}",
         "a{b:url(\"https://cdn.example.com/f.woff2\")}"},
        {"a{b:url(data:image/png;base64,AA==)}", "a{b:url(data:image/png;base64,AA==)}",
         "a{b:url(data:image/png;base64,AA==)}"},
        {"a{fill:url(#g)}", "a{fill:url(#g)}", "a{fill:url(#g)}"},
        {"a{b:url()}", "a{b:url()}", "a{b:url()}"},
        // An unclosed quote runs to the end; an unquoted argument without
        // ")" is not touched.
        {"a{b:url('x.png", "a{b:url('file:///srv/site/html/x.png", "a{b:url('/x.png"},
        {"a{b:url(x.png", "a{b:url(x.png", "a{b:url(x.png"},
        // A url( in a comment or a string refers to nothing.
        {"/* see url(x.png) and url('y.png') */a{b:url(z.png)}",
         "/* see url(x.png) and url('y.png') */a{b:url(file:///srv/site/html/z.png)}",
         "/* see url(x.png) and url('y.png') */a{b:url(/z.png)}"},
        {"a{content:\"url(x.png)\"}b{c:url(y.png)}", "a{content:\"url(x.png)\"}b{c:url(file:///srv/site/html/y.png)}",
         "a{content:\"url(x.png)\"}b{c:url(/y.png)}"},
        {"a{content:'it\\'s url(x)'}", "a{content:'it\\'s url(x)'}", "a{content:'it\\'s url(x)'}"},
        {"/* unclosed url(x.png)", "/* unclosed url(x.png)", "/* unclosed url(x.png)"},
        {"no links here", "no links here", "no links here"},
        {"", "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(css(c.text, "/srv/site/", 0), c.local) << c.text;
        EXPECT_EQ(css(c.text, "/srv/site/", 1), c.deployed) << c.text;
        // Rewriting a rewritten sheet changes nothing.
        EXPECT_EQ(css(c.local, "/srv/site/", 0), c.local) << c.text;
        EXPECT_EQ(css(c.deployed, "/srv/site/", 1), c.deployed) << c.text;
    }
    EXPECT_EQ(css("a{b:url('x.png')}", "C:/site/", 0), "a{b:url('file:///C:/site/html/x.png')}");
}

// ---- Head template -------------------------------------------------------------------------

TEST_F(Shared, HeadLosesItsStylesAndGetsTheSharedSheetLast) {
    std::string text = head(
        "<head><meta charset=\"utf-8\"><title>T</title><style>old{}</style>"
        "<link rel=\"stylesheet\" href=\"/shared/css/main.css\">"
        "<link rel=\"stylesheet\" href=\"https://fonts.example.com/css\"><div><style>kept{}</style></div></head>",
        0);
    EXPECT_EQ(text.find("old{}"), std::string::npos) << text;
    EXPECT_NE(text.find("<div><style>kept{}</style></div>"), std::string::npos) << text;
    EXPECT_NE(text.find("href=\"file:///srv/site/html/shared/css/main.css\""), std::string::npos) << text;
    EXPECT_NE(text.find("href=\"https://fonts.example.com/css\""), std::string::npos) << text;
    size_t unset = text.find("<style>*{all:unset;}</style><style>style{display:none;}");
    ASSERT_NE(unset, std::string::npos) << text;
    EXPECT_NE(text.find(".kav{}", unset), std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 15), "</style></head>");
    EXPECT_EQ(text.find("<meta name="), std::string::npos) << "no metas without js";
}

TEST_F(Shared, HeadGetsOneMetaPerClassCodeWithJs) {
    std::string text = head("<head><title>T</title><meta name=\"hea\" content=\"mine\"></head>", 1);
    std::set<std::string> codes;
    for (const KavKindRow& row : kav_kind_table) {
        if (row.code.size) codes.insert(str(row.code));
    }
    EXPECT_EQ(count_of(text, "<meta name=\""), codes.size()) << text;
    for (const std::string& code : codes) {
        EXPECT_EQ(count_of(text, "<meta name=\"" + code + "\" "), 1u) << code;
    }
    // The first row of a shared code names the kind; an existing element
    // with the code is kept as it is.
    EXPECT_NE(text.find("<meta name=\"contexi\"  content=\"Context\" >"), std::string::npos) << text;
    EXPECT_NE(text.find("<meta name=\"wsq\"  content=\"Word\" >"), std::string::npos) << text;
    EXPECT_NE(text.find("<meta name=\"hea\"  content=\"mine\" >"), std::string::npos) << text;
}

TEST_F(Shared, HeadIsStableAcrossBuilds) {
    const std::string original =
        "<head><meta charset=\"utf-8\"><title>T</title><link rel=\"icon\" href=\"img/icon.png\"></head>";
    for (u32 js : {0u, 1u}) {
        for (u32 deploy : {0u, 1u}) {
            std::string first = head(original, js, "/srv/site/", deploy);
            // The next build reads what the end of this build left.
            std::string second = head(strip(first), js, "/srv/site/", deploy);
            EXPECT_EQ(second, first) << "js " << js << " deploy " << deploy;
            // A build that checks URLs does not clean the head at its end:
            // the builds after it settle on one text at once.
            std::string unclean = head(first, js, "/srv/site/", deploy);
            EXPECT_EQ(head(unclean, js, "/srv/site/", deploy), unclean) << "js " << js << " deploy " << deploy;
            if (!js) {
                EXPECT_EQ(unclean, first);
            }
        }
    }
}

TEST_F(Shared, MissingOrEmptyHeadTemplateGivesTheDefaultHead) {
    for (const char* text : {"", "  \n", "just text"}) {
        std::string out = head(text, 0);
        EXPECT_EQ(out.rfind("<head><meta charset=\"utf-8\" ><meta name=\"viewport\" ", 0), 0u) << text << " -> " << out;
        EXPECT_NE(out.find("<style>*{all:unset;}</style>"), std::string::npos) << text;
    }
    // Without a shared sheet the head is left as it was.
    SiteSettings settings = {};
    settings.root = S("/srv/site/");
    settings.deploy = 0;
    settings.js = 0;
    EXPECT_EQ(shared_rewrite_head(arena, S("<head></head>"), S("h"), String{}, &settings).size, 0u);
}

// ---- Menu template ------------------------------------------------------------------------------

TEST_F(Shared, MenuLinksAreResolvedAndTheHomeLinkPointsAtTheIndex) {
    const std::string original =
        "<nav style=\"color:red\" id=\"top\"><ul>"
        "<li><a href=\"/\">Home</a></li>"
        "<li><a href=\"notes/a.html\">Notes</a><a href=\"second.html\">2</a></li>"
        "<li><span><a href=\"/about.html\">About</a></span></li>"
        "<li><a href=\"https://example.com/\">Out</a></li>"
        "</ul><ul><li><a href=\"other.html\">Other</a></li></ul></nav>";
    struct Case {
        u32 deploy;
        const char* home;
        const char* notes;
        const char* about;
    } cases[] = {
        {0, "file:///srv/site/html/index.html", "file:///srv/site/html/notes/a.html",
         "file:///srv/site/html/about.html"},
        {1, "/index.html", "/notes/a.html", "/about.html"},
    };
    for (const Case& c : cases) {
        std::string text = menu(original, "/srv/site/", c.deploy);
        EXPECT_NE(text.find(std::string("<a href=\"") + c.home + "\" >Home</a>"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("<a href=\"") + c.notes + "\" >Notes</a>"), std::string::npos) << text;
        EXPECT_NE(text.find(std::string("<a href=\"") + c.about + "\" >About</a>"), std::string::npos) << text;
        EXPECT_NE(text.find("<a href=\"https://example.com/\" >Out</a>"), std::string::npos) << text;
        // Only the first link of an item, and only in the first list.
        EXPECT_NE(text.find("<a href=\"second.html\" >2</a>"), std::string::npos) << text;
        EXPECT_NE(text.find("<a href=\"other.html\" >Other</a>"), std::string::npos) << text;
        EXPECT_EQ(text.find("color:red"), std::string::npos) << text;
        EXPECT_EQ(
            text.rfind("<nav id=\"menu\"  style=\"box-sizing:border-box;border-bottom: 1px #efefef solid;display:flex;"
                       "justify-content:space-around;width:100.0vw;min-width:100.0vw;padding:0.5vw 0.5vw;"
                       "min-height:5.0vh;height:5.0vh;\" ><ul>",
                       0),
            0u)
            << text;
        // The next build changes nothing.
        EXPECT_EQ(menu(text, "/srv/site/", c.deploy), text);
    }
}

TEST_F(Shared, MissingOrEmptyMenuTemplateGivesTheDefaultMenu) {
    for (const char* text : {"", "\n", "words only"}) {
        std::string out = menu(text);
        EXPECT_NE(out.find("<ul><li><a href=\"file:///srv/site/html/index.html\" >Home</a></li></ul></nav>"),
                  std::string::npos)
            << text << " -> " << out;
        EXPECT_EQ(out.rfind("<nav id=\"menu\" ", 0), 0u) << out;
    }
}

}  // namespace
