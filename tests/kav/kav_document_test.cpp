// The parse driver (printing, success flag) and the parser's post-pass
// (file-path check into the site's wrong-path list, URL hand-over).
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <string>
#include <utility>
#include <vector>

#include "base/os.h"
#include "kav/kav_document.h"
#include "kav_test_support.h"
#include "site/site_state.h"

namespace {

struct KavDocumentTest : KavArenaTest {
    std::string printed;
    KavParseResult run(const std::string& text, const char* path = "notes/doc.kav") {
        testing::internal::CaptureStdout();
        KavParseResult result = kav_parse_document(arena, from_std(text), string_from_cstr(path));
        console_flush();
        printed = testing::internal::GetCapturedStdout();
        return result;
    }
};

TEST_F(KavDocumentTest, EmptyDocumentGivesAZeroResultAndPrintsNothing) {
    KavParseResult result = run("");
    EXPECT_EQ(printed, "");
    EXPECT_EQ(result.root, nullptr);
    EXPECT_EQ(result.success, 0u);
    EXPECT_EQ(result.diagnostics.count, 0u);
    EXPECT_EQ(result.toc_entries.count, 0u);
    EXPECT_EQ(result.output_paths.node_count, 0u);
}

TEST_F(KavDocumentTest, DiagnosticsArePrintedInOrderAndNotHandedOn) {
    // An error at offset 0, a warning at the start of line 2, one mid-line;
    // the hint that the document has no header comes after the error at 1:1.
    std::string text = "| a\n] b }~\n";
    KavParseResult result = run(text);
    EXPECT_EQ(printed,
              "error: \n"
              "token: Unexpected \"|\" token.\n"
              "notes/doc.kav:1:1\n"
              "warning: \n"
              "token: no header, so this document publishes no page; start it with a `` block that holds "
              "'output_path: <page>.html'\n"
              "notes/doc.kav:1:1\n"
              "warning: \n"
              "token: Unexpected \"]\" token.\n"
              "notes/doc.kav:2:1\n"
              "warning: \n"
              "token: Unexpected \"}~\" token.\n"
              "notes/doc.kav:2:5\n");
    EXPECT_EQ(result.diagnostics.count, 0u);
    EXPECT_EQ(result.diagnostics.first, nullptr);
    EXPECT_EQ(result.success, 1u) << "errors do not fail a document; only levels 4 and 5 do";
    ASSERT_TRUE(result.root);
    EXPECT_EQ(to_std(result.root->text), text);
    EXPECT_EQ(result.root->kind, (u32)KAV_NODE_FILE);
}

TEST_F(KavDocumentTest, ParserSuccessDropsOnErrorsOnly) {
    EXPECT_EQ(parse("A ] b").success, 1u);
    EXPECT_EQ(parse("| a").success, 0u);
    EXPECT_EQ(parse("A b").success, 1u);
}

TEST_F(KavDocumentTest, ErrorMarkersStayOutOfTheTree) {
    KavParseResult result = parse("| a");
    ASSERT_EQ(result.diagnostics.count, 1u);
    const KavNode* marker = (const KavNode*)result.diagnostics.first->node;
    EXPECT_EQ(marker->kind, (u32)KAV_NODE_ERROR_MARKER);
    EXPECT_EQ(to_std(marker->text), "|");
    EXPECT_EQ(marker->parent, kav_nil());
    for (KavNode* n = result.root->first; !kav_node_is_nil(n); n = n->next) EXPECT_NE(n, marker);
}

// A site root under /tmp with one existing image.
struct PostPassTest : KavArenaTest {
    SiteState site = {};
    SiteState* saved = nullptr;
    std::string root;
    std::string image_path;
    void SetUp() override {
        root = "/tmp/kav_postpass_" + std::to_string((long)getpid()) + "/";
        image_path = root + "html/img/here.png";
        String image = from_std(image_path);
        ASSERT_TRUE(os_create_directories(image));
        ASSERT_TRUE(os_write_file_atomic(image, S("png")));
        site.arena = arena;
        site.root = from_std(root);
        saved = g_site_state;
        g_site_state = &site;
    }
    void TearDown() override {
        g_site_state = saved;
        kav_set_url_submit(nullptr);
        std::filesystem::remove_all(root);
    }
};

TEST_F(PostPassTest, FileCheckFlagsWordsAndListsMissingPaths) {
    site.file_p_check = 1;
    std::string text = "A \"/img/here.png\"\n  \"img/gone.png\" \"/img/gone.png\" \"C:/nope.txt\"";
    KavParseResult result = parse(text, S("d/doc.kav"));
    ASSERT_EQ(result.file_paths.count, 3u) << "a relative text is no file path";
    KavNode* here = result.file_paths.first->node;
    KavNode* gone = result.file_paths.first->next->node;
    KavNode* drive = result.file_paths.last->node;
    EXPECT_TRUE(here->flags & KAV_FLAG_FILE_FOUND);
    EXPECT_FALSE(here->flags & KAV_FLAG_FILE_MISSING);
    EXPECT_TRUE(gone->flags & KAV_FLAG_FILE_MISSING);
    EXPECT_FALSE(gone->flags & KAV_FLAG_FILE_FOUND);
    EXPECT_TRUE(drive->flags & KAV_FLAG_FILE_MISSING);
    ASSERT_EQ(site.wrong_paths.count, 2u);
    EXPECT_EQ(site.wrong_paths.max_level, DIAG_WARNING);
    EXPECT_EQ(to_std(site.wrong_paths.first->message), "d/doc.kav:2:18\n\t" + root + "html/img/gone.png");
    EXPECT_EQ(site.wrong_paths.first->node, gone);
    EXPECT_EQ(to_std(site.wrong_paths.last->message), "d/doc.kav:2:34\n\tC:/nope.txt");
    EXPECT_EQ(result.diagnostics.count, 0u) << "a missing file is no error of the document";
}

TEST_F(PostPassTest, WithoutTheCheckNoFlagsAndNoList) {
    site.file_p_check = 0;
    KavParseResult result = parse("A \"/img/here.png\" \"/img/gone.png\"");
    ASSERT_EQ(result.file_paths.count, 2u);
    for (KavNodeCell* c = result.file_paths.first; c; c = c->next) {
        EXPECT_FALSE(c->node->flags & (KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING));
    }
    EXPECT_EQ(site.wrong_paths.count, 0u);
}

std::vector<std::pair<std::string, std::string>> g_submitted;
void record_submit(String url, String location) { g_submitted.emplace_back(to_std(url), to_std(location)); }

TEST_F(PostPassTest, UrlsAreHandedOverOnlyWithBothChecksOn) {
    kav_set_url_submit(record_submit);
    std::string text = "A \"https://a.example.org/x\"\n  p \"https://b.example.org\" \"/img/here.png\"";
    struct Case {
        u32 file_check;
        u32 url_check;
        size_t submitted;
    };
    const Case cases[] = {{1, 1, 2}, {1, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    for (const Case& c : cases) {
        g_submitted.clear();
        site.file_p_check = c.file_check;
        site.check_urls = c.url_check;
        parse(text, S("doc.kav"));
        EXPECT_EQ(g_submitted.size(), c.submitted) << c.file_check << c.url_check;
    }
    site.file_p_check = 1;
    site.check_urls = 1;
    g_submitted.clear();
    parse(text, S("doc.kav"));
    ASSERT_EQ(g_submitted.size(), 2u);
    EXPECT_EQ(g_submitted[0], std::make_pair(std::string("https://a.example.org/x"), std::string("doc.kav:1:3")));
    EXPECT_EQ(g_submitted[1], std::make_pair(std::string("https://b.example.org"), std::string("doc.kav:2:5")));
}

}  // namespace
