// Whole runs of the program against one site root: one build at a time,
// writes that stay inside the root, and builds killed at any moment that
// leave whole pages and, after the next build, no temporary file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/files.h"
#include "support/program.h"

namespace fs = std::filesystem;
using kavsite_test::read_file;
using kavsite_test::RunResult;
using kavsite_test::run_kavsite;
using kavsite_test::TempDir;
using kavsite_test::write_file;

namespace {

const std::string kNoCheck = "\nno file paths check\n";
const std::string kShared = "HTML: Shared ressources generated\n";

// A document with its own page; `version` changes its text.
std::string document(int index, int version) {
    std::string text = "``\ntitle: Page " + std::to_string(index) + "\noutput_path: part" + std::to_string(index % 4) +
                       "/p" + std::to_string(index) + ".html\n``\n";
    text += "Heading " + std::to_string(version) + "\n";
    for (int line = 0; line < 150; line += 1) {
        text += "  Line " + std::to_string(line) + " of version " + std::to_string(version) + " with *some* words.\n";
    }
    return text;
}

void write_documents(const fs::path& docs, int count, int version) {
    for (int i = 0; i < count; i += 1) write_file(docs / ("d" + std::to_string(i) + ".kav"), document(i, version));
}

// Every file under `dir` with its bytes.
// Every file but the manifest of the pages written, which names inodes.
std::map<std::string, std::string> contents(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.path().filename() == ".kavsite-pages") continue;
        if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = read_file(e.path());
    }
    return files;
}

std::vector<std::string> temporaries_under(const fs::path& dir) {
    std::vector<std::string> found;
    for (auto& e : fs::recursive_directory_iterator(dir)) {
        if (e.path().filename().string().rfind(".kavsite-tmp-", 0) == 0) found.push_back(e.path().string());
    }
    return found;
}

// Pages and raw views that are not whole: every one ends with "</html>".
// The templates under html/shared are fragments of a page; temporary files
// are not pages.
std::vector<std::string> torn_pages(const fs::path& root) {
    std::vector<std::string> torn;
    if (!fs::exists(root / "html")) return torn;
    for (auto& e : fs::recursive_directory_iterator(root / "html")) {
        std::string relative = fs::relative(e.path(), root / "html").string();
        bool temporary = e.path().filename().string().rfind(".kavsite-tmp-", 0) == 0;
        if (!e.is_regular_file() || e.path().extension() != ".html" || temporary || relative.rfind("shared/", 0) == 0) continue;
        std::string text = read_file(e.path());
        if (text.size() < 7 || text.compare(text.size() - 7, 7, "</html>") != 0) torn.push_back(relative);
    }
    return torn;
}

// Holds the lock of a root's lock file, as another build would.
struct HeldLock {
    int fd = -1;
    explicit HeldLock(const fs::path& root) {
        fs::create_directories(root);
        fd = open((root / ".kavsite-lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(flock(fd, LOCK_EX), 0);
    }
    void release() {
        if (fd >= 0) close(fd);
        fd = -1;
    }
    ~HeldLock() { release(); }
};

// A build of a root that another build holds waits for it, saying so once,
// and writes nothing before; with no_wait it stops with status 2.
TEST(RootLock, SecondBuildWaitsOrStops) {
    TempDir temp;
    write_documents(temp.path / "docs", 3, 0);
    fs::path site = temp.path / "site";
    std::vector<std::string> args = {"targ_p=" + (temp.path / "docs").string(), "root_p=" + site.string()};
    HeldLock other(site);

    std::vector<std::string> stop = args;
    stop.push_back("no_wait");
    RunResult r = run_kavsite(stop, temp.path.string());
    EXPECT_EQ(r.output, kNoCheck + "[root_p] is in use by another build\naborted");
    EXPECT_EQ(r.status, 2) << r.errors;
    EXPECT_FALSE(fs::exists(site / "html"));

    RunResult waited;
    std::thread build([&] { waited = run_kavsite(args, temp.path.string()); });
    // The build is held at the lock: it has written nothing yet.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_FALSE(fs::exists(site / "html"));
    other.release();
    build.join();
    EXPECT_EQ(waited.output.rfind(kNoCheck + "[root_p] is in use by another build: waiting for it to end\n" + kShared, 0),
              0u)
        << waited.output;
    EXPECT_EQ(waited.status, 0) << waited.errors;
    EXPECT_TRUE(fs::exists(site / "html/part1/p1.html"));
}

// Two builds of one root started together both finish and leave the bytes
// that one build leaves.
TEST(RootLock, ConcurrentBuildsGiveTheBytesOfOneBuild) {
    TempDir temp;
    write_documents(temp.path / "docs", 60, 0);
    fs::path site = temp.path / "site";
    std::vector<std::string> args = {"targ_p=" + (temp.path / "docs").string(), "root_p=" + site.string()};

    RunResult first, second;
    std::thread a([&] { first = run_kavsite(args, temp.path.string()); });
    std::thread b([&] { second = run_kavsite(args, temp.path.string()); });
    a.join();
    b.join();
    EXPECT_EQ(first.status, 0) << first.output << first.errors;
    EXPECT_EQ(second.status, 0) << second.output << second.errors;
    std::map<std::string, std::string> together = contents(site);

    fs::remove_all(site);
    RunResult alone = run_kavsite(args, temp.path.string());
    EXPECT_EQ(alone.status, 0) << alone.errors;
    std::map<std::string, std::string> single = contents(site);
    EXPECT_EQ(together.size(), single.size());
    EXPECT_TRUE(together == single) << "two builds at once left other bytes than one build";
    EXPECT_TRUE(temporaries_under(site).empty());
}

// A folder of html/ that is a link to elsewhere is not written through: the
// page fails (and is reported); a page that is itself a link is replaced.
TEST(RootWrites, StayInsideTheRoot) {
    TempDir temp;
    fs::path site = temp.path / "site";
    fs::path outside = temp.path / "outside";
    fs::create_directories(site / "html");
    fs::create_directories(outside);
    fs::create_symlink(outside, site / "html/linked");
    write_file(outside / "target.html", "outside");
    fs::create_symlink(outside / "target.html", site / "html/b.html");
    write_file(temp.path / "docs/a.kav", "``\ntitle: A\noutput_path: linked/a.html\n``\nText\n");
    write_file(temp.path / "docs/b.kav", "``\ntitle: B\noutput_path: b.html\n``\nText\n");

    RunResult r = run_kavsite({"targ_p=" + (temp.path / "docs").string(), "root_p=" + site.string()}, temp.path.string());
    EXPECT_NE(r.output.find("\tFaiLure: " + site.string() + "/html/linked/a.html\n"), std::string::npos) << r.output;
    EXPECT_EQ(r.status, 1) << r.errors;
    std::vector<std::string> outside_files;
    for (auto& e : fs::recursive_directory_iterator(outside)) outside_files.push_back(e.path().filename().string());
    EXPECT_EQ(outside_files, std::vector<std::string>{"target.html"});
    EXPECT_EQ(read_file(outside / "target.html"), "outside");
    EXPECT_FALSE(fs::is_symlink(site / "html/b.html"));
    EXPECT_NE(read_file(site / "html/b.html").find("</html>"), std::string::npos);
}

// A build started as a child and killed with SIGKILL after `delay`.
void build_and_kill(const std::vector<std::string>& args, std::chrono::microseconds delay) {
    pid_t pid = fork();
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        std::vector<char*> argv = {(char*)KAVSITE_BINARY, (char*)"consent_url=https://127.0.0.1:1/save"};
        for (const std::string& a : args) argv.push_back((char*)a.c_str());
        argv.push_back(nullptr);
        execv(KAVSITE_BINARY, argv.data());
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    kill(pid, SIGKILL);
    int status = 0;
    waitpid(pid, &status, 0);
}

#if defined(__SANITIZE_ADDRESS__)
#define KILL_COUNT 2
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KILL_COUNT 2
#endif
#endif
#ifndef KILL_COUNT
#define KILL_COUNT 6
#endif

// Builds killed at random moments, into a fresh root and into one reused
// with changed documents: every page left behind is whole, and the next
// build leaves no temporary file. (tests/driver/kill_loop.py runs this many
// times; here a few kills, fewer in the slower sanitizer build.)
TEST(RootWrites, KilledBuildsLeaveWholePages) {
    TempDir temp;
    fs::path docs = temp.path / "docs";
    write_documents(docs, 150, 0);
    std::vector<std::string> fresh_args = {"targ_p=" + docs.string(), "root_p=" + (temp.path / "fresh").string()};
    std::vector<std::string> reused_args = {"targ_p=" + docs.string(), "root_p=" + (temp.path / "reused").string()};
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run_kavsite(reused_args, temp.path.string()).status, 0);
    auto full = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);

    std::mt19937 rng(20240607);
    for (int kill_index = 0; kill_index < KILL_COUNT; kill_index += 1) {
        bool fresh = kill_index % 2 == 0;
        std::vector<std::string>& args = fresh ? fresh_args : reused_args;
        if (fresh) fs::remove_all(temp.path / "fresh");
        write_documents(docs, 150, kill_index + 1);
        auto delay = std::chrono::microseconds(rng() % (unsigned long long)std::max<long long>(full.count(), 1));
        build_and_kill(args, delay);
        fs::path root = temp.path / (fresh ? "fresh" : "reused");
        EXPECT_EQ(torn_pages(root), std::vector<std::string>{}) << "kill " << kill_index << " after " << delay.count() << " us";
        RunResult next = run_kavsite(args, temp.path.string());
        EXPECT_EQ(next.status, 0) << next.errors;
        EXPECT_EQ(temporaries_under(root), std::vector<std::string>{}) << "kill " << kill_index;
        EXPECT_EQ(torn_pages(root), std::vector<std::string>{});
    }
}

}  // namespace
