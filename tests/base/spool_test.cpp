// Bytes appended to a spool come back in order, whole, wherever they are
// kept: in its unnamed file, in memory when there is no file, and across
// the point where a full disk made it move to memory.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "base/os.h"
#include "base/spool.h"
#include "support/files.h"
#include "support/strings.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::TempDir;

// Records of sizes around the buffer's: small ones that share a buffer, one
// that fills it exactly, larger ones written past it.
std::vector<std::string> records() {
    std::vector<std::string> out;
    const u64 sizes[] = {1, 7, 100, 3000, SPOOL_BUFFER_SIZE - 5, SPOOL_BUFFER_SIZE, SPOOL_BUFFER_SIZE + 1,
                         3 * SPOOL_BUFFER_SIZE + 17, 12, 40000, 40000, 40000, 5};
    char c = 'a';
    for (u64 size : sizes) {
        std::string r(size, c);
        r.front() = '<';
        r.back() = '>';
        out.push_back(r);
        c = c == 'z' ? 'a' : c + 1;
    }
    return out;
}

// Appends every record, then reads each back: its size first, as a
// caller with a length-prefixed layout would, then its bytes.
std::string round_trip(Spool* spool) {
    std::vector<std::string> recs = records();
    for (const std::string& r : recs) {
        u64 size = r.size();
        spool_append(spool, String{(u8*)&size, sizeof(size)});
        spool_append(spool, from(r));
    }
    SpoolCursor cursor = {};
    for (const std::string& r : recs) {
        const u8* size_bytes = spool_read(spool, &cursor, sizeof(u64));
        if (!size_bytes) return "no size for a record of " + std::to_string(r.size());
        u64 size = 0;
        memcpy(&size, size_bytes, sizeof(size));
        if (size != r.size()) return "size " + std::to_string(size) + " for " + std::to_string(r.size());
        const u8* bytes = spool_read(spool, &cursor, size);
        if (!bytes || std::string((const char*)bytes, size) != r) return "bytes of a record of " + std::to_string(size);
    }
    if (spool_read(spool, &cursor, 1)) return "a byte past the end";
    spool_cursor_end(&cursor);
    return "";
}

TEST(SpoolTest, RecordsComeBackWhereverTheyAreKept) {
    TempDir temp;
    struct Case {
        const char* name;
        std::string dir;
        bool in_file;
    } cases[] = {
        {"unnamed file", temp.path.string(), true},
        {"memory (no such folder)", (temp.path / "missing").string(), false},
    };
    for (const Case& c : cases) {
        Spool spool;
        spool_open(&spool, from(c.dir));
        EXPECT_EQ(round_trip(&spool), "") << c.name;
        EXPECT_EQ(spool.file != OS_FILE_INVALID, c.in_file) << c.name;
        if (c.in_file) {
            EXPECT_GT(spool.filed, 3 * SPOOL_BUFFER_SIZE) << c.name << ": the bytes stayed in memory";
        }
        spool_close(&spool);
        EXPECT_TRUE(fs::is_empty(temp.path)) << c.name;
    }
}

// A spool that never holds more than its buffer never makes a file.
TEST(SpoolTest, ASmallSpoolStaysInMemory) {
    TempDir temp;
    Spool spool;
    spool_open(&spool, from(temp.path.string()));
    std::string bytes(SPOOL_BUFFER_SIZE, 'x');
    for (u64 at = 0; at < bytes.size(); at += 1000) spool_append(&spool, from(bytes.substr(at, 1000)));
    EXPECT_EQ(spool.file, OS_FILE_INVALID);
    SpoolCursor cursor = {};
    const u8* all = spool_read(&spool, &cursor, bytes.size());
    ASSERT_NE(all, nullptr);
    EXPECT_EQ(std::string((const char*)all, bytes.size()), bytes);
    spool_append(&spool, S("y"));
    EXPECT_NE(spool.file, OS_FILE_INVALID) << "a byte past the buffer";
    const u8* last = spool_read(&spool, &cursor, 1);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(*last, 'y');
    spool_cursor_end(&cursor);
    spool_close(&spool);
}

// In a child process: a file size limit stands in for a full disk.
void fill_past_a_size_limit(const std::string& dir) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = {150000, 150000};
    setrlimit(RLIMIT_FSIZE, &limit);
    Spool spool;
    spool_open(&spool, from(dir));
    std::string problem = round_trip(&spool);
    bool moved = spool.lost && spool.filed > 0 && spool.filed <= 150000;
    fprintf(stderr, "%s%s", problem.c_str(), moved ? "" : " the file took everything");
    _exit(problem.empty() && moved ? 0 : 1);
}

// The writes fall short part way; the rest of the bytes is kept in memory,
// none lost.
TEST(SpoolTest, AShortWriteMovesTheRestToMemory) {
    TempDir temp;
    EXPECT_EXIT(fill_past_a_size_limit(temp.path.string()), ::testing::ExitedWithCode(0), "");
}

}  // namespace
