// The OS layer's folder watching, held termination signals, loopback
// sockets and real paths, against the real system.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>

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

// Waits are for hangs only.
constexpr u64 kWaitUs = 20ull * 1000 * 1000;

using Seen = std::set<std::pair<std::string, u32>>;

struct OsWatchTest : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    TempDir temp;
    fs::path dir = temp.path;
    OsWatch* watch = nullptr;
    Seen seen;  // every change reported so far: (path, flags)

    void SetUp() override {
        os_init();
        watch = os_watch_create();
        ASSERT_NE(watch, nullptr);
    }
    void TearDown() override { arena_release(arena); }
    std::string at(const std::string& relative) { return (dir / relative).string(); }

    // Collects changes until (path, flags) is among them; false when it does
    // not come.
    bool wait_for(const std::string& path, u32 flags) {
        u64 deadline = os_now_microseconds() + kWaitUs;
        while (!seen.count({path, flags})) {
            OsWatchEvents events = {};
            if (os_watch_wait(arena, watch, deadline, &events) != OS_WATCH_WAIT_EVENTS) return false;
            for (OsWatchEvent* e = events.first; e; e = e->next) seen.insert({str(e->path), e->flags});
        }
        return true;
    }
    // Events come in order: once a marker written after `path` was seen,
    // anything `path` would have reported has been seen too.
    bool reported(const std::string& path) {
        static int marker = 0;
        std::string name = at("tree/marker" + std::to_string(++marker));
        write_file(name, "m");
        EXPECT_TRUE(wait_for(name, OS_WATCH_CHANGED));
        for (const auto& [p, flags] : seen) {
            if (p == path) return true;
        }
        return false;
    }
};

TEST_F(OsWatchTest, TreeFollowsNewFoldersAndSkipsExcludedOnes) {
    fs::create_directories(dir / "tree/a");
    fs::create_directories(dir / "tree/html/notes");
    os_watch_exclude(watch, from(at("tree/html")));
    ASSERT_TRUE(os_watch_add(watch, from(at("tree")), OS_WATCH_TREE));
    EXPECT_TRUE(os_watch_has(watch, from(at("tree/a/"))));
    EXPECT_FALSE(os_watch_has(watch, from(at("tree/html"))));

    write_file(dir / "tree/a/x.kav", "1");
    EXPECT_TRUE(wait_for(at("tree/a/x.kav"), OS_WATCH_CHANGED));

    // A folder made with a file already in it: the file is reported whether
    // it came before or after the folder was watched, and later files too.
    write_file(dir / "tree/new/deep/y.kav", "1");
    EXPECT_TRUE(wait_for(at("tree/new/deep/y.kav"), OS_WATCH_CHANGED));
    write_file(dir / "tree/new/deep/z.kav", "1");
    EXPECT_TRUE(wait_for(at("tree/new/deep/z.kav"), OS_WATCH_CHANGED));

    write_file(dir / "tree/html/notes/page.html", "p");
    EXPECT_FALSE(reported(at("tree/html/notes/page.html")));

    fs::remove(dir / "tree/a/x.kav");
    EXPECT_TRUE(wait_for(at("tree/a/x.kav"), OS_WATCH_REMOVED));
    fs::rename(dir / "tree/a/", dir / "tree/b");
    EXPECT_TRUE(wait_for(at("tree/a"), OS_WATCH_REMOVED | OS_WATCH_FOLDER));
    write_file(dir / "tree/b/moved.kav", "1");
    EXPECT_TRUE(wait_for(at("tree/b/moved.kav"), OS_WATCH_CHANGED));

    // A folder moved out of the tree is no longer watched.
    fs::rename(dir / "tree/new", dir / "away");
    EXPECT_TRUE(wait_for(at("tree/new"), OS_WATCH_REMOVED | OS_WATCH_FOLDER));
    write_file(dir / "away/deep/w.kav", "1");
    EXPECT_FALSE(reported(at("away/deep/w.kav")));
    EXPECT_FALSE(reported(at("tree/new/deep/w.kav")));
}

TEST_F(OsWatchTest, FolderWithoutTreeSeesItsOwnEntriesOnly) {
    fs::create_directories(dir / "tree/sub");
    ASSERT_TRUE(os_watch_add(watch, from(at("tree/")), 0));
    EXPECT_FALSE(os_watch_add(watch, from(at("missing")), 0));
    write_file(dir / "tree/sub/inner.css", "x");
    write_file(dir / "tree/top.css", "x");
    EXPECT_TRUE(wait_for(at("tree/top.css"), OS_WATCH_CHANGED));
    EXPECT_FALSE(reported(at("tree/sub/inner.css")));

    // A new folder is not entered either.
    write_file(dir / "tree/later/file.css", "x");
    EXPECT_FALSE(reported(at("tree/later/file.css")));

    fs::remove_all(dir / "tree");
    EXPECT_TRUE(wait_for(at("tree"), OS_WATCH_REMOVED | OS_WATCH_FOLDER));
    // Once the system has let the folder go, it is no longer watched.
    OsWatchEvents rest = {};
    os_watch_wait(arena, watch, os_now_microseconds() + 200 * 1000, &rest);
    EXPECT_FALSE(os_watch_has(watch, from(at("tree"))));
    fs::create_directories(dir / "tree");
    EXPECT_TRUE(os_watch_add(watch, from(at("tree")), 0));
    EXPECT_TRUE(os_watch_has(watch, from(at("tree"))));
}

TEST_F(OsWatchTest, WaitEndsAtItsDeadline) {
    ASSERT_TRUE(os_watch_add(watch, from(dir.string()), 0));
    OsWatchEvents events = {};
    u64 start = os_now_microseconds();
    EXPECT_EQ(os_watch_wait(arena, watch, start + 30 * 1000, &events), OS_WATCH_WAIT_TIMEOUT);
    EXPECT_GE(os_now_microseconds() - start, 29u * 1000);
    EXPECT_EQ(events.count, 0u);
}

// Held termination signals end a wait instead of the process; each runs in
// a child, as holding changes the whole process.
TEST(OsTermination, HeldSignalsEndTheWait) {
    for (int sig : {SIGINT, SIGTERM}) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            os_init();
            os_termination_hold();
            OsWatch* watch = os_watch_create();
            kill(getpid(), sig);
            Arena* arena = arena_create(MB(1), KB(4));
            OsWatchEvents events = {};
            OsWatchWait first = os_watch_wait(arena, watch, os_now_microseconds() + kWaitUs, &events);
            // Reported again to a later wait.
            OsWatchWait again = os_watch_wait(arena, watch, os_now_microseconds() + kWaitUs, &events);
            _exit(first == OS_WATCH_WAIT_TERMINATE && again == OS_WATCH_WAIT_TERMINATE ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << sig << " ended the process";
        EXPECT_EQ(WEXITSTATUS(status), 0) << "signal " << sig;
    }
}

TEST(OsSockets, ListensOnLoopbackOnlyAndReportsABusyPort) {
    os_init();
    OsListenResult result;
    OsSocket first = os_listen_loopback(0, &result);
    ASSERT_NE(first, OS_SOCKET_INVALID);
    EXPECT_EQ(result, OS_LISTEN_OK);
    struct sockaddr_in address = {};
    socklen_t size = sizeof(address);
    ASSERT_EQ(getsockname((int)first, (struct sockaddr*)&address, &size), 0);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), (u32)INADDR_LOOPBACK);
    u16 port = ntohs(address.sin_port);

    EXPECT_EQ(os_listen_loopback(port, &result), OS_SOCKET_INVALID);
    EXPECT_EQ(result, OS_LISTEN_IN_USE);
    os_close_socket(first);
    OsSocket again = os_listen_loopback(port, &result);
    EXPECT_NE(again, OS_SOCKET_INVALID);
    os_close_socket(again);
}

TEST(OsPaths, RealPathFollowsLinks) {
    os_init();
    Arena* arena = arena_create(MB(1), KB(4));
    TempDir temp;
    fs::path dir = temp.path;
    fs::create_directories(dir / "inside/deeper");
    fs::create_symlink(dir / "inside", dir / "link");
    EXPECT_EQ(str(os_real_path(arena, from((dir / "link/deeper").string()))), (dir / "inside/deeper").string());
    EXPECT_EQ(str(os_real_path(arena, from((dir / "inside/deeper/../deeper/.").string()))),
              (dir / "inside/deeper").string());
    EXPECT_EQ(os_real_path(arena, from((dir / "missing").string())).size, 0u);
    EXPECT_EQ(os_real_path(arena, String{}).size, 0u);
    arena_release(arena);
}

}  // namespace
