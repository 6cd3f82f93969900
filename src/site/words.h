// Writing the collected words of a line into the page: as plain text, as a
// date (a `time` element) or as category chips, by the word mode the
// metadata key of the line set.
#pragma once

#include "base/arena.h"
#include "base/string.h"

struct HtmlNode;  // htmldom/html_dom.h
struct KavNode;   // kav/kav_node.h

enum WordMode : u32 {
    WORD_MODE_PLAIN = 0,
    WORD_MODE_AUTHOR_LINK = 0x80,
    WORD_MODE_DATE = 0x1000,
    WORD_MODE_CATEGORY = 0x80000,
};

// Joins `pending` (the words as written) without separator and appends it
// to `target`, every "<" written as "&lt;": a valid date becomes a `time`
// element (readable text, `datetime` attribute; a date that is not one shows
// its readable text in a `span`), a category value one `span` of class
// "cat-it" per ";"-separated piece (split before escaping, blanks around a
// piece trimmed, empty pieces dropped), anything else one text node. `node`
// is the word being converted: its offset becomes the new elements'
// position. Nothing happens for an empty list.
void flush_words(Arena* arena, HtmlNode* target, const KavNode* node, const StringList* pending, u32 mode);
