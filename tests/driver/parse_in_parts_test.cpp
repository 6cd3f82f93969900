// A large document is parsed once for what its pages need first (title,
// table of content, notes, link targets, file words, messages), its body's
// blocks given back as the parse passes them, and then parsed again as its
// page is made. Whatever the document, that must give what parsing it whole
// gives: the same console text, URLs, title, pages and raw views.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "kav/kav_guide_examples.h"
#include "support/files.h"
#include "support/strings.h"
#include "driver/build_state.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

struct Built {
    std::string console;  // diagnostics, title, URLs with their places, wrong paths, states
    std::string pages;    // every page and raw view, with its path
    size_t page_count;
};

Built build(RunState* run, const std::string& source, bool in_parts) {
    run->large_document_bytes = in_parts ? 0 : ~0ull;
    Arena* arena = arena_create(GB(4), MB(1));
    DocumentPages result = {};
    document_pages(run, S("/docs/doc.kav"), from(source), CHECK_FILES_FINAL, DOCUMENT_DIAGNOSTICS | DOCUMENT_URLS,
                   arena, &result);
    Built built = {};
    built.console = str(result.diagnostics) + "\ntitle " + str(result.title) + "\n";
    for (StringNode* u = result.urls.first, *l = result.locations.first; u && l; u = u->next, l = l->next) {
        built.console += str(u->string) + " at " + str(l->string) + "\n";
    }
    for (Diagnostic* d = result.wrong_paths.first; d; d = d->next) built.console += str(d->message) + "\n";
    built.console += "errors " + std::to_string(result.errors) + " draft " + std::to_string(result.draft) +
                     " deferred " + std::to_string(result.deferred) + "\n";
    // A path named again shares the texts of its first page: each is shown once.
    std::set<std::string> seen;
    StringNode* path = result.page_paths.first;
    for (PageTexts* texts = result.pages_first; texts; texts = texts->next, path = path ? path->next : 0) {
        if (!seen.insert(path ? str(path->string) : std::string()).second) continue;
        built.pages += "== " + (path ? str(path->string) : std::string("?")) + "\n" + str(texts->page) + "\n== " +
                       str(texts->raw_path) + "\n" + str(texts->raw) + "\n";
        built.page_count += 1;
    }
    arena_release(arena);
    return built;
}

// Builds `source` both ways and compares; `name` says which document failed.
// Returns the build from the whole parse.
Built expect_same(RunState* run, const std::string& source, const std::string& name) {
    Built whole = build(run, source, false);
    Built parts = build(run, source, true);
    EXPECT_EQ(parts.console, whole.console) << name;
    EXPECT_EQ(parts.page_count, whole.page_count) << name;
    EXPECT_TRUE(parts.pages == whole.pages) << name << ": the pages differ; whole:\n" << whole.pages.substr(0, 4000)
                                            << "\nin parts:\n" << parts.pages.substr(0, 4000);
    return whole;
}

// `text` with every "status: draft" line published instead.
std::string published(std::string text) {
    for (size_t at = text.find("status: draft"); at != std::string::npos; at = text.find("status: draft", at)) {
        text.replace(at, 13, "status: ready");
    }
    return text;
}

// `root` must outlive the run, which keeps it.
RunState* run_for(const std::string& root, bool file_check) {
    SiteSettings settings = {};
    settings.root = from(root);
    settings.file_p_check = file_check;
    return run_state_create(&settings);
}

const char* const kHeader = "``\ntitle: Parts\noutput_path: notes/parts.html\n``\n";

// Documents whose shapes test what carries from the first parse to the
// second, and what the second gives back while the walk still needs it.
const char* const kShapes[] = {
    // Quotes in a run join one container; blank lines and other blocks
    // between them decide which do.
    "Intro\n> one\n\n> two\n\n> three\nBetween\n> four\n\n  > nested five\n> six\n",
    // Link targets before and after their links, in notes too; a label
    // without a target and a number without a note.
    "First [#1_]\n  see [#2] and [#1] and [#9]\nSecond [#2_]\n  back to [#1(the first)] here[*1] and[*7]\n"
    "Third\n  more [#3]\n[*1] A note with a target [#3_] and a link [#2].\n",
    // A table, a list and a code block at the root, before any text.
    "|--- |---\n| a | b\n|---\n| c | d\n- one\n- two\n```\ncode <x>\n```\nThen text\n",
    // The title given in a toggle of the body, not in the header.
    "Body first\n  ``\n  title: _Inner_ title\n  ``\nAfter the toggle\n",
    // Words taken for list markers, images with descriptions, a Markdown link.
    "Welcome. Read on\nPictures\n  [_\"/img/a.png\"(300x200 \"A cat\")] and [_\"/img/b.jpg\"(lost words)]\n"
    "  [a link](https://example.org/x) \"https://example.org/y\"(y)\n",
    // Headings with emphasis and links in the table of content.
    "_Strong_ heading [#1_]\n  __Em__ sub heading\n    text\n  Second \"https://example.org\"(site)\nLast [#1]\n",
    // Drafts make no page.
    "``\nstatus: draft\n``\nText\n",
    // No header at all; stray closers; an unclosed context.
    "Just text ) ] __\n  ``\n  open toggle\n",
    // Keys in toggles of the body, whose values the page marks while it
    // converts them, block after block.
    "Rivers [#1_]\n  ``\n  date: 2024/03/15\n  category: travel; ;rivers\n  summary: A short walk\n  ``\n"
    "  text\nHills\n  ``\n  summary: Up and down\n  date: 2024/03/16\n  ``\nEnd\n",
};

TEST(ParsedInParts, DocumentsGiveWhatParsingWholeGives) {
    std::string root = "/site/";
    RunState* run = run_for(root, false);
    std::vector<std::pair<std::string, std::string>> documents;
    for (const char* shape : kShapes) documents.push_back({std::string("shape ") + shape, kHeader + std::string(shape)});
    std::vector<std::string> lines = read_lines(std::string(KAVSITE_SOURCE_DIR) + "/docs/kav.md");
    for (const GuideExample& example : guide_examples(lines)) {
        documents.push_back({"docs/kav.md:" + std::to_string(example.line), kHeader + example.source});
        documents.push_back({"docs/kav.md:" + std::to_string(example.line) + " alone", example.source});
    }
    std::filesystem::path seeds = std::filesystem::path(KAVSITE_SOURCE_DIR) / "tests/kav/fuzz/kav_parse_seeds";
    for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
        documents.push_back({entry.path().string(), kavsite_test::read_file(entry.path())});
    }
    ASSERT_GT(documents.size(), 40u);
    for (const auto& [name, source] : documents) expect_same(run, source, name);
    arena_release(run->arena);
}

// Large enough that the body is written out in several steps and nodes are
// used again many times over, with every construct of the guide.
TEST(ParsedInParts, LargeDocumentOfEveryConstructGivesThePageParsedWhole) {
    std::string root = "/site/";
    RunState* run = run_for(root, false);
    std::vector<std::string> lines = read_lines(std::string(KAVSITE_SOURCE_DIR) + "/docs/kav.md");
    std::string body;
    for (const char* shape : kShapes) body += shape + std::string("\n");
    for (const GuideExample& example : guide_examples(lines)) body += example.source + "\n";
    body = published(body);  // a draft anywhere would make no page at all
    std::string source = kHeader;
    while (source.size() < 400 * 1024) source += body;
    Built whole = expect_same(run, source, "every construct, repeated");
    EXPECT_GT(whole.page_count, 1u);
    EXPECT_GT(whole.pages.size(), source.size());
    arena_release(run->arena);
}

// With the file check on, the words of the second parse show what the check
// of the first found: a link to a file that exists, a missing image, and
// the sizes of an image read from its file.
TEST(ParsedInParts, FileChecksCarryToTheSecondParse) {
    kavsite_test::TempDir root;
    std::filesystem::create_directories(root.path / "html/img");
    kavsite_test::write_file(root.path / "html/img/there.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"/>");
    kavsite_test::write_file(root.path / "html/notes/other.html", "<html></html>");
    std::string root_path = root.path.string() + "/";
    RunState* run = run_for(root_path, true);
    std::string shape =
        "Files\n  [_\"/img/there.svg\"(20x10 \"here\")] [_\"/img/missing.png\"(\"gone\")]\n"
        "  \"/notes/other.html\"(the other page) and \"/notes/none.html\"(no page)\n"
        "Notes\n  a note here[*1]\n[*1] It names \"/img/there.svg\"(a picture) and \"/nowhere.txt\"(nothing).\n";
    std::string source = kHeader;
    while (source.size() < 64 * 1024) source += shape;
    expect_same(run, source, "file words");
    Built parts = build(run, source, true);
    EXPECT_NE(parts.console.find("/nowhere.txt"), std::string::npos) << parts.console;
    arena_release(run->arena);
}

}  // namespace
