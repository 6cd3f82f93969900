#include "base/string_table.h"

StringTable string_table(Arena* arena) {
    StringTable table = {};
    table.arena = arena;
    return table;
}

StringTableEntry* string_table_find(const StringTable* table, String s) {
    if (!table->slots) return 0;
    for (StringTableEntry* e = table->slots[string_hash(s) % STRING_TABLE_SLOT_COUNT]; e; e = e->next) {
        if (string_equal(e->string, s)) return e;
    }
    return 0;
}

StringTableEntry* string_table_add(StringTable* table, String s) {
    StringTableEntry* found = string_table_find(table, s);
    if (found) return found;
    if (!table->slots) table->slots = push_array<StringTableEntry*>(table->arena, STRING_TABLE_SLOT_COUNT);
    if (table->count == table->capacity) {
        u64 capacity = table->capacity ? table->capacity * 2 : 64;
        StringTableEntry** grown = push_array_no_zero<StringTableEntry*>(table->arena, capacity);
        for (u64 i = 0; i < table->count; i += 1) grown[i] = table->entries[i];
        table->entries = grown;
        table->capacity = capacity;
    }
    StringTableEntry* e = push_struct<StringTableEntry>(table->arena);
    e->string = string_copy(table->arena, s);
    e->number = (u32)table->count;
    table->entries[table->count++] = e;
    StringTableEntry** slot = &table->slots[string_hash(s) % STRING_TABLE_SLOT_COUNT];
    e->next = *slot;
    *slot = e;
    return e;
}
