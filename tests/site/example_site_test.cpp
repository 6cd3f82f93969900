// The bundled example site: its documents use every construct of the KAV
// guide, and it builds cleanly.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/os.h"
#include "kav/kav_document.h"
#include "kav/kav_node.h"
#include "site/theme_files.h"
#include "support/files.h"
#include "support/html5_check.h"
#include "support/program.h"
#include "support/strings.h"

namespace {

using namespace kavsite_test;
namespace fs = std::filesystem;

const fs::path kExample = fs::path(KAVSITE_SOURCE_DIR) / "examples/site";


struct ParsedExample {
    std::vector<const KavNode*> nodes;  // every node of every document
    std::set<std::string> keys;         // metadata keys used, lower case
    std::set<std::string> statuses;     // lower case
    u64 file_paths = 0;
};

// Visits the tree without recursion; detached footnotes and internal link
// targets are visited too.
void collect(const KavNode* root, ParsedExample* out) {
    std::vector<const KavNode*> stack = {root};
    while (!stack.empty()) {
        const KavNode* node = stack.back();
        stack.pop_back();
        out->nodes.push_back(node);
        for (const KavNode* child = node->first; !kav_node_is_nil(child); child = child->next) stack.push_back(child);
    }
}

ParsedExample parse_example(Arena* arena) {
    ParsedExample out;
    for (auto& entry : fs::recursive_directory_iterator(kExample / "documents")) {
        if (entry.path().extension() != ".kav") continue;
        std::string text = read_file(entry.path());
        String source = string_copy(arena, from(text));
        KavParseResult result = kav_parse_document(arena, source, string_from_cstr(entry.path().c_str()));
        collect(result.root, &out);
        for (KavNodeCell* cell = result.footnotes.first; cell; cell = cell->next) collect(cell->node, &out);
        std::string status = str(result.status);
        for (char& c : status) c = (char)tolower(c);
        out.statuses.insert(status);
        out.file_paths += result.file_paths.count;
    }
    for (const KavNode* node : out.nodes) {
        if (node->kind != KAV_NODE_RESERVED_CONTEXT_KEYWORD) continue;
        std::string key = str(node->text);
        for (char& c : key) c = (char)tolower(c);
        out.keys.insert(key);
    }
    return out;
}

bool has_ancestor(const KavNode* node, u32 kind) {
    for (const KavNode* p = node->parent; !kav_node_is_nil(p); p = p->parent) {
        if (p->kind == kind) return true;
    }
    return false;
}

TEST(ExampleSite, DocumentsUseEveryConstructOfTheGuide) {
    Arena* arena = arena_create(GB(1), KB(64));
    ParsedExample example = parse_example(arena);
    auto node_with = [](u32 kind, u64 flags) {
        return [kind, flags](const KavNode* n) { return n->kind == kind && (n->flags & flags) == flags; };
    };
    struct Construct {
        const char* name;
        std::function<bool(const KavNode*)> found;
    } constructs[] = {
        {"heading", node_with(KAV_NODE_HEADING, 0)},
        {"sub-heading", [](const KavNode* n) { return n->kind == KAV_NODE_HEADING && n->level == 2; }},
        {"paragraph", node_with(KAV_NODE_PARAGRAPH, 0)},
        {"document header", node_with(KAV_NODE_CONTEXT_DOCUMENT, KAV_FLAG_BACKQUOTES)},
        {"header text", node_with(KAV_NODE_PARAGRAPH, KAV_FLAG_IN_DOCUMENT)},
        {"strong", node_with(KAV_NODE_WORD, KAV_FLAG_STRONG_OPEN)},
        {"emphasis", node_with(KAV_NODE_WORD, KAV_FLAG_EM_OPEN)},
        {"strong line", node_with(KAV_NODE_PARAGRAPH, KAV_FLAG_STRONG_MARK)},
        {"emphasised line", node_with(KAV_NODE_PARAGRAPH, KAV_FLAG_EM_MARK)},
        {"quoted text", node_with(KAV_NODE_WORD, KAV_FLAG_QUOTED)},
        {"plain string",
         [](const KavNode* n) {
             return n->kind == KAV_NODE_WORD && (n->flags & KAV_FLAG_TEXT) &&
                    !(n->flags & (KAV_FLAG_QUOTED | KAV_FLAG_URL | KAV_FLAG_IMAGE));
         }},
        {"bullet list", node_with(KAV_NODE_LIST, KAV_FLAG_DOT_LIST)},
        {"numbered list", node_with(KAV_NODE_LIST, KAV_FLAG_NUMBERED)},
        {"lettered list", node_with(KAV_NODE_LIST, KAV_FLAG_LETTERED)},
        {"nested list", node_with(KAV_NODE_LIST, KAV_FLAG_NESTED_LIST)},
        {"list inside a line", node_with(KAV_NODE_LIST, KAV_FLAG_INLINE_LIST)},
        {"table", node_with(KAV_NODE_TABLE_ENTRY, 0)},
        {"header dash", node_with(KAV_NODE_WORD, KAV_FLAG_HEADER_DASH)},
        {"tables side by side", node_with(KAV_NODE_TABLE, KAV_FLAG_SIDE_BY_SIDE | KAV_FLAG_MULTI_COLUMN)},
        {"quote", node_with(KAV_NODE_QUOTE, 0)},
        {"nested quote", [](const KavNode* n) { return n->kind == KAV_NODE_QUOTE && has_ancestor(n, KAV_NODE_QUOTE); }},
        {"code block", node_with(KAV_NODE_BLOCK, 0)},
        {"escaped fence in code",
         [](const KavNode* n) {
             return n->kind == KAV_NODE_WORD && str(n->text) == "```" && has_ancestor(n, KAV_NODE_BLOCK);
         }},
        {"inline code", node_with(KAV_NODE_UNFORMATED_TEXT, 0)},
        {"toggle block",
         [](const KavNode* n) {
             return n->kind == KAV_NODE_CONTEXT && (n->flags & KAV_FLAG_BACKQUOTES) &&
                    !(n->flags & KAV_FLAG_INLINE_CONTEXT);
         }},
        {"nested toggle",
         [](const KavNode* n) { return n->kind == KAV_NODE_CONTEXT && has_ancestor(n, KAV_NODE_CONTEXT); }},
        {"inline toggle", node_with(KAV_NODE_CONTEXT, KAV_FLAG_INLINE_CONTEXT)},
        {"link with a description",
         [](const KavNode* n) {
             return n->kind == KAV_NODE_WORD && (n->flags & KAV_FLAG_URL) && n->first->kind == KAV_NODE_DESC;
         }},
        {"image", node_with(KAV_NODE_WORD, KAV_FLAG_IMAGE)},
        {"ticked checkbox", node_with(KAV_NODE_CHECKBOX, KAV_FLAG_TICKED)},
        {"empty checkbox",
         [](const KavNode* n) { return n->kind == KAV_NODE_CHECKBOX && !(n->flags & KAV_FLAG_TICKED); }},
        {"footnote reference", node_with(KAV_NODE_FOOTNOTE_REFERENCE, 0)},
        {"footnote", node_with(KAV_NODE_FOOTNOTE, 0)},
        {"internal link target", [](const KavNode* n) { return (n->flags & KAV_FLAG_LINK_TARGET) != 0; }},
        {"internal link", node_with(KAV_NODE_INTERNAL_LINK_REFERENCE, 0)},
        {"internal link with a text",
         [](const KavNode* n) {
             return n->kind == KAV_NODE_INTERNAL_LINK_REFERENCE && n->first->kind == KAV_NODE_DESC;
         }},
        {"embedded HTML", node_with(KAV_NODE_EMBEDDED_HTML, 0)},
        {"separator", node_with(KAV_NODE_SEPARATOR, 0)},
        {"text outside ASCII",
         [](const KavNode* n) { return n->kind == KAV_NODE_WORD && n->text.size && n->text.str[0] >= 0x80; }},
    };
    for (const Construct& c : constructs) {
        bool found = false;
        for (const KavNode* node : example.nodes) found = found || c.found(node);
        EXPECT_TRUE(found) << "no " << c.name << " in the example documents";
    }
    for (const char* key : {"title", "author", "author_link", "creation_date", "last_modification_date", "remark",
                            "excerpt", "summary", "category", "status", "output_path", "includes"}) {
        EXPECT_TRUE(example.keys.count(key)) << "no " << key << " key in the example documents";
    }
    EXPECT_TRUE(example.statuses.count("draft"));
    EXPECT_GT(example.file_paths, 0u);
    arena_release(arena);
}

// The example is copied to a scratch folder and built there, as
// scripts/build-example.sh does.
struct ExampleBuild : ::testing::Test {
    TempDir temp;
    fs::path site = temp.path / "site";
    void SetUp() override { fs::copy(kExample, site, fs::copy_options::recursive); }
    RunResult build(std::vector<std::string> extra = {}) {
        std::vector<std::string> args = {"targ_p=" + (site / "documents").string(), "root_p=" + site.string() + "/"};
        args.insert(args.end(), extra.begin(), extra.end());
        return run_kavsite(args, temp.path.string());
    }
};

TEST_F(ExampleBuild, BuildsWithoutDiagnostics) {
    RunResult r = build();
    EXPECT_EQ(r.status, 0) << r.output << r.errors;
    for (const char* bad : {"warning: ", "error: ", "FaiLure", "not valid", "aborted"}) {
        EXPECT_EQ(r.output.find(bad), std::string::npos) << bad << " in:\n" << r.output;
    }
    EXPECT_EQ(r.errors, "");
    // The style sheets of the shared folder point at the site's pictures;
    // the fonts and css_kav.css are the default theme's.
    std::string css = read_file(site / "html/shared/css/site.css");
    std::string img = "file://" + site.string() + "/html/img/paper.svg";
    EXPECT_NE(css.find("url('" + img + "')"), std::string::npos) << css;
    EXPECT_NE(css.find("url(\"" + img + "\")"), std::string::npos) << css;
    for (u64 i = 0; i < theme_file_count; i += 1) {
        String path = theme_files[i].path;
        EXPECT_EQ(read_file(site / str(path)), str(theme_files[i].bytes)) << str(path);
    }
    String kav_css = theme_file_find(S("shared/css/kav/css_kav.css"))->bytes;
    EXPECT_NE(read_file(site / "html/shared/css/kav/css_default.html").find(str(kav_css)), std::string::npos);

    // One page and one raw view per html output path of a published
    // document; the draft makes none.
    for (const char* page :
         {"notes/welcome", "notes/lists-and-tables", "journal/first-day", "guides/code", "archive/code", "about"}) {
        fs::path path = site / "html" / (std::string(page) + ".html");
        EXPECT_TRUE(fs::exists(path)) << page;
        EXPECT_TRUE(fs::exists(path.parent_path() / ("raw_" + path.filename().string()))) << page;
    }
    EXPECT_FALSE(fs::exists(site / "html/journal/unfinished.html"));
    EXPECT_NE(r.output.find("\tkav count:  6\n\thtml count: 6\n"), std::string::npos) << r.output;
    // The picture's size comes from the JPEG file.
    EXPECT_NE(read_file(site / "html/journal/first-day.html").find("width=\"480\"  height=\"240\""), std::string::npos);

    // The home page: a card per section, in the order the documents were
    // read; the page in the html folder itself is on none.
    std::string index = read_file(site / "html/index.html");
    size_t previous = 0;
    for (const char* section : {"wp-l-guides", "wp-l-archive", "wp-l-journal", "wp-l-notes"}) {
        size_t at = index.find(section);
        EXPECT_NE(at, std::string::npos) << section;
        EXPECT_GT(at, previous) << section;
        previous = at;
    }
    EXPECT_NE(index.find(">Lists, tables and checkboxes</a><a "), std::string::npos);
    EXPECT_EQ(index.find(">about</a>"), std::string::npos);  // titled with its file name
    EXPECT_EQ(index.find("Not published yet"), std::string::npos);

    r = build({"deploy"});
    EXPECT_EQ(r.status, 0) << r.output << r.errors;
    EXPECT_NE(read_file(site / "html/index.html").find("href=\"/notes/welcome.html\""), std::string::npos);
    css = read_file(site / "html/shared/css/site.css");
    EXPECT_NE(css.find("url('/img/paper.svg')"), std::string::npos) << css;
}

// Every page of the example, raw views and home page included, as a browser
// reads it: no parse error, unique ids, links to ids of the page, valid
// dates; in a local and in a deploy build.
TEST_F(ExampleBuild, EveryPageIsValidHtml) {
    for (std::vector<std::string> options : {std::vector<std::string>{}, {"deploy"}, {"js"}}) {
        RunResult r = build(options);
        ASSERT_EQ(r.status, 0) << r.output << r.errors;
        std::vector<fs::path> pages = site_pages(site / "html");
        EXPECT_EQ(pages.size(), 13u);  // six pages, their raw views, the home page
        Html5Check check = check_html5(pages);
        EXPECT_TRUE(check.passed) << check.report;
    }
}

}  // namespace
