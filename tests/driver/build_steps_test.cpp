// Steps of the build driver run in-process: what the walk collects, what the
// fetch-and-count pass counts, and the texts and names the driver makes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/service_fixture.h"
#include "support/strings.h"
#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"
#include "htmldom/html_dom.h"
#include "kav/kav_document.h"
#include "site/page.h"

namespace fs = std::filesystem;

namespace {

using kavsite_test::from;
using kavsite_test::str;
using kavsite_test::write_file;

// One entry of a test tree: a file with text, a directory (trailing "/"),
// or a symbolic link ("name -> target").
void make_entry(const fs::path& base, const std::string& entry) {
    size_t arrow = entry.find(" -> ");
    if (arrow != std::string::npos) {
        fs::path link = base / entry.substr(0, arrow);
        fs::create_directories(link.parent_path());
        fs::create_symlink(entry.substr(arrow + 4), link);
    } else if (entry.back() == '/') {
        fs::create_directories(base / entry);
    } else {
        write_file(base / entry, "text of " + entry);
    }
}

// A run for a site at /site/ with default settings.
RunState* new_run() {
    SiteSettings settings = {};
    settings.root = S("/site/");
    return run_state_create(&settings);
}

struct BuildStepsTest : kavsite_test::ServiceTest {
    std::string printed;  // what the last collect printed
    // The collected paths relative to `target`.
    std::vector<std::string> collect(const std::string& target) {
        RunState* run = new_run();
        String t = from(target);
        testing::internal::CaptureStdout();
        build_collect_sources(run, t, build_target_kind(t));
        console_flush();
        printed = testing::internal::GetCapturedStdout();
        std::vector<std::string> paths;
        u64 total = 0;
        FileListCursor cursor = {};
        for (const FileListNode* node = file_list_next(&run->files, &cursor); node; node = file_list_next(&run->files, &cursor)) {
            String path = file_list_path(run->arena, node);
            std::string p = str(path);
            EXPECT_EQ(p.rfind(target, 0), 0u) << p;
            EXPECT_EQ(path.str[path.size], 0) << "not NUL-terminated";
            EXPECT_EQ(file_list_name(node).str[file_list_name(node).size], 0) << "name not NUL-terminated";
            paths.push_back(p.substr(std::min(p.size(), target.size() + 1)));
            total += path.size;
        }
        EXPECT_EQ(run->files.count, paths.size());
        EXPECT_EQ(run->files.total_size, total);
        file_list_release(&run->files);
        arena_release(run->arena);
        return paths;
    }
};

TEST_F(BuildStepsTest, TargetKindComesFromTheFileSystem) {
    for (const char* entry : {"docs/", "v1.2/", "one.kav", "no_extension", "link -> docs", "dead -> nowhere"}) {
        make_entry(dir, entry);
    }
    struct Case {
        const char* name;
        BuildTargetKind kind;
    };
    const Case cases[] = {
        {"docs", BUILD_TARGET_DIRECTORY},   {"v1.2", BUILD_TARGET_DIRECTORY},
        {"link", BUILD_TARGET_DIRECTORY},   {"one.kav", BUILD_TARGET_DOCUMENT},
        {"no_extension", BUILD_TARGET_DOCUMENT}, {"missing", BUILD_TARGET_NONE},
        {"dead", BUILD_TARGET_NONE},        {"missing.kav", BUILD_TARGET_NONE},
    };
    for (const Case& c : cases) {
        std::string p = (dir / c.name).string();
        EXPECT_EQ(build_target_kind(from(p)), c.kind) << c.name;
    }
}

TEST_F(BuildStepsTest, WalkCollectsDocumentsBreadthFirstInListingOrder) {
    struct Case {
        const char* name;
        std::vector<std::string> tree;  // relative to the temporary folder; the target is "t"
        std::vector<std::string> expected;
        std::vector<std::string> skipped = {};  // folders with a "Skipped folder" line, relative to "t"
    };
    const Case cases[] = {
        {"breadth first, folded name order",
         {"t/b.kav", "t/a/x.kav", "t/C.kav", "t/a/y/z.kav", "t/c/w.kav", "t/a/B.kav"},
         {"b.kav", "C.kav", "a/B.kav", "a/x.kav", "c/w.kav", "a/y/z.kav"}},
        {"empty folder", {"t/"}, {}},
        {"empty subfolders", {"t/e/", "t/f/g/", "t/h.kav"}, {"h.kav"}},
        {"dots in folder names are walked", {"t/v1.2/a.kav", "t/.hidden/b.kav", "t/x.kav/c"},
         {".hidden/b.kav", "v1.2/a.kav"}},
        {"only the exact extension is listed", {"t/a.kav", "t/b.KAV", "t/c.kav.txt", "t/d.txt", "t/kav", "t/.kav"},
         {".kav", "a.kav"}},
        {"blanks and non-ASCII names", {"t/My Docs/é 1.kav", "t/ lead.kav", "t/日本/語.kav"},
         {" lead.kav", "My Docs/é 1.kav", "日本/語.kav"}},
        {"link back to the target is not entered", {"t/a.kav", "t/sub/b.kav", "t/sub/up -> .."},
         {"a.kav", "sub/b.kav"}},
        {"link to itself", {"t/a.kav", "t/self.kav -> self.kav"}, {"a.kav", "self.kav"}},
        {"two links to one folder enter it once", {"t/real/r.kav", "t/l1 -> real", "t/l2 -> real"},
         {"l1/r.kav"}},
        {"link to a folder inside the target is followed", {"t/deep/er/d.kav", "t/short -> deep/er"},
         {"short/d.kav"}},
        {"link to a folder outside the target is not followed",
         {"t/a.kav", "t/out -> ../outside", "outside/o.kav", "outside/deep/d.kav"},
         {"a.kav"}, {"out/"}},
        {"link to the parent is not followed", {"t/a.kav", "t/parent -> ..", "top.kav"}, {"a.kav"}, {"parent/"}},
        // The shape of /proc, where every process links to "/": a walk that
        // followed them would read the whole system.
        {"links to the file system root are not followed",
         {"t/1/cwd -> /", "t/1/root -> /", "t/1/doc.kav", "t/self -> 1"},
         {"1/doc.kav"}, {"1/cwd/", "1/root/"}},
        {"links to files and dangling links are listed",
         {"t/real.kav", "t/copy.kav -> real.kav", "t/dead.kav -> nowhere.kav"},
         {"copy.kav", "dead.kav", "real.kav"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::path base = dir / std::to_string(&c - cases);
        fs::create_directories(base / "t");
        for (const std::string& entry : c.tree) make_entry(base, entry);
        EXPECT_EQ(collect((base / "t").string()), c.expected);
        std::string lines;
        for (const std::string& folder : c.skipped) {
            lines += "Skipped folder " + (base / "t").string() + "/" + folder + ": a link that leads outside the target\n";
        }
        EXPECT_EQ(printed, lines);
    }
}

// A target reached through a link is walked as the folder it names: links
// inside that folder stay inside the target.
TEST_F(BuildStepsTest, TargetThroughALink) {
    for (const char* entry : {"real/a.kav", "real/sub/b.kav", "real/again -> sub", "target -> real"}) make_entry(dir, entry);
    EXPECT_EQ(collect((dir / "target").string()), (std::vector<std::string>{"a.kav", "again/b.kav"}));
    EXPECT_EQ(printed, "");
}

TEST_F(BuildStepsTest, DocumentTargetIsTheOnlyEntry) {
    make_entry(dir, "folder.d/one.kav");
    std::string target = (dir / "folder.d/one.kav").string();
    RunState* run = new_run();
    build_collect_sources(run, from(target), BUILD_TARGET_DOCUMENT);
    ASSERT_EQ(run->files.count, 1u);
    EXPECT_EQ(str(file_list_path(run->arena, run->files.first->nodes[0])), target);
    file_list_release(&run->files);
    arena_release(run->arena);
    // A target that names nothing collects nothing.
    run = new_run();
    build_collect_sources(run, from((dir / "nothing").string()), BUILD_TARGET_NONE);
    EXPECT_EQ(run->files.count, 0u);
    arena_release(run->arena);
}

// Only documents are read, each once; other files are never fetched, however
// large (a 4 GiB video, sparse here); a document above the size limit gets a
// line and is not read; a byte-order mark is not part of the document.
TEST_F(BuildStepsTest, ParsePhaseReadsOnlyDocumentsWithinTheLimit) {
    const std::vector<std::string> tree = {
        "a.kav", "b.KAV", "c.kav.txt", "d.Kav", "e.kav", "notes.kav/readme", "kav", "sub/f.kav", "sub/.kav",
        "sub/g.kavv", "sub/h.txt.kav", "video.mp4", "huge.kav",
    };
    for (const std::string& entry : tree) make_entry(dir, entry);
    write_file(dir / "e.kav", "");  // an empty document counts too
    const std::string marked = "``\ntitle: marked\noutput_path: m.html\n``\n";
    write_file(dir / "a.kav", "\xEF\xBB\xBF" + marked);
    ASSERT_EQ(truncate((dir / "video.mp4").c_str(), 4ll << 30), 0);
    ASSERT_EQ(truncate((dir / "huge.kav").c_str(), 65 * 1024 * 1024 + 1), 0);
    const std::vector<std::string> documents = {"a.kav", "e.kav", "sub/f.kav", "sub/.kav", "sub/h.txt.kav"};

    RunState* run = new_run();
    run->max_doc_size = MB(64);
    build_collect_sources(run, from(dir.string()), BUILD_TARGET_DIRECTORY);
    ASSERT_EQ(run->files.count, documents.size() + 1);

    testing::internal::CaptureStdout();
    build_parse_phase(run);
    console_flush();
    // The documents with text but no header say they publish nothing; the
    // one with a header prints its page; the one too large is skipped.
    std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed.rfind("KAV (parsing):\n\ta.kav\n", 0), 0u) << printed;
    EXPECT_NE(printed.find("Skipped " + (dir / "huge.kav").string() + ": 66 MB, more than max_doc_mb=64\n"),
              std::string::npos)
        << printed;
    size_t hints = 0;
    for (size_t at = printed.find("publishes no page"); at != std::string::npos; at = printed.find("publishes no page", at + 1)) {
        hints += 1;
    }
    EXPECT_EQ(hints, 3u) << printed;
    EXPECT_EQ(run->kav_count, documents.size());
    EXPECT_EQ(run->files.first, nullptr);
    EXPECT_EQ(run->files.last, nullptr);
    EXPECT_EQ(run->files.count, 0u);
    EXPECT_EQ(run->files.total_size, 0u);
    for (const std::string& p : documents) EXPECT_EQ(fs_request_load_count(from((dir / p).string())), 1u) << p;
    for (const std::string& p : tree) {
        bool document = std::find(documents.begin(), documents.end(), p) != documents.end() || p == "huge.kav";
        if (!document) {
            EXPECT_EQ(fs_request_load_count(from((dir / p).string())), 0u) << p << " was fetched";
        }
    }
    // The header right after the mark was read as a header: its title and
    // output path made the page.
    ASSERT_EQ(run->pages.count, 1u);
    BuildPageCursor cursor = {};
    BuildPage* page = build_page_next(&run->pages, &cursor);
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(std::string((const char*)page->title, page->title_size), "marked");
    build_page_cursor_end(&cursor);
    arena_release(run->arena);
}

// Each document is read once, also when a worker reads and releases its own
// document before another's read-ahead of it comes: with the scanner running
// (records stay) and paused as in a build (released records are retired).
TEST_F(BuildStepsTest, ParsePhaseOverManyFilesFetchesEachOnce) {
    for (bool paused : {false, true}) {
        SCOPED_TRACE(paused ? "scanner paused" : "scanner running");
        fs::path base = dir / (paused ? "paused" : "running");
        fs_scanner_pause(paused);
        // More files than are requested ahead, with some unreadable entries.
        const int count = 700;
        for (int i = 0; i < count; i += 1) make_entry(base, "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".kav");
        make_entry(base, "d0/dead.kav -> missing");
        RunState* run = new_run();
        build_collect_sources(run, from(base.string()), BUILD_TARGET_DIRECTORY);
        ASSERT_EQ(run->files.count, (u64)count + 1);
        std::vector<std::string> paths;
        FileListCursor cursor = {};
        for (const FileListNode* node = file_list_next(&run->files, &cursor); node; node = file_list_next(&run->files, &cursor)) {
            paths.push_back(str(file_list_path(run->arena, node)));
        }
        testing::internal::CaptureStdout();
        build_parse_phase(run);
        console_flush();
        // The link to nothing comes first in its folder; the documents without a
        // header each say they publish nothing.
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_EQ(printed.rfind("KAV (parsing):\nSkipped " + (base / "d0/dead.kav").string() + ": does not exist\n", 0), 0u);
        EXPECT_EQ(run->kav_count, (u64)count);
        for (const std::string& p : paths) EXPECT_EQ(fs_request_load_count(from(p)), 1u) << p;
        arena_release(run->arena);
    }
    fs_scanner_pause(false);
}

// A document large enough to be made on memory of its own, its body written
// out as it is converted, gives the page that building it whole gives: in
// pieces around a spooled body for the build, in one text otherwise.
TEST(BuildPages, LargeDocumentGivesThePageBuiltWhole) {
    std::string source = "``\ntitle: Big\nauthor: Ann\noutput_path: notes/big.html\n``\n";
    for (int k = 0; source.size() < 600 * 1024; k += 1) {
        std::string n = std::to_string(k);
        source += "Part " + n + " [#1_]\n  Words _of " + n + "_ here[*1] and [#1] 1. one 2. two\n";
        source += "  >  Quoted " + n + ". _strong_ More words. `code <x>`\n\n  >  Next " + n + "\n";
        source += "- item " + n + "\n  - inner\n|--- |---\n| a | " + n + "\n[#1] 1. x 2. y\n";
    }
    source += "[*1] The note.\n";
    String bytes = from(source);
    String path = S("/docs/big.kav");
    RunState* run = new_run();
    Arena* arena = arena_create(GB(4), MB(1));

    KavParseResult document = kav_parse_document(arena, bytes, path);
    PageBuilder builder = page_builder(run->site, arena);
    HtmlPage page = {};
    build_page(&builder, &page, &document, path, S("/site/html/notes/big.html"));
    std::string whole = str(html_serialize_to_string(arena, page.document.root));
    ASSERT_GT(whole.size(), 0u);

    DocumentPages pieces = {};
    document_pages(run, path, bytes, CHECK_FILES_FINAL, DOCUMENT_PAGE_PIECES, arena, &pieces);
    ASSERT_NE(pieces.pages_first, nullptr);
    EXPECT_EQ(str(pieces.page_paths.first->string), "/site/html/notes/big.html");
    EXPECT_EQ(pieces.pages_first->page.size, 0u);
    // The body went to a spool: the pieces around it are a small part.
    PagePieces* made = &pieces.pages_first->page_pieces;
    ASSERT_NE(made->spool, nullptr);
    EXPECT_GT(made->spool->size, whole.size() / 2);
    EXPECT_GT(made->after.node_count, 0u);
    EXPECT_TRUE(str(page_pieces_join(arena, made)) == whole);
    EXPECT_EQ(pieces.pages_first->raw.size, 0u);
    EXPECT_GT(page_pieces_size(&pieces.pages_first->raw_pieces), bytes.size);
    page_pieces_close(made);

    DocumentPages joined = {};
    document_pages(run, path, bytes, CHECK_FILES_FINAL, 0, arena, &joined);
    ASSERT_NE(joined.pages_first, nullptr);
    EXPECT_EQ(joined.pages_first->page_pieces.before.first, nullptr);
    EXPECT_TRUE(str(joined.pages_first->page) == whole);
    arena_release(arena);
    arena_release(run->arena);
}

// A document naming one output path again and again makes that page once:
// a copy per line held until the commit took memory and time in the square
// of the document's size. Every path keeps its entry (the console names
// each repeat), and each repeat shares the first one's texts.
TEST(BuildPages, RepeatedOutputPathMakesItsPageOnce) {
    std::string source = "``\ntitle: Again\noutput_path: a.html b.html a.html\n``\nText [*1]\n";
    for (int k = 0; k < 200; k += 1) source += "  ``\n  output_path: a.html\n  ``\n  words " + std::to_string(k) + "\n";
    source += "[*1] A note.\n";
    RunState* run = new_run();
    Arena* arena = arena_create(GB(4), MB(1));
    DocumentPages pages = {};
    document_pages(run, S("/docs/again.kav"), from(source), CHECK_FILES_FINAL, 0, arena, &pages);
    ASSERT_EQ(pages.page_paths.node_count, 203u);
    const u8* a_page = pages.pages_first->page.str;
    u64 texts = 0;
    StringNode* path = pages.page_paths.first;
    for (PageTexts* t = pages.pages_first; t; t = t->next, path = path->next, texts += 1) {
        bool is_a = str(path->string) == "/site/html/a.html";
        EXPECT_EQ(t->page.str == a_page, is_a) << texts << " " << str(path->string);
        EXPECT_EQ(str(t->raw_path), is_a ? "/site/html/raw_a.html" : "/site/html/raw_b.html");
        EXPECT_GT(t->page.size, 0u);
    }
    EXPECT_EQ(texts, 203u);
    arena_release(arena);
    arena_release(run->arena);
}

TEST(BuildNames, RawPathPutsRawBeforeTheFileName) {
    struct Case {
        const char* output;
        const char* raw;
    };
    const Case cases[] = {
        {"a/x.html", "a/raw_x.html"},
        {"/srv/site/html/notes/a.html", "/srv/site/html/notes/raw_a.html"},
        {"C:\\site\\html\\b.html", "C:\\site\\html/raw_b.html"},
        {"x.html", "raw_x.html"},
        {"/x.html", "/raw_x.html"},
    };
    Arena* arena = arena_create(MB(1), KB(4));
    for (const Case& c : cases) EXPECT_EQ(str(build_raw_path(arena, from(c.output))), c.raw) << c.output;
    arena_release(arena);
}

TEST(BuildNames, SectionsAreDistinctFolderNamesOtherThanHtml) {
    struct Case {
        const char* name;
        std::vector<std::string> outputs;
        std::vector<std::string> sections;
    };
    const Case cases[] = {
        {"one per folder, first spelling kept", {"a/x.html", "Notes/y.html", "notes/z.html", "a/w.html"}, {"a", "Notes"}},
        {"html in any case adds none", {"html/x.html", "HTML/y.html", "/srv/site/HtMl/z.html"}, {}},
        {"last folder of a deep path", {"/srv/site/html/notes/2024/a.html", "b/c/d.html"}, {"2024", "c"}},
        {"no folder adds none", {"x.html", "/x.html"}, {}},
        {"backslash separators", {"blog\\post.html"}, {"blog"}},
        {"htmlx is not html", {"htmlx/a.html"}, {"htmlx"}},
    };
    for (const Case& c : cases) {
        RunState* run = new_run();
        for (const std::string& output : c.outputs) build_add_section(run, from(output));
        std::vector<std::string> got;
        for (StringNode* node = run->sections.first; node; node = node->next) {
            got.push_back(str(node->string));
            EXPECT_EQ(node->string.str[node->string.size], 0) << "not NUL-terminated";
        }
        EXPECT_EQ(got, c.sections) << c.name;
        arena_release(run->arena);
    }
}

TEST(BuildTexts, SummaryBlock) {
    Arena* arena = arena_create(MB(1), KB(4));
    const std::string dashes(60, '-');
    EXPECT_EQ(str(build_summary_text(arena, 10, 7, nullptr)),
              dashes + "\n\tkav count:  10\n\thtml count: 7\n" + dashes + "\n\tWrong file path(s):\n");
    // The lists of two documents, the first with two paths, one empty.
    WrongPathsNode lists[3] = {};
    lists[0].next = &lists[1];
    lists[1].next = &lists[2];
    diag_append_at(arena, &lists[0].list, 0, 0, DIAG_WARNING, S("img/a.png"));
    diag_append_at(arena, &lists[0].list, 0, 5, DIAG_WARNING, S("files/b c.pdf"));
    diag_append_at(arena, &lists[2].list, 0, 1, DIAG_WARNING, S("c.txt"));
    EXPECT_EQ(str(build_summary_text(arena, 0, 0, lists)),
              dashes + "\n\tkav count:  0\n\thtml count: 0\n" + dashes +
                  "\n\tWrong file path(s):\n\timg/a.png\n\tfiles/b c.pdf\n\tc.txt\n");
    EXPECT_EQ(str(build_summary_text(arena, 18446744073709551615ull, 1, nullptr)),
              dashes + "\n\tkav count:  18446744073709551615\n\thtml count: 1\n" + dashes + "\n\tWrong file path(s):\n");
    arena_release(arena);
}

}  // namespace

// Without the threads option a handful of documents is built on the calling
// thread alone (no worker is started), and a site of many on every processor.
TEST(BuildDefaultThreads, FewDocumentsStartNoWorker) {
    u32 processors = os_system_info()->processor_count;
    struct Case {
        u64 documents;
        u32 threads;
    } cases[] = {
        {0, 1}, {1, 1}, {6, 1}, {15, 1}, {16, std::min(2u, processors)}, {5000, processors},
    };
    for (const Case& c : cases) EXPECT_EQ(build_default_threads(c.documents), c.threads) << c.documents;
}
