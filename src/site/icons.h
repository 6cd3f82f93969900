// The icon table: icons are glyphs of the site's icon font, shown through
// the classes "icon" and "icon-<Name>".
#pragma once

#include "base/arena.h"
#include "base/string.h"

struct HtmlNode;  // htmldom/html_dom.h

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

inline constexpr IconInfo icon_table[] = {
    {0, SC("Nil"), SC("")},          {1, SC("Menu"), SC("\"")},         {2, SC("Unlink"), SC("#")},
    {3, SC("Eye"), SC("$")},         {4, SC("DownDir"), SC("%")},       {5, SC("UpDir"), SC("&")},
    {6, SC("LeftDir"), SC("E")},     {7, SC("RightDir"), SC("F")},      {8, SC("At"), SC("'")},
    {9, SC("Clone"), SC("(")},       {10, SC("Clipboard"), SC(")")},    {11, SC("ListNested"), SC("*")},
    {12, SC("Thlist"), SC("1")},     {13, SC("Pencil"), SC("2")},       {14, SC("EllipsisVert"), SC("3")},
    {15, SC("Ellipsis"), SC("4")},   {16, SC("CircleEmpty"), SC("5")},  {17, SC("DotCircle"), SC("6")},
    {18, SC("Link"), SC("7")},       {19, SC("Attach"), SC("8")},       {20, SC("Brush"), SC("9")},
    {21, SC("List"), SC("@")},       {22, SC("Info"), SC("A")},         {23, SC("Attention"), SC("B")},
    {24, SC("CancelCircle"), SC("C")}, {25, SC("Colon"), SC("D")},      {26, SC("HelpCircled"), SC("G")},
    {27, SC("Calendar"), SC("H")},   {28, SC("CC"), SC("I")},           {29, SC("User"), SC("P")},
    {30, SC("Quote"), SC("Q")},      {31, SC("Tag"), SC("R")},          {32, SC("Comment"), SC("S")},
    {33, SC("Square"), SC("!")},     {34, SC("CheckEmpty"), SC("T")},   {35, SC("Check"), SC("U")},
    {36, SC("Bookmark"), SC("V")},
};
static_assert(sizeof(icon_table) / sizeof(icon_table[0]) == ICON_COUNT, "the icon table has 37 rows");

// The element that shows icon `index`: the nil element for 0 ("Nil") and
// for an index outside the table, otherwise a `span` with the classes "icon"
// and "icon-<Name>".
HtmlNode* make_icon(Arena* arena, u32 index);
