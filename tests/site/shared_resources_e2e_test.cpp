// The shared resources a build writes under the site root, seen by running
// the program.
#include <gtest/gtest.h>

#include <map>

#include "support/files.h"
#include "support/program.h"

namespace {

using namespace kavsite_test;
namespace fs = std::filesystem;

const std::string kSharedLine = "HTML: Shared ressources generated\n";

struct SharedRun : ::testing::Test {
    TempDir temp;
    fs::path site = temp.path / "site";
    fs::path docs = temp.path / "docs";

    void SetUp() override {
        fs::create_directories(site);
        write_file(docs / "notes/a.kav", "``\ntitle: A\noutput_path: notes/a.html\n``\nHello\n");
    }
    RunResult build(std::vector<std::string> extra = {}, bool as_nobody = false) {
        std::vector<std::string> args = {"targ_p=" + docs.string(), "root_p=" + site.string() + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_kavsite(args, temp.path.string(), as_nobody);
    }
    std::string at(const char* relative) { return read_file(site / relative); }
    // Every file under the site's html folder, by relative path.
    std::map<std::string, std::string> files() {
        std::map<std::string, std::string> out;
        for (auto& e : fs::recursive_directory_iterator(site)) {
            if (e.is_regular_file()) out[fs::relative(e.path(), site).string()] = read_file(e.path());
        }
        return out;
    }
};

TEST_F(SharedRun, NewEmptySiteRootBuilds) {
    RunResult r = build();
    EXPECT_EQ(r.status, 0) << r.output << r.errors;
    // The shared resources come before the documents are read.
    size_t shared = r.output.find(kSharedLine);
    ASSERT_NE(shared, std::string::npos) << r.output;
    EXPECT_LT(shared, r.output.find("KAV (parsing):\n"));

    std::string head = at("html/shared/html/default_head.html");
    EXPECT_EQ(head.rfind("<head><meta charset=\"utf-8\" ><meta name=\"viewport\" ", 0), 0u) << head;
    std::string menu = at("html/shared/html/default_menu.html");
    std::string home = "<a href=\"file://" + site.string() + "/html/index.html\" >Home</a>";
    EXPECT_NE(menu.find("<nav id=\"menu\" "), std::string::npos) << menu;
    EXPECT_NE(menu.find("<ul><li>" + home + "</li></ul>"), std::string::npos) << menu;
    std::string sheet = at("html/shared/css/kav/css_default.html");
    EXPECT_EQ(sheet.rfind("<style>style{display:none;}", 0), 0u);
    EXPECT_NE(sheet.find(".icon-At::before{content:'\\'';}"), std::string::npos);
    // No temporary file is left beside the templates.
    for (auto& e : fs::directory_iterator(site / "html/shared/html")) {
        EXPECT_NE(e.path().filename().string()[0], '.') << e.path();
    }
}

TEST_F(SharedRun, KavCssBecomesPartOfTheSharedSheet) {
    write_file(site / "shared/css/kav/css_kav.css", ".mine{color:teal}");
    write_file(site / "html/shared/css/kav/css_kav.css", ".wrong-folder{}");
    EXPECT_EQ(build().status, 0);
    std::string sheet = at("html/shared/css/kav/css_default.html");
    EXPECT_NE(sheet.find("content:'V';}.mine{color:teal}html{font-family:\"Figtree\"}"), std::string::npos);
    EXPECT_EQ(sheet.find("wrong-folder"), std::string::npos);
}

TEST_F(SharedRun, StyleSheetsOfTheSharedFolderAreResolvedButFontsCss) {
    const std::string css = "a{background:url('img/a.png')}b{src:url(\"https://cdn.example.com/f.woff2\")}";
    const std::string resolved = "a{background:url('file://" + site.string() +
                                 "/html/img/a.png')}b{src:url(\"https://cdn.example.com/f.woff2\")}";
    write_file(site / "html/shared/css/main.css", css);
    write_file(site / "html/shared/css/fonts.css", css);
    write_file(site / "html/shared/css/fonts.CSS", css);
    write_file(site / "html/shared/css/deeper/inner.css", css);
    EXPECT_EQ(build().status, 0);
    EXPECT_EQ(at("html/shared/css/main.css"), resolved);
    EXPECT_EQ(at("html/shared/css/fonts.CSS"), resolved);
    EXPECT_EQ(at("html/shared/css/fonts.css"), css);
    EXPECT_EQ(at("html/shared/css/deeper/inner.css"), css);

    EXPECT_EQ(build({"deploy"}).status, 0);
    EXPECT_EQ(at("html/shared/css/main.css"),
              "a{background:url('/img/a.png')}b{src:url(\"https://cdn.example.com/f.woff2\")}");
    EXPECT_EQ(at("html/shared/css/fonts.css"), css);
}

// The templates are rewritten in place at the start of a build, the head as
// the build leaves it (without the styles the pages carry): the next build
// starts from the same files and so writes the same ones.
TEST_F(SharedRun, TwoBuildsWriteTheSameFiles) {
    const std::vector<std::vector<std::string>> option_sets = {{}, {"js"}, {"deploy"}, {"js", "deploy"}, {"dev_js"}};
    for (const std::vector<std::string>& options : option_sets) {
        fs::remove_all(site);
        write_file(site / "html/shared/html/default_head.html",
                   "<head>\n  <meta charset=\"utf-8\">\n  <title>Site</title>\n"
                   "  <link rel=\"stylesheet\" href=\"/shared/css/main.css\">\n  <style>old{}</style>\n</head>\n");
        write_file(
            site / "html/shared/html/default_menu.html",
            "<nav style=\"x\"><ul><li><a href=\"/\">Home</a></li><li><a href=\"notes/a.html\">A</a></li></ul></nav>");
        write_file(site / "html/shared/css/main.css", "a{b:url(img/a.png)}");
        std::string names;
        for (const std::string& o : options) names += o + " ";

        RunResult first = build(options);
        ASSERT_EQ(first.status, 0) << names << first.output << first.errors;
        std::map<std::string, std::string> after_first = files();
        RunResult second = build(options);
        ASSERT_EQ(second.status, 0) << names << second.errors;
        EXPECT_EQ(files(), after_first) << names;
        EXPECT_EQ(second.output, first.output) << names;

        std::string head = after_first["html/shared/html/default_head.html"];
        EXPECT_EQ(head.find("old{}"), std::string::npos) << names << head;
        EXPECT_NE(head.find("<title>Site</title>"), std::string::npos) << names << head;
    }
}

TEST_F(SharedRun, AFileThatCannotBeWrittenIsReportedAndKept) {
    const std::string menu = "<nav><ul><li><a href=\"/\">Home</a></li></ul></nav>";
    write_file(site / "html/shared/html/default_menu.html", menu);
    // A head that the build changes (it drops the old styles).
    const std::string head = "<head><title>T</title><style>old{}</style></head>";
    write_file(site / "html/shared/html/default_head.html", head);
    // Everything may be reached by the user the program runs as, but the
    // template folder cannot be written to.
    open_to_everyone(temp.path);
    fs::permissions(site / "html/shared/html", kReadOnlyFolder);
    RunResult r = build({}, true);
    EXPECT_EQ(r.status, 1) << r.errors << "a shared file that cannot be written fails the build";
    std::string folder = site.string() + "/html/shared/html/";
    EXPECT_NE(r.output.find("\tFaiLure: " + folder + "default_head.html\n"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("\tFaiLure: " + folder + "default_menu.html\n" + kSharedLine), std::string::npos)
        << r.output;
    EXPECT_EQ(at("html/shared/html/default_menu.html"), menu);
    EXPECT_EQ(at("html/shared/html/default_head.html"), head);
    // The shared sheet lives elsewhere and was written.
    EXPECT_TRUE(fs::exists(site / "html/shared/css/kav/css_default.html"));
}

}  // namespace
