#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/diagnostic.h"
#include "base/os.h"
#include "base/string.h"
#include "support/files.h"
#include "support/strings.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::str;
using kavsite_test::TempDir;
using kavsite_test::write_file;

struct OsTest : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    TempDir temp;
    fs::path dir = temp.path;
    void SetUp() override { os_init(); }
    void TearDown() override { arena_release(arena); }
};

TEST_F(OsTest, CreateDirectoriesStopsBeforeFileName) {
    std::string p = dir.string() + "/site/html/shared/a.css";
    EXPECT_TRUE(os_create_directories(from(p)));
    EXPECT_TRUE(fs::is_directory(dir / "site/html/shared"));
    EXPECT_FALSE(fs::exists(dir / "site/html/shared/a.css"));
    // Existing prefixes are fine.
    EXPECT_TRUE(os_create_directories(from(p)));
    // A prefix that is a file cannot become a directory.
    write_file(dir / "file", "x");
    EXPECT_FALSE(os_create_directories(from(dir.string() + "/file/sub/x.txt")));
}

TEST_F(OsTest, ReadWholeFile) {
    write_file(dir / "empty.kav", "");
    write_file(dir / "text.kav", "hello\nworld");
    EXPECT_EQ(os_read_whole_file(arena, from((dir / "empty.kav").string())).size, 0u);
    EXPECT_EQ(os_read_whole_file(arena, from((dir / "missing.kav").string())).size, 0u);
    String text = os_read_whole_file(arena, from((dir / "text.kav").string()));
    EXPECT_EQ(str(text), "hello\nworld");
    // A directory is not a file.
    EXPECT_EQ(os_read_whole_file(arena, from(dir.string())).size, 0u);
}

TEST_F(OsTest, OnlyRegularFilesOpen) {
    std::string fifo = (dir / "pipe.kav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    // A FIFO without a writer neither blocks nor opens.
    EXPECT_EQ(os_open_file(OS_FILE_READ, from(fifo)), OS_FILE_INVALID);
    EXPECT_EQ(os_read_whole_file(arena, from(fifo)).size, 0u);
    EXPECT_EQ(os_open_file(OS_FILE_READ, from(std::string("/dev/zero"))), OS_FILE_INVALID);
    EXPECT_EQ(os_open_file(OS_FILE_READ, from(dir.string())), OS_FILE_INVALID);
    OsFileProperties props = os_path_properties(from(fifo));
    EXPECT_TRUE(props.exists);
    EXPECT_FALSE(props.is_regular);
    write_file(dir / "f", "abc");
    props = os_path_properties(from((dir / "f").string()));
    EXPECT_TRUE(props.is_regular);
    EXPECT_EQ(props.size, 3u);
    EXPECT_NE(props.inode, 0u);
}

TEST_F(OsTest, ReadAndWriteRanges) {
    std::string p = (dir / "r.bin").string();
    OsFile f = os_open_file(OS_FILE_WRITE | OS_FILE_CREATE, from(p));
    ASSERT_NE(f, OS_FILE_INVALID);
    String data = S("0123456789");
    EXPECT_EQ(os_write_range(f, Range64{0, 10}, data), 10u);
    EXPECT_EQ(os_write_range(f, Range64{3, 3}, data), 0u);
    os_close_file(f);
    EXPECT_EQ(os_write_range(OS_FILE_INVALID, Range64{0, 10}, data), 0u);
    f = os_open_file(OS_FILE_READ, from(p));
    EXPECT_EQ(str(os_read_range(arena, f, Range64{2, 5})), "234");
    // A range past the end reads what is there.
    EXPECT_EQ(str(os_read_range(arena, f, Range64{8, 20})), "89");
    os_close_file(f);
    EXPECT_EQ(os_read_range(arena, OS_FILE_INVALID, Range64{0, 4}).size, 0u);
    EXPECT_EQ(os_open_file(OS_FILE_READ, from((dir / "nope").string())), OS_FILE_INVALID);
}

// An unnamed file takes writes one after the other, reads them back, and
// never shows in its folder; a folder that is not there gives none.
TEST_F(OsTest, UnnamedFileLeavesNothingInItsFolder) {
    OsFile f = os_open_unnamed_file(from(dir.string()));
    ASSERT_NE(f, OS_FILE_INVALID) << "the test folder's file system has no unnamed files";
    EXPECT_EQ(os_write_at(f, 0, S("first ")), 6u);
    EXPECT_EQ(os_write_at(f, 6, S("second")), 6u);
    EXPECT_EQ(os_file_properties(f).size, 12u);
    EXPECT_EQ(str(os_read_range(arena, f, Range64{0, 12})), "first second");
    EXPECT_TRUE(fs::is_empty(dir));
    os_close_file(f);
    EXPECT_TRUE(fs::is_empty(dir));
    EXPECT_EQ(os_open_unnamed_file(from((dir / "missing").string())), OS_FILE_INVALID);
    EXPECT_EQ(os_write_at(OS_FILE_INVALID, 0, S("x")), 0u);
}

TEST_F(OsTest, PathValidity) {
    write_file(dir / "f.txt", "x");
    EXPECT_TRUE(os_path_is_valid(from(dir.string())));
    EXPECT_TRUE(os_path_is_valid(from(dir.string() + "/")));
    EXPECT_TRUE(os_path_is_valid(from((dir / "f.txt").string())));
    EXPECT_FALSE(os_path_is_valid(from((dir / "g.txt").string())));
    EXPECT_FALSE(os_path_is_valid(String{}));
    EXPECT_TRUE(os_delete_file(from((dir / "f.txt").string())));
    EXPECT_FALSE(os_path_is_valid(from((dir / "f.txt").string())));
    EXPECT_FALSE(os_delete_file(from((dir / "f.txt").string())));
}

TEST_F(OsTest, AtomicReplace) {
    std::string p = (dir / "out/deep/page.html").string();
    EXPECT_TRUE(os_write_file_atomic(from(p), S("first version, long")));
    EXPECT_TRUE(os_write_file_atomic(from(p), S("second")));
    EXPECT_EQ(str(os_read_whole_file(arena, from(p))), "second");
    int files = 0;
    for (auto& e : fs::directory_iterator(dir / "out/deep")) {
        (void)e;
        files += 1;
    }
    EXPECT_EQ(files, 1);  // no temporary file left behind

    if (geteuid() != 0) {
        // A directory without write permission: the old file stays intact.
        fs::permissions(dir / "out/deep", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(os_write_file_atomic(from(p), S("third")));
        // Unchanged content needs no write, so it succeeds even there.
        EXPECT_TRUE(os_write_file_atomic(from(p), S("second")));
        fs::permissions(dir / "out/deep", fs::perms::owner_all);
        EXPECT_EQ(str(os_read_whole_file(arena, from(p))), "second");
    }
    // The same bytes again leave the file untouched (same inode, no rename).
    OsFileProperties before = os_path_properties(from(p));
    EXPECT_TRUE(os_write_file_atomic(from(p), S("second")));
    EXPECT_EQ(os_path_properties(from(p)).inode, before.inode);
    EXPECT_TRUE(os_write_file_atomic(from(p), S("secont")));
    EXPECT_NE(os_path_properties(from(p)).inode, before.inode);
    EXPECT_EQ(str(os_read_whole_file(arena, from(p))), "secont");
    EXPECT_TRUE(os_write_file_atomic(from(p), S("second")));
    // A path whose directory is a file fails and creates nothing.
    write_file(dir / "plain", "x");
    EXPECT_FALSE(os_write_file_atomic(from((dir / "plain/page.html").string()), S("x")));
    EXPECT_EQ(str(os_read_whole_file(arena, from((dir / "plain").string()))), "x");
}

// Names in a folder that look like the temporaries of atomic writes.
std::vector<std::string> temporaries_in(const fs::path& folder) {
    std::vector<std::string> found;
    for (auto& e : fs::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        if (name.rfind(OS_TEMP_PREFIX, 0) == 0) found.push_back(name);
    }
    return found;
}

// A streamed write gives the same file as one whole write: pieces of any size
// (across the stream's buffer), the old file kept (same inode) only when it
// holds exactly the new bytes.
TEST_F(OsTest, StreamedWriteReplacesOnlyChangedFiles) {
    std::string big(200000, 'x');
    for (size_t i = 0; i < big.size(); i += 1) big[i] = (char)('a' + (i * 7919) % 26);
    std::string changed_late = big;
    changed_late[150000] = '#';
    struct Case {
        const char* name;
        bool has_old;
        std::string old;
        std::string text;
        bool kept;  // the old file is left in place
    };
    const Case cases[] = {
        {"new file in missing folders", false, "", big, false},
        {"empty text, no old file", false, "", "", false},
        {"same bytes", true, big, big, true},
        {"same empty file", true, "", "", true},
        {"old is a prefix", true, big.substr(0, 70000), big, false},
        {"new is a prefix", true, big, big.substr(0, 70000), false},
        {"differs past the first buffer", true, big, changed_late, false},
    };
    int k = 0;
    for (const Case& c : cases) {
        fs::path folder = dir / ("s" + std::to_string(k++)) / "deep";
        std::string p = (folder / "page.html").string();
        if (c.has_old) {
            fs::create_directories(folder);
            write_file(folder / "page.html", c.old);
        }
        u64 inode = c.has_old ? os_path_properties(from(p)).inode : 0;
        OsFileStream stream;
        ASSERT_TRUE(os_stream_begin(arena, &stream, from(p))) << c.name;
        // Pieces of growing, odd sizes: 1, 4, 9... bytes.
        for (size_t at = 0, n = 1; at < c.text.size(); at += n, n += 2) {
            std::string piece = c.text.substr(at, n);
            os_stream_write(&stream, String{(u8*)piece.data(), piece.size()});
        }
        EXPECT_TRUE(os_stream_end(&stream)) << c.name;
        EXPECT_EQ(str(os_read_whole_file(arena, from(p))), c.text) << c.name;
        if (c.has_old) {
            EXPECT_EQ(os_path_properties(from(p)).inode == inode, c.kept) << c.name;
        }
        EXPECT_TRUE(temporaries_in(folder).empty()) << c.name;
    }

    // A path through a file: nothing is made, and the end says so.
    write_file(dir / "plain", "x");
    OsFileStream stream;
    EXPECT_FALSE(os_stream_begin(arena, &stream, from((dir / "plain/page.html").string())));
    os_stream_write(&stream, S("text"));
    EXPECT_FALSE(os_stream_end(&stream));
    EXPECT_EQ(str(os_read_whole_file(arena, from((dir / "plain").string()))), "x");
}

// A new file is never seen partly written: it appears with all its bytes at
// once. A reader polls the path while a large file is written.
TEST_F(OsTest, NewFileAppearsWhole) {
    std::string p = (dir / "fresh/page.html").string();
    std::string data(48 << 20, 'p');
    std::atomic<bool> done{false};
    std::atomic<long long> first_size{-1};
    std::thread reader([&] {
        for (;;) {
            bool finished = done.load();
            struct stat st;
            if (stat(p.c_str(), &st) == 0) {
                first_size = (long long)st.st_size;
                break;
            }
            if (finished) break;
        }
    });
    EXPECT_TRUE(os_write_file_atomic(from(p), from(data)));
    done = true;
    reader.join();
    EXPECT_EQ(first_size.load(), (long long)data.size());
    EXPECT_TRUE(temporaries_in(dir / "fresh").empty());
}

// A write that cannot be completed leaves no temporary file and no change.
TEST_F(OsTest, FailedWriteLeavesNoTemporary) {
    fs::create_directories(dir / "site/page.html");  // a folder where the page goes
    write_file(dir / "site/page.html/inside", "kept");
    EXPECT_FALSE(os_write_file_atomic(from((dir / "site/page.html").string()), S("<html></html>")));
    EXPECT_TRUE(temporaries_in(dir / "site").empty());
    EXPECT_TRUE(fs::is_directory(dir / "site/page.html"));
}

// With the guard on, writes stay below the root: not through a folder that
// is a link to elsewhere, not through "..". A page that is itself a link is
// replaced, not written through. Each folder written in is recorded once.
TEST_F(OsTest, GuardedWritesStayBelowTheRoot) {
    fs::path root = dir / "root";
    fs::path outside = dir / "outside";
    fs::create_directories(root / "html");
    fs::create_directories(outside);
    fs::create_symlink(outside, root / "html/linked");
    write_file(outside / "target.html", "outside");
    fs::create_symlink(outside / "target.html", root / "html/link.html");
    fs::create_symlink(root / "html", dir / "root_link");  // the root named through a link

    std::string journal_path = (dir / "journal").string();
    OsFile journal = os_open_file(OS_FILE_READ | OS_FILE_WRITE | OS_FILE_OPEN_ALWAYS, from(journal_path));
    ASSERT_NE(journal, OS_FILE_INVALID);
    std::string root_text = root.string() + "/";
    ASSERT_TRUE(os_write_guard_begin(from(root_text), journal));
    struct Case {
        std::string path;
        bool written;
    } cases[] = {
        {root.string() + "/html/linked/a.html", false},
        {root.string() + "/html/linked/new/b.html", false},
        {root.string() + "/html/x/../../../outside/c.html", false},
        {"relative/d.html", false},
        {root.string() + "/html/new/deeper/e.html", true},
        {root.string() + "/html/./f.html", true},
        {root.string() + "/html/link.html", true},
        {root.string() + "/html/new/deeper/g.html", true},
        {(dir / "root_link/h.html").string(), true},
    };
    for (const Case& c : cases) EXPECT_EQ(os_write_file_atomic(from(c.path), S("page")), c.written) << c.path;
    os_write_guard_end();
    os_close_file(journal);

    std::set<std::string> outside_files;
    for (auto& e : fs::recursive_directory_iterator(outside)) outside_files.insert(e.path().filename().string());
    EXPECT_EQ(outside_files, std::set<std::string>{"target.html"});
    EXPECT_EQ(str(os_read_whole_file(arena, from((outside / "target.html").string()))), "outside");
    EXPECT_FALSE(fs::is_symlink(root / "html/link.html"));
    EXPECT_TRUE(fs::exists(root / "html/new/deeper/e.html"));
    EXPECT_TRUE(fs::exists(root / "html/f.html"));
    EXPECT_TRUE(fs::exists(root / "html/h.html"));
    std::string records = str(os_read_whole_file(arena, from(journal_path)));
    std::string html = root.string() + "/html";
    std::string link = (dir / "root_link").string();
    EXPECT_EQ(records, html + "/new/deeper" + std::string(1, '\0') + html + std::string(1, '\0') + link +
                           std::string(1, '\0'));
    // Without the guard nothing is confined.
    EXPECT_TRUE(os_write_file_atomic(from((outside / "free.html").string()), S("free")));
}

// Every file of `folder` (below it, by relative path) with its bytes, or
// "->target" for a link and "/" for a folder.
std::map<std::string, std::string> tree_of(const fs::path& folder) {
    std::map<std::string, std::string> tree;
    for (auto& e : fs::recursive_directory_iterator(folder)) {
        std::string name = fs::relative(e.path(), folder).string();
        if (e.is_symlink()) {
            tree[name] = "->" + fs::read_symlink(e.path()).string();
        } else if (e.is_directory()) {
            tree[name] = "/";
        } else {
            tree[name] = kavsite_test::read_file(e.path());
        }
    }
    return tree;
}

// True when the kernel's submission ring can be set up here.
bool ring_available() {
    unsigned char params[120] = {};
    long fd = syscall(425 /* io_uring_setup */, 1, params);
    if (fd < 0) return false;
    close((int)fd);
    return true;
}

bool ring_refused_by_environment() {
    const char* off = getenv("KAVSITE_NO_IO_URING");
    return off && off[0] && std::string(off) != "0";
}

// A batch gives each file the outcome and the bytes that writing it alone
// gives, in order (a path written twice ends with its later bytes), under
// the guard, with no temporary left; the ring is used unless refused.
TEST_F(OsTest, BatchedWritesMatchWritesOneByOne) {
    std::string big(3 << 20, 'b');
    struct Case {
        std::string path;  // below the root
        std::string data;
        u32 flags;
        bool written;
    } cases[] = {
        {"html/new/deeper/a.html", "a", OS_WRITE_NEW, true},  // a folder to make
        {"html/new/deeper/b.html", "b", OS_WRITE_NEW, true},
        {"html/new/other/c.html", "c", OS_WRITE_NEW, true},
        {"html/top.html", "new top", 0, true},        // replaced
        {"html/same.html", "same", 0, true},          // holds the bytes already
        {"html/plain/page.html", "x", 0, false},      // its folder is a file
        {"html/folder.html", "x", 0, false},          // a folder where the file goes
        {"html/link.html", "through", 0, true},       // a link is replaced, not written through
        {"html/linked/out.html", "out", 0, false},    // a folder leading outside the root
        {"html/twice.html", "one", OS_WRITE_NEW, true},
        {"html/empty.html", "", OS_WRITE_NEW, true},
        {"html/big.html", big, OS_WRITE_NEW, true},
        {"html/twice.html", "two", 0, true},
        {"html/x/../../../escape.html", "x", 0, false},
    };
    u64 ring_before = os_ring_operations();
    std::map<std::string, std::string> trees[2];
    u64 same_inode[2] = {};
    u64 same_inode_before[2] = {};
    for (int batched = 0; batched < 2; batched += 1) {
        fs::path base = dir / (batched ? "batch" : "single");
        fs::path root = base / "root";
        fs::create_directories(root / "html/folder.html");
        write_file(root / "html/folder.html/inside", "kept");
        write_file(root / "html/top.html", "old top");
        write_file(root / "html/same.html", "same");
        write_file(root / "html/plain", "a file");
        fs::create_directories(base / "outside");
        write_file(base / "outside/target.html", "outside");
        fs::create_symlink(base / "outside/target.html", root / "html/link.html");
        fs::create_symlink(base / "outside", root / "html/linked");
        same_inode_before[batched] = os_path_properties(from((root / "html/same.html").string())).inode;

        ASSERT_TRUE(os_write_guard_begin(from(root.string() + "/"), OS_FILE_INVALID));
        std::vector<std::string> paths;
        for (const Case& c : cases) paths.push_back((root / c.path).string());
        if (batched) {
            std::vector<OsFileWrite> writes;
            for (size_t i = 0; i < paths.size(); i += 1) {
                writes.push_back(OsFileWrite{from(paths[i]), from(cases[i].data), cases[i].flags, !cases[i].written});
            }
            os_write_files_atomic(writes.data(), writes.size());
            for (size_t i = 0; i < paths.size(); i += 1) EXPECT_EQ(writes[i].ok, cases[i].written) << "batch " << paths[i];
        } else {
            for (size_t i = 0; i < paths.size(); i += 1) {
                bool ok = os_write_file_atomic(from(paths[i]), from(cases[i].data), cases[i].flags);
                EXPECT_EQ(ok, cases[i].written) << "alone " << paths[i];
            }
        }
        os_write_guard_end();
        same_inode[batched] = os_path_properties(from((root / "html/same.html").string())).inode;
        trees[batched] = tree_of(base);
    }
    EXPECT_EQ(trees[1], trees[0]);
    EXPECT_EQ(trees[1]["root/html/twice.html"], "two");
    EXPECT_EQ(trees[1]["root/html/big.html"].size(), big.size());
    EXPECT_EQ(trees[1]["outside/target.html"], "outside");
    EXPECT_EQ(trees[1]["root/html/folder.html/inside"], "kept");
    EXPECT_EQ(trees[1].count("escape.html"), 0u);
    for (const auto& [name, bytes] : trees[1]) EXPECT_EQ(name.find(OS_TEMP_PREFIX), std::string::npos) << name;
    // A file that holds the bytes is left alone either way.
    EXPECT_EQ(same_inode[0], same_inode_before[0]);
    EXPECT_EQ(same_inode[1], same_inode_before[1]);
    if (ring_refused_by_environment()) {
        EXPECT_EQ(os_ring_operations(), 0u);
    } else if (ring_available()) {
        EXPECT_GT(os_ring_operations(), ring_before);
    }
}

// A write cut short (the file-size limit here, as a full disk would) fails
// that file alone: the old bytes stay, no temporary is left, the files
// around it are written.
TEST_F(OsTest, BatchedWriteCutShortFailsThatFileAlone) {
    fs::path folder = dir / "site";
    write_file(folder / "large.html", "old large");
    std::string large(256 << 10, 'l');
    std::string a = (folder / "a.html").string(), l = (folder / "large.html").string(), b = (folder / "b.html").string();
    std::vector<OsFileWrite> writes = {
        {from(a), S("a"), OS_WRITE_NEW, false},
        {from(l), from(large), 0, true},
        {from(b), S("b"), OS_WRITE_NEW, false},
    };
    struct rlimit before;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    void (*old_handler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limited = before;
    limited.rlim_cur = 64 << 10;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    os_write_files_atomic(writes.data(), writes.size());
    bool alone = os_write_file_atomic(from(l), from(large));
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, old_handler);

    EXPECT_TRUE(writes[0].ok);
    EXPECT_FALSE(writes[1].ok);
    EXPECT_TRUE(writes[2].ok);
    EXPECT_FALSE(alone);
    EXPECT_EQ(kavsite_test::read_file(folder / "large.html"), "old large");
    EXPECT_EQ(kavsite_test::read_file(folder / "b.html"), "b");
    EXPECT_TRUE(temporaries_in(folder).empty());
}

// Stats of many paths say what os_path_properties says of each.
TEST_F(OsTest, ManyPathPropertiesMatchOneByOne) {
    write_file(dir / "file", "four");
    fs::create_directories(dir / "folder");
    fs::create_symlink(dir / "file", dir / "link");
    fs::create_symlink("nowhere", dir / "dead");
    std::vector<std::string> names = {"file", "folder", "link", "dead", "missing", "file/below", std::string(300, 'n')};
    std::vector<std::string> full;
    for (const std::string& n : names) full.push_back((dir / n).string());
    std::vector<String> paths;
    for (const std::string& f : full) paths.push_back(from(f));
    paths.push_back(String{});
    std::vector<OsFileProperties> many(paths.size());
    os_path_properties_many(paths.data(), many.data(), paths.size());
    for (size_t i = 0; i < paths.size(); i += 1) {
        OsFileProperties one = os_path_properties(paths[i]);
        std::string shown = str(paths[i]);
        EXPECT_EQ(many[i].exists, one.exists) << shown;
        EXPECT_EQ(many[i].error, one.error) << shown;
        EXPECT_EQ(many[i].is_regular, one.is_regular) << shown;
        EXPECT_EQ(many[i].is_directory, one.is_directory) << shown;
        EXPECT_EQ(many[i].size, one.size) << shown;
        EXPECT_EQ(many[i].inode, one.inode) << shown;
        EXPECT_EQ(many[i].device, one.device) << shown;
        EXPECT_EQ(many[i].last_write_time, one.last_write_time) << shown;
    }
    EXPECT_EQ(many[2].inode, many[0].inode);  // a link is followed
    EXPECT_EQ(many[0].size, 4u);
}

// Stale temporaries go from the folders a journal names, below the root, and
// only files named as temporaries are touched.
TEST_F(OsTest, StaleTemporariesRemovedFromRecordedFoldersOnly) {
    fs::path root = dir / "root";
    const std::vector<std::string> kept = {"keep.html", ".kavsite-tmp-x.html", ".kavsite-tmp-12-y.html",
                                           ".kavsite-tmp--3-z.html", ".kavsite-tmp-1-2-"};
    const std::string stale = ".kavsite-tmp-123-4-page.html";
    for (const char* folder : {"html/a", "html/b", "html/unrecorded"}) {
        for (const std::string& name : kept) write_file(root / folder / name, "x");
        write_file(root / folder / stale, "<html><bo");
    }
    fs::create_directories(root / "html/a" / ".kavsite-tmp-9-9-folder");  // a folder is never removed
    write_file(dir / "outside" / stale, "x");
    std::string journal = (root / "html/a").string() + std::string(1, '\0') + (root / "html/b").string() +
                          std::string(1, '\0') + (dir / "outside").string() + std::string(1, '\0') +
                          (root / "html/a").string() + std::string(1, '\0') + (root / "html/gone").string();
    EXPECT_EQ(os_remove_stale_temporaries(from(root.string() + "/"), from(journal)), 2u);
    for (const char* folder : {"html/a", "html/b", "html/unrecorded"}) {
        for (const std::string& name : kept) EXPECT_TRUE(fs::exists(root / folder / name)) << folder << "/" << name;
    }
    EXPECT_FALSE(fs::exists(root / "html/a" / stale));
    EXPECT_FALSE(fs::exists(root / "html/b" / stale));
    EXPECT_TRUE(fs::exists(root / "html/unrecorded" / stale));
    EXPECT_TRUE(fs::exists(dir / "outside" / stale));
    EXPECT_TRUE(fs::is_directory(root / "html/a" / ".kavsite-tmp-9-9-folder"));
}

// The lock of a file is held by one opening of it at a time.
TEST_F(OsTest, FileLockIsExclusive) {
    std::string p = (dir / "lock").string();
    OsFile first = os_open_file(OS_FILE_READ | OS_FILE_WRITE | OS_FILE_OPEN_ALWAYS, from(p));
    OsFile second = os_open_file(OS_FILE_READ | OS_FILE_WRITE | OS_FILE_OPEN_ALWAYS, from(p));
    ASSERT_NE(first, OS_FILE_INVALID);
    ASSERT_NE(second, OS_FILE_INVALID);
    EXPECT_TRUE(os_lock_file(first, false));
    EXPECT_FALSE(os_lock_file(second, false));
    std::atomic<bool> taken{false};
    std::thread waiter([&] { taken = os_lock_file(second, true); });
    os_sleep(50);
    EXPECT_FALSE(taken.load());
    os_unlock_file(first);
    waiter.join();
    EXPECT_TRUE(taken.load());
    os_close_file(first);
    os_close_file(second);
    // Opening always keeps what the file holds.
    write_file(dir / "kept", "text");
    OsFile kept = os_open_file(OS_FILE_READ | OS_FILE_WRITE | OS_FILE_OPEN_ALWAYS, from((dir / "kept").string()));
    EXPECT_EQ(os_file_properties(kept).size, 4u);
    os_close_file(kept);
}

// Why a path could not be used, for the messages that name it.
TEST_F(OsTest, ErrorsSayWhyAPathCannotBeUsed) {
    write_file(dir / "file", "x");
    fs::create_symlink("nowhere", dir / "dead");
    std::string too_long = dir.string() + "/" + std::string(300, 'n');
    struct Case {
        std::string path;
        u32 error;
    } cases[] = {
        {(dir / "missing").string(), OS_FILE_ERROR_MISSING},
        {(dir / "dead").string(), OS_FILE_ERROR_MISSING},
        {(dir / "file/below").string(), OS_FILE_ERROR_NOT_DIRECTORY},
        {too_long, OS_FILE_ERROR_NAME_TOO_LONG},
        {dir.string(), OS_FILE_ERROR_NOT_REGULAR},
        {"/dev/null", OS_FILE_ERROR_NOT_REGULAR},
    };
    for (const Case& c : cases) {
        u32 error = OS_FILE_ERROR_NONE;
        EXPECT_EQ(os_open_file(OS_FILE_READ, from(c.path), &error), OS_FILE_INVALID) << c.path;
        EXPECT_EQ(error, c.error) << c.path;
        if (c.error != OS_FILE_ERROR_NOT_REGULAR) {
            OsFileProperties props = os_path_properties(from(c.path));
            EXPECT_FALSE(props.exists);
            EXPECT_EQ(props.error, c.error) << c.path;
        }
    }
    std::string missing_text = (dir / "missing").string() + "/";
    String missing_dir = from(missing_text);
    EXPECT_EQ(os_dir_begin(arena, &missing_dir).error, (u32)OS_FILE_ERROR_MISSING);
    EXPECT_EQ(str(os_real_path(arena, from(dir.string() + "/./file"))), fs::canonical(dir / "file").string());
    EXPECT_EQ(os_real_path(arena, from((dir / "dead").string())).size, 0u);
}

TEST_F(OsTest, DirectoryListingIsSortedAndSkipsDots) {
    for (const char* name : {"b.kav", "B.kav", "a.kav", "Zed", "_x", "é.kav"}) write_file(dir / name, "1");
    fs::create_directories(dir / "sub");
    std::string listed = dir.string() + "/";
    String path = from(listed);
    OsDirIter it = os_dir_begin(arena, &path);
    std::string names;
    OsDirEntry e;
    int dirs = 0;
    while (os_dir_next(arena, &it, &e)) {
        names += str(e.name) + ",";
        EXPECT_NE(str(e.name), ".");
        EXPECT_NE(str(e.name), "..");
        if (e.flags & OS_DIR_ENTRY_DIRECTORY) dirs += 1;
    }
    // Folded compare ("_" before letters once A-Z fold to a-z), ties by raw
    // bytes ("B" before "b").
    EXPECT_EQ(names, "_x,a.kav,B.kav,b.kav,sub,Zed,é.kav,");
    EXPECT_EQ(dirs, 1);
    std::string none_path = dir.string() + "/none/";
    String missing = from(none_path);
    OsDirIter none = os_dir_begin(arena, &missing);
    EXPECT_FALSE(os_dir_next(arena, &none, &e));
}

TEST_F(OsTest, DirBeginCutsAfterLastSeparator) {
    write_file(dir / "x.kav", "1");
    std::string file = dir.string() + "/x.kav";
    String path = from(file);
    OsDirIter it = os_dir_begin(arena, &path);
    EXPECT_EQ(str(path), dir.string() + "/");
    OsDirEntry e;
    ASSERT_TRUE(os_dir_next(arena, &it, &e));
    EXPECT_EQ(str(e.name), "x.kav");
}

TEST(OsTime, NeverDecreases) {
    u64 last = os_now_microseconds();
    for (int i = 0; i < 10000; i += 1) {
        u64 now = os_now_microseconds();
        EXPECT_GE(now, last);
        last = now;
    }
    u64 before = os_now_microseconds();
    os_sleep(20);
    EXPECT_GE(os_now_microseconds() - before, 19000u);
}

std::atomic<int> g_started;
OsMutex* g_mutex;
OsCondition* g_cv;
int g_value;

void worker(u64 param) {
    os_set_thread_name("[Test] Worker #%llu", (unsigned long long)param);
    ThreadContext* ctx = thread_context_get();
    EXPECT_EQ(std::string((char*)ctx->name, ctx->name_length), "[Test] Worker #" + std::to_string(param));
    // Every thread has its own scratch arenas.
    Scratch scratch;
    string_format(scratch.arena, "%d", (int)param);
    os_mutex_lock(g_mutex);
    g_value += (int)param;
    g_started += 1;
    os_condition_broadcast(g_cv);
    os_mutex_unlock(g_mutex);
}

TEST(OsThreads, StartNamedThreadsAndWaitOnCondition) {
    os_init();
    g_mutex = os_mutex_alloc();
    g_cv = os_condition_alloc();
    for (u64 i = 1; i <= 4; i += 1) ASSERT_NE(os_thread_start(worker, i), nullptr);
    os_mutex_lock(g_mutex);
    u64 deadline = os_now_microseconds() + 10 * 1000 * 1000;
    while (g_started < 4 && os_now_microseconds() < deadline) os_condition_wait_mutex(g_cv, g_mutex, deadline);
    os_mutex_unlock(g_mutex);
    EXPECT_EQ(g_value, 10);
}

TEST(OsThreads, ConditionDeadlinePasses) {
    os_init();
    OsRwLock* lock = os_rw_lock_alloc();
    OsCondition* cv = os_condition_alloc();
    u64 start = os_now_microseconds();
    os_rw_lock_shared(lock);
    bool woken = os_condition_wait_rw(cv, lock, start + 30000, true);
    os_rw_unlock_shared(lock);
    EXPECT_FALSE(woken);
    EXPECT_GE(os_now_microseconds() - start, 29000u);
    os_rw_lock_exclusive(lock);
    EXPECT_FALSE(os_condition_wait_rw(cv, lock, os_now_microseconds() + 1000, false));
    os_rw_unlock_exclusive(lock);
}

TEST(Diagnostics, PositionsAndConcat) {
    String text = S("ab\ncd\n\nx");
    TextPosition p = text_position(text, 0);
    EXPECT_EQ(p.line, 1);
    EXPECT_EQ(p.column, 1);
    p = text_position(text, 3);
    EXPECT_EQ(p.line, 2);
    EXPECT_EQ(p.column, 1);
    p = text_position(text, 7);
    EXPECT_EQ(p.line, 4);
    EXPECT_EQ(p.column, 1);
    p = text_position(text, 1000);
    EXPECT_EQ(p.line, 4);
    EXPECT_EQ(p.column, 2);

    Arena* arena = arena_create(MB(1), KB(4));
    DiagnosticList a = {}, b = {};
    diag_append_at(arena, &a, 0, 0, DIAG_WARNING, S("one"));
    diag_append_at(arena, &b, 0, 4, DIAG_FATAL, S("two"));
    diag_append_at(arena, &b, 0, 5, DIAG_NOTE, S("three"));
    diag_concat(&a, &b);
    EXPECT_EQ(a.count, 3u);
    EXPECT_EQ(a.max_level, DIAG_FATAL);
    EXPECT_EQ(b.count, 0u);
    EXPECT_EQ(b.first, nullptr);
    DiagnosticList empty = {};
    diag_concat(&empty, &a);
    EXPECT_EQ(empty.count, 3u);
    EXPECT_EQ(str(empty.last->message), "three");

    testing::internal::CaptureStdout();
    diag_print_list(&empty, S("doc.kav"), text);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out,
              "warning: \ntoken: one\ndoc.kav:1:1\n"
              "fatal error: \ntoken: two\ndoc.kav:2:2\n"
              "note: \ntoken: three\ndoc.kav:2:3\n");
    testing::internal::CaptureStdout();
    Diagnostic unnamed = {};
    unnamed.level = DIAG_UNNAMED;
    unnamed.message = S("m");
    diag_print(&unnamed, S("p"), text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), ": \ntoken: m\np:1:1\n");
    arena_release(arena);
}

}  // namespace
