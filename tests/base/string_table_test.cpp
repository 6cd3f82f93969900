// Strings kept once and numbered in order: adding one twice gives the same
// entry, lookups find only what was added, numbers index the entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/string_table.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

TEST(StringTableTest, StringsAreKeptOnceInTheOrderTheyCame) {
    Arena* arena = arena_create(MB(64), KB(64));
    StringTable table = string_table(arena);
    EXPECT_EQ(string_table_find(&table, S("/a/")), nullptr) << "an empty table finds nothing";
    // More strings than one growth of the numbered array, each added twice.
    std::vector<std::string> strings;
    for (int i = 0; i < 300; i += 1) strings.push_back("/site/html/folder-" + std::to_string(i) + "/");
    for (int round = 0; round < 2; round += 1) {
        for (size_t i = 0; i < strings.size(); i += 1) {
            StringTableEntry* e = string_table_add(&table, from(strings[i]));
            EXPECT_EQ(e->number, (u32)i) << strings[i];
            EXPECT_EQ(string_table_at(&table, (u32)i), e);
        }
    }
    EXPECT_EQ(table.count, strings.size());
    for (size_t i = 0; i < strings.size(); i += 1) {
        StringTableEntry* e = string_table_find(&table, from(strings[i]));
        ASSERT_NE(e, nullptr) << strings[i];
        EXPECT_EQ(str(e->string), strings[i]);
        EXPECT_EQ(e->string.str[e->string.size], 0) << "not NUL-terminated";
    }
    EXPECT_EQ(string_table_find(&table, S("/site/html/folder-300/")), nullptr);
    EXPECT_EQ(string_table_find(&table, S("/site/html/folder-1")), nullptr) << "a prefix is another string";
    arena_release(arena);
}

}  // namespace
