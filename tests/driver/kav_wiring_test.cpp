// The KAV parser in the build's parse phase: documents parsed with their
// diagnostics printed, drafts skipped, one page per html output path,
// sections from those pages, missing local files listed as wrong paths for
// the summary; and the same seen from a whole run of the program.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/service_fixture.h"
#include "support/program.h"
#include "support/strings.h"
#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::str;
using kavsite_test::write_file;

// The documents of both tests; b.kav and c.KAV hold a bad table line.
void make_documents(const fs::path& docs) {
    write_file(docs / "a.kav", "``\ntitle: A\noutput_path: a/x.html b/y.htm\n``\nSee \"/img/none.png\"\n");
    write_file(docs / "b.kav", "``\nstatus: DrAfT\noutput_path: c/z.html\n``\n| q\n");
    write_file(docs / "c.KAV", "| not read\n");
    write_file(docs / "d.kav", "``\noutput_path: Notes/n.html\n``\n");
    write_file(docs / "e.kav", "``\noutput_path: notes/m.html html/top.html\n``\n");
    write_file(docs / "f.kav", "Only text\n");
}

struct KavWiringTest : kavsite_test::ServiceTest {
};

// The hint printed for a document without a header (it publishes nothing).
std::string no_header(const fs::path& document) {
    return "warning: \ntoken: no header, so this document publishes no page; start it with a `` block that holds "
           "'output_path: <page>.html'\n" +
           document.string() + ":1:1\n";
}

TEST_F(KavWiringTest, ParsePhaseParsesSkipsDraftsAndRecordsEntriesAndSections) {
    fs::path docs = dir / "docs";
    make_documents(docs);
    std::string root = (dir / "site").string() + "/";
    fs::create_directories(root);

    SiteSettings settings = {};
    settings.root = from(root);
    settings.file_p_check = 1;
    RunState* run = run_state_create(&settings);
    build_collect_sources(run, from(docs.string()), BUILD_TARGET_DIRECTORY);

    testing::internal::CaptureStdout();
    build_parse_phase(run);
    console_flush();
    std::string printed = testing::internal::GetCapturedStdout();
    // A draft is parsed (and its problems shown) before it is skipped; the
    // upper-case extension is not a KAV document. The source's name is
    // printed once per html page.
    EXPECT_EQ(printed, "KAV (parsing):\n\ta.kav\nerror: \ntoken: Unexpected \"|\" token.\n" + (docs / "b.kav").string() +
                           ":5:1\n\td.kav\n\te.kav\n\te.kav\n" + no_header(docs / "f.kav"));
    EXPECT_EQ(run->kav_count, 5u);

    // One page per html output path below the root, titled from the
    // document; none for a draft or a document without output path.
    std::vector<std::string> pages;
    BuildPageCursor cursor = {};
    for (BuildPage* p = build_page_next(&run->pages, &cursor); p; p = build_page_next(&run->pages, &cursor)) {
        String path = build_page_path(run->arena, p);
        pages.push_back(str(path).substr(root.size()) + " " + std::string((const char*)p->title, p->title_size));
        EXPECT_EQ(p->state->written, 1u) << str(path);
        EXPECT_EQ(p->state->has_raw, 1u) << str(path);
        EXPECT_EQ(p->state->raw_written, 1u) << str(path);
    }
    std::vector<std::string> want = {"html/a/x.html A", "html/Notes/n.html d", "html/notes/m.html e",
                                     "html/top.html e"};
    EXPECT_EQ(pages, want);
    EXPECT_EQ(run->pages.count, 4u);

    // Sections: html pages only, first spelling wins, the html folder none.
    std::vector<std::string> sections;
    for (StringNode* n = run->sections.first; n; n = n->next) sections.push_back(str(n->string));
    EXPECT_EQ(sections, (std::vector<std::string>{"a", "Notes"}));

    // The missing local file is a wrong path for the summary.
    std::string wrong = (docs / "a.kav").string() + ":5:5\n\t" + root + "html/img/none.png";
    String summary = build_summary_text(run->arena, run->kav_count, 0, run->wrong_paths_first);
    EXPECT_NE(str(summary).find("\tkav count:  5\n"), std::string::npos) << str(summary);
    EXPECT_NE(str(summary).find("\tWrong file path(s):\n\t" + wrong + "\n"), std::string::npos) << str(summary);
    arena_release(run->site->arena);
    arena_release(run->arena);
}

// Standard output of the program run on `args`.
std::string run_program(const std::vector<std::string>& args) {
    return kavsite_test::run_kavsite(args, "/tmp").output;
}

TEST_F(KavWiringTest, WholeRunPrintsEachDocumentsDiagnostics) {
    fs::path docs = dir / "docs";
    make_documents(docs);
    write_file(docs / "g.kav", "A ] b\n\n  }~\n");
    fs::create_directories(dir / "site");
    std::string out = run_program({"targ_p=" + docs.string(), "root_p=" + (dir / "site").string()});
    std::string b = "error: \ntoken: Unexpected \"|\" token.\n" + (docs / "b.kav").string() + ":5:1\n";
    std::string g = no_header(docs / "g.kav") + "warning: \ntoken: Unexpected \"]\" token.\n" + (docs / "g.kav").string() + ":1:3\n" +
                    "warning: \ntoken: Unexpected \"}~\" token.\n" + (docs / "g.kav").string() + ":3:3\n";
    EXPECT_NE(out.find("KAV (parsing):\n\ta.kav\n" + b + "\td.kav\n\te.kav\n\te.kav\n" + no_header(docs / "f.kav") + g +
                       "HTML conversion:\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("c.KAV"), std::string::npos) << out;
}

}  // namespace
