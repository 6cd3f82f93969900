#include "base/diagnostic.h"

#include <string.h>

Diagnostic* diag_append_at(Arena* arena, DiagnosticList* list, const void* node, u64 offset, s32 level, String message) {
    Diagnostic* d = push_struct<Diagnostic>(arena);
    d->node = node;
    d->offset = offset;
    d->level = level;
    d->message = message;
    SLL_QUEUE_PUSH(list->first, list->last, d);
    list->count += 1;
    if (level > list->max_level) list->max_level = level;
    return d;
}

void diag_concat(DiagnosticList* destination, DiagnosticList* source) {
    if (!destination->first) {
        *destination = *source;
    } else if (source->first) {
        destination->last->next = source->first;
        destination->last = source->last;
        destination->count += source->count;
        if (source->max_level > destination->max_level) destination->max_level = source->max_level;
    }
    *source = DiagnosticList{};
}

void diag_merge(DiagnosticList* destination, DiagnosticList* source) {
    if (!destination->first || !source->first) {
        diag_concat(destination, source);
        return;
    }
    DiagnosticList merged = {};
    Diagnostic* a = destination->first;
    Diagnostic* b = source->first;
    while (a || b) {
        Diagnostic* next;
        if (!b || (a && a->offset <= b->offset)) {
            next = a;
            a = a->next;
        } else {
            next = b;
            b = b->next;
        }
        next->next = 0;
        SLL_QUEUE_PUSH(merged.first, merged.last, next);
    }
    merged.count = destination->count + source->count;
    merged.max_level = MAX(destination->max_level, source->max_level);
    *destination = merged;
    *source = DiagnosticList{};
}

String diag_level_name(s32 level) {
    switch (level) {
        case DIAG_NOTE: return S("note");
        case DIAG_WARNING: return S("warning");
        case DIAG_ERROR: return S("error");
        case DIAG_FATAL: return S("fatal error");
        default: return String{};
    }
}

// Advances `pos`, known for byte `from`, to byte `offset`.
static TextPosition text_position_from(String text, u64 from, TextPosition pos, u64 offset) {
    u64 end = MIN(offset, text.size);
    const u8* at = text.str + MIN(from, end);
    const u8* stop = text.str + end;
    while (at < stop) {
        const u8* lf = (const u8*)memchr(at, '\n', (size_t)(stop - at));
        if (!lf) {
            pos.column += stop - at;
            break;
        }
        pos.line += 1;
        pos.column = 1;
        at = lf + 1;
    }
    return pos;
}

TextPosition text_position(String text, u64 offset) { return text_position_from(text, 0, TextPosition{1, 1}, offset); }

// The message with its line breaks and tabs as blanks, so that it stays on
// one line; the message itself when it has none.
static String diag_one_line(Arena* arena, String message) {
    u64 k = 0;
    while (k < message.size && message.str[k] != '\n' && message.str[k] != '\r' && message.str[k] != '\t') k += 1;
    if (k == message.size) return message;
    String copy = string_copy(arena, message);
    for (; k < copy.size; k += 1) {
        if (copy.str[k] == '\n' || copy.str[k] == '\r' || copy.str[k] == '\t') copy.str[k] = ' ';
    }
    return copy;
}

// One record at `pos` in `form`.
static void diag_format_at(Arena* arena, StringList* out, const Diagnostic* d, String path, TextPosition pos,
                           DiagnosticForm form) {
    String name = diag_level_name(d->level);
    if (form == DIAG_FORM_LINE) {
        String message = diag_one_line(arena, d->message);
        if (name.size) {
            string_list_pushf(arena, out, "%.*s:%lld:%lld: %.*s: %.*s\n", STR_ARG(path), (long long)pos.line,
                              (long long)pos.column, STR_ARG(name), STR_ARG(message));
        } else {
            string_list_pushf(arena, out, "%.*s:%lld:%lld: %.*s\n", STR_ARG(path), (long long)pos.line,
                              (long long)pos.column, STR_ARG(message));
        }
        return;
    }
    string_list_pushf(arena, out, "%.*s: \ntoken: %.*s\n%.*s:%lld:%lld\n", STR_ARG(name), STR_ARG(d->message),
                      STR_ARG(path), (long long)pos.line, (long long)pos.column);
}

void diag_print(const Diagnostic* d, String path, String source, DiagnosticForm form) {
    Scratch scratch;
    StringList out = {};
    diag_format_at(scratch.arena, &out, d, path, text_position(source, d->offset), form);
    String text = string_list_join(scratch.arena, &out);
    console_print("%.*s", STR_ARG(text));
}

String diag_format_list(Arena* arena, const DiagnosticList* list, String path, String source, DiagnosticForm form) {
    Scratch scratch(arena);
    StringList out = {};
    // Records come mostly in source order: continue counting from the last
    // one instead of rescanning the text from its start each time.
    u64 last_offset = 0;
    TextPosition last = {1, 1};
    for (const Diagnostic* d = list->first; d; d = d->next) {
        u64 offset = MIN(d->offset, source.size);
        if (offset < last_offset) {
            last_offset = 0;
            last = TextPosition{1, 1};
        }
        last = text_position_from(source, last_offset, last, offset);
        last_offset = offset;
        diag_format_at(scratch.arena, &out, d, path, last, form);
    }
    return string_list_join(arena, &out);
}

void diag_print_list(const DiagnosticList* list, String path, String source, DiagnosticForm form) {
    if (!list->first) return;
    Scratch scratch;
    String text = diag_format_list(scratch.arena, list, path, source, form);
    console_print("%.*s", STR_ARG(text));
}

void diag_sort(DiagnosticList* list) {
    if (list->count < 2) return;
    // Runs of width 1, 2, 4, ... merged pairwise from the front.
    for (u64 width = 1; width < list->count; width *= 2) {
        DiagnosticList sorted = {};
        Diagnostic* rest = list->first;
        while (rest) {
            DiagnosticList runs[2] = {};
            for (DiagnosticList& run : runs) {
                for (u64 k = 0; k < width && rest; k += 1) {
                    Diagnostic* next = rest->next;
                    rest->next = 0;
                    SLL_QUEUE_PUSH(run.first, run.last, rest);
                    run.count += 1;
                    rest = next;
                }
            }
            diag_merge(&runs[0], &runs[1]);
            if (sorted.last) {
                sorted.last->next = runs[0].first;
            } else {
                sorted.first = runs[0].first;
            }
            sorted.last = runs[0].last;
        }
        list->first = sorted.first;
        list->last = sorted.last;
    }
}
