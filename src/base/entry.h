// The command line: arguments become an option table of names with lists of
// values. Grammar: [-|--]name[(:|=)value[,value...]]; a value ending in ","
// (or an empty value after the separator) continues in the next argument.
#pragma once

#include "base/core.h"
#include "base/arena.h"
#include "base/string.h"

#define OPTION_SLOT_COUNT 64

struct OptionNode {
    OptionNode* next;   // next node of the same bucket
    String name;        // slice of the argument text
    StringList values;  // value pieces in order, slices of the argument text
    String value;       // the pieces joined with ",", NUL-terminated
    u64 index;          // place among the table's nodes in the order given, from 0
    u32 continued;      // 1: given as "name=" or "name:" with the value in the next argument
};

struct OptionSlot {
    OptionNode* first;
    OptionNode* last;
};

struct OptionTable {
    u64 slot_count;  // always OPTION_SLOT_COUNT
    OptionSlot* slots;
    u64 node_count;
};

// `arguments` are the program's arguments after its name. On Linux one
// argument is one piece: the shell has already split the command line.
OptionTable options_parse(Arena* arena, StringList arguments);
// The joined value of the first option named `name`; empty when absent.
String option_string(const OptionTable* table, String name);
// 1 when the option is present with an empty value, "true" (any case) or
// "1"; otherwise 0.
u32 option_flag(const OptionTable* table, String name);
// The value as a decimal number: its leading digits, 0 when it has none or
// the option is absent, saturating at 2^32 - 1.
u64 option_number(const OptionTable* table, String name);
// True when an option named `name` is present at all.
bool option_present(const OptionTable* table, String name);

// ---- Options a program does not know ------------------------------------------

struct OptionUnknown {
    OptionUnknown* next;
    String name;        // as given, without its dashes
    String suggestion;  // the nearest known name; empty when none is near
};

struct OptionUnknownList {
    OptionUnknown* first;
    OptionUnknown* last;
    u64 count;
};

// The options of `table` whose names are not among the `known_count` names
// of `known`, in the order given, each with the nearest known name. Nodes
// with an empty name (an empty argument) are left out.
OptionUnknownList options_unknown(Arena* arena, const OptionTable* table, const String* known, u64 known_count);
// When the first option named `name` was given as "name=" (or "name:") and so
// took the next argument as its value, and that argument reads as one of the
// `known` options ("deploy", "--js=1"), returns that option's name: the value
// was most likely left out. Otherwise an empty String.
String option_value_names_option(const OptionTable* table, String name, const String* known, u64 known_count);
