// Damaged documents: every prefix of every guide example (a truncated
// file), and seeded random damage to them. The parse must keep the tree's
// invariants whatever it meets.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kav/kav_document.h"
#include "kav_guide_examples.h"
#include "kav_test_support.h"

namespace {

struct KavRobustnessTest : KavArenaTest {
    std::string problem_of(const std::string& text) {
        u64 mark = arena_pos(arena);
        KavParseResult result = parse(text);
        std::string problem = str(kav_check_result(arena, &result, last_source));
        arena_pop_to(arena, mark);
        return problem;
    }
};

TEST_F(KavRobustnessTest, TruncatedGuideExamplesKeepTheInvariants) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    ASSERT_FALSE(examples.empty());
    for (const GuideExample& example : examples) {
        for (size_t cut = 0; cut <= example.source.size(); cut += 1) {
            std::string text = example.source.substr(0, cut);
            ASSERT_EQ(problem_of(text), "") << "docs/kav.md:" << example.line << " cut at " << cut;
        }
    }
}

TEST_F(KavRobustnessTest, DamagedGuideExamplesKeepTheInvariants) {
    std::vector<GuideExample> examples = guide_examples(read_guide_lines());
    std::mt19937 rng(31337);
    const std::string noise[] = {"[", "]", "`", "``", "```", "|", "|---", "\\", ">", "_", "~{", "}~", "\n",
                                 "  ", "1. ", "\"", "(", ")", "[*1]", "[#1_]", std::string(1, '\0'), "\xc3", "\xa9"};
    for (const GuideExample& example : examples) {
        for (int round = 0; round < 200; round += 1) {
            std::string text = example.source;
            int edits = 1 + (int)(rng() % 4);
            for (int e = 0; e < edits; e += 1) {
                size_t at = text.empty() ? 0 : rng() % text.size();
                switch (rng() % 3) {
                    case 0: text.insert(at, noise[rng() % (sizeof noise / sizeof noise[0])]); break;
                    case 1: text.erase(at, 1 + rng() % 3); break;
                    default: if (!text.empty()) text[at] = (char)(rng() % 256); break;
                }
            }
            ASSERT_EQ(problem_of(text), "") << "docs/kav.md:" << example.line << " round " << round;
        }
    }
}

// The invariant check itself notices a broken tree.
TEST_F(KavRobustnessTest, CheckFindsBrokenLinks) {
    KavParseResult result = parse("A b\n  c\n");
    EXPECT_EQ(str(kav_check_result(arena, &result, last_source)), "");
    KavNode* heading = result.root->first->first;
    heading->child_count += 1;
    EXPECT_EQ(str(kav_check_result(arena, &result, last_source)), "a child count that does not match");
    heading->child_count -= 1;
    heading->first->next->parent = result.root;
    EXPECT_EQ(str(kav_check_result(arena, &result, last_source)), "a child whose parent is another node");
}

}  // namespace
