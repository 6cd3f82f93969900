// The parse driver: diagnostics handed back in order, unprinted; the success
// flag; a parser that reads nothing but its input.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include <string>
#include <utility>
#include <vector>

#include "base/os.h"
#include "kav/kav_document.h"
#include "kav_test_support.h"

namespace {

struct KavDocumentTest : KavArenaTest {
    std::string printed;
    KavParseResult run(const std::string& text, const char* path = "notes/doc.kav") {
        testing::internal::CaptureStdout();
        KavParseResult result = kav_parse_document(arena, from(text), string_from_cstr(path));
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

TEST_F(KavDocumentTest, DiagnosticsAreHandedBackInOrderUnprinted) {
    // An error at offset 0, a warning at the start of line 2, one mid-line;
    // the hint that the document has no header comes after the error at 1:1.
    std::string text = "| a\n] b }~\n";
    KavParseResult result = run(text);
    EXPECT_EQ(printed, "") << "printing is the caller's";
    ASSERT_EQ(result.diagnostics.count, 4u);
    testing::internal::CaptureStdout();
    diag_print_list(&result.diagnostics, S("notes/doc.kav"), result.root->text);
    console_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
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
    EXPECT_EQ(result.success, 1u) << "errors do not fail a document; only levels 4 and 5 do";
    ASSERT_TRUE(result.root);
    EXPECT_EQ(str(result.root->text), text);
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
    EXPECT_EQ(str(marker->text), "|");
    EXPECT_EQ(marker->parent, kav_nil());
    for (KavNode* n = result.root->first; !kav_node_is_nil(n); n = n->next) EXPECT_NE(n, marker);
}

// Local paths and URLs are only listed: the parser looks at no file, so a
// path that exists is marked no differently from one that does not.
TEST_F(KavDocumentTest, FileWordsAndUrlsAreListedNotChecked) {
    std::string text = "``\noutput_path: a.html\n``\nA \"/tmp\" \"/no/such/file.png\"\n  \"https://a.example.org/x\" \"img/rel.png\"";
    KavParseResult result = run(text);
    ASSERT_EQ(result.file_paths.count, 2u) << "a relative text is no file path";
    ASSERT_EQ(result.urls.count, 1u);
    for (KavNodeCell* c = result.file_paths.first; c; c = c->next) {
        EXPECT_FALSE(c->node->flags & (KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING)) << str(c->node->text);
    }
    EXPECT_EQ(str(result.urls.first->node->text), "https://a.example.org/x");
    EXPECT_EQ(result.diagnostics.count, 0u);
}

}  // namespace
