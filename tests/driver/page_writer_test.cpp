#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/os.h"
#include "driver/page_manifest.h"
#include "driver/page_writer.h"
#include "support/files.h"
#include "support/strings.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::read_file;
using kavsite_test::TempDir;

struct PageWriterTest : ::testing::Test {
    TempDir temp;
    fs::path root = temp.path;
    Arena* arena = arena_create(MB(16), KB(64));
    static void SetUpTestSuite() { os_init(); }
    void TearDown() override {
        page_writer_use_manifest(0);
        arena_release(arena);
    }

    std::vector<PagePieces*> spooled;

    // Adds the page `text` at `path` below the root, copied or (`pieces`)
    // written from this arena: its first bytes in pieces of three, its
    // middle in a spool, its last byte after it.
    void add(const std::string& path, const std::string& text, u8* written, bool pieces = false) {
        String full = string_copy(arena, from((root / path).string()));
        if (!pieces) {
            StringList list = {};
            string_list_push(arena, &list, string_copy(arena, from(text)));
            page_writer_add(full, &list, written);
            return;
        }
        PagePieces* page = push_struct<PagePieces>(arena);
        size_t third = text.size() / 3;
        for (size_t at = 0; at < third; at += 3) {
            string_list_push(arena, &page->before, string_copy(arena, from(text.substr(at, MIN(3, third - at)))));
        }
        page->spool = push_struct<Spool>(arena);
        spool_open(page->spool, string_copy(arena, from(root.string())));
        spool_append(page->spool, from(text.substr(third, text.size() - third - 1)));
        string_list_push(arena, &page->after, string_copy(arena, from(text.substr(text.size() - 1))));
        spooled.push_back(page);
        page_writer_add_pieces(full, page, written);
    }

    void drain() {
        page_writer_drain();
        for (PagePieces* page : spooled) page_pieces_close(page);
        spooled.clear();
    }
};

// Pages are stored in the order they were added, within a batch too: a page
// added twice ends with its later text, directly or through the manifest,
// whether it came whole or in pieces, and every page says it was written.
// Unchanged pages are left alone.
TEST_F(PageWriterTest, PagesAddedTwiceEndWithTheLaterText) {
    for (int with_manifest = 0; with_manifest < 2; with_manifest += 1) {
        fs::remove_all(root / "html");
        std::string root_text = root.string() + "/";
        PageManifest* manifest = with_manifest ? page_manifest_load(from(root_text)) : 0;
        page_writer_use_manifest(manifest);
        std::string large;
        for (int k = 0; large.size() < 3 * SPOOL_BUFFER_SIZE; k += 1) large += "<p>line " + std::to_string(k) + "</p>";
        struct Case {
            std::string path;
            std::string text;
            bool pieces;
        } cases[] = {
            {"html/a/one.html", "first", false},       {"html/a/two.html", "two", true},
            {"html/a/one.html", "second in pieces", true}, {"html/b/three.html", "three", false},
            {"html/c/d/four.html", "a new folder's page", true}, {"html/a/one.html", "third", false},
            // A spool past its memory buffer, read back from its file.
            {"html/e/large.html", large, true},
        };
        std::vector<u8> written(sizeof(cases) / sizeof(cases[0]), 7);
        for (size_t i = 0; i < written.size(); i += 1) add(cases[i].path, cases[i].text, &written[i], cases[i].pieces);
        drain();
        for (size_t i = 0; i < written.size(); i += 1) EXPECT_EQ(written[i], 1u) << cases[i].path;
        EXPECT_EQ(read_file(root / "html/a/one.html"), "third") << "manifest " << with_manifest;
        EXPECT_EQ(read_file(root / "html/a/two.html"), "two");
        EXPECT_EQ(read_file(root / "html/b/three.html"), "three");
        EXPECT_EQ(read_file(root / "html/c/d/four.html"), "a new folder's page");
        EXPECT_TRUE(read_file(root / "html/e/large.html") == large);

        if (manifest) {
            // The next build through the saved manifest finds the pages unchanged.
            page_writer_use_manifest(0);
            page_manifest_save(manifest);
            u64 inode = os_path_properties(from((root / "html/a/two.html").string())).inode;
            PageManifest* next = page_manifest_load(from(root_text));
            page_writer_use_manifest(next);
            u64 four_inode = os_path_properties(from((root / "html/c/d/four.html").string())).inode;
            u8 again[6] = {7, 7, 7, 7, 7, 7};
            add("html/a/two.html", "two", &again[0]);
            add("html/a/one.html", "third", &again[1]);
            add("html/b/three.html", "changed", &again[2], true);
            // Changed, then back to what the manifest knows: the second is
            // checked after the first is written.
            add("html/a/one.html", "fourth", &again[3], true);
            add("html/a/one.html", "third", &again[4]);
            add("html/c/d/four.html", "a new folder's page", &again[5], true);
            drain();
            EXPECT_EQ(again[0] + again[1] + again[2] + again[3] + again[4] + again[5], 6u);
            EXPECT_EQ(os_path_properties(from((root / "html/a/two.html").string())).inode, inode);
            EXPECT_EQ(os_path_properties(from((root / "html/c/d/four.html").string())).inode, four_inode);
            EXPECT_EQ(read_file(root / "html/b/three.html"), "changed");
            EXPECT_EQ(read_file(root / "html/a/one.html"), "third");
        }
        page_writer_use_manifest(0);
    }
}

}  // namespace
