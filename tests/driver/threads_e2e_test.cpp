// Documents are parsed and their pages built on several threads, and the
// results committed in document order: a build on many threads prints the
// same console text and writes the same bytes as a build on one.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/files.h"
#include "support/program.h"

namespace fs = std::filesystem;
using kavsite_test::read_file;
using kavsite_test::run_kavsite;
using kavsite_test::TempDir;
using kavsite_test::write_file;

namespace {

// Every file under `root`, by path relative to it, but the build's own
// bookkeeping at the root (its lock, the manifest of the pages it wrote,
// which names inodes).
std::map<std::string, std::string> snapshot(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        std::string relative = fs::relative(entry.path(), root).string();
        if (relative.rfind(".kavsite", 0) == 0) continue;
        if (entry.is_regular_file()) files[relative] = read_file(entry.path());
    }
    return files;
}

// A site of many documents of varied sizes and constructs that link each
// other forwards and backwards, with drafts, warnings and missing files.
void make_documents(const fs::path& docs, int count) {
    std::mt19937 rng(7);
    const char* sections[] = {"notes", "journal", "misc"};
    const char* lines[] = {"  A paragraph with _strong_ and __em__ words and `code`.",
                           "> a quote line",
                           "> > a nested quote",
                           ". an item",
                           ". another item with \"https://example.org/x\"(a link)",
                           "|---\n| a | b\n|---\n| 1 | 2",
                           "``\nA heading in a toggle\n  text\n``",
                           "Footnote[*1] here\n[*1] the note",
                           "] stray bracket",
                           "See \"/img/none.png\" for nothing"};
    for (int i = 0; i < count; i += 1) {
        std::string doc = "``\ntitle: Document " + std::to_string(i) + "\n";
        if (i % 17 == 5) doc += "status: draft\n";
        doc += "output_path: " + std::string(sections[i % 3]) + "/d" + std::to_string(i) + ".html\n``\n";
        int next = (i + 7) % count, previous = (i + count - 3) % count;
        doc += "Links\n  To \"/" + std::string(sections[next % 3]) + "/d" + std::to_string(next) + ".html\"(later) and \"/" +
               sections[previous % 3] + "/d" + std::to_string(previous) + ".html\"(earlier).\n";
        int n = 1 + (int)(rng() % 40);
        for (int k = 0; k < n; k += 1) doc += std::string("Part ") + std::to_string(k) + "\n" + lines[rng() % 10] + "\n";
        write_file(docs / sections[i % 3] / ("d" + std::to_string(i) + ".kav"), doc);
    }
}

struct Build {
    std::string console;
    int status;
    std::map<std::string, std::string> files;
};

Build build(const fs::path& site, const fs::path& docs, const fs::path& work, const std::string& threads,
            const std::vector<std::string>& extra) {
    std::error_code ec;
    fs::remove_all(work, ec);
    fs::copy(site, work, fs::copy_options::recursive);
    std::vector<std::string> args = {"targ_p=" + docs.string(), "root_p=" + work.string(), "threads=" + threads};
    args.insert(args.end(), extra.begin(), extra.end());
    kavsite_test::RunResult result = run_kavsite(args, "/tmp");
    EXPECT_EQ(result.errors, "");
    return Build{result.output, result.status, snapshot(work)};
}

TEST(ThreadsEndToEnd, ManyThreadsBuildWhatOneBuilds) {
    TempDir dir;
    fs::path generated = dir.path / "generated";
    make_documents(generated / "documents", 300);
    fs::create_directories(generated / "site");
    fs::path example = fs::path(KAVSITE_SOURCE_DIR) / "examples/site";
    struct Case {
        const char* name;
        fs::path site;
        fs::path docs;
        std::vector<std::string> options;
    };
    const Case cases[] = {
        {"example, local", example, example / "documents", {}},
        {"example, deploy", example, example / "documents", {"deploy"}},
        {"generated, file check", generated / "site", generated / "documents", {"file_p_check"}},
        {"generated, deploy", generated / "site", generated / "documents", {"deploy"}},
    };
    for (const Case& c : cases) {
        // Both builds write to the same folder, so links to it are the same.
        fs::path work = dir.path / "work";
        Build one = build(c.site, c.docs, work, "1", c.options);
        Build many = build(c.site, c.docs, work, "4", c.options);
        EXPECT_EQ(one.status, 0) << c.name;
        EXPECT_EQ(many.status, one.status) << c.name;
        EXPECT_EQ(many.console, one.console) << c.name;
        EXPECT_GT(one.files.size(), 10u) << c.name;
        EXPECT_EQ(many.files.size(), one.files.size()) << c.name;
        for (const auto& [path, bytes] : one.files) {
            auto it = many.files.find(path);
            ASSERT_NE(it, many.files.end()) << c.name << ": " << path;
            EXPECT_EQ(it->second, bytes) << c.name << ": " << path;
        }
    }
}

}  // namespace
