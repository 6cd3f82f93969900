// Strings kept once each and numbered in the order they came: the folders
// that many paths share, for example, so that a record keeps a number
// instead of a copy. Each string has a mark for its owner's use.
#pragma once

#include "base/arena.h"
#include "base/string.h"

#define STRING_TABLE_SLOT_COUNT 1024
#define STRING_TABLE_NONE 0xFFFFFFFFu

struct StringTableEntry {
    StringTableEntry* next;  // bucket chain
    String string;           // a copy in the table's arena, NUL-terminated
    u32 number;
    u32 mark;  // the owner's
};

struct StringTable {
    Arena* arena;
    StringTableEntry** slots;    // STRING_TABLE_SLOT_COUNT buckets; null until the first string
    StringTableEntry** entries;  // by number
    u64 count;
    u64 capacity;
};

// A table whose strings go into `arena`.
StringTable string_table(Arena* arena);
// The entry of `s`, made (with a copy of `s`) when missing.
StringTableEntry* string_table_add(StringTable* table, String s);
// The entry of `s`, or null.
StringTableEntry* string_table_find(const StringTable* table, String s);
// The entry numbered `number` (below table->count).
inline StringTableEntry* string_table_at(const StringTable* table, u32 number) { return table->entries[number]; }
