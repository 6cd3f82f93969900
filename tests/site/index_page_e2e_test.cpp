// The home page a build writes: one card per section, seen by running the
// program.
#include <gtest/gtest.h>

#include "support/files.h"
#include "support/program.h"

namespace {

using namespace kavsite_test;
namespace fs = std::filesystem;

struct IndexRun : ::testing::Test {
    TempDir temp;
    fs::path site = temp.path / "site";
    fs::path docs = temp.path / "docs";

    void SetUp() override {
        fs::create_directories(site);
        // Documents are read in name order: these names give the page order.
        // A page without a title key is titled with its document's name.
        write_file(docs / "p1.kav", "``\ntitle: Alpha page\noutput_path: notes/a.html\n``\nA\n");
        write_file(docs / "p2.kav", "``\noutput_path: journal/c.html\n``\nC\n");
        write_file(docs / "p3.kav", "``\noutput_path: Notes/b.html\n``\nB\n");
        write_file(docs / "p4.kav", "``\ntitle: At the top\noutput_path: top.html\n``\nT\n");
        write_file(docs / "p5.kav", "``\ntitle: Hidden\nstatus: DRAFT\noutput_path: journal/d.html\n``\nD\n");
        write_file(docs / "p6.kav", "``\ntitle: Not a page\noutput_path: guides/e.htm\n``\nE\n");
        write_file(docs / "p7.kav", "``\ntitle: Second alpha\noutput_path: notes/z.html\n``\nZ\n");
    }
    RunResult build(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"targ_p=" + docs.string(), "root_p=" + site.string() + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_kavsite(args, temp.path.string());
    }
    std::string link(const std::string& href, const std::string& text) {
        return "<a style=\"font-size:0.8rem;\"  href=\"" + href + "\" >" + text + "</a>";
    }
    std::string card(const std::string& section, const std::string& links) {
        return "<div style=\"border:1px solid #b3b3b3;padding:1rem;border-radius:0.3rem;box-shadow:0 2px 4px "
               "rgba(0,0,0,0.1)\"  id=\"wp-l-" +
               section + "\" ><h3 style=\"text-transform:capitalize;\" >" + section + "</h3>" + links + "</div>";
    }
};

TEST_F(IndexRun, OneCardPerSectionListingItsPagesByTitle) {
    struct Case {
        std::vector<std::string> options;
        std::string base;  // what a site path resolves to
    } cases[] = {
        {{}, "file://" + site.string() + "/html/"},
        {{"deploy"}, "/"},
    };
    for (const Case& c : cases) {
        RunResult r = build(c.options);
        ASSERT_EQ(r.status, 0) << r.output << r.errors;
        std::string index = read_file(site / "html/index.html");
        std::string grid =
            "<div style=\"display:flex;flex-direction:row;flex-wrap: wrap;justify-content:space-around;\" >" +
            card("notes", link(c.base + "notes/a.html", "Alpha page") + link(c.base + "Notes/b.html", "p3") +
                              link(c.base + "notes/z.html", "Second alpha")) +
            card("journal", link(c.base + "journal/c.html", "p2")) + "</div>";
        EXPECT_NE(index.find(grid), std::string::npos) << index;
        EXPECT_NE(index.find("<title>Ilvo Marsk | Home</title>"), std::string::npos) << index;
        EXPECT_EQ(index.find("<title>", index.find("<title>") + 1), std::string::npos) << "one title";
        // The skeleton of every page: the menu and the layout panels.
        EXPECT_NE(index.find("<nav id=\"menu\" "), std::string::npos);
        EXPECT_NE(index.find("id=\"b_w\""), std::string::npos);
        for (const char* absent : {"At the top", "Hidden", "Not a page", "wp-l-Notes", "wp-l-guides"}) {
            EXPECT_EQ(index.find(absent), std::string::npos) << absent;
        }
    }
}

// The failure is reported among the pages written, before the summary,
// not under its list of wrong paths.
TEST_F(IndexRun, AHomePageThatCannotBeWrittenIsReported) {
    fs::create_directories(site / "html/index.html");  // a folder where the page goes
    RunResult r = build();
    EXPECT_EQ(r.status, 1) << r.output << r.errors;
    std::string failure = "\tFaiLure: " + site.string() + "/html/index.html\n";
    EXPECT_NE(r.output.find("HTML conversion:\n\ta.html\n\tc.html\n\tb.html\n\ttop.html\n\tz.html\n" + failure +
                            "------------------------------------------------------------\n"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(r.output.find(failure, r.output.find("Wrong file path(s)")), std::string::npos) << r.output;
    EXPECT_TRUE(fs::is_directory(site / "html/index.html"));
    // The other pages are written all the same.
    EXPECT_TRUE(fs::exists(site / "html/notes/a.html"));
}

// A build that publishes nothing still says so and still has a home page.
TEST_F(IndexRun, NoPagesStillASummaryAndAHomePage) {
    struct Case {
        const char* name;
        const char* document;
    } cases[] = {
        {"only a draft", "``\nstatus: draft\noutput_path: notes/a.html\n``\nA\n"},
        {"no output path", "``\ntitle: Nowhere\n``\nA\n"},
    };
    for (const Case& c : cases) {
        fs::remove_all(docs);
        fs::remove_all(site / "html");
        write_file(docs / "only.kav", c.document);
        RunResult r = build();
        EXPECT_EQ(r.status, 0) << c.name << r.output << r.errors;
        EXPECT_NE(r.output.find("HTML conversion:\n"
                                "------------------------------------------------------------\n"
                                "\tkav count:  1\n\thtml count: 0\n"
                                "------------------------------------------------------------\n"
                                "\tWrong file path(s):\n"),
                  std::string::npos)
            << c.name << r.output;
        std::string index = read_file(site / "html/index.html");
        EXPECT_NE(index.find("<title>Ilvo Marsk | Home</title>"), std::string::npos) << c.name << index;
        EXPECT_EQ(index.find("wp-l-"), std::string::npos) << c.name << index;
    }
}

}  // namespace
