// Every tree of the KAV guide (docs/kav.md) is compared with the tree the
// parser builds for the source above it, so the guide cannot drift from the
// parser. In the guide's body an example is a "~~~kav" block with the
// "~~~html" block of the page it makes (tests/site/guide_pages_test.cpp);
// its appendix repeats sources with the "~~~tree" block of each.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "kav_guide_examples.h"
#include "kav_test_support.h"
#include "site/site_check.h"
#include "support/files.h"

namespace {

struct KavGuideTest : KavArenaTest {};

TEST_F(KavGuideTest, EveryExampleGivesTheTreeShownUnderIt) {
    std::vector<std::string> lines = read_guide_lines();
    ASSERT_FALSE(lines.empty()) << "docs/kav.md not found";
    std::vector<GuideExample> examples = guide_examples(lines);
    ASSERT_FALSE(examples.empty()) << "no ~~~kav examples in docs/kav.md";

    // The guide shows output paths as a build places them, for the root /site/.
    SiteSettings settings = {};
    settings.root = S("/site/");
    Site* site = site_create(&settings);
    size_t trees = 0;
    for (const GuideExample& example : examples) {
        std::string where = "docs/kav.md:" + std::to_string(example.line) + " in \"" + example.section + "\"";
        EXPECT_TRUE(example.has_tree || example.has_html) << where << ": the example has no ~~~html or ~~~tree block";
        if (example.has_tree) {
            trees += 1;
            KavParseResult result = parse(example.source);
            StringList placed = {};
            check_output_paths(arena, site, &result, &placed);
            result.output_paths = placed;
            EXPECT_EQ(str(kav_print_result(arena, &result, last_source)), example.tree) << where;
        }
    }
    EXPECT_GT(trees, 0u) << "no ~~~tree blocks in docs/kav.md";
    arena_release(site->arena);
}

// A tree of the appendix belongs to an example of the guide's body: its
// source is shown there with the page it makes.
TEST_F(KavGuideTest, EveryTreeIsOfAnExampleOfTheBody) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    for (const GuideExample& example : examples) {
        if (!example.has_tree || example.has_html) continue;
        bool shown = false;
        for (const GuideExample& other : examples) shown = shown || (other.has_html && other.source == example.source);
        EXPECT_TRUE(shown) << "docs/kav.md:" << example.line << " in \"" << example.section
                           << "\": no example of the guide's body has this source";
    }
}

// The fuzzer starts from the guide's examples; its seed files must hold
// every source of them, once each (tests/kav/fuzz/make_seeds.py writes them).
TEST_F(KavGuideTest, FuzzSeedsHoldEveryExample) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    std::vector<const GuideExample*> distinct;
    for (const GuideExample& example : examples) {
        bool seen = false;
        for (const GuideExample* d : distinct) seen = seen || d->source == example.source;
        if (!seen) distinct.push_back(&example);
    }
    for (size_t k = 0; k < distinct.size(); k += 1) {
        std::string path = std::string(KAVSITE_SOURCE_DIR) + "/tests/kav/fuzz/kav_parse_seeds/guide_" +
                           std::to_string(k + 1) + ".kav";
        EXPECT_EQ(kavsite_test::read_file(path), distinct[k]->source) << path << " (docs/kav.md:" << distinct[k]->line << ")";
    }
    std::string past = std::string(KAVSITE_SOURCE_DIR) + "/tests/kav/fuzz/kav_parse_seeds/guide_" +
                       std::to_string(distinct.size() + 1) + ".kav";
    EXPECT_FALSE(std::ifstream(past).good()) << past << " is left from an earlier guide";
}

}  // namespace

namespace {

// The raw view of a document is its source wrapped in a code fence, every
// inner fence marked escaped; the code block must give the source back
// byte for byte (a backslash before three backquotes is the one thing a
// code block drops).
TEST_F(KavGuideTest, RawViewOfEachExampleGivesItsSourceBack) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    examples.push_back({"", 0, "tabs\tand\r\ncrlf\rlone cr ```` `` ` \\ \"quoted\"", "", false, "", false, 0, ""});
    // A double quote without its partner opens a string that runs to the end
    // of the input, over the closing fence: that fence then shows as text.
    examples.push_back({"", -1, "an \"open quote", "", false, "", false, 0, ""});
    examples.push_back({"", 0, "no final line feed", "", false, "", false, 0, ""});
    for (const GuideExample& example : examples) {
        std::string wrapped = "```\n" + example.source + "```";
        String source = string_copy(arena, from(wrapped));
        KavTokens tokens = kav_tokenize(arena, source);
        for (u64 k = 1; k + 1 < tokens.count; k += 1) {
            if (tokens.tokens[k].kind & KAV_TOKEN_TRIPLE_BACKTICK) tokens.tokens[k].kind |= KAV_TOKEN_ESCAPED;
        }
        KavParseResult result = kav_parse(arena, S("raw_doc.html"), source, &tokens);
        ASSERT_EQ(result.root->child_count, 1u) << example.line;
        KavNode* block = result.root->first;
        ASSERT_EQ(block->kind, (u32)KAV_NODE_BLOCK) << example.line;
        std::string back;
        for (KavNode* w = block->first; !kav_node_is_nil(w); w = w->next) back += str(w->text);
        std::string want = example.source;
        for (size_t at = want.find("\\```"); at != std::string::npos; at = want.find("\\```", at)) want.erase(at, 1);
        if (example.line == -1) want += "```";
        EXPECT_EQ(back, want) << "docs/kav.md:" << example.line;
        EXPECT_EQ(result.diagnostics.count, 0u);
    }
}

}  // namespace
