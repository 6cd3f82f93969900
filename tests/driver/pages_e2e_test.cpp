// Whole builds of small sites with the program: the generated pages (ids
// and the links that point at them, header, dates, categories, images,
// tables, quotes, toggles), raw views, local and deploy links, what the
// console shows, the summary counts and the exit status, pages outside the
// site root, sites without templates, identical output for identical input
// and no write at all for an unchanged site, and pages a browser reads
// without error.
#include <gtest/gtest.h>
#include <stdint.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/html5_check.h"
#include "support/html_text.h"
#include "support/images.h"
#include "support/program.h"
#include "support/strings.h"

namespace fs = std::filesystem;
using kavsite_test::read_file;
using kavsite_test::run_kavsite;
using kavsite_test::TempDir;
using kavsite_test::tiny_jpeg;
using kavsite_test::write_file;

namespace {

const char* const RIVER_DOCUMENT =
    "``\n"
    "title: River notes\n"
    "author: Ann Example\n"
    "creation_date: 2024/03/15\n"
    "category: travel; ;rivers\n"
    "summary: A short walk\n"
    "output_path: notes/a.html\n"
    "``\n"
    "Rivers [#1_]\n"
    "  The Rhone[*1] is long and the Seine[*2] is not.\n"
    "  See [#1] or [#1(the top)].\n"
    "  A ``hidden | note`` here and \"https://example.com\"(a site).\n"
    "  [_\"/img/a.jpg\"(\"A river\")] [_\"/img/b.png\"(320x200)]\n"
    "|---      |---\n"
    "| City | Pop | River\n"
    "|---      |---\n"
    "| Lyon | 0.5 | Rhone\n"
    "> Said\n"
    ">  once\n"
    "> > nested\n"
    "Toggle\n"
    "  ``\n"
    "  hidden heading\n"
    "    hidden text\n"
    "  ``\n"
    "Last\n"
    "[*1] About 800 km.\n"
    "[*2] Shorter.\n";


// The text between the start tag that contains `marker` and the next `end`.
std::string text_after(const std::string& html, const std::string& marker, const std::string& end) {
    size_t at = html.find(marker);
    if (at == std::string::npos) return "<no " + marker + ">";
    size_t begin = html.find('>', at) + 1;
    return html.substr(begin, html.find(end, begin) - begin);
}

// The source a raw view shows: the text of its `pre` block as a browser
// reads it.
std::string raw_source(const std::string& html) {
    return kavsite_test::shown_pre_text(text_after(html, "<pre class=\"blo\"", "</pre>"));
}

// Every file below `dir` with its bytes.
std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        if (entry.is_regular_file()) files[fs::relative(entry.path(), dir).string()] = read_file(entry.path());
    }
    return files;
}

struct Site {
    TempDir temp;
    fs::path docs = temp.path / "docs";
    fs::path root = temp.path / "site";
    std::string root_text = root.string() + "/";
    Site(bool templates = true) {
        fs::create_directories(root);
        if (templates) {
            write_file(root / "html/shared/html/default_head.html", "<head><meta charset=\"utf-8\"><title>Site</title></head>");
            write_file(root / "html/shared/html/default_menu.html",
                       "<nav id=\"menu\"><ul><li><a href=\"/index.html\">Home</a></li></ul></nav>");
        }
    }
    kavsite_test::RunResult build(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"targ_p=" + docs.string(), "root_p=" + root.string()};
        args.insert(args.end(), extra.begin(), extra.end());
        kavsite_test::RunResult result = run_kavsite(args, temp.path.string());
        EXPECT_EQ(result.errors, "");  // sanitizer reports land here
        return result;
    }
    std::string page(const std::string& relative) { return read_file(root / "html" / relative); }
};

TEST(PagesRun, IdsAndTheLinksThatPointAtThem) {
    Site site;
    write_file(site.docs / "river.kav", RIVER_DOCUMENT);
    kavsite_test::RunResult run = site.build();
    ASSERT_EQ(run.status, 0) << run.output;
    std::string html = site.page("notes/a.html");
    ASSERT_FALSE(html.empty()) << run.output;

    std::vector<std::string> ids = kavsite_test::attribute_values(html, "id");
    std::set<std::string> id_set(ids.begin(), ids.end());
    std::vector<std::string> fragments;
    for (const std::string& href : kavsite_test::attribute_values(html, "href")) {
        if (href[0] == '#') fragments.push_back(href.substr(1));
    }
    // Table of content, footnote references and internal link references,
    // in page order.
    // The quoted headings are not in the table of content.
    std::vector<std::string> want = {"hea_0", "hea_1", "hea_2", "hea_3", "fno_1", "fno_2", "int_1", "int_1"};
    EXPECT_EQ(fragments, want) << html;
    for (const std::string& f : fragments) EXPECT_EQ(id_set.count(f), 1u) << f;
    // Table-of-content entries and their headings.
    for (const char* pair : {"<li id=\"toc_i_0\" ><a href=\"#hea_0\" >Rivers </a>", "<h2 id=\"hea_0\" >Rivers</h2>",
                             "<h2>Said</h2>", "<h2>nested</h2>", "<h2 id=\"hea_1\" >Toggle</h2>",
                             "<span id=\"hea_2\" >hidden heading</span>", "<h2 id=\"hea_3\" >Last</h2>",
                             "<sup id=\"fno_1\" >", "<sup id=\"fno_2\" >", " id=\"int_1\" ></span><h2 id=\"hea_0\" >"}) {
        EXPECT_NE(html.find(pair), std::string::npos) << pair;
    }
    // The title heading went up into the header, the rest stayed in the body.
    EXPECT_NE(html.find("</div></div><h1 title=\"title\" >River notes</h1><div id=\"toc\" >"), std::string::npos) << html;
    EXPECT_NE(html.find("<title>River notes</title>"), std::string::npos) << html;
    EXPECT_NE(html.find("id=\"menu\""), std::string::npos) << html;
}

TEST(PagesRun, HeaderDatesCategoriesImagesTablesQuotesToggles) {
    Site site;
    write_file(site.docs / "river.kav", RIVER_DOCUMENT);
    write_file(site.root / "html/img/a.jpg", tiny_jpeg(640, 427));
    write_file(site.root / "html/img/b.png", "\x89PNG");
    kavsite_test::RunResult run = site.build();
    ASSERT_EQ(run.status, 0) << run.output;
    std::string html = site.page("notes/a.html");
    const std::string img = "file://" + site.root_text + "html/img/";
    const std::string parts[] = {
        "<time datetime=\"2024-03-15\" >15 Mar 2024, 12:00:00 am</time>",
        "<span class=\"cat-it\" >travel</span><span class=\"cat-it\" >rivers</span></span>",
        "<em>A short walk</em>",
        "<span title=\"author\" ><span class=\"icon icon-User\"  style=\"color:#9f9480;margin-right:0.3em;\" ></span>Ann Example"
        "</span>",
        "<img src=\"" + img + "a.jpg\"  alt=\"A river\"  width=\"640\"  height=\"427\"  data-title=\"A river\"  draggable=\"false\" >",
        "<img src=\"" + img + "b.png\"  width=\"320\"  height=\"200\"  draggable=\"false\" >",
        "<div class=\"ta_c\" ><table><thead><tr><th>City</th><th>Pop</th></tr></thead><tbody><tr><td>Lyon</td><td>0.5</td>"
        "</tr></tbody></table><table><thead><tr><th>River</th></tr></thead><tbody><tr><td>Rhone</td></tr></tbody></table>"
        "</div>",
        // The quoted headings are not in the table of content: no ids.
        "id=\"quo_12\" ><h2>Said</h2><p id=\"par_13\"  style=\"line-height:1em;margin:0;\" >once</p>"
        "<blockquote style=\"display:flex;flex-direction:column;margin:0.5rem 0 0 1rem;\"  id=\"quo_14\" >",
        "id=\"quo_15\" ><h2>nested</h2></div></div></blockquote></div></blockquote><h2 id=\"hea_1\" >Toggle</h2>",
        "<input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_16\"  type=\"checkbox\" >"
        "<div class=\"toggle-content_16 contex\"  id=\"contex_16\" ><span id=\"hea_2\" >hidden heading</span><span id=\"par_18\" >"
        "hidden text</span></div><h2 id=\"hea_3\" >Last</h2>",
        "A <input class=\"icon icon-Info\"  style=\"color:#9f9480;margin:0 0.3em;\"  id=\"toggle-checkbox_10\"  type=\"checkbox\" >"
        "<span class=\"toggle-content_i_10 contexi\"  id=\"contex_10\" >hidden \xC2\xB7 note</span> here and <a href=\""
        "https://example.com\"  id=\"wdq_1\" >a site</a>.",
    };
    for (const std::string& part : parts) EXPECT_NE(html.find(part), std::string::npos) << part << "\n" << html;
}

TEST(PagesRun, RawViewsAndLocalOrDeployLinks) {
    struct Case {
        bool deploy;
        const char* page;  // links, "%" standing for file:// and the site root
        const char* raw;
    };
    const Case cases[] = {
        {false, "%html/notes/a.html", "%html/notes/raw_a.html"},
        {true, "/notes/a.html", "/notes/raw_a.html"},
    };
    for (const Case& c : cases) {
        Site site;
        write_file(site.docs / "river.kav", RIVER_DOCUMENT);
        kavsite_test::RunResult run = site.build(c.deploy ? std::vector<std::string>{"deploy"} : std::vector<std::string>{});
        ASSERT_EQ(run.status, 0) << run.output;
        auto link = [&](std::string s) {
            if (s[0] == '%') s = "file://" + site.root_text + s.substr(1);
            return s;
        };
        std::string page = site.page("notes/a.html");
        std::string raw = site.page("notes/raw_a.html");
        EXPECT_NE(page.find("<a rel=\"alternate\"  id=\"lif_0\"  target=\"_blank\"  title=\"view raw document\"  href=\"" +
                            link(c.raw) + "\" >"),
                  std::string::npos)
            << page;
        EXPECT_NE(raw.find("<a class=\"btn\"  style=\"font-size:0.9rem;position:fixed;top:0;left:0;\"  href=\"" + link(c.page) +
                           "\" >Return To Page</a>"),
                  std::string::npos)
            << raw;
        // The raw view holds the source exactly, without menu and panels.
        EXPECT_EQ(raw_source(raw), RIVER_DOCUMENT);
        for (const char* gone : {"id=\"menu\"", "id=\"left\"", "id=\"right\""}) {
            EXPECT_EQ(raw.find(gone), std::string::npos) << gone;
        }
        EXPECT_NE(raw.find("<title>raw_a</title>"), std::string::npos) << raw;
    }
}

TEST(PagesRun, RawViewOfAnUnbalancedQuoteAndOfFences) {
    Site site;
    const std::string source = "``\noutput_path: q.html\n``\nan \"open quote\n```\ncode \\``` \n";
    write_file(site.docs / "q.kav", source);
    kavsite_test::RunResult run = site.build();
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(raw_source(site.page("raw_q.html")), source);
}

TEST(PagesRun, ConsoleSummaryAndExitStatus) {
    Site site;
    write_file(site.docs / "a.kav", "``\noutput_path: a/x.html b/y.htm\n``\nA\n");
    write_file(site.docs / "b.kav", "``\nstatus: draft\noutput_path: c/z.html\n``\n");
    write_file(site.docs / "c.kav", "``\nstatus: DrAfT\noutput_path: c/w.html\n``\n");
    write_file(site.docs / "d.KAV", "``\noutput_path: d/d.html\n``\n");
    write_file(site.docs / "e.kav", "``\noutput_path: broken/p.html\n``\nE\n");
    for (const char* name : {"f", "g", "h", "i", "j"}) {
        write_file(site.docs / (std::string(name) + ".kav"), "``\noutput_path: sec/" + std::string(name) + ".html\n``\nx\n");
    }
    write_file(site.docs / "k.kav", "``\noutput_path: sec/k.html\n``\nk\n");
    write_file(site.docs / "notes.txt", "not a document\n");
    // A folder where the page should go: the page cannot be written.
    fs::create_directories(site.root / "html/broken/p.html");
    kavsite_test::RunResult run = site.build();
    EXPECT_EQ(run.status, 1) << run.output;
    const std::string failed = site.root_text + "html/broken/p.html";
    // Ten documents, two of them drafts, eight pages of which one fails.
    std::string want = "KAV (parsing):\n\ta.kav\n\te.kav\n\tf.kav\n\tg.kav\n\th.kav\n\ti.kav\n\tj.kav\n\tk.kav\n"
                       "HTML conversion:\n"
                       "\tx.html\n\tFaiLure: " + failed + "\n\tf.html\n\tg.html\n\th.html\n\ti.html\n\tj.html\n\tk.html\n"
                       "------------------------------------------------------------\n"
                       "\tkav count:  10\n\thtml count: 7\n"
                       "------------------------------------------------------------\n"
                       "\tWrong file path(s):\n";
    EXPECT_NE(run.output.find(want), std::string::npos) << run.output;
    EXPECT_TRUE(fs::exists(site.root / "html/a/x.html"));
    EXPECT_TRUE(fs::exists(site.root / "html/a/raw_x.html"));
    EXPECT_TRUE(fs::exists(site.root / "html/broken/raw_p.html"));
    for (const char* absent : {"b/y.htm", "b/raw_y.htm", "c/z.html", "c/w.html", "d/d.html"}) {
        EXPECT_FALSE(fs::exists(site.root / "html" / absent)) << absent;
    }
    EXPECT_TRUE(fs::is_directory(site.root / "html/broken/p.html"));
}

// Pages are stored as soon as they are made; a raw view made later never
// replaces a page of the same path (the page is the last word).
TEST(PagesRun, RawViewNeverReplacesAPage) {
    Site site;
    write_file(site.docs / "a.kav", "``\noutput_path: x/raw_y.html\n``\nPage A\n");
    write_file(site.docs / "b.kav", "``\noutput_path: x/y.html\n``\nPage B\n");
    kavsite_test::RunResult run = site.build();
    ASSERT_EQ(run.status, 0) << run.output;
    std::string taken = site.page("x/raw_y.html");
    EXPECT_NE(taken.find("<h2 id=\"hea_0\" >Page A</h2>"), std::string::npos) << taken;
    EXPECT_EQ(taken.find("text/plain"), std::string::npos) << taken;
    EXPECT_NE(site.page("x/raw_raw_y.html").find("Page A\n</pre>"), std::string::npos);
    EXPECT_NE(site.page("x/y.html").find("<h2 id=\"hea_0\" >Page B</h2>"), std::string::npos);
}

// Two documents with one page path: the first one's page is written, the
// second document is named; the page is counted once and listed once on the
// home page.
TEST(PagesRun, OnePagePathTwiceKeepsTheFirst) {
    Site site;
    write_file(site.docs / "a.kav", "``\ntitle: First\noutput_path: n/p.html\n``\nFirst text\n");
    write_file(site.docs / "b.kav", "``\ntitle: Second\noutput_path: n/p.html n/q.html\n``\nSecond text\n");
    kavsite_test::RunResult run = site.build();
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("KAV (parsing):\n\ta.kav\nwarning: " + site.root_text +
                              "html/n/p.html is already the page of an earlier document; b.kav does not replace it\n"
                              "\tb.kav\nHTML conversion:\n\tp.html\n\tq.html\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\thtml count: 2\n"), std::string::npos) << run.output;
    EXPECT_NE(site.page("n/p.html").find("First text"), std::string::npos);
    EXPECT_NE(site.page("n/raw_p.html").find("First text"), std::string::npos);
    std::string index = site.page("index.html");
    EXPECT_EQ(kavsite_test::count_of(index, ">First</a>"), 1u) << index;
    EXPECT_EQ(kavsite_test::count_of(index, ">Second</a>"), 1u) << index;
}

// A raw view and a shared file that cannot be written are failures of the
// build, like a page.
TEST(PagesRun, RawViewsAndSharedFilesThatCannotBeWrittenFail) {
    Site site;
    write_file(site.docs / "a.kav", "``\noutput_path: n/p.html\n``\nText\n");
    fs::create_directories(site.root / "html/n/raw_p.html");
    kavsite_test::RunResult run = site.build();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("HTML conversion:\n\tp.html\n\tFaiLure: " + site.root_text + "html/n/raw_p.html\n"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("\thtml count: 1\n"), std::string::npos) << run.output;

    fs::remove_all(site.root / "html/n/raw_p.html");
    fs::remove(site.root / "html/shared/css/kav/css_default.html");
    fs::create_directories(site.root / "html/shared/css/kav/css_default.html");
    run = site.build();
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("\tFaiLure: " + site.root_text + "html/shared/css/kav/css_default.html\n"),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(fs::exists(site.root / "html/n/p.html"));
}

// The manifest of the previous build spares an unchanged page everything
// but a stat; a page someone replaced or removed is written again, and
// without a manifest each page is compared before it is written.
TEST(PagesRun, PagesChangedBehindTheBuildsBackAreWrittenAgain) {
    Site site;
    write_file(site.docs / "a.kav", "``\noutput_path: n/p.html n/q.html\n``\nText\n");
    ASSERT_EQ(site.build().status, 0);
    fs::path p = site.root / "html/n/p.html";
    fs::path q = site.root / "html/n/q.html";
    std::string page = read_file(p);
    // Replaced (a new file, as editors save) by bytes of the same size.
    std::string other(page.size(), 'x');
    write_file(site.temp.path / "other", other);
    fs::rename(site.temp.path / "other", p);
    fs::remove(q);
    ASSERT_EQ(site.build().status, 0);
    EXPECT_EQ(read_file(p), page);
    EXPECT_TRUE(fs::exists(q));
    // No manifest: an unchanged page is compared, and left alone.
    auto before = fs::last_write_time(p);
    fs::remove(site.root / ".kavsite-pages");
    ASSERT_EQ(site.build().status, 0);
    EXPECT_EQ(fs::last_write_time(p), before);
    EXPECT_TRUE(fs::exists(site.root / ".kavsite-pages"));
}

TEST(PagesRun, OutputPathOutsideTheRootIsNotWritten) {
    Site site;
    write_file(site.docs / "o.kav", "``\noutput_path: ../../outside.html inside.html\n``\nText\n");
    kavsite_test::RunResult run = site.build();
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("warning: \ntoken: Output path \"../../outside.html\" is outside the site root.\n" +
                              (site.docs / "o.kav").string() + ":2:14\n"),
              std::string::npos)
        << run.output;
    EXPECT_FALSE(fs::exists(site.temp.path / "outside.html"));
    EXPECT_FALSE(fs::exists(site.temp.path / "raw_outside.html"));
    EXPECT_TRUE(fs::exists(site.root / "html/inside.html"));
    EXPECT_NE(run.output.find("\thtml count: 1\n"), std::string::npos) << run.output;
}

TEST(PagesRun, SiteWithoutTemplatesBuilds) {
    Site site(false);
    write_file(site.docs / "n.kav", "``\ntitle: New\noutput_path: n.html\n``\nHello\n");
    kavsite_test::RunResult run = site.build({"dev_js"});
    EXPECT_EQ(run.status, 0) << run.output << run.errors;
    std::string html = site.page("n.html");
    EXPECT_NE(html.find("<title>New</title>"), std::string::npos) << html;
    EXPECT_NE(html.find("<h2 id=\"hea_0\" >Hello</h2>"), std::string::npos) << html;
    EXPECT_NE(html.find("website_shared.js\"  defer ></script>"), std::string::npos) << html;
}

TEST(PagesRun, SameSiteTwiceGivesTheSameBytes) {
    Site site;
    write_file(site.docs / "river.kav", RIVER_DOCUMENT);
    write_file(site.docs / "more/b.kav", "``\ntitle: B\noutput_path: more/b.html\n``\n[x] done\n");
    write_file(site.root / "html/img/a.jpg", tiny_jpeg(10, 20));
    ASSERT_EQ(site.build().status, 0);
    std::map<std::string, std::string> first = snapshot(site.root);
    ASSERT_EQ(site.build().status, 0);
    std::map<std::string, std::string> second = snapshot(site.root);
    EXPECT_GE(first.size(), 7u);
    EXPECT_EQ(first, second);
}

// Identity and modification time of every file below `dir`: a file that is
// written again gets a new inode (files are replaced by renaming) and a new
// time.
std::map<std::string, std::pair<uint64_t, uint64_t>> file_stamps(const fs::path& dir) {
    std::map<std::string, std::pair<uint64_t, uint64_t>> stamps;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        struct stat st;
        if (!entry.is_regular_file() || stat(entry.path().c_str(), &st) != 0) continue;
        stamps[fs::relative(entry.path(), dir).string()] = {(uint64_t)st.st_ino,
                                                             (uint64_t)st.st_mtim.tv_sec * 1000000000ull + st.st_mtim.tv_nsec};
    }
    return stamps;
}

// A second build of an unchanged site writes no file: pages, raw views, the
// home page, the shared sheet and the templates keep their inode and time.
// The head template keeps the pages' styles only when URLs are checked.
TEST(PagesRun, AnUnchangedRebuildWritesNothing) {
    for (std::vector<std::string> options :
         {std::vector<std::string>{}, {"js"}, {"deploy"}, {"check_urls"}, {"file_p_check", "dev_js"}}) {
        std::string names;
        for (const std::string& o : options) names += o + " ";
        Site site;
        write_file(site.docs / "river.kav", RIVER_DOCUMENT);
        write_file(site.docs / "more/b.kav", "``\ntitle: B\noutput_path: more/b.html\n``\n[x] done\n");
        write_file(site.root / "html/shared/css/site.css", "a{b:url(img/a.png)}");
        ASSERT_EQ(site.build(options).status, 0) << names;
        std::map<std::string, std::pair<uint64_t, uint64_t>> first = file_stamps(site.root);
        EXPECT_GE(first.size(), 9u) << names;
        ASSERT_EQ(site.build(options).status, 0) << names;
        EXPECT_EQ(file_stamps(site.root), first) << names;

        std::string head = read_file(site.root / "html/shared/html/default_head.html");
        bool styled = head.find("<style>") != std::string::npos;
        EXPECT_EQ(styled, options == std::vector<std::string>{"check_urls"}) << names << head;
    }
}

// Constructs whose pages were invalid or wrongly nested, each once.
const char* const HARD_DOCUMENT =
    "``\n"
    "title: Hard <cases>\n"
    "creation_date: 2024-03-15 14:30\n"
    "last_modification_date: 2024-13-45\n"
    "category: x<y; z & w\n"
    "output_path: hard/one.html\n"
    "output_path: hard/two.html\n"
    "  Header text with a \"https://example.com/h\"(link).\n"
    "``\n"
    "Quotes\n"
    "> outer\n"
    "> > nested\n"
    "> back\n"
    "> ``\n"
    "> toggle in a quote\n"
    "> ``\n"
    "> |---\n"
    "> | t\n"
    "> |---\n"
    "> | u\n"
    "> after the table\n"
    "\n"
    "> a second quote\n"
    "Toggles\n"
    "  ``\n"
    "  > quote in a toggle\n"
    "  . item with _strong_ end\n"
    "  . two\n"
    "  after the list\n"
    "  ---\n"
    "  after the rule\n"
    "  ``\n"
    "Lists\n"
    "  . a\n"
    "    1. b\n"
    "  . c\n"
    "Steps: 1. mix 2. bake\n"
    "Links [#1_]\n"
    "  Again [#1_], see [#1], [#2] and the notes[*1][*2][*3].\n"
    "  Code `</script> <!-- &amp;` and ~{<b>bold</b>}~.\n"
    "                deep heading\n"
    "[*1] One \"https://example.com/a\"(a).\n"
    "[*1] One again.\n"
    "[*2] Two \"https://example.com/b\".\n"
    "``\n"
    "remark: a second header\n"
    "``\n";

// Every page of a build, raw views and home page included, as a browser
// reads it: no parse error, unique ids, links to ids of the page, valid
// dates.
TEST(PagesRun, EveryPageIsValidHtml) {
    for (std::vector<std::string> options : {std::vector<std::string>{}, {"deploy"}, {"file_p_check", "js"}}) {
        Site site;
        write_file(site.docs / "river.kav", RIVER_DOCUMENT);
        write_file(site.docs / "hard.kav", HARD_DOCUMENT);
        write_file(site.root / "html/img/a.jpg", tiny_jpeg(10, 20));
        kavsite_test::RunResult run = site.build(options);
        ASSERT_EQ(run.status, 0) << run.output;
        std::vector<fs::path> pages = kavsite_test::site_pages(site.root / "html");
        EXPECT_EQ(pages.size(), 7u);  // three pages, their raw views, the home page
        kavsite_test::Html5Check check = kavsite_test::check_html5(pages);
        EXPECT_TRUE(check.passed) << check.report;
        // Each page links its own raw view, once.
        for (const char* name : {"one", "two"}) {
            std::string html = site.page(std::string("hard/") + name + ".html");
            std::vector<std::string> titles = kavsite_test::attribute_values(html, "title");
            EXPECT_EQ(std::count(titles.begin(), titles.end(), "view raw document"), 1) << name;
            EXPECT_NE(html.find(std::string("/hard/raw_") + name + ".html\" >"), std::string::npos) << name;
        }
    }
}

}  // namespace
