#include "base/entry.h"

static bool option_piece_ends_with_comma(String s) { return s.size && s.str[s.size - 1] == ',' ; }

// Appends the comma-separated segments of a continuation piece; empty
// segments between commas count, nothing is made after a final comma.
static void option_append_segments(Arena* arena, OptionNode* node, String piece) {
    u64 start = 0;
    for (u64 i = 0; i < piece.size; i += 1) {
        if (piece.str[i] == ',') {
            string_list_push(arena, &node->values, string_substr(piece, start, i));
            start = i + 1;
        }
    }
    if (start < piece.size) string_list_push(arena, &node->values, string_substr(piece, start, piece.size));
}

OptionTable options_parse(Arena* arena, StringList arguments) {
    OptionTable table = {};
    table.slot_count = OPTION_SLOT_COUNT;
    table.slots = push_array<OptionSlot>(arena, OPTION_SLOT_COUNT);

    OptionNode* current = 0;
    for (StringNode* arg = arguments.first; arg; arg = arg->next) {
        String piece = string_trim_whitespace(arg->string);
        u64 dashes = 0;
        if (string_starts_with(piece, S("--"), 0)) {
            dashes = 2;
        } else if (string_starts_with(piece, S("-"), 0)) {
            dashes = 1;
        }

        if (!current) {
            String rest = string_skip(piece, dashes);
            u64 colon = string_find_byte(rest, ':', 0);
            u64 equals = string_find_byte(rest, '=', 0);
            u64 sep = MIN(colon, equals);
            bool has_separator = sep < rest.size;
            String name = string_prefix(rest, sep);
            String value = has_separator ? string_skip(rest, sep + 1) : String{};

            OptionNode* node = push_struct<OptionNode>(arena);
            node->name = name;
            node->index = table.node_count;
            table.node_count += 1;
            OptionSlot* slot = &table.slots[string_hash(name) % OPTION_SLOT_COUNT];
            SLL_QUEUE_PUSH(slot->first, slot->last, node);
            if (value.size) string_list_push(arena, &node->values, value);
            if (has_separator && (value.size == 0 || option_piece_ends_with_comma(value))) current = node;
            if (has_separator && value.size == 0) node->continued = 1;
        } else {
            option_append_segments(arena, current, piece);
            if (!option_piece_ends_with_comma(piece)) current = 0;
        }
    }

    StringJoin comma = {String{}, S(","), String{}};
    for (u64 i = 0; i < OPTION_SLOT_COUNT; i += 1) {
        for (OptionNode* node = table.slots[i].first; node; node = node->next) {
            node->value = node->values.node_count ? string_list_join(arena, &node->values, &comma) : String{};
        }
    }
    return table;
}

static const OptionNode* option_find(const OptionTable* table, String name) {
    if (!table || !table->slots) return 0;
    const OptionSlot* slot = &table->slots[string_hash(name) % OPTION_SLOT_COUNT];
    for (const OptionNode* node = slot->first; node; node = node->next) {
        if (string_equal(node->name, name)) return node;
    }
    return 0;
}

String option_string(const OptionTable* table, String name) {
    const OptionNode* node = option_find(table, name);
    return node ? node->value : String{};
}

u32 option_flag(const OptionTable* table, String name) {
    const OptionNode* node = option_find(table, name);
    if (!node) return 0;
    String v = node->value;
    if (v.size == 0 || string_match(v, S("true"), MATCH_CASE_INSENSITIVE) || string_equal(v, S("1"))) return 1;
    return 0;
}

u64 option_number(const OptionTable* table, String name) {
    String v = option_string(table, name);
    u64 n = 0;
    for (u64 i = 0; i < v.size && char_is_digit(v.str[i]); i += 1) n = MIN(n * 10 + (v.str[i] - '0'), (u64)0xFFFFFFFF);
    return n;
}

bool option_present(const OptionTable* table, String name) { return option_find(table, name) != 0; }

// ---- Options a program does not know ------------------------------------------

// The name an argument gives when it starts an option: dashes dropped, up to
// the first ":" or "=".
static String option_name_of_piece(String piece) {
    piece = string_trim_whitespace(piece);
    if (string_starts_with(piece, S("--"), 0)) {
        piece = string_skip(piece, 2);
    } else if (string_starts_with(piece, S("-"), 0)) {
        piece = string_skip(piece, 1);
    }
    u64 colon = string_find_byte(piece, ':', 0);
    u64 equals = string_find_byte(piece, '=', 0);
    return string_prefix(piece, MIN(colon, equals));
}

static bool option_is_known(String name, const String* known, u64 known_count) {
    for (u64 i = 0; i < known_count; i += 1) {
        if (string_equal(name, known[i])) return true;
    }
    return false;
}

OptionUnknownList options_unknown(Arena* arena, const OptionTable* table, const String* known, u64 known_count) {
    OptionUnknownList list = {};
    if (!table || !table->slots || table->node_count == 0) return list;
    // Nodes sit in hash buckets; their index puts them back in the order given.
    Scratch scratch(arena);
    const OptionNode** given = push_array<const OptionNode*>(scratch.arena, table->node_count);
    for (u64 i = 0; i < table->slot_count; i += 1) {
        for (const OptionNode* node = table->slots[i].first; node; node = node->next) {
            if (node->index < table->node_count) given[node->index] = node;
        }
    }
    for (u64 i = 0; i < table->node_count; i += 1) {
        const OptionNode* node = given[i];
        if (!node || node->name.size == 0 || option_is_known(node->name, known, known_count)) continue;
        OptionUnknown* unknown = push_struct<OptionUnknown>(arena);
        unknown->name = node->name;
        u64 nearest = string_nearest_name(node->name, known, known_count);
        if (nearest < known_count) unknown->suggestion = known[nearest];
        SLL_QUEUE_PUSH(list.first, list.last, unknown);
        list.count += 1;
    }
    return list;
}

String option_value_names_option(const OptionTable* table, String name, const String* known, u64 known_count) {
    const OptionNode* node = option_find(table, name);
    if (!node || !node->continued || !node->values.first) return String{};
    String option = option_name_of_piece(node->values.first->string);
    for (u64 i = 0; i < known_count; i += 1) {
        if (string_equal(option, known[i])) return known[i];
    }
    return String{};
}
