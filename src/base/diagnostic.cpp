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

// The three lines of one record at `pos`.
static void diag_format_at(Arena* arena, StringList* out, const Diagnostic* d, String path, TextPosition pos) {
    String name = diag_level_name(d->level);
    string_list_pushf(arena, out, "%.*s: \ntoken: %.*s\n%.*s:%lld:%lld\n", STR_ARG(name), STR_ARG(d->message),
                      STR_ARG(path), (long long)pos.line, (long long)pos.column);
}

void diag_print(const Diagnostic* d, String path, String source) {
    Scratch scratch;
    StringList out = {};
    diag_format_at(scratch.arena, &out, d, path, text_position(source, d->offset));
    String text = string_list_join(scratch.arena, &out);
    console_print("%.*s", STR_ARG(text));
}

String diag_format_list(Arena* arena, const DiagnosticList* list, String path, String source) {
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
        diag_format_at(scratch.arena, &out, d, path, last);
    }
    return string_list_join(arena, &out);
}

void diag_print_list(const DiagnosticList* list, String path, String source) {
    if (!list->first) return;
    Scratch scratch;
    String text = diag_format_list(scratch.arena, list, path, source);
    console_print("%.*s", STR_ARG(text));
}
