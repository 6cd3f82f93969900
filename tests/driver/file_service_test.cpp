// The file service on real files under /tmp: keys, sharing of identical
// contents, reloads after a change, failures, and many threads at once.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/child.h"
#include "support/service_fixture.h"
#include "support/strings.h"
#include "base/os.h"
#include "driver/file_service.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::bytes_read_by_process;
using kavsite_test::str;
using kavsite_test::write_file;

// Generous limit so a broken service fails the test instead of hanging it.
u64 soon() { return os_now_microseconds() + 60ull * 1000 * 1000; }

// Waits until the scanner has finished `passes` more passes.
void wait_for_scans(u64 passes) {
    u64 target = fs_stats().scans + passes;
    u64 deadline = soon();
    while (fs_stats().scans < target && os_now_microseconds() < deadline) os_sleep(5);
    ASSERT_GE(fs_stats().scans, target) << "scanner did not run";
}

struct FileServiceTest : kavsite_test::ServiceTest {
    std::string path(const std::string& name) { return (dir / name).string(); }
};

// The system keeps the first 15 bytes of a thread name.
TEST_F(FileServiceTest, StreamersAndScannerRunUnderTheirNames) {
    int processors = (int)os_system_info()->processor_count;
    int streamers = 0, scanners = 0;
    // The threads name themselves once they run.
    for (u64 deadline = soon(); os_now_microseconds() < deadline; os_sleep(5)) {
        streamers = scanners = 0;
        for (const auto& task : fs::directory_iterator("/proc/self/task")) {
            std::string name;
            std::getline(std::ifstream(task.path() / "comm"), name);
            if (name == "[FS] Streamer #") streamers += 1;
            if (name == "[FS] Scanner") scanners += 1;
        }
        if (streamers == std::max(processors - 1, 2) && scanners == 1) break;
    }
    EXPECT_EQ(streamers, std::max(processors - 1, 2));
    EXPECT_EQ(scanners, 1);
}

int threads_named(const std::string& wanted) {
    int count = 0;
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::string name;
        std::getline(std::ifstream(task.path() / "comm"), name);
        if (name == wanted) count += 1;
    }
    return count;
}

// A build pauses the scanner before the service starts: its thread is not
// started until the pause ends. Run in a child process made before the
// service starts.
TEST(FileServiceStart, ScannerPausedBeforeTheStartHasNoThreadUntilResumed) {
    if (threads_named("[FS] Streamer #") > 0) GTEST_SKIP() << "the service was started by an earlier test";
    std::string failure = kavsite_test::run_in_child(
        []() {
            os_init();
            fs_init();
            fs_scanner_pause(true);
            fs_start();
            os_sleep(200);
            if (threads_named("[FS] Scanner") != 0) return 1;
            fs_scanner_pause(false);
            for (u64 deadline = soon(); os_now_microseconds() < deadline; os_sleep(5)) {
                if (threads_named("[FS] Scanner") == 1) return 0;
            }
            return 2;
        },
        120);
    EXPECT_EQ(failure, "");
}

TEST_F(FileServiceTest, SamePathTwiceGivesSameKeyWithoutSecondRead) {
    std::string p = path("doc.kav");
    write_file(p, "title: one\n");
    FileKey first = fs_request_file(from(p), soon());
    ASSERT_FALSE(fs_key_is_zero(first));
    FileKey second = fs_request_file(from(p), soon());
    EXPECT_TRUE(fs_key_equal(first, second));
    EXPECT_EQ(first.last_write_time, second.last_write_time);
    EXPECT_NE(first.last_write_time, 0u);
    EXPECT_EQ(str(fs_loaded_file(second)), "title: one\n");
    EXPECT_EQ(fs_request_load_count(from(p)), 1u);
    // A different path that was never asked for has no record.
    EXPECT_EQ(fs_request_load_count(from(path("other.kav"))), 0u);
}

// Paths that are loaded once stay loaded once while the scanner keeps
// passing over them, whatever they name.
TEST_F(FileServiceTest, UnchangedPathsAreNotReloadedByTheScanner) {
    fs::create_directories(dir / "folder");
    write_file(dir / "text.kav", "some text");
    write_file(dir / "empty.kav", "");
    struct Case {
        const char* name;
        const char* bytes;
    };
    const Case cases[] = {
        {"text.kav", "some text"},
        {"empty.kav", ""},
        {"missing.kav", ""},
        {"folder", ""},  // a directory is not a file: empty bytes
    };
    for (const Case& c : cases) {
        FileKey key = fs_request_file(from(path(c.name)), soon());
        ASSERT_FALSE(fs_key_is_zero(key)) << c.name;
        EXPECT_EQ(str(fs_loaded_file(key)), c.bytes) << c.name;
    }
    wait_for_scans(3);
    for (const Case& c : cases) {
        // A reload in flight would make this request wait for it.
        FileKey key = fs_request_file(from(path(c.name)), soon());
        EXPECT_EQ(str(fs_loaded_file(key)), c.bytes) << c.name;
        EXPECT_EQ(fs_request_load_count(from(path(c.name))), 1u) << c.name << " was reloaded";
    }
}

TEST_F(FileServiceTest, IdenticalContentsShareOneRecord) {
    std::string text = "same bytes in two files\n";
    write_file(dir / "a.kav", text);
    write_file(dir / "sub/b.kav", text);
    write_file(dir / "c.kav", text + "!");
    FsStats before = fs_stats();
    FileKey a = fs_request_file(from(path("a.kav")), soon());
    FileKey b = fs_request_file(from(path("sub/b.kav")), soon());
    FileKey c = fs_request_file(from(path("c.kav")), soon());
    ASSERT_FALSE(fs_key_is_zero(a));
    EXPECT_TRUE(fs_key_equal(a, b));
    EXPECT_FALSE(fs_key_equal(a, c));
    String bytes_a = fs_loaded_file(a);
    String bytes_b = fs_loaded_file(b);
    EXPECT_EQ(bytes_a.str, bytes_b.str) << "identical contents are stored twice";
    EXPECT_EQ(str(bytes_a), text);
    EXPECT_EQ(str(fs_loaded_file(c)), text + "!");
    FsStats after = fs_stats();
    EXPECT_EQ(after.loads - before.loads, 3u);
    EXPECT_EQ(after.duplicates - before.duplicates, 1u);
    EXPECT_EQ(after.stored - before.stored, 2u);
}

TEST_F(FileServiceTest, ChangedFileGivesNewKeyAfterScannerPass) {
    struct Case {
        const char* name;
        const char* before;  // null: the file does not exist at first
        const char* after;   // null: the file is removed
    };
    const Case cases[] = {
        {"rewritten.kav", "version one", "version two, longer"},
        {"same-length.kav", "aaaa", "bbbb"},
        {"created-later.kav", nullptr, "now it exists"},
        {"emptied.kav", "had bytes", ""},
        {"filled.kav", "", "got bytes"},
        {"removed.kav", "soon gone", nullptr},
    };
    std::vector<FileKey> first;
    for (const Case& c : cases) {
        if (c.before) write_file(dir / c.name, c.before);
        FileKey key = fs_request_file(from(path(c.name)), soon());
        ASSERT_FALSE(fs_key_is_zero(key)) << c.name;
        EXPECT_EQ(str(fs_loaded_file(key)), c.before ? c.before : "") << c.name;
        first.push_back(key);
    }
    for (const Case& c : cases) {
        if (!c.after) {
            fs::remove(dir / c.name);
            continue;
        }
        write_file(dir / c.name, c.after);
        // File times can be coarser than the time between two writes; move
        // the time on so the change is visible.
        if (c.before) fs::last_write_time(dir / c.name, fs::last_write_time(dir / c.name) + std::chrono::seconds(2));
    }
    for (size_t i = 0; i < std::size(cases); i += 1) {
        const Case& c = cases[i];
        u64 deadline = soon();
        FileKey key = first[i];
        while (fs_key_equal(key, first[i]) && os_now_microseconds() < deadline) {
            os_sleep(10);
            key = fs_request_file(from(path(c.name)), soon());
        }
        EXPECT_FALSE(fs_key_equal(key, first[i])) << c.name << " kept its old key";
        EXPECT_EQ(str(fs_loaded_file(key)), c.after ? c.after : "") << c.name;
        EXPECT_NE(key.last_write_time, first[i].last_write_time) << c.name;
    }
}

TEST_F(FileServiceTest, PathsThatCannotFitTheQueueFailAtOnce) {
    // The longest path that fits the ring is queued and completes (the
    // system rejects the name, so the bytes are empty).
    std::string longest = "/tmp/" + std::string(FS_PATH_MAX - 5, 'a');
    ASSERT_EQ(longest.size(), FS_PATH_MAX);
    FileKey fits = fs_request_file(from(longest), soon());
    EXPECT_FALSE(fs_key_is_zero(fits));
    EXPECT_EQ(fs_loaded_file(fits).size, 0u);

    std::string too_long = longest + "a";
    EXPECT_EQ(fs_submit(from(too_long), soon()), 0u);
    EXPECT_EQ(fs_submit(from(too_long), DEADLINE_NONE), 0u);
    const u64 deadlines[] = {0, soon(), DEADLINE_NONE};
    for (u64 deadline : deadlines) {
        FileKey key = fs_request_file(from(too_long), deadline);
        EXPECT_TRUE(fs_key_is_zero(key));
        EXPECT_EQ(key.last_write_time, 0u);
        EXPECT_EQ(fs_loaded_file(key).size, 0u);
    }
    EXPECT_EQ(fs_request_load_count(from(too_long)), 0u);
}

TEST_F(FileServiceTest, PassedDeadlineQueuesAndReturnsZeroes) {
    std::string p = path("ahead.kav");
    write_file(p, "read ahead");
    // Queued but not waited for.
    FileKey early = fs_request_file(from(p), 0);
    FileKey key = fs_request_file(from(p), soon());
    ASSERT_FALSE(fs_key_is_zero(key));
    EXPECT_EQ(str(fs_loaded_file(key)), "read ahead");
    if (fs_key_is_zero(early)) {
        EXPECT_EQ(early.last_write_time, 0u);
    }
    // Loaded now: a passed deadline gives the key at once.
    EXPECT_TRUE(fs_key_equal(fs_request_file(from(p), 0), key));
    EXPECT_EQ(fs_request_load_count(from(p)), 1u);
}

TEST_F(FileServiceTest, UnknownKeyGivesNoBytes) {
    FileKey none = {};
    EXPECT_EQ(fs_loaded_file(none).size, 0u);
    FileKey made_up = {{0x1234, 0x5678}, 0, 0, 0};
    EXPECT_EQ(fs_loaded_file(made_up).size, 0u);
}

TEST_F(FileServiceTest, StoredBytesAreReadOnly) {
    // The bytes are loaded before the fork; the child needs no service thread.
    GTEST_FLAG_SET(death_test_style, "fast");
    std::string p = path("frozen.kav");
    write_file(p, std::string(10000, 'x'));
    FileKey key = fs_request_file(from(p), soon());
    String bytes = fs_loaded_file(key);
    ASSERT_EQ(bytes.size, 10000u);
    EXPECT_DEATH({ bytes.str[bytes.size / 2] = 'y'; }, "");
    EXPECT_EQ(bytes.str[bytes.size / 2], 'x');
}

TEST_F(FileServiceTest, LargeFileIsReadWhole) {
    std::string text;
    std::mt19937 rng(7);
    for (int i = 0; i < 3 * 1024 * 1024; i += 1) text.push_back((char)('a' + rng() % 26));
    // Exactly one megabyte: the arena header must not push the bytes out of
    // their reservation.
    std::string mega(1024 * 1024, 'm');
    write_file(dir / "big.txt", text);
    write_file(dir / "mega.txt", mega);
    EXPECT_EQ(str(fs_loaded_file(fs_request_file(from(path("big.txt")), soon()))), text);
    EXPECT_EQ(str(fs_loaded_file(fs_request_file(from(path("mega.txt")), soon()))), mega);
}

// A request that gets no bytes says why, and a file above the size limit is
// not read at all: a 4 GiB file (sparse, so it costs nothing) comes back at
// once with its size and no bytes.
TEST_F(FileServiceTest, RequestsSayWhyAFileWasNotRead) {
    write_file(dir / "small.kav", "title: s\n");
    write_file(dir / "empty.kav", "");
    std::string huge = path("huge.kav");
    write_file(huge, "title: h\n");
    ASSERT_EQ(truncate(huge.c_str(), 4ll << 30), 0);
    ASSERT_EQ(mkfifo(path("pipe.kav").c_str(), 0644), 0);
    fs::create_symlink("nowhere.kav", dir / "dead.kav");
    std::string long_name = path(std::string(300, 'n') + ".kav");
    struct Case {
        std::string path;
        u64 limit;
        u32 error;
        u64 size;
        std::string bytes;
    } cases[] = {
        {path("small.kav"), 64, OS_FILE_ERROR_NONE, 9, "title: s\n"},
        {path("empty.kav"), 64, OS_FILE_ERROR_NONE, 0, ""},
        {huge, MB(64), OS_FILE_ERROR_TOO_LARGE, 4ull << 30, ""},
        {path("small.kav") + "x", 0, OS_FILE_ERROR_MISSING, 0, ""},
        {path("dead.kav"), 0, OS_FILE_ERROR_MISSING, 0, ""},
        {path("pipe.kav"), 0, OS_FILE_ERROR_NOT_REGULAR, 0, ""},
        {long_name, 0, OS_FILE_ERROR_NAME_TOO_LONG, 0, ""},
    };
    for (const Case& c : cases) {
        long long before = bytes_read_by_process();
        FileKey key = fs_request_file_up_to(from(c.path), c.limit, soon());
        ASSERT_FALSE(fs_key_is_zero(key)) << c.path;
        EXPECT_EQ(key.error, c.error) << c.path;
        EXPECT_EQ(key.size, c.size) << c.path;
        EXPECT_EQ(str(fs_loaded_file(key)), c.bytes) << c.path;
        EXPECT_LT(bytes_read_by_process() - before, (long long)MB(1)) << c.path << ": read";
    }
}

// Many threads ask for many files, in different orders, at once. Paths of
// many lengths make the queue wrap around several times.
// A released load gives its bytes back once no other load holds them, and a
// later request reads the file again; blocks of small files go back to the
// system once every file in them is released.
TEST_F(FileServiceTest, ReleasedFilesAreGivenBackAndReadAgain) {
    std::string same = "same bytes in two files\n";
    std::string big(300 * 1024, 'b');  // above the packing limit: an arena of its own
    write_file(dir / "a.kav", same);
    write_file(dir / "b.kav", same);
    write_file(dir / "big.kav", big);
    FileKey a = fs_request_file(from(path("a.kav")), soon());
    FileKey b = fs_request_file(from(path("b.kav")), soon());
    FileKey c = fs_request_file(from(path("big.kav")), soon());
    ASSERT_TRUE(fs_key_equal(a, b));

    fs_release_file(from(path("a.kav")));
    EXPECT_EQ(str(fs_loaded_file(b)), same) << "b's load still holds the shared bytes";
    fs_release_file(from(path("b.kav")));
    EXPECT_EQ(fs_loaded_file(b).size, 0u) << "no load holds them any more";
    fs_release_file(from(path("big.kav")));
    EXPECT_EQ(fs_loaded_file(c).size, 0u);

    FileKey again = fs_request_file(from(path("a.kav")), soon());
    EXPECT_EQ(str(fs_loaded_file(again)), same);
    EXPECT_EQ(fs_request_load_count(from(path("a.kav"))), 2u);
    EXPECT_EQ(str(fs_loaded_file(fs_request_file(from(path("big.kav")), soon()))), big);
    fs_release_file(from(path("a.kav")));
    fs_release_file(from(path("big.kav")));

    // Twenty megabytes of small files, each read and released in turn, as a
    // build reads its documents: the blocks they filled are given back.
    u64 blocks_before = fs_stats().pack_blocks;
    std::string text(64 * 1024, 'x');
    for (int i = 0; i < 320; i += 1) {
        std::string name = "many/f" + std::to_string(i) + ".kav";
        text[0] = (char)('a' + i % 26);
        text[1] = (char)('a' + i / 26 % 26);
        write_file(dir / name, text);
        FileKey key = fs_request_file(from(path(name)), soon());
        ASSERT_EQ(str(fs_loaded_file(key)), text) << name;
        fs_release_file(from(path(name)));
    }
    u64 streamers = os_system_info()->processor_count > 2 ? os_system_info()->processor_count - 1 : 2;
    EXPECT_LE(fs_stats().pack_blocks, blocks_before + streamers) << "blocks of released files were kept";
}

void drain_queue(const std::string& folder);

// Pauses the scanner for one test, as a build does: released records are
// then retired. Items left in the queue by earlier tests are taken first.
// (A pass in flight can still reload other tests' paths: these tests count
// loads by path, not by the service's total.)
struct ScannerPaused {
    explicit ScannerPaused(const std::string& folder) {
        fs_scanner_pause(true);
        drain_queue(folder);
    }
    ~ScannerPaused() { fs_scanner_pause(false); }
};

// Makes the streamers go through the queue: read-ahead items do not wake
// them one by one, a submitted item does (one of a path without a record
// reads nothing). Once the markers queued last are loaded, every item
// queued before them was taken.
void drain_queue(const std::string& folder) {
    std::vector<std::string> markers;
    for (int i = 0; i < 8; i += 1) {
        markers.push_back(folder + "/marker" + std::to_string(i));
        fs_request_file(from(markers.back()), 0);
    }
    ASSERT_EQ(fs_submit(from(folder + "/never-requested"), soon()), 1u);
    for (const std::string& m : markers) {
        for (u64 deadline = soon(); fs_request_load_count(from(m)) == 0 && os_now_microseconds() < deadline;) os_sleep(1);
        ASSERT_EQ(fs_request_load_count(from(m)), 1u) << "the streamers did not take " << m;
        fs_release_file(from(m));
    }
    os_sleep(20);  // a load taken just before the markers ends
}

// With the scanner paused, a released path keeps no record: a later
// read-ahead of it neither reads it nor makes a record, a request that waits
// reads it again (and sees what it holds now), and the load count goes on.
TEST_F(FileServiceTest, ReleasedPathsAreRetiredAndStillKnownAsRead) {
    ScannerPaused paused(path("settle"));
    struct Case {
        const char* name;
        const char* before;  // null: no file
        const char* after;
    } cases[] = {
        {"kept.kav", "same text", "same text"},
        {"rewritten.kav", "version one", "version two"},
        {"missing.kav", nullptr, "now there"},
    };
    // Contents no other test has: bytes shared with another load would stay.
    auto text = [&](const char* t) { return t ? std::string(t) + " in " + dir.string() : std::string(); };
    FsStats start = fs_stats();
    for (const Case& c : cases) {
        if (c.before) write_file(dir / c.name, text(c.before));
        FileKey key = fs_request_file(from(path(c.name)), soon());
        ASSERT_FALSE(fs_key_is_zero(key)) << c.name;
        EXPECT_EQ(str(fs_loaded_file(key)), text(c.before)) << c.name;
        fs_release_file(from(path(c.name)));
        EXPECT_EQ(fs_loaded_file(key).size, 0u) << c.name;
    }
    FsStats released = fs_stats();
    EXPECT_EQ(released.requests, start.requests) << "released records were kept";
    EXPECT_EQ(released.retired_paths, start.retired_paths + std::size(cases));

    for (const Case& c : cases) {
        write_file(dir / c.name, text(c.after));
        EXPECT_EQ(fs_request_load_count(from(path(c.name))), 1u) << c.name;
        FileKey ahead = fs_request_file(from(path(c.name)), 0);
        EXPECT_TRUE(fs_key_is_zero(ahead)) << c.name;
    }
    EXPECT_EQ(fs_stats().requests, start.requests) << "a read-ahead made a record again";
    drain_queue(path("drain"));
    for (const Case& c : cases) {
        EXPECT_EQ(fs_request_load_count(from(path(c.name))), 1u) << c.name << " was read ahead again";
    }

    for (const Case& c : cases) {
        FileKey key = fs_request_file(from(path(c.name)), soon());
        EXPECT_EQ(str(fs_loaded_file(key)), text(c.after)) << c.name;
        EXPECT_EQ(fs_request_load_count(from(path(c.name))), 2u) << c.name;
        // Loaded again, the path is no longer retired until released.
        EXPECT_TRUE(fs_key_equal(fs_request_file(from(path(c.name)), 0), key)) << c.name;
        fs_release_file(from(path(c.name)));
        EXPECT_EQ(fs_request_load_count(from(path(c.name))), 2u) << c.name;
    }
    EXPECT_EQ(fs_stats().requests, start.requests);
}

// Paths requested and released by the thousand reuse the blocks of the
// records retired before them, and the table of retired paths finds every
// path again as entries come and go.
TEST_F(FileServiceTest, RetiredRecordsAreReusedAndRetiredPathsStayFound) {
    ScannerPaused paused(path("settle"));
    // Paths that name nothing load at once with no bytes; their lengths
    // spread over several block sizes.
    std::vector<std::string> paths;
    for (int i = 0; i < 3000; i += 1) paths.push_back(path(std::string(1 + i % 150, 'p') + "/" + std::to_string(i)));
    auto cycle = [&](size_t i) {
        ASSERT_FALSE(fs_key_is_zero(fs_request_file(from(paths[i]), soon()))) << paths[i];
        fs_release_file(from(paths[i]));
    };
    cycle(0);  // the first blocks of each size
    for (size_t i = 100; i < 250; i += 1) cycle(i);
    FsStats warm = fs_stats();
    for (size_t i = 1; i < paths.size(); i += 1) cycle(i);
    FsStats after = fs_stats();
    EXPECT_EQ(after.requests, warm.requests);
    // One more block of each size at most; kept records would take 3000.
    EXPECT_LE(after.request_bytes - warm.request_bytes, 16u * 1024) << "retired blocks are not reused";

    // Every other path comes back (its entry taken out), then all are
    // looked up: removing entries must not hide the ones after them.
    for (size_t i = 0; i < paths.size(); i += 2) {
        ASSERT_FALSE(fs_key_is_zero(fs_request_file(from(paths[i]), soon())));
    }
    for (size_t i = 0; i < paths.size(); i += 1) {
        u64 expected = (i >= 100 && i < 250) ? 2 : 1;
        if (i % 2 == 0) expected += 1;
        ASSERT_EQ(fs_request_load_count(from(paths[i])), expected) << paths[i];
    }
    for (size_t i = 0; i < paths.size(); i += 2) fs_release_file(from(paths[i]));
    EXPECT_EQ(fs_stats().requests, warm.requests);
    EXPECT_EQ(fs_stats().retired_paths, after.retired_paths);
}

// Build-like: threads each take the next path, read ahead of it and read it,
// and release it at once, so releases often come before other threads'
// read-aheads of the same path. Each path is read once per round.
TEST_F(FileServiceTest, ReadAheadAfterReleaseNeverReadsTwice) {
    ScannerPaused paused(path("settle"));
    const int file_count = 400;
    const int thread_count = 6;
    std::vector<std::string> paths;
    for (int i = 0; i < file_count; i += 1) {
        paths.push_back(path("r/" + std::to_string(i) + ".kav"));
        write_file(paths.back(), "text " + std::to_string(i));
    }
    for (u64 round = 1; round <= 3; round += 1) {
        std::atomic<int> next{0};
        std::vector<int> failures(thread_count, 0);
        std::vector<std::thread> threads;
        for (int t = 0; t < thread_count; t += 1) {
            threads.emplace_back([&, t] {
                for (int i = next++; i < file_count; i = next++) {
                    for (int k = i + 1; k < file_count && k <= i + 32; k += 1) fs_request_file(from(paths[k]), 0);
                    FileKey key = fs_request_file(from(paths[i]), soon());
                    if (str(fs_loaded_file(key)) != "text " + std::to_string(i)) failures[t] += 1;
                    fs_release_file(from(paths[i]));
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (int t = 0; t < thread_count; t += 1) EXPECT_EQ(failures[t], 0) << "thread " << t;
        // A read-ahead queued after the release would be read by now.
        drain_queue(path("drain" + std::to_string(round)));
        for (const std::string& p : paths) ASSERT_EQ(fs_request_load_count(from(p)), round) << p;
    }
}

TEST_F(FileServiceTest, ManyThreadsManyFiles) {
    const int file_count = 600;
    const int thread_count = 8;
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    for (int i = 0; i < file_count; i += 1) {
        std::string sub = std::string(1 + (i * 37) % 180, (char)('a' + i % 26));
        std::string p = path(sub + "/f" + std::to_string(i) + ".kav");
        // Every fifth file repeats an earlier file's contents.
        std::string text = (i % 5 == 4) ? contents[i - 3] : "file " + std::to_string(i) + std::string(i % 97, '.');
        write_file(p, text);
        paths.push_back(p);
        contents.push_back(text);
    }
    for (int i = 0; i < 50; i += 1) paths.push_back(path("missing_" + std::string(i * 13, 'z')));
    while (contents.size() < paths.size()) contents.push_back("");

    std::vector<int> failures(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; t += 1) {
        threads.emplace_back([&, t] {
            std::vector<size_t> order(paths.size());
            for (size_t i = 0; i < order.size(); i += 1) order[i] = i;
            std::shuffle(order.begin(), order.end(), std::mt19937(t));
            for (size_t i : order) {
                // Some threads read ahead first, as the build driver does.
                if (t % 2) fs_request_file(from(paths[order[(i + 7) % order.size()]]), 0);
                FileKey key = fs_request_file(from(paths[i]), soon());
                if (fs_key_is_zero(key) || str(fs_loaded_file(key)) != contents[i]) failures[t] += 1;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < thread_count; t += 1) EXPECT_EQ(failures[t], 0) << "thread " << t;
    for (size_t i = 0; i < paths.size(); i += 1) {
        EXPECT_EQ(fs_request_load_count(from(paths[i])), 1u) << paths[i];
    }
}

}  // namespace
