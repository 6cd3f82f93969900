// The command line checked before a build: unknown options named with the
// nearest known one, a path option whose value was left out refused, and
// the form in which documents' diagnostics print.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/program.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::RunResult;
using kavsite_test::run_kavsite;
using kavsite_test::TempDir;
using kavsite_test::write_file;

const std::string kNoCheck = "\nno file paths check\n";

struct OptionsRun : ::testing::Test {
    TempDir temp;
    std::string docs = (temp.path / "docs").string();
    std::string site = (temp.path / "site").string();
    void SetUp() override {
        fs::create_directories(site);
        write_file(temp.path / "docs/a.kav", "``\noutput_path: a.html\n``\n- item\n");
    }
    RunResult run(std::vector<std::string> extra) {
        std::vector<std::string> args = {"targ_p=" + docs, "root_p=" + site};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_kavsite(args, temp.path.string());
    }
};

TEST_F(OptionsRun, UnknownOptionsAreNamedAndTheBuildGoesOn) {
    RunResult r = run({"--depoly", "chek_urls", "Js=1", "frobnicate", "root:x", "diagnostics=lines"});
    EXPECT_EQ(r.status, 0) << r.output << r.errors;
    EXPECT_EQ(r.output.rfind("unknown option 'depoly' ignored; did you mean 'deploy'?\n"
                             "unknown option 'chek_urls' ignored; did you mean 'check_urls'?\n"
                             "unknown option 'Js' ignored; did you mean 'js'?\n"
                             "unknown option 'frobnicate' ignored\n"
                             "unknown option 'root' ignored; did you mean 'root_p'?\n"
                             "unknown value 'lines' for diagnostics ignored; use diagnostics=line\n" +
                                 kNoCheck,
                             0),
              0u)
        << r.output;
    EXPECT_TRUE(fs::exists(fs::path(site) / "html/a.html")) << "the misspelled deploy gave a local build";

    // Every option the program reads is known (serve has its own test: any
    // value of it starts a server or stops the build).
    r = run({"deploy=0", "js=0", "dev_js=0", "file_p_check=0", "check_urls=0", "print_todos", "ca_file=x",
             "url_workers=1", "diagnostics=block", "site_title=T", "no_wait", "max_doc_mb=8", "watch=0"});
    EXPECT_EQ(r.status, 0) << r.errors;
    EXPECT_EQ(r.output.find("unknown"), std::string::npos) << r.output;
}

TEST_F(OptionsRun, APathOptionWithoutItsValueIsRefused) {
    struct Case {
        std::vector<std::string> args;
        std::string output;
    } cases[] = {
        {{"targ_p=" + docs, "root_p=", "deploy"},
         "root_p= has no value: the next argument, 'deploy', is an option, not the site root; write root_p=<path>\n"
         "aborted"},
        {{"targ_p=" + docs, "--root_p:", "--js=1"},
         "root_p= has no value: the next argument, '--js=1', is an option, not the site root; write root_p=<path>\n"
         "aborted"},
        {{"targ_p=", "root_p=" + site},
         "targ_p= has no value: the next argument, 'root_p=" + site +
             "', is an option, not the documents; write targ_p=<path>\naborted"},
    };
    for (const Case& c : cases) {
        RunResult r = run_kavsite(c.args, temp.path.string());
        EXPECT_EQ(r.output, c.output);
        EXPECT_EQ(r.status, 2) << r.errors;
        EXPECT_FALSE(fs::exists(fs::path(site) / "html")) << "a refused run wrote something";
        EXPECT_FALSE(fs::exists(temp.path / "deploy"));
    }
    // A value in the next argument is still a value.
    RunResult r = run_kavsite({"targ_p=", docs, "root_p=", site}, temp.path.string());
    EXPECT_EQ(r.status, 0) << r.output << r.errors;
    EXPECT_TRUE(fs::exists(fs::path(site) / "html/a.html"));
}

TEST_F(OptionsRun, DiagnosticsPrintInTheFormAsked) {
    const std::string at = (temp.path / "docs/a.kav").string() + ":4:1";
    const std::string message = "'- ' makes no list item in KAV; a bullet item is written '. item'";
    for (const char* option : {"", "diagnostics=block"}) {
        RunResult r = run(*option ? std::vector<std::string>{option} : std::vector<std::string>{});
        EXPECT_NE(r.output.find("KAV (parsing):\nwarning: \ntoken: " + message + "\n" + at + "\n"), std::string::npos)
            << option << "\n" << r.output;
    }
    RunResult r = run({"diagnostics=line"});
    EXPECT_NE(r.output.find("KAV (parsing):\n" + at + ": warning: " + message + "\n\ta.kav\n"), std::string::npos)
        << r.output;
    EXPECT_EQ(r.status, 0) << r.errors;
}

}  // namespace
