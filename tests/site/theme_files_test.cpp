// The default theme carried in the binary: the files it holds fit together
// (fonts.css names files of the theme, and declares every family the shared
// style sheet uses), the default head links them, and the writer and the
// script check work on a folder.
#include "site/theme_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "site/shared_resources.h"
#include "support/files.h"
#include "support/program.h"
#include "support/strings.h"

namespace {

using namespace kavsite_test;
namespace fs = std::filesystem;


std::string theme_text(const char* path) {
    const ThemeFile* file = theme_file_find(string_from_cstr(path));
    return file ? str(file->bytes) : std::string();
}

// "a/b/../c" -> "a/c", "a/./b" -> "a/b".
std::string normalize(const std::string& path) {
    return fs::path(path).lexically_normal().generic_string();
}

struct Theme : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    ~Theme() override { arena_release(arena); }
};

TEST_F(Theme, HoldsTheFontsTheirLicencesAndTheStyleSheets) {
    struct Case {
        const char* path;
        const char* starts_with;  // a woff2 file starts with its signature
        const char* holds;
    } cases[] = {
        {"html/shared/css/fonts.css", "", "@font-face"},
        {"shared/css/kav/css_kav.css", "", "@media"},
        {"html/shared/fonts/iconfont.woff2", "wOF2", ""},
        {"html/shared/fonts/figtree.woff2", "wOF2", ""},
        {"html/shared/fonts/figtree-italic.woff2", "wOF2", ""},
        {"html/shared/fonts/figtree-semibold.woff2", "wOF2", ""},
        {"html/shared/fonts/figtree-bold.woff2", "wOF2", ""},
        {"html/shared/fonts/fira-code.woff2", "wOF2", ""},
        {"html/shared/fonts/iconfont-LICENSE.txt", "", "SIL Open Font License"},
        {"html/shared/fonts/figtree-LICENSE.txt", "", "SIL Open Font License"},
        {"html/shared/fonts/fira-code-LICENSE.txt", "", "SIL Open Font License"},
    };
    std::set<std::string> paths;
    for (u64 i = 0; i < theme_file_count; i += 1) {
        EXPECT_TRUE(paths.insert(str(theme_files[i].path)).second) << "twice: " << str(theme_files[i].path);
    }
    EXPECT_EQ(paths.size(), sizeof(cases) / sizeof(cases[0]));
    for (const Case& c : cases) {
        std::string text = theme_text(c.path);
        ASSERT_FALSE(text.empty()) << c.path;
        EXPECT_EQ(text.rfind(c.starts_with, 0), 0u) << c.path;
        EXPECT_NE(text.find(c.holds), std::string::npos) << c.path;
    }
    EXPECT_EQ(theme_file_find(S("html/shared/fonts/missing.woff2")), nullptr);
}

// fonts.css is read by the browser from html/shared/css/: each url() is
// relative to that folder and must name a file the theme writes.
TEST_F(Theme, FontsCssNamesOnlyThemeFilesByRelativeUrls) {
    std::string css = std::regex_replace(theme_text("html/shared/css/fonts.css"), std::regex(R"(/\*[^*]*\*+([^/*][^*]*\*+)*/)"), "");
    std::regex url(R"(url\(\s*["']?([^"')]+)["']?\s*\))");
    int urls = 0;
    for (auto it = std::sregex_iterator(css.begin(), css.end(), url); it != std::sregex_iterator(); ++it) {
        std::string target = (*it)[1];
        urls += 1;
        EXPECT_EQ(target.find(':'), std::string::npos) << target << " is not relative";
        EXPECT_NE(target[0], '/') << target << " is not relative";
        std::string path = normalize("html/shared/css/" + target);
        EXPECT_NE(theme_file_find(from(path)), nullptr) << target << " -> " << path << " is not a theme file";
    }
    EXPECT_GE(urls, 3);
}

// Every family the shared style sheet sets is declared by fonts.css.
TEST_F(Theme, FontsCssDeclaresEveryFamilyOfTheSharedSheet) {
    StringList rules = {};
    shared_style_rules(arena, &rules, String{}, 1);
    std::string sheet = str(string_list_join(arena, &rules));
    std::string css = theme_text("html/shared/css/fonts.css");

    std::regex family(R"(font-family:\s*([^;}!]+))");
    std::set<std::string> used, declared;
    auto first_family = [](std::string list) {
        list = list.substr(0, list.find(','));
        std::string out;
        for (char c : list) {
            if (c != '"' && c != '\'') out += c;
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
        while (!out.empty() && out.front() == ' ') out.erase(out.begin());
        return out;
    };
    for (auto it = std::sregex_iterator(sheet.begin(), sheet.end(), family); it != std::sregex_iterator(); ++it) {
        used.insert(first_family((*it)[1]));
    }
    for (auto it = std::sregex_iterator(css.begin(), css.end(), family); it != std::sregex_iterator(); ++it) {
        declared.insert(first_family((*it)[1]));
    }
    // Generic families (the element defaults' sans-serif, Arial for buttons)
    // come from the system.
    for (const char* system : {"sans-serif", "Arial", "inherit", "initial"}) used.erase(system);
    EXPECT_EQ(used, (std::set<std::string>{"IconFont", "Figtree", "Fira Code"}));
    for (const std::string& f : used) EXPECT_TRUE(declared.count(f)) << f << " is not declared in fonts.css";
}

TEST_F(Theme, DefaultHeadHasTheViewportTheTitleAndTheFonts) {
    struct Case {
        const char* site_title;
        const char* title;
    } cases[] = {
        {"", "<title>Ilvo Marsk</title>"},
        {"Ann's notes", "<title>Ann's notes</title>"},
        {"<b>R&amp;D</b>", "<title>&lt;b&gt;R&amp;D&lt;/b&gt;</title>"},
    };
    for (const Case& c : cases) {
        std::string head = str(shared_default_head(arena, string_from_cstr(c.site_title)));
        EXPECT_EQ(head.rfind("<head><meta charset=\"utf-8\" >", 0), 0u) << head;
        EXPECT_NE(head.find("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\" >"),
                  std::string::npos)
            << head;
        EXPECT_NE(head.find(c.title), std::string::npos) << head;
        // The link is site-rooted: the head rewrite resolves it like any href.
        EXPECT_NE(head.find("<link rel=\"stylesheet\" href=\"/shared/css/fonts.css\" >"), std::string::npos) << head;
        EXPECT_NE(theme_file_find(S("html/shared/css/fonts.css")), nullptr);
    }
}

TEST_F(Theme, MissingFilesAreWrittenAndPresentOnesKept) {
    TempDir dir;
    std::string root = dir.path.string() + "/";
    // What the site already has stays as it is, whatever it holds.
    write_file(dir.path / "html/shared/css/fonts.css", "/* mine */");
    write_file(dir.path / "shared/css/kav/css_kav.css", "");
    fs::create_directories(dir.path / "html/shared/fonts/iconfont.woff2");  // a folder in the way

    testing::internal::CaptureStdout();
    u64 written = theme_write_missing_files(arena, from(root));
    console_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(written, theme_file_count - 3);
    EXPECT_EQ(read_file(dir.path / "html/shared/css/fonts.css"), "/* mine */");
    EXPECT_EQ(read_file(dir.path / "shared/css/kav/css_kav.css"), "");
    EXPECT_TRUE(fs::is_directory(dir.path / "html/shared/fonts/iconfont.woff2"));
    for (u64 i = 0; i < theme_file_count; i += 1) {
        std::string path = str(theme_files[i].path);
        if (path == "html/shared/css/fonts.css" || path == "shared/css/kav/css_kav.css" ||
            path == "html/shared/fonts/iconfont.woff2") {
            continue;
        }
        EXPECT_EQ(read_file(dir.path / path), str(theme_files[i].bytes)) << path;
    }
    // Everything is there now: nothing more is written.
    EXPECT_EQ(theme_write_missing_files(arena, from(root)), 0u);
}

TEST_F(Theme, AMissingScriptIsReportedOnlyWhenPagesLoadIt) {
    TempDir dir;
    std::string root = dir.path.string() + "/";
    std::string minified = root + THEME_SCRIPT_PATH;
    std::string full = root + THEME_DEV_SCRIPT_PATH;
    struct Case {
        u32 js, dev_js;
        bool minified_exists, full_exists;
        std::string warned;  // the path named, or empty for no warning
    } cases[] = {
        {0, 0, false, false, ""},
        {1, 0, false, false, minified},
        {1, 0, true, false, ""},
        {1, 0, false, true, minified},
        {1, 1, true, false, full},
        {1, 1, false, true, ""},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir.path / "html");
        if (c.minified_exists) write_file(minified, "// min");
        if (c.full_exists) write_file(full, "// full");
        testing::internal::CaptureStdout();
        bool warned = theme_warn_missing_script(arena, from(root), c.js, c.dev_js);
        console_flush();
        std::string out = testing::internal::GetCapturedStdout();
        std::string name = std::to_string(c.js) + std::to_string(c.dev_js) + std::to_string(c.minified_exists) +
                           std::to_string(c.full_exists);
        EXPECT_EQ(warned, !c.warned.empty()) << name;
        if (c.warned.empty()) {
            EXPECT_EQ(out, "") << name;
        } else {
            EXPECT_EQ(out, "warning: every page loads the script \"" + c.warned + "\", which does not exist\n") << name;
        }
    }
}

}  // namespace
