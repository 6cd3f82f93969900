// The kavsite program run on temporary folders: exact console output and
// exit status of whole runs.
#include <ctype.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/program.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::RunResult;
using kavsite_test::open_to_everyone;
using kavsite_test::kReadOnlyFolder;
using kavsite_test::run_kavsite;
using kavsite_test::TempDir;
using kavsite_test::write_file;

// Every path under `dir` with its size, to see that a run changed nothing.
std::set<std::string> snapshot(const fs::path& dir) {
    std::set<std::string> entries;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        std::string line = it->path().string();
        if (it->is_regular_file(ec)) line += " " + std::to_string(it->file_size(ec));
        entries.insert(line);
    }
    return entries;
}

const std::string kNoCheck = "\nno file paths check\n";
const std::string kShared = "HTML: Shared ressources generated\n";
// The phases of a run that publishes no page, with its summary; "N" stands
// for the number of documents read (see counts_masked).
const std::string kSummary =
    "------------------------------------------------------------\n"
    "\tkav count:  N\n\thtml count: 0\n"
    "------------------------------------------------------------\n"
    "\tWrong file path(s):\n";
const std::string kPhases = "KAV (parsing):\nHTML conversion:\n" + kSummary;
const std::string kHttpChecks = "------------------------------------------------------------\nHTTP checks\n";

// The output with the number after "kav count:" written "N".
std::string counts_masked(const std::string& output) {
    std::string key = "\tkav count:  ";
    size_t at = output.find(key);
    if (at == std::string::npos) return output;
    size_t begin = at + key.size();
    size_t end = begin;
    while (end < output.size() && isdigit((unsigned char)output[end])) end += 1;
    return output.substr(0, begin) + "N" + output.substr(end);
}
// The connection test of these runs always fails (see run_kavsite).
const std::string kOffline = "Could not connect to internet, checks on URLs aborted\n";
// The documents of these runs publish nothing on purpose, so the runs print
// the driver's own lines and no hint about pages.
const std::string kDraft = "``\nstatus: draft\n``\n";

struct DriverTest : ::testing::Test {
    TempDir temp;
    fs::path dir = temp.path;
    void SetUp() override {
        fs::create_directories(dir / "site");
        fs::create_directories(dir / "docs");
        write_file(dir / "docs/a.kav", kDraft);
        write_file(dir / "docs/sub/b.kav", kDraft);
    }
    std::string at(const std::string& name) { return (dir / name).string(); }
};

TEST_F(DriverTest, MissingOptionsAbortWithTheirMessages) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string output;
    };
    const std::string docs = "targ_p=" + at("docs");
    const std::string site = "root_p=" + at("site");
    const Case cases[] = {
        {"no target", {site}, kNoCheck + "No file to parse provided, use 'targ_p' argument\naborted"},
        {"no root", {docs}, "No root path provided, use 'root_p' argument\n" + kNoCheck + "aborted"},
        {"neither",
         {},
         "No root path provided, use 'root_p' argument\n" + kNoCheck +
             "No file to parse provided, use 'targ_p' argument\naborted"},
        {"empty values", {"targ_p=", "", "root_p="}, "No root path provided, use 'root_p' argument\n" + kNoCheck +
             "No file to parse provided, use 'targ_p' argument\naborted"},
        {"no target, deploy", {site, "deploy"}, "\n[deploy]\nNo file to parse provided, use 'targ_p' argument\naborted"},
        {"no root, file_p_check", {docs, "file_p_check"},
         "No root path provided, use 'root_p' argument\n\nfile path check\naborted"},
        {"target names nothing", {"targ_p=" + at("nothing"), site},
         kNoCheck + "[targ_p] was not valid\n" + at("nothing") + ": does not exist\naborted"},
        // A new root would be made, but not for a build that cannot run.
        {"target names nothing, root not made yet", {"targ_p=" + at("nothing"), "root_p=" + at("nowhere")},
         kNoCheck + "[targ_p] was not valid\n" + at("nothing") + ": does not exist\naborted"},
        {"target is a dangling link", {"targ_p=" + at("docs/dead"), site},
         kNoCheck + "[targ_p] was not valid\n" + at("docs/dead") + ": does not exist\naborted"},
        {"target is not a document", {"targ_p=" + at("docs/notes.txt"), site},
         kNoCheck + "[targ_p] was not valid\n" + at("docs/notes.txt") + ": not a .kav file\naborted"},
        {"target in upper case", {"targ_p=" + at("docs/UP.KAV"), site},
         kNoCheck + "[targ_p] was not valid\n" + at("docs/UP.KAV") + ": not a .kav file\naborted"},
        {"target is a FIFO", {"targ_p=" + at("docs/pipe.kav"), site},
         kNoCheck + "[targ_p] was not valid\n" + at("docs/pipe.kav") + ": a device or FIFO, not a document\naborted"},
        {"target is a device", {"targ_p=/dev/null", site},
         kNoCheck + "[targ_p] was not valid\n/dev/null: a device or FIFO, not a document\naborted"},
        {"root is a file", {"targ_p=" + at("docs"), "root_p=" + at("docs/a.kav")},
         kNoCheck + "[root_p] was not valid\n" + at("docs/a.kav") + "/: not a folder\naborted"},
        {"root's parent is missing", {"targ_p=" + at("docs"), "root_p=" + at("no/such/root")},
         kNoCheck + "[root_p] was not valid\n" + at("no/such/root") +
             "/: does not exist, nor does the folder that would hold it\naborted"},
        {"root and target both wrong", {"targ_p=" + at("nothing"), "root_p=" + at("docs/a.kav")},
         kNoCheck + "[root_p] was not valid\n" + at("docs/a.kav") + "/: not a folder\n[targ_p] was not valid\n" +
             at("nothing") + ": does not exist\naborted"},
    };
    fs::create_symlink("nowhere", dir / "docs/dead");
    write_file(dir / "docs/notes.txt", "x");
    write_file(dir / "docs/UP.KAV", "x");
    ASSERT_EQ(mkfifo(at("docs/pipe.kav").c_str(), 0644), 0);
    for (const Case& c : cases) {
        std::set<std::string> before = snapshot(dir);
        RunResult r = run_kavsite(c.args, dir.string());
        EXPECT_EQ(r.output, c.output) << c.name;
        EXPECT_EQ(r.status, 2) << c.name << r.errors;
        EXPECT_EQ(snapshot(dir), before) << c.name << ": an aborted run wrote something";
    }
}

TEST_F(DriverTest, ModeLinesFollowTheSwitches) {
    struct Case {
        std::vector<std::string> flags;
        std::string mode;
        std::string checks = "";  // after the shared resources
        std::string warnings = "";  // before the shared-resources line
        std::string after = "";   // after the summary
    };
    const std::string no_script = "warning: every page loads the script \"" + at("site") +
                                  "/html/shared/javascript/website/website_shared.js\", which does not exist\n";
    const Case cases[] = {
        {{}, kNoCheck},
        {{"file_p_check"}, "\nfile path check\n"},
        {{"file_p_check=1"}, "\nfile path check\n"},
        {{"file_p_check=TRUE"}, "\nfile path check\n"},
        {{"file_p_check=0"}, kNoCheck},
        {{"file_p_check=yes"}, kNoCheck},
        {{"File_P_Check"}, "unknown option 'File_P_Check' ignored; did you mean 'file_p_check'?\n" + kNoCheck},
        {{"deploy"}, "\n[deploy]\n"},
        {{"deploy", "dev_js", "file_p_check"}, "\n[deploy]\n"},
        {{"--deploy=true", "-file_p_check"}, "\n[deploy]\n"},
        {{"deploy=0", "file_p_check"}, "\nfile path check\n"},
        {{"dev_js", "js"}, kNoCheck, "", no_script},
        {{"check_urls"}, kNoCheck, "[check urls]\n" + kOffline, "", kHttpChecks},
        {{"deploy", "check_urls"}, "\n[deploy]\n", "[check urls]\n" + kOffline, "", kHttpChecks},
        {{"print_todos", "unknown=1", "--other:x,y", "-z"},
         "unknown option 'unknown' ignored\nunknown option 'other' ignored\nunknown option 'z' ignored\n" + kNoCheck},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"targ_p=" + at("docs"), "root_p=" + at("site")};
        args.insert(args.end(), c.flags.begin(), c.flags.end());
        RunResult r = run_kavsite(args, dir.string());
        std::string flags;
        for (const std::string& f : c.flags) flags += f + " ";
        EXPECT_EQ(counts_masked(r.output), c.mode + c.warnings + kShared + c.checks + kPhases + c.after) << flags;
        EXPECT_EQ(r.status, 0) << flags << r.errors;
    }
}

// Targets and roots of every kind run to the end without a crash or a hang,
// and leave the source tree as it was.
TEST_F(DriverTest, TargetsAndRootsOfEveryKind) {
    write_file(dir / "v1.2/a.kav", kDraft);
    write_file(dir / "single.kav", kDraft);
    fs::create_directories(dir / "empty");
    write_file(dir / "upper/A.KAV", kDraft);
    write_file(dir / "upper/b.Kav", kDraft);
    write_file(dir / "loop/a.kav", kDraft);
    fs::create_symlink("..", dir / "loop/up");
    fs::create_symlink("loop", dir / "loop/loop2");
    fs::create_symlink("../loop", dir / "loop/again");
    write_file(dir / "names/My Docs/é ü 1.kav", kDraft);
    write_file(dir / "names/ leading blank.kav", kDraft);
    write_file(dir / "names/日本語/文書.kav", kDraft);
    write_file(dir / "names/tab\there.kav", kDraft);
    write_file(dir / "root_file", "not a folder");
    write_file(dir / "nested/a/b/c/d/e/f/g/h.kav", kDraft);
    write_file(dir / "empty_file_dir/e.kav", "");

    struct Case {
        const char* target;
        const char* root;
        std::string output;
    };
    const std::string site = at("site");
    const Case cases[] = {
        {"docs", "site", kNoCheck + kShared + kPhases},
        {"v1.2", "site", kNoCheck + kShared + kPhases},
        {"single.kav", "site", kNoCheck + kShared + kPhases},
        {"empty", "site", kNoCheck + kShared + kPhases},
        {"upper", "site", kNoCheck + kShared + kPhases},
        {"loop", "site", kNoCheck + kShared + "Skipped folder " + at("loop/up/") + ": a link that leads outside the target\n" + kPhases},
        {"names", "site", kNoCheck + kShared + kPhases},
        {"nested", "site", kNoCheck + kShared + kPhases},
        {"empty_file_dir", "site", kNoCheck + kShared + kPhases},
        {"docs/", "site/", kNoCheck + kShared + kPhases},
        {"docs/../docs/./sub", "./site", kNoCheck + kShared + kPhases},
    };
    for (const Case& c : cases) {
        std::set<std::string> before = snapshot(dir / "docs");
        // Relative and absolute forms of the same paths behave alike.
        for (bool absolute : {false, true}) {
            std::string target = absolute ? at(c.target) : c.target;
            std::string root = absolute ? at(c.root) : c.root;
            RunResult r = run_kavsite({"targ_p=" + target, "root_p=" + root}, dir.string());
            EXPECT_EQ(counts_masked(r.output), c.output) << target << " " << root;
            EXPECT_EQ(r.status, 0) << target << " " << root << r.errors;
        }
        EXPECT_EQ(snapshot(dir / "docs"), before) << c.target;
    }
}

// A root that does not exist yet is made (a new site), inside a folder that
// exists; a root that cannot be used stops the build before it writes.
TEST_F(DriverTest, NewRootIsMadeUnusableRootStops) {
    RunResult r = run_kavsite({"targ_p=" + at("docs"), "root_p=" + at("new_site")}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + kPhases);
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_TRUE(fs::is_directory(dir / "new_site/html"));

    write_file(dir / "root_file", "not a folder");
    std::set<std::string> before = snapshot(dir);
    r = run_kavsite({"targ_p=" + at("docs"), "root_p=" + at("root_file")}, dir.string());
    EXPECT_EQ(r.output, kNoCheck + "[root_p] was not valid\n" + at("root_file") + "/: not a folder\naborted");
    EXPECT_EQ(r.status, 2) << r.errors;
    EXPECT_EQ(snapshot(dir), before);
}

// Documents and folders that cannot be read get one line each and the build
// goes on; a target or root the build cannot use stops it with the reason.
TEST_F(DriverTest, UnreadableFilesAndFolders) {
    write_file(dir / "locked/open.kav", kDraft);
    write_file(dir / "locked/secret.kav", kDraft);
    write_file(dir / "locked/closed/inner.kav", kDraft);
    fs::create_directories(dir / "locked/noexec");
    write_file(dir / "locked/noexec/f.kav", kDraft);
    fs::create_directories(dir / "readonly_root");
    fs::create_directories(dir / "readonly_parent");
    // The run may happen as another user: let it reach everything first.
    open_to_everyone(dir);
    fs::permissions(dir / "locked/secret.kav", fs::perms::none);
    fs::permissions(dir / "locked/closed", fs::perms::none);
    fs::permissions(dir / "locked/noexec", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir / "readonly_root", kReadOnlyFolder);
    fs::permissions(dir / "readonly_parent", kReadOnlyFolder);
    if (geteuid() != 0 && getuid() != 0 && access(at("locked/secret.kav").c_str(), R_OK) == 0) {
        GTEST_SKIP() << "permissions are not enforced for this user";
    }

    struct Case {
        const char* name;
        std::string target;
        std::string root;
        std::string output;
        int status;
    };
    const std::string denied = "cannot be read (permission denied)";
    const Case cases[] = {
        {"walk", "locked", "site",
         kNoCheck + kShared + "Skipped folder " + at("locked/closed/") + ": " + denied + "\nKAV (parsing):\n" +
             "Skipped " + at("locked/secret.kav") + ": " + denied + "\nSkipped " + at("locked/noexec/f.kav") + ": " +
             denied + "\nHTML conversion:\n" + kSummary,
         0},
        {"unreadable document target", "locked/secret.kav", "site",
         kNoCheck + "[targ_p] was not valid\n" + at("locked/secret.kav") + ": " + denied + "\naborted", 2},
        {"target inside a folder that cannot be searched", "locked/closed/inner.kav", "site",
         kNoCheck + "[targ_p] was not valid\n" + at("locked/closed/inner.kav") + ": " + denied + "\naborted", 2},
        {"unreadable folder target", "locked/closed", "site",
         kNoCheck + "[targ_p] was not valid\n" + at("locked/closed") + ": " + denied + "\naborted", 2},
        {"root that cannot be written", "locked/open.kav", "readonly_root",
         kNoCheck + "[root_p] was not valid\n" + at("readonly_root") + "/: cannot be written to (permission denied)\naborted",
         2},
        {"root that cannot be made", "locked/open.kav", "readonly_parent/site",
         kNoCheck + "[root_p] was not valid\n" + at("readonly_parent/site") +
             "/: does not exist and cannot be made (permission denied)\naborted",
         2},
    };
    for (const Case& c : cases) {
        RunResult r = run_kavsite({"targ_p=" + at(c.target), "root_p=" + at(c.root)}, dir.string(), true);
        EXPECT_EQ(counts_masked(r.output), c.output) << c.name;
        EXPECT_EQ(r.status, c.status) << c.name << r.errors;
    }
}

// Special files named like documents are skipped with a line, never read.
TEST_F(DriverTest, SpecialFilesAreSkippedWithoutHanging) {
    // A FIFO has no writer: reading it would wait forever.
    ASSERT_EQ(mkfifo(at("docs/pipe.kav").c_str(), 0644), 0);
    fs::create_symlink("/dev/zero", dir / "docs/zero.kav");
    RunResult r = run_kavsite({"targ_p=" + at("docs"), "root_p=" + at("site")}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + "KAV (parsing):\nSkipped " + at("docs/pipe.kav") +
                            ": a device or FIFO, not a document\nSkipped " + at("docs/zero.kav") +
                            ": a device or FIFO, not a document\nHTML conversion:\n" + kSummary);
    EXPECT_EQ(r.status, 0) << r.errors;
}

// Large files: a video is never read, a document above max_doc_mb is skipped
// with its size (the 4 GiB files are sparse: they cost nothing).
TEST_F(DriverTest, LargeFilesAreNotRead) {
    for (const char* name : {"docs/video.mp4", "docs/huge.kav"}) {
        write_file(dir / name, "");
        ASSERT_EQ(truncate(at(name).c_str(), 4ll << 30), 0);
    }
    write_file(dir / "docs/two.kav", kDraft + std::string(2 * 1024 * 1024 - kDraft.size(), 'x'));
    struct Case {
        std::vector<std::string> options;
        std::string skipped;
    };
    const Case cases[] = {
        {{}, "Skipped " + at("docs/huge.kav") + ": 4096 MB, more than max_doc_mb=64\n"},
        {{"max_doc_mb=1"}, "Skipped " + at("docs/huge.kav") + ": 4096 MB, more than max_doc_mb=1\nSkipped " +
                               at("docs/two.kav") + ": 2 MB, more than max_doc_mb=1\n"},
        {{"max_doc_mb=lots"}, "Skipped " + at("docs/huge.kav") + ": 4096 MB, more than max_doc_mb=64\n"},
        // 0 lifts the limit only up to what the parser reads: 4 GiB less a byte.
        {{"max_doc_mb=0"}, "Skipped " + at("docs/huge.kav") + ": 4096 MB, more than max_doc_mb=4095\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"targ_p=" + at("docs"), "root_p=" + at("site")};
        args.insert(args.end(), c.options.begin(), c.options.end());
        RunResult r = run_kavsite(args, dir.string());
        EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + "KAV (parsing):\n" + c.skipped + "HTML conversion:\n" + kSummary);
        EXPECT_EQ(r.status, 0) << r.errors;
    }
    // Without a limit the 2 MiB document is read (the 4 GiB one is gone).
    fs::remove(dir / "docs/huge.kav");
    RunResult r = run_kavsite({"targ_p=" + at("docs"), "root_p=" + at("site"), "max_doc_mb=0"}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + kPhases);
}

// Names with control bytes are shown escaped, so that a file name cannot
// drive the terminal.
TEST_F(DriverTest, ControlBytesInNamesAreEscaped) {
    std::string name = "red\x1b[31mtitle\x07.kav";
    ASSERT_EQ(mkfifo(at("docs/" + name).c_str(), 0644), 0);
    fs::create_directories(dir / "docs/bell\x07" "dir");
    fs::create_symlink("/", dir / "docs/bell\x07" "dir/up");
    RunResult r = run_kavsite({"targ_p=" + at("docs"), "root_p=" + at("site")}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + "Skipped folder " + at("docs/bell\\x07dir/up/") +
                            ": a link that leads outside the target\nKAV (parsing):\nSkipped " +
                            at("docs/red\\x1b[31mtitle\\x07.kav") + ": a device or FIFO, not a document\n" +
                            "HTML conversion:\n" + kSummary);
    EXPECT_EQ(r.output.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.output.find('\x07'), std::string::npos);
}

TEST_F(DriverTest, OneArgumentIsOnePath) {
    write_file(dir / "My Docs/a.kav", kDraft);
    fs::create_directories(dir / "My Site");
    RunResult r = run_kavsite({"targ_p=My Docs", "root_p=My Site"}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + kPhases);
    EXPECT_EQ(r.status, 0) << r.errors;
    // Options spread over arguments: a value after "=" in the next argument.
    r = run_kavsite({"targ_p=", "My Docs", "--root_p:", "My Site"}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + kPhases);
    EXPECT_EQ(r.status, 0) << r.errors;
    // The first of a repeated option wins.
    r = run_kavsite({"targ_p=My Docs", "targ_p=nothing", "root_p=My Site"}, dir.string());
    EXPECT_EQ(counts_masked(r.output), kNoCheck + kShared + kPhases);
    r = run_kavsite({"targ_p=nothing", "targ_p=My Docs", "root_p=My Site"}, dir.string());
    EXPECT_EQ(r.output, kNoCheck + "[targ_p] was not valid\n" + at("nothing") + ": does not exist\naborted");
    EXPECT_EQ(r.status, 2) << r.errors;
}

TEST_F(DriverTest, HelpListsEveryOptionAndBuildsNothing) {
    const char* options[] = {"targ_p", "root_p", "js", "dev_js", "check_urls", "file_p_check", "print_todos",
                             "deploy", "consent_url", "ca_file", "url_workers", "max_doc_mb", "no_wait", "help",
                             "version"};
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--help"}, {"-help"}, {"help"}, {"targ_p=" + at("docs"), "root_p=" + at("site"), "--help"}}) {
        std::set<std::string> before = snapshot(dir);
        RunResult r = run_kavsite(args, dir.string());
        EXPECT_EQ(r.status, 0) << r.errors;
        for (const char* option : options) {
            EXPECT_NE(r.output.find(std::string("  ") + option), std::string::npos) << option << " not listed";
        }
        EXPECT_EQ(r.output.find("KAV (parsing)"), std::string::npos);
        EXPECT_EQ(snapshot(dir), before);
    }
}

TEST_F(DriverTest, VersionPrintsTheVersion) {
    for (const char* arg : {"--version", "-version", "version"}) {
        RunResult r = run_kavsite({arg}, dir.string());
        EXPECT_EQ(r.output, std::string("kavsite ") + KAVSITE_VERSION + "\n") << arg;
        EXPECT_EQ(r.status, 0) << arg << r.errors;
    }
    ASSERT_GT(std::string(KAVSITE_VERSION).size(), 0u);
}

}  // namespace
