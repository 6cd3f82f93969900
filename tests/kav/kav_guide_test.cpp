// Every example of the KAV guide (docs/kav.md) is parsed and compared with
// the tree printed under it, so the guide cannot drift from the parser.
// An example is a "~~~kav" fenced block followed by a "~~~tree" block.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "kav_guide_examples.h"
#include "kav_test_support.h"
#include "site/site_state.h"

namespace {

struct KavGuideTest : KavArenaTest {};

TEST_F(KavGuideTest, EveryExampleGivesTheTreeShownUnderIt) {
    std::vector<std::string> lines = read_guide_lines();
    ASSERT_FALSE(lines.empty()) << "docs/kav.md not found";
    std::vector<GuideExample> examples = guide_examples(lines);
    ASSERT_FALSE(examples.empty()) << "no ~~~kav examples in docs/kav.md";

    SiteState site = {};
    site.root = S("/site/");
    SiteState* saved = g_site_state;
    g_site_state = &site;
    for (const GuideExample& example : examples) {
        std::string where = "docs/kav.md:" + std::to_string(example.line) + " in \"" + example.section + "\"";
        EXPECT_TRUE(example.has_tree) << where << ": the example has no ~~~tree block";
        if (example.has_tree) {
            EXPECT_EQ(tree(example.source), example.tree) << where;
        }
    }
    g_site_state = saved;
}

// The fuzzer starts from the guide's examples; its seed files must hold
// every one of them (tests/kav/fuzz/make_seeds.py writes them).
TEST_F(KavGuideTest, FuzzSeedsHoldEveryExample) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    for (size_t k = 0; k < examples.size(); k += 1) {
        std::string path = std::string(KAVSITE_SOURCE_DIR) + "/tests/kav/fuzz/kav_parse_seeds/guide_" +
                           std::to_string(k + 1) + ".kav";
        std::ifstream in(path, std::ios::binary);
        std::stringstream content;
        content << in.rdbuf();
        EXPECT_EQ(content.str(), examples[k].source) << path << " (docs/kav.md:" << examples[k].line << ")";
    }
}

}  // namespace
