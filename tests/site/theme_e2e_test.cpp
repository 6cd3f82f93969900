// The default theme as a build writes it, seen by running the program: a new
// site root gets the fonts, their style sheet and a head that links them; a
// site's own files are never replaced; `site_title` names the site; a
// missing script is reported.
#include <gtest/gtest.h>

#include "site/theme_files.h"
#include "support/files.h"
#include "support/program.h"
#include "support/strings.h"

namespace {

using namespace kavsite_test;
namespace fs = std::filesystem;


struct ThemeRun : ::testing::Test {
    TempDir temp;
    fs::path site = temp.path / "site";
    fs::path docs = temp.path / "docs";

    void SetUp() override {
        fs::create_directories(site);
        write_file(docs / "notes/a.kav", "``\ntitle: A\noutput_path: notes/a.html\n``\nHello\n  [x] done\n");
    }
    RunResult build(std::vector<std::string> extra = {}, bool as_nobody = false) {
        std::vector<std::string> args = {"targ_p=" + docs.string(), "root_p=" + site.string() + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_kavsite(args, temp.path.string(), as_nobody);
    }
    std::string at(const std::string& relative) { return read_file(site / relative); }
};

TEST_F(ThemeRun, NewSiteRootGetsTheThemeAndAHeadThatLinksIt) {
    struct Case {
        std::vector<std::string> options;
        std::string fonts_href;
        std::string head_title;
        std::string home_title;
    } cases[] = {
        {{}, "file://" + site.string() + "/html/shared/css/fonts.css", "<title>Ilvo Marsk</title>",
         "<title>Ilvo Marsk | Home</title>"},
        {{"deploy", "site_title=Ann & <Bob>"}, "/shared/css/fonts.css", "<title>Ann & &lt;Bob&gt;</title>",
         "<title>Ann & &lt;Bob&gt; | Home</title>"},
    };
    for (const Case& c : cases) {
        fs::remove_all(site);
        fs::create_directories(site);
        RunResult r = build(c.options);
        ASSERT_EQ(r.status, 0) << r.output << r.errors;
        EXPECT_EQ(r.output.find("warning"), std::string::npos) << r.output;
        for (u64 i = 0; i < theme_file_count; i += 1) {
            EXPECT_EQ(at(str(theme_files[i].path)), str(theme_files[i].bytes)) << str(theme_files[i].path);
        }

        std::string head = at("html/shared/html/default_head.html");
        EXPECT_NE(head.find("<meta name=\"viewport\"  content=\"width=device-width, initial-scale=1\" >"),
                  std::string::npos)
            << head;
        EXPECT_NE(head.find(c.head_title), std::string::npos) << head;
        EXPECT_NE(head.find("<link rel=\"stylesheet\"  href=\"" + c.fonts_href + "\" >"), std::string::npos) << head;

        // Pages carry the head, with the theme's css_kav.css in the shared sheet.
        std::string page = at("html/notes/a.html");
        EXPECT_NE(page.find("href=\"" + c.fonts_href + "\""), std::string::npos);
        EXPECT_NE(page.find("width=device-width, initial-scale=1"), std::string::npos);
        EXPECT_NE(page.find("@media (max-width:760px){"), std::string::npos);
        EXPECT_NE(at("html/index.html").find(c.home_title), std::string::npos) << at("html/index.html");
    }
}

TEST_F(ThemeRun, ASitesOwnFilesAreNeverReplaced) {
    const std::string own_fonts = "@font-face{font-family:\"Figtree\";src:url(\"https://fonts.example.com/f.woff2\");}";
    const std::string own_kav = ".mine{color:teal}";
    const std::string own_font = "not really a font";
    const std::string own_head = "<head><title>Mine</title></head>";
    write_file(site / "html/shared/css/fonts.css", own_fonts);
    write_file(site / "shared/css/kav/css_kav.css", own_kav);
    write_file(site / "html/shared/fonts/figtree.woff2", own_font);
    write_file(site / "html/shared/html/default_head.html", own_head);
    for (int round = 0; round < 2; round += 1) {
        RunResult r = build({"site_title=Other"});
        ASSERT_EQ(r.status, 0) << r.output << r.errors;
        EXPECT_EQ(at("html/shared/css/fonts.css"), own_fonts);
        EXPECT_EQ(at("shared/css/kav/css_kav.css"), own_kav);
        EXPECT_EQ(at("html/shared/fonts/figtree.woff2"), own_font);
        // The site's head keeps its title; the home page takes the option's.
        EXPECT_NE(at("html/shared/html/default_head.html").find("<title>Mine</title>"), std::string::npos);
        EXPECT_NE(at("html/index.html").find("<title>Other | Home</title>"), std::string::npos);
        EXPECT_NE(at("html/shared/css/kav/css_default.html").find(own_kav), std::string::npos);
        // The files the site lacked are there.
        EXPECT_EQ(at("html/shared/fonts/iconfont.woff2"), str(theme_file_find(S("html/shared/fonts/iconfont.woff2"))->bytes));
    }
}

TEST_F(ThemeRun, AMissingScriptIsReportedOnceWithJs) {
    const std::string folder = site.string() + "/html/shared/javascript/website/";
    struct Case {
        std::vector<std::string> options;
        const char* present;  // a script the site has, or null
        std::string warned;   // the file named, or empty
    } cases[] = {
        {{}, nullptr, ""},
        {{"js"}, nullptr, folder + "website_shared.min.js"},
        {{"dev_js"}, nullptr, folder + "website_shared.js"},
        {{"js"}, "website_shared.min.js", ""},
        {{"dev_js"}, "website_shared.min.js", folder + "website_shared.js"},
        {{"js", "deploy"}, nullptr, folder + "website_shared.min.js"},
        // deploy turns dev_js off: pages load no script.
        {{"dev_js", "deploy"}, nullptr, ""},
    };
    for (const Case& c : cases) {
        fs::remove_all(site / "html/shared/javascript");
        if (c.present) write_file(folder + c.present, "// script");
        RunResult r = build(c.options);
        ASSERT_EQ(r.status, 0) << r.output << r.errors;
        std::string line = "warning: every page loads the script \"" + c.warned + "\", which does not exist\n";
        size_t count = 0;
        for (size_t p = r.output.find("warning: "); p != std::string::npos; p = r.output.find("warning: ", p + 1)) {
            count += 1;
        }
        if (c.warned.empty()) {
            EXPECT_EQ(count, 0u) << r.output;
        } else {
            EXPECT_EQ(count, 1u) << r.output;
            // Reported with the shared resources, before the documents.
            EXPECT_NE(r.output.find(line + "HTML: Shared ressources generated\n"), std::string::npos) << r.output;
        }
    }
}

TEST_F(ThemeRun, ThemeFilesThatCannotBeWrittenAreReported) {
    // The fonts folder exists but cannot be written to by the user the
    // program runs as; everything else can.
    fs::create_directories(site / "html/shared/fonts");
    open_to_everyone(temp.path);
    fs::permissions(site / "html/shared/fonts", kReadOnlyFolder);
    RunResult r = build({}, true);
    EXPECT_EQ(r.status, 1) << r.output << r.errors << "a theme file that cannot be written fails the build";
    u64 fonts = 0;
    for (u64 i = 0; i < theme_file_count; i += 1) {
        std::string path = str(theme_files[i].path);
        if (path.rfind("html/shared/fonts/", 0) != 0) {
            EXPECT_TRUE(fs::exists(site / path)) << path;
            continue;
        }
        fonts += 1;
        EXPECT_NE(r.output.find("\tFaiLure: " + site.string() + "/" + path + "\n"), std::string::npos) << r.output;
        EXPECT_FALSE(fs::exists(site / path)) << path;
    }
    EXPECT_GT(fonts, 0u);
    // The build went on: the page is there.
    EXPECT_TRUE(fs::exists(site / "html/notes/a.html"));
}

}  // namespace
