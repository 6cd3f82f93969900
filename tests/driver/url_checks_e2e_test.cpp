// Whole runs of the program with URL checking and the known-searches file,
// against the local HTTPS server of the URL check tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/program.h"
#include "support/strings.h"
#include "urlcheck/local_server.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::str;
using kavsite_test::TempDir;
using kavsite_test::write_file;

struct ProgramRun {
    int status;
    std::string output;
};

// Standard output and status of the program; a run writes nothing to
// standard error.
ProgramRun run_program(const std::vector<std::string>& args, const fs::path& cwd) {
    kavsite_test::RunResult r = kavsite_test::run_kavsite(args, cwd.string());
    EXPECT_EQ(r.errors, "") << "standard error of the run";
    return ProgramRun{r.status, r.output};
}

std::string server_log(LocalServer* server, const std::string& path) {
    Scratch scratch;
    HttpRequestOptions options = {};
    options.read_body = 1;
    std::string url = server->https("/_requests" + path);
    return str(http_request(scratch.arena, from(url), &options).body);
}

struct UrlChecksRun : ::testing::Test {
    TempDir temp;
    fs::path dir = temp.path;
    LocalServer* server = nullptr;
    void SetUp() override {
        server = local_server();
        ASSERT_TRUE(server->ok);
        fs::create_directories(dir / "docs");
        fs::create_directories(dir / "site");
    }
    std::string root() const { return (dir / "site").string() + "/"; }
};

// The mode line, then the shared resources of the site, before anything else.
const std::string kMode = "\nno file paths check\nHTML: Shared ressources generated\n";
// The phases of a run without documents, and its summary.
const std::string kPhases =
    "KAV (parsing):\nHTML conversion:\n"
    "------------------------------------------------------------\n"
    "\tkav count:  0\n\thtml count: 0\n"
    "------------------------------------------------------------\n"
    "\tWrong file path(s):\n";
// With check_urls, the URL report follows the summary (empty here).
const std::string kReport = "------------------------------------------------------------\nHTTP checks\n";
const std::string kOffline = "Could not connect to internet, checks on URLs aborted\n";

// The connection test decides whether the checks go ahead: any HTTP status
// is enough; no answer, an unknown host or an untrusted certificate switch
// the checks off with a message, and the build goes on.
TEST_F(UrlChecksRun, ConnectionTestSwitchesChecks) {
    std::string refused = "https://127.0.0.1:" + std::to_string(local_refused_port()) + "/save";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string output;
        std::string consent_path;  // where the server must have seen the POST; empty: nowhere
    } cases[] = {
        {"online", {"check_urls", "consent_url=" + server->https("/consent/online"), "ca_file=" + server->ca_file},
         kMode + "[check urls]\n" + kPhases + kReport, "/consent/online"},
        {"error status still online", {"check_urls", "consent_url=" + server->https("/status/503"), "ca_file=" + server->ca_file},
         kMode + "[check urls]\n" + kPhases + kReport, "/status/503"},
        {"refused", {"check_urls", "consent_url=" + refused}, kMode + "[check urls]\n" + kOffline + kPhases + kReport, ""},
        {"unknown host", {"check_urls", "consent_url=https://kavsite-test.invalid/save"},
         kMode + "[check urls]\n" + kOffline + kPhases + kReport, ""},
        {"untrusted certificate", {"check_urls", "consent_url=" + server->https("/consent/untrusted")},
         kMode + "[check urls]\n" + kOffline + kPhases + kReport, ""},
        {"no checks asked", {"consent_url=" + refused}, kMode + kPhases, ""},
        {"workers option", {"check_urls", "url_workers=3", "consent_url=" + server->https("/consent/workers"),
                            "ca_file=" + server->ca_file},
         kMode + "[check urls]\n" + kPhases + kReport, "/consent/workers"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"targ_p=" + (dir / "docs").string(), "root_p=" + root()};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProgramRun r = run_program(args, dir);
        EXPECT_EQ(r.output, c.output) << c.name;
        EXPECT_EQ(r.status, 0) << c.name;
        if (!c.consent_path.empty()) {
            EXPECT_EQ(server_log(server, c.consent_path).rfind("REQUEST POST " + c.consent_path + "\n", 0), 0u) << c.name;
        }
    }
    EXPECT_EQ(server_log(server, "/consent/untrusted"), "");
}

TEST_F(UrlChecksRun, KnownSearchesFileIsLoadedFromTheRoot) {
    std::string consent = "consent_url=https://127.0.0.1:" + std::to_string(local_refused_port()) + "/save";
    std::vector<std::string> args = {"targ_p=" + (dir / "docs").string(), "root_p=" + root(), consent};

    ProgramRun missing = run_program(args, dir);
    EXPECT_EQ(missing.output, kMode + kPhases);

    write_file(dir / "site/kn_searchs.txt",
               "source_finders: {\n]\n  searchers: { urls: [\"https://a.example/\"], start: \"<main>\" }\n}\n");
    ProgramRun warned = run_program(args, dir);
    EXPECT_EQ(warned.output, kMode + "warning: \ntoken: Unexpected \"]\" token.\n" + root() + "kn_searchs.txt:2:1\n" + kPhases);
    EXPECT_EQ(warned.status, 0);

    write_file(dir / "site/kn_searchs.txt", "source_finders: { data_markers: { prefix: \"By \", types: [\"author\"] } }\n");
    ProgramRun clean = run_program(args, dir);
    EXPECT_EQ(clean.output, kMode + kPhases);
}

}  // namespace
