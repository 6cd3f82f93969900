// The manifest of written pages: one line per page in byte order of the
// path, with the inode of the file as written; unchanged pages are not
// written again, and a page replaced behind the manifest's back is.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/os.h"
#include "driver/page_manifest.h"
#include "support/files.h"
#include "support/strings.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::read_file;
using kavsite_test::TempDir;
using kavsite_test::write_file;

u64 inode_of(const fs::path& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? (u64)st.st_ino : 0;
}

// A line of a saved manifest.
struct SavedLine {
    std::string text;
    u64 size;
    u64 inode;
    std::string path;  // below the root
};

struct PageManifestTest : ::testing::Test {
    TempDir temp;
    std::string root = temp.path.string() + "/";
    void SetUp() override { os_init(); }

    bool write(PageManifest* m, const std::string& relative, const std::string& text) {
        return page_manifest_write(m, from(root + relative), from(text));
    }

    std::vector<SavedLine> saved_lines() {
        std::istringstream lines(read_file(root + PAGE_MANIFEST_FILE_NAME));
        std::vector<SavedLine> out;
        std::string line;
        while (std::getline(lines, line)) {
            std::istringstream fields(line);
            SavedLine saved = {line, 0, 0, ""};
            std::string hash;
            fields >> saved.size >> hash >> saved.inode >> saved.path;
            out.push_back(saved);
        }
        return out;
    }
};

// Folders nested in one another and files beside them: byte order of the
// whole path, not of folder then name ("html/a-b.html" sorts before
// "html/a/x.html" because '-' < '/').
TEST_F(PageManifestTest, SavedLinesAreInPathOrderWithTheirInodes) {
    const std::vector<std::string> pages = {
        "html/notes/z.html", "html/a/x.html", "html/a-b.html", "html/notes.html",
        "html/a/b/c.html",   "html/b.html",   "top.html",      "html/notes/a.html",
    };
    PageManifest* m = page_manifest_load(from(root));
    for (const std::string& p : pages) ASSERT_TRUE(write(m, p, "text of " + p)) << p;
    page_manifest_save(m);

    std::vector<std::string> sorted = pages;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::string> listed;
    for (const SavedLine& line : saved_lines()) {
        listed.push_back(line.path);
        EXPECT_EQ(line.size, ("text of " + line.path).size()) << line.text;
        EXPECT_EQ(line.inode, inode_of(root + line.path)) << line.text;
    }
    EXPECT_EQ(listed, sorted);
    arena_release(m->arena);
}

TEST_F(PageManifestTest, RebuildWritesOnlyWhatChanged) {
    PageManifest* first = page_manifest_load(from(root));
    ASSERT_TRUE(write(first, "html/n/a.html", "alpha"));
    ASSERT_TRUE(write(first, "html/n/b.html", "beta"));
    ASSERT_TRUE(write(first, "html/c.html", "gamma"));
    page_manifest_save(first);
    std::string saved = read_file(root + PAGE_MANIFEST_FILE_NAME);
    u64 a = inode_of(root + "html/n/a.html");
    u64 b = inode_of(root + "html/n/b.html");

    // Someone else replaces c.html with other bytes of the same size (a new
    // file renamed over it: a new inode), so it is written again; a.html is
    // unchanged; b.html has new text.
    write_file(root + "html/c.new", "GAMMA");
    fs::rename(root + "html/c.new", root + "html/c.html");

    PageManifest* second = page_manifest_load(from(root));
    ASSERT_TRUE(write(second, "html/n/a.html", "alpha"));
    ASSERT_TRUE(write(second, "html/n/b.html", "beta 2"));
    ASSERT_TRUE(write(second, "html/c.html", "gamma"));
    EXPECT_EQ(inode_of(root + "html/n/a.html"), a) << "unchanged page written again";
    EXPECT_NE(inode_of(root + "html/n/b.html"), b);
    EXPECT_EQ(read_file(root + "html/n/b.html"), "beta 2");
    EXPECT_EQ(read_file(root + "html/c.html"), "gamma") << "a page replaced behind the manifest is trusted";
    page_manifest_save(second);
    EXPECT_NE(read_file(root + PAGE_MANIFEST_FILE_NAME), saved);

    // A third build with nothing new leaves the manifest itself alone.
    PageManifest* third = page_manifest_load(from(root));
    ASSERT_TRUE(write(third, "html/n/a.html", "alpha"));
    ASSERT_TRUE(write(third, "html/n/b.html", "beta 2"));
    ASSERT_TRUE(write(third, "html/c.html", "gamma"));
    u64 manifest_inode = inode_of(root + PAGE_MANIFEST_FILE_NAME);
    page_manifest_save(third);
    EXPECT_EQ(inode_of(root + PAGE_MANIFEST_FILE_NAME), manifest_inode);
    for (PageManifest* m : {first, second, third}) arena_release(m->arena);
}

// A build into a new root keeps what it wrote aside until the save, in
// more lines than one buffer holds: every page is listed with its last
// size, also one written twice; a page removed before the save is left
// out; a second build finds them all unchanged.
TEST_F(PageManifestTest, ManyNewPagesAreListedOnceWithTheirLastWrite) {
    PageManifest* first = page_manifest_load(from(root));
    std::vector<std::string> pages;
    for (int i = 0; i < 3000; i += 1) {
        pages.push_back("html/s" + std::to_string(i % 3) + "/a-page-with-a-long-name-" + std::to_string(i) + ".html");
        ASSERT_TRUE(write(first, pages.back(), "text " + std::to_string(i))) << pages.back();
    }
    ASSERT_TRUE(write(first, pages[7], "the seventh page, written again"));
    fs::remove(root + pages[8]);
    page_manifest_save(first);

    std::map<std::string, u64> sizes;
    for (const SavedLine& line : saved_lines()) {
        EXPECT_TRUE(sizes.emplace(line.path, line.size).second) << "listed twice: " << line.path;
        EXPECT_EQ(line.inode, inode_of(root + line.path)) << line.text;
    }
    EXPECT_EQ(sizes.size(), pages.size() - 1);
    EXPECT_EQ(sizes.count(pages[8]), 0u) << "a removed page is listed";
    EXPECT_EQ(sizes[pages[7]], std::string("the seventh page, written again").size());
    EXPECT_EQ(sizes[pages[2999]], std::string("text 2999").size());

    PageManifest* second = page_manifest_load(from(root));
    u64 inode = inode_of(root + pages[1234]);
    ASSERT_TRUE(write(second, pages[1234], "text 1234"));
    EXPECT_EQ(inode_of(root + pages[1234]), inode) << "an unchanged page was written again";
    for (PageManifest* m : {first, second}) arena_release(m->arena);
}

}  // namespace
