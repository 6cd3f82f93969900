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

    // Adds the page `text` at `path` below the root.
    void add(const std::string& path, const std::string& text, u8* written) {
        StringList list = {};
        string_list_push(arena, &list, string_copy(arena, from(text)));
        page_writer_add(string_copy(arena, from((root / path).string())), &list, written);
    }
};

// Pages are stored in the order they were added, within a batch too: a page
// added twice ends with its later text, directly or through the manifest,
// and every page says it was written. Unchanged pages are left alone.
TEST_F(PageWriterTest, PagesAddedTwiceEndWithTheLaterText) {
    for (int with_manifest = 0; with_manifest < 2; with_manifest += 1) {
        fs::remove_all(root / "html");
        std::string root_text = root.string() + "/";
        PageManifest* manifest = with_manifest ? page_manifest_load(from(root_text)) : 0;
        page_writer_use_manifest(manifest);
        struct Case {
            std::string path;
            std::string text;
        } cases[] = {
            {"html/a/one.html", "first"},  {"html/a/two.html", "two"}, {"html/a/one.html", "second"},
            {"html/b/three.html", "three"}, {"html/a/one.html", "third"},
        };
        std::vector<u8> written(sizeof(cases) / sizeof(cases[0]), 7);
        for (size_t i = 0; i < written.size(); i += 1) add(cases[i].path, cases[i].text, &written[i]);
        page_writer_drain();
        for (size_t i = 0; i < written.size(); i += 1) EXPECT_EQ(written[i], 1u) << cases[i].path;
        EXPECT_EQ(read_file(root / "html/a/one.html"), "third") << "manifest " << with_manifest;
        EXPECT_EQ(read_file(root / "html/a/two.html"), "two");
        EXPECT_EQ(read_file(root / "html/b/three.html"), "three");

        if (manifest) {
            // The next build through the saved manifest finds the pages unchanged.
            page_writer_use_manifest(0);
            page_manifest_save(manifest);
            u64 inode = os_path_properties(from((root / "html/a/two.html").string())).inode;
            PageManifest* next = page_manifest_load(from(root_text));
            page_writer_use_manifest(next);
            u8 again[5] = {7, 7, 7, 7, 7};
            add("html/a/two.html", "two", &again[0]);
            add("html/a/one.html", "third", &again[1]);
            add("html/b/three.html", "changed", &again[2]);
            // Changed, then back to what the manifest knows: the second is
            // checked after the first is written.
            add("html/a/one.html", "fourth", &again[3]);
            add("html/a/one.html", "third", &again[4]);
            page_writer_drain();
            EXPECT_EQ(again[0] + again[1] + again[2] + again[3] + again[4], 5u);
            EXPECT_EQ(os_path_properties(from((root / "html/a/two.html").string())).inode, inode);
            EXPECT_EQ(read_file(root / "html/b/three.html"), "changed");
            EXPECT_EQ(read_file(root / "html/a/one.html"), "third");
        }
        page_writer_use_manifest(0);
    }
}

}  // namespace
