#include "site/icons.h"
#include <gtest/gtest.h>
TEST(Icons, TableIsIndexedInOrder) {
    for (u32 i = 0; i < ICON_COUNT; i += 1) EXPECT_EQ(icon_table[i].index, i);
    EXPECT_EQ(icon_table[ICON_AT].glyph.str[0], (u8)0x27);
    EXPECT_EQ(icon_table[ICON_NIL].glyph.size, 0u);
    EXPECT_EQ(icon_table[ICON_SQUARE].glyph.str[0], (u8)0x21);
}
