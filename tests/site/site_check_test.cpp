// The check pass: output paths placed under the root (and refused outside
// it), local file words decided against the disk and the pages of the build,
// URL words handed to the checker once each with their location.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "site/site_check.h"
#include "site_test_support.h"

using namespace site_test;

namespace {

struct SiteCheckTest : SiteFolderTest {
    void SetUp() override {
        kavsite_test::write_file(root + "html/img/here.png", "png");
        site = make_site(root.c_str(), 0, 1);
    }
};

TEST_F(SiteCheckTest, OutputPathsArePlacedUnderTheRoot) {
    struct Case {
        const char* value;
        std::vector<std::string> paths;  // below the root
        const char* warning;             // "" for none
    };
    const Case cases[] = {
        {"notes/a.html", {"html/notes/a.html"}, ""},
        {"/notes/a.html", {"html/notes/a.html"}, ""},
        {"html/notes/a.html", {"html/notes/a.html"}, ""},
        {"notes/../a.html", {"html/a.html"}, ""},
        {"./notes/./a.html", {"html/notes/a.html"}, ""},
        {"2024/post.html _drafts/x.html", {"html/2024/post.html", "html/_drafts/x.html"}, ""},
        {"\"my notes/a b.html\"", {"html/my notes/a b.html"}, ""},
        {"../../etc/x.html", {}, "Output path \"../../etc/x.html\" is outside the site root."},
        {"a.html ../../../b.html c.html", {"html/a.html", "html/c.html"},
         "Output path \"../../../b.html\" is outside the site root."},
        // The home page and the shared resources belong to the build.
        {"index.html", {}, "Output path \"index.html\" would replace a file of the site itself."},
        {"/shared/css/site.html a.html", {"html/a.html"},
         "Output path \"/shared/css/site.html\" would replace a file of the site itself."},
        {"notes/index.html shared.html", {"html/notes/index.html", "html/shared.html"}, ""},
    };
    for (const Case& c : cases) {
        std::string text = std::string("``\noutput_path: ") + c.value + "\n``\n| bad\n";
        KavParseResult document = parse(arena, text);
        u64 before = document.diagnostics.count;
        StringList placed = {};
        check_output_paths(arena, site, &document, &placed);
        std::vector<std::string> got;
        for (StringNode* n = placed.first; n; n = n->next) got.push_back(str(n->string).substr(root.size()));
        EXPECT_EQ(got, c.paths) << c.value;
        if (*c.warning) {
            ASSERT_EQ(document.diagnostics.count, before + 1) << c.value;
            // In source order: the warning on line 2 comes before the
            // parser's error on line 4.
            EXPECT_EQ(str(document.diagnostics.first->message), c.warning) << c.value;
            EXPECT_EQ(document.diagnostics.first->level, DIAG_WARNING);
            EXPECT_EQ(document.diagnostics.last->level, DIAG_ERROR);
        } else {
            EXPECT_EQ(document.diagnostics.count, before) << c.value;
        }
    }
}

TEST_F(SiteCheckTest, FileWordsNameAFileOrAPageOfTheBuild) {
    std::string text = "A \"/img/here.png\"\n  \"/img/gone.png\" \"/later/page.html\" \"C:/nope.txt\"\n";
    KavParseResult document = parse(arena, text, "d/doc.kav");
    ASSERT_EQ(document.file_paths.count, 4u);
    DiagnosticList wrong = {};
    // Before every page is known the disk decides: undecided, nothing
    // listed, even for a page already known.
    ASSERT_TRUE(site_add_output_path(site, copy(arena, root + "html/later/page.html")));
    EXPECT_FALSE(check_file_words(arena, site, &document, S("d/doc.kav"), CHECK_FILES_ON_DISK, &wrong));
    EXPECT_EQ(wrong.count, 0u);
    EXPECT_FALSE(site_add_output_path(site, copy(arena, root + "html/later/page.html"))) << "added twice";
    EXPECT_TRUE(check_file_words(arena, site, &document, S("d/doc.kav"), CHECK_FILES_FINAL, &wrong));

    std::vector<u64> flags;
    for (KavNodeCell* c = document.file_paths.first; c; c = c->next) {
        flags.push_back(c->node->flags & (KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING));
    }
    EXPECT_EQ(flags, (std::vector<u64>{KAV_FLAG_FILE_FOUND, KAV_FLAG_FILE_MISSING, KAV_FLAG_FILE_FOUND,
                                       KAV_FLAG_FILE_MISSING}));
    ASSERT_EQ(wrong.count, 2u);
    EXPECT_EQ(str(wrong.first->message), "d/doc.kav:2:3\n\t" + root + "html/img/gone.png");
    EXPECT_EQ(str(wrong.last->message), "d/doc.kav:2:38\n\tC:/nope.txt");
    EXPECT_EQ(wrong.first->node, nullptr) << "the list outlives the tree";
}

// Without the check nothing is looked up and nothing is listed; a path with
// a description is written to be followed and becomes a link all the same.
TEST_F(SiteCheckTest, WithoutTheFileCheckOnlyDescribedPathsAreLinks) {
    site->settings.file_p_check = 0;
    KavParseResult document =
        parse(arena, "A \"/img/here.png\" \"/img/gone.png\"(gone) [_\"/img/pic.png\"(\"alt\")] \"/r/b.html\"(bread)\n");
    ASSERT_EQ(document.file_paths.count, 4u);
    DiagnosticList wrong = {};
    EXPECT_TRUE(check_file_words(arena, site, &document, S("doc.kav"), CHECK_FILES_FINAL, &wrong));
    std::vector<u64> flags;
    for (KavNodeCell* c = document.file_paths.first; c; c = c->next) {
        flags.push_back(c->node->flags & (KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING));
    }
    EXPECT_EQ(flags, (std::vector<u64>{0, KAV_FLAG_FILE_FOUND, 0, KAV_FLAG_FILE_FOUND}));
    EXPECT_EQ(wrong.count, 0u);
}

std::vector<std::pair<std::string, std::string>> g_submitted;
void record_submit(String url, String location) { g_submitted.emplace_back(str(url), str(location)); }

TEST_F(SiteCheckTest, EachUrlWordIsSubmittedOnceWithItsLocation) {
    KavParseResult document =
        parse(arena, "A \"https://a.example.org/x\"\n  p \"https://b.example.org\" \"/img/here.png\" https://c.org\n");
    g_submitted.clear();
    check_submit_urls(&document, S("doc.kav"), record_submit);
    std::vector<std::pair<std::string, std::string>> want = {{"https://a.example.org/x", "doc.kav:1:3"},
                                                             {"https://b.example.org", "doc.kav:2:5"}};
    EXPECT_EQ(g_submitted, want);
}

}  // namespace

// The table of output paths through several growths: every path added once
// is found, a second add of it is refused, and paths never added (near
// misses of added ones) are not found.
TEST_F(SiteCheckTest, OutputPathTableKeepsEveryPathThroughGrowth) {
    const int n = 20000;
    auto path = [&](int i, const char* suffix) { return root + "html/s" + std::to_string(i % 7) + "/p" + std::to_string(i) + suffix; };
    for (int i = 0; i < n; i += 1) {
        ASSERT_TRUE(site_add_output_path(site, copy(arena, path(i, ".html")))) << i;
    }
    EXPECT_EQ(site_output_count(site), (u64)n);
    for (int i = 0; i < n; i += 1) {
        EXPECT_TRUE(site_has_output_path(site, copy(arena, path(i, ".html")))) << i;
        EXPECT_FALSE(site_has_output_path(site, copy(arena, path(i, ".htm")))) << i;
        EXPECT_FALSE(site_add_output_path(site, copy(arena, path(i, ".html")))) << i;
    }
    EXPECT_FALSE(site_has_output_path(site, copy(arena, path(n, ".html"))));
    EXPECT_FALSE(site_has_output_path(site, String{}));
    EXPECT_EQ(site_output_count(site), (u64)n);
}
