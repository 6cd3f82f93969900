// The icon table: icons are glyphs of the site's icon font, shown through
// the classes "icon" and "icon-<Name>".
#pragma once

#include "base/string.h"

struct IconInfo {
    u32 index;
    String name;
    String glyph;  // one character of the icon font; empty for "Nil"
};

enum IconIndex : u32 {
    ICON_NIL = 0,
    ICON_MENU = 1,
    ICON_UNLINK = 2,
    ICON_EYE = 3,
    ICON_DOWN_DIR = 4,
    ICON_UP_DIR = 5,
    ICON_LEFT_DIR = 6,
    ICON_RIGHT_DIR = 7,
    ICON_AT = 8,
    ICON_CLONE = 9,
    ICON_CLIPBOARD = 10,
    ICON_LIST_NESTED = 11,
    ICON_THLIST = 12,
    ICON_PENCIL = 13,
    ICON_ELLIPSIS_VERT = 14,
    ICON_ELLIPSIS = 15,
    ICON_CIRCLE_EMPTY = 16,
    ICON_DOT_CIRCLE = 17,
    ICON_LINK = 18,
    ICON_ATTACH = 19,
    ICON_BRUSH = 20,
    ICON_LIST = 21,
    ICON_INFO = 22,
    ICON_ATTENTION = 23,
    ICON_CANCEL_CIRCLE = 24,
    ICON_COLON = 25,
    ICON_HELP_CIRCLED = 26,
    ICON_CALENDAR = 27,
    ICON_CC = 28,
    ICON_USER = 29,
    ICON_QUOTE = 30,
    ICON_TAG = 31,
    ICON_COMMENT = 32,
    ICON_SQUARE = 33,
    ICON_CHECK_EMPTY = 34,
    ICON_CHECK = 35,
    ICON_BOOKMARK = 36,
    ICON_COUNT = 37,
};

// Static data, constant-initialized (String literals cannot be constexpr).
inline const IconInfo icon_table[] = {
    {0, S("Nil"), S("")},          {1, S("Menu"), S("\"")},         {2, S("Unlink"), S("#")},
    {3, S("Eye"), S("$")},         {4, S("DownDir"), S("%")},       {5, S("UpDir"), S("&")},
    {6, S("LeftDir"), S("E")},     {7, S("RightDir"), S("F")},      {8, S("At"), S("'")},
    {9, S("Clone"), S("(")},       {10, S("Clipboard"), S(")")},    {11, S("ListNested"), S("*")},
    {12, S("Thlist"), S("1")},     {13, S("Pencil"), S("2")},       {14, S("EllipsisVert"), S("3")},
    {15, S("Ellipsis"), S("4")},   {16, S("CircleEmpty"), S("5")},  {17, S("DotCircle"), S("6")},
    {18, S("Link"), S("7")},       {19, S("Attach"), S("8")},       {20, S("Brush"), S("9")},
    {21, S("List"), S("@")},       {22, S("Info"), S("A")},         {23, S("Attention"), S("B")},
    {24, S("CancelCircle"), S("C")}, {25, S("Colon"), S("D")},      {26, S("HelpCircled"), S("G")},
    {27, S("Calendar"), S("H")},   {28, S("CC"), S("I")},           {29, S("User"), S("P")},
    {30, S("Quote"), S("Q")},      {31, S("Tag"), S("R")},          {32, S("Comment"), S("S")},
    {33, S("Square"), S("!")},     {34, S("CheckEmpty"), S("T")},   {35, S("Check"), S("U")},
    {36, S("Bookmark"), S("V")},
};
static_assert(sizeof(icon_table) / sizeof(icon_table[0]) == ICON_COUNT, "the icon table has 37 rows");
