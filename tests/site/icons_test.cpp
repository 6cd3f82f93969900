// Icons as pages show them: a span with the icon's classes, nothing for
// "Nil" or an index past the table.
#include "site/icons.h"

#include <gtest/gtest.h>

#include <string>

#include "htmldom/html_dom.h"
#include "support/strings.h"

namespace {

using kavsite_test::str;

// Code picks rows by IconIndex, so row i must be icon i.
TEST(Icons, RowsStandAtTheirIndex) {
    for (u32 i = 0; i < ICON_COUNT; i += 1) EXPECT_EQ(icon_table[i].index, i) << str(icon_table[i].name);
}

TEST(Icons, ElementOfAnIcon) {
    Arena* arena = arena_create(MB(1), KB(4));
    struct Case {
        u32 index;
        const char* html;  // "" for the nil node
    } cases[] = {
        {ICON_MENU, "<span class=\"icon icon-Menu\" ></span>"},
        {ICON_AT, "<span class=\"icon icon-At\" ></span>"},
        {ICON_BOOKMARK, "<span class=\"icon icon-Bookmark\" ></span>"},  // the last row
        {ICON_NIL, ""},
        {ICON_COUNT, ""},
        {0xFFFFFFFFu, ""},
    };
    for (const Case& c : cases) {
        HtmlNode* icon = make_icon(arena, c.index);
        std::string html = html_is_nil(icon) ? "" : str(html_serialize_to_string(arena, icon));
        EXPECT_EQ(html, c.html) << c.index;
    }
    arena_release(arena);
}

}  // namespace
