#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "base/entry.h"
#include "support/strings.h"

namespace {

using kavsite_test::str;

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


const String kKnown[] = {S("targ_p"), S("root_p"), S("deploy"), S("js"), S("check_urls")};
const u64 kKnownCount = sizeof(kKnown) / sizeof(kKnown[0]);

TEST_F(Options, UnknownOptionsInTheOrderGivenWithTheNearestName) {
    // Names sit in hash buckets; the list keeps the order they were given in.
    OptionTable t = parse({"--depoly", "targ_p=docs", "chek_urls:1", "Root_p=x", "zz", "", "js", "deploy", "root"});
    OptionUnknownList unknown = options_unknown(arena, &t, kKnown, kKnownCount);
    std::string got;
    for (OptionUnknown* u = unknown.first; u; u = u->next) got += str(u->name) + ">" + str(u->suggestion) + " ";
    EXPECT_EQ(got, "depoly>deploy chek_urls>check_urls Root_p>root_p zz> root>root_p ");
    EXPECT_EQ(unknown.count, 5u);

    OptionTable known = parse({"targ_p=a", "-js", "root_p:", "b", "check_urls"});
    EXPECT_EQ(options_unknown(arena, &known, kKnown, kKnownCount).count, 0u);
    OptionTable none = parse({});
    EXPECT_EQ(options_unknown(arena, &none, kKnown, kKnownCount).first, nullptr);
}

TEST_F(Options, AnEmptyValueThatTookAnOptionIsNamed) {
    struct Case {
        std::vector<const char*> args;
        const char* named;  // the option taken as root_p's value, "" for none
    } cases[] = {
        {{"root_p=", "deploy"}, "deploy"},
        {{"root_p:", "--js=1"}, "js"},
        {{"--root_p=", "-targ_p:docs"}, "targ_p"},
        {{"root_p=", "site"}, ""},                   // a folder, as meant
        {{"root_p=site", "deploy"}, ""},             // a value of its own
        {{"root_p=a,", "deploy"}, ""},               // a list continued on purpose
        {{"root_p", "deploy"}, ""},                  // no separator: a flag
        {{"root_p=", "Deploy"}, ""},                 // not an option's name
        {{"root_p=x", "root_p=", "deploy"}, ""},     // the first root_p counts
        {{"targ_p=", "deploy"}, ""},                 // another option
    };
    for (const Case& c : cases) {
        StringList list = {};
        for (const char* a : c.args) string_list_push(arena, &list, string_from_cstr(a));
        OptionTable t = options_parse(arena, list);
        EXPECT_EQ(str(option_value_names_option(&t, S("root_p"), kKnown, kKnownCount)), c.named) << c.args[0] << " "
                                                                                             << c.args[1];
    }
}

}  // namespace
