#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

#include "base/entry.h"

namespace {

std::string str(String s) { return std::string((const char*)s.str, s.size); }

struct Options : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    ~Options() override { arena_release(arena); }
    OptionTable parse(std::initializer_list<const char*> args) {
        StringList list = {};
        for (const char* a : args) string_list_push(arena, &list, string_from_cstr(a));
        return options_parse(arena, list);
    }
};

TEST_F(Options, SeparatorsAndDashes) {
    for (const char* arg : {"targ_p=docs", "-targ_p:docs", "--targ_p=docs"}) {
        OptionTable t = parse({arg});
        EXPECT_EQ(str(option_string(&t, S("targ_p"))), "docs") << arg;
    }
    OptionTable t = parse({"targ_p=", "docs"});
    EXPECT_EQ(str(option_string(&t, S("targ_p"))), "docs");
    t = parse({"a=b:c", "x:y=z"});
    EXPECT_EQ(str(option_string(&t, S("a"))), "b:c");
    EXPECT_EQ(str(option_string(&t, S("x"))), "y=z");
}

TEST_F(Options, ValueListsContinueAfterComma) {
    OptionTable t = parse({"list=a,b"});
    const OptionNode* node = t.slots[string_hash(S("list")) % 64].first;
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->values.node_count, 1u);
    EXPECT_EQ(str(option_string(&t, S("list"))), "a,b");

    t = parse({"list=a,", "b"});
    node = t.slots[string_hash(S("list")) % 64].first;
    ASSERT_EQ(node->values.node_count, 2u);
    EXPECT_EQ(str(node->values.first->string), "a,");
    EXPECT_EQ(str(node->values.last->string), "b");
    EXPECT_EQ(str(option_string(&t, S("list"))), "a,,b");
    EXPECT_EQ(node->value.str[node->value.size], 0);

    // Continuation pieces keep empty segments between commas and go on
    // while they end with a comma; dashes in them are values.
    t = parse({"list=x,", "-y,,z,", "w", "next"});
    EXPECT_EQ(str(option_string(&t, S("list"))), "x,,-y,,z,w");
    EXPECT_TRUE(option_present(&t, S("next")));
}

TEST_F(Options, FlagRules) {
    struct Case {
        const char* arg;
        u32 on;
    } cases[] = {
        {"check_urls", 1},   {"check_urls=1", 1},  {"check_urls=TRUE", 1}, {"check_urls=true", 1},
        {"check_urls=0", 0}, {"check_urls=yes", 0}, {"check_urls=on", 0},  {"Check_Urls", 0},
    };
    for (const Case& c : cases) {
        OptionTable t = parse({c.arg});
        EXPECT_EQ(option_flag(&t, S("check_urls")), c.on) << c.arg;
    }
    OptionTable none = parse({});
    EXPECT_EQ(option_flag(&none, S("check_urls")), 0u);
    EXPECT_EQ(str(option_string(&none, S("targ_p"))), "");
}

TEST_F(Options, FirstWinsAndNamesAreCaseSensitive) {
    OptionTable t = parse({"root_p=a", "root_p=b", "Root_p=c"});
    EXPECT_EQ(str(option_string(&t, S("root_p"))), "a");
    EXPECT_EQ(str(option_string(&t, S("Root_p"))), "c");
}

TEST_F(Options, OneArgumentIsOnePiece) {
    // The shell has split the command line already: a blank inside one
    // argument belongs to the value.
    OptionTable t = parse({"targ_p=My Docs", "  root_p=/srv/site  "});
    EXPECT_EQ(str(option_string(&t, S("targ_p"))), "My Docs");
    EXPECT_FALSE(option_present(&t, S("Docs")));
    EXPECT_EQ(str(option_string(&t, S("root_p"))), "/srv/site");
    t = parse({"name=\"quoted\""});
    EXPECT_EQ(str(option_string(&t, S("name"))), "\"quoted\"");
}

TEST_F(Options, OddPiecesNeverFail) {
    OptionTable t = parse({"", "=", "--", ":x", "-"});
    EXPECT_EQ(str(option_string(&t, S(""))), "");
    EXPECT_FALSE(option_present(&t, S("x")));
}

}  // namespace
