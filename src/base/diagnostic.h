// Diagnostics shared by every parser of the system (KAV documents, HTML
// templates, the known-searches file) and their two print forms. The block
// form (the default) takes three lines:
//   <level name>: \n
//   token: <message>\n
//   <path>:<line>:<column>\n
// The line form takes one, as compilers print and editors and CI read:
//   <path>:<line>:<column>: <level name>: <message>\n
#pragma once

#include "base/core.h"
#include "base/arena.h"
#include "base/string.h"

enum DiagnosticLevel : s32 {
    DIAG_NOTE = 1,
    DIAG_WARNING = 2,
    DIAG_ERROR = 3,
    DIAG_UNNAMED = 4,
    DIAG_FATAL = 5,
};

struct Diagnostic {
    Diagnostic* next;
    const void* node;  // the node reported at (KavNode, HtmlNode, KnNode, ...)
    u64 offset;        // byte offset of that node in its source text
    s32 level;         // DiagnosticLevel
    String message;    // formatted, in the parse arena
};

struct DiagnosticList {
    Diagnostic* first;
    Diagnostic* last;
    u64 count;
    s32 max_level;  // highest level ever appended; 0 when empty
};

// Appends a record; each layer wraps this with a `diag_append` overload that
// takes its own node type and reads the node's offset.
Diagnostic* diag_append_at(Arena* arena, DiagnosticList* list, const void* node, u64 offset, s32 level, String message);
// Moves every record of `source` to the end of `destination`; `source` is
// left empty.
void diag_concat(DiagnosticList* destination, DiagnosticList* source);
// Moves every record of `source` into `destination` by offset: each goes
// after the destination's records at or before its offset. Two lists in
// source order give one in source order. `source` is left empty.
void diag_merge(DiagnosticList* destination, DiagnosticList* source);
// Puts the records of `list` in offset order, keeping the order of records
// with equal offsets (a merge sort of the list: n log n, no memory).
void diag_sort(DiagnosticList* list);

// "note", "warning", "error", "" (level 4), "fatal error"; empty otherwise.
String diag_level_name(s32 level);

struct TextPosition {
    s64 line;    // 1-based
    s64 column;  // 1-based, bytes
};

// Line and column of `offset` in `text`: a line feed starts a new line at
// column 1; every other byte advances the column. Counting stops at the end.
TextPosition text_position(String text, u64 offset);

enum DiagnosticForm : u32 {
    DIAG_FORM_BLOCK = 0,  // three lines: level, "token: " message, location
    DIAG_FORM_LINE = 1,   // "path:line:column: level: message" on one line
};

// Prints one record in `form`, the location being "path:line:column" of the
// record's offset in `source`. In the line form a level without a name
// prints no level part, and line breaks and tabs of the message print as
// blanks.
void diag_print(const Diagnostic* diagnostic, String path, String source, DiagnosticForm form = DIAG_FORM_BLOCK);
void diag_print_list(const DiagnosticList* list, String path, String source, DiagnosticForm form = DIAG_FORM_BLOCK);
// The printed text of every record of the list in `form`, in `arena`.
String diag_format_list(Arena* arena, const DiagnosticList* list, String path, String source,
                        DiagnosticForm form = DIAG_FORM_BLOCK);
