// Length-counted byte strings (UTF-8), string lists, matching, hashing, path
// helpers, UTF conversions, the arena formatter and console output.
#pragma once

#include <stdarg.h>

#include "base/core.h"
#include "base/arena.h"

// ---- Types -----------------------------------------------------------------

struct String {
    u8* str;
    u64 size;
};

struct String16 {
    u16* str;
    u64 size;  // count of 16-bit units
};

struct StringNode {
    StringNode* next;
    String string;
};

struct StringList {
    StringNode* first;
    StringNode* last;
    u64 node_count;
    u64 total_size;
};

struct StringJoin {
    String pre;
    String sep;
    String post;
};

enum MatchFlags : u32 {
    MATCH_CASE_INSENSITIVE = 1,
    MATCH_RIGHT_SIDE_SLOPPY = 2,  // only the first string's length is compared
    MATCH_SLASH_INSENSITIVE = 4,  // "\\" and "/" compare equal
};

enum SplitFlags : u32 {
    SPLIT_KEEP_EMPTY = 1,
};

// ---- Construction ----------------------------------------------------------

// A String over a string literal.
#define S(literal) (String{(u8*)(literal), sizeof(literal) - 1})

// S() casts the literal to u8*, which constant expressions refuse. SC() gives
// the same String in a constexpr table: the literal's bytes are copied into a
// template parameter object, which has static storage.
template <u64 N>
struct StringLiteral {
    u8 bytes[N];
    constexpr StringLiteral(const char (&text)[N]) : bytes{} {
        for (u64 i = 0; i < N; i += 1) bytes[i] = (u8)text[i];
    }
};
template <StringLiteral L>
constexpr String string_literal() {
    return String{const_cast<u8*>(L.bytes), sizeof(L.bytes) - 1};
}
#define SC(literal) (string_literal<StringLiteral(literal)>())
// Passes a String to "%.*s".
#define STR_ARG(s) (int)(s).size, (const char*)(s).str

inline String str8(const void* data, u64 size) { return String{(u8*)data, size}; }
inline String str8_range(const u8* first, const u8* opl) { return String{(u8*)first, (u64)(opl - first)}; }
String string_from_cstr(const char* cstr);
String string_copy(Arena* arena, String s);
String string_prefix(String s, u64 size);
String string_skip(String s, u64 amount);
String string_chop(String s, u64 amount);
String string_postfix(String s, u64 size);
// Bytes [first, opl) clamped to the string.
String string_substr(String s, u64 first, u64 opl);

// printf conventions (pass a String to "%.*s" with STR_ARG). Formats twice:
// count, then write.
String string_format(Arena* arena, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
String string_formatv(Arena* arena, const char* fmt, va_list args) __attribute__((format(printf, 2, 0)));
// Formats into `buffer` of `capacity` bytes (NUL-terminated when capacity >
// 0); returns the full length the text needs.
u64 format_to_buffer(char* buffer, u64 capacity, const char* fmt, va_list args) __attribute__((format(printf, 3, 0)));

// ---- Lists -----------------------------------------------------------------

void string_list_push(Arena* arena, StringList* list, String s);
void string_list_pushf(Arena* arena, StringList* list, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
String string_list_join(Arena* arena, const StringList* list, const StringJoin* join = 0);
StringList string_split(Arena* arena, String s, String separators, u32 flags);

// ---- Matching and searching ------------------------------------------------

bool string_match(String a, String b, u32 flags);
inline bool string_equal(String a, String b) { return string_match(a, b, 0); }
bool string_starts_with(String s, String prefix, u32 flags);
bool string_ends_with(String s, String suffix, u32 flags);
// Offset of the first occurrence of `needle` at or after `start`; s.size when
// there is none.
u64 string_find(String s, String needle, u64 start, u32 flags);
// Offset of the last occurrence of `needle`; s.size when there is none.
u64 string_find_last(String s, String needle, u32 flags);
u64 string_find_byte(String s, u8 byte, u64 start);
u64 string_find_last_byte(String s, u8 byte);
String string_trim_whitespace(String s);
String string_unquote(String s);
String string_replace_all(Arena* arena, String s, String find, String replace, u32 flags);
// A copy with every control byte (below 0x20, and 0x7F) written as "\xNN",
// so that a name shown on a terminal cannot move the cursor or retitle it.
String string_escape_control_bytes(Arena* arena, String s);
// djb2: 5381, then h * 33 + byte for every byte, in 64 bits.
u64 string_hash(String s);

inline bool char_is_whitespace(u8 c) { return c == ' ' || (c >= 9 && c <= 13); }
inline bool char_is_alpha(u8 c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool char_is_digit(u8 c) { return c >= '0' && c <= '9'; }
inline bool char_is_slash(u8 c) { return c == '/' || c == '\\'; }
inline u8 char_to_lower(u8 c) { return (c >= 'A' && c <= 'Z') ? (u8)(c + 32) : c; }

// ---- Paths ("/" and "\\" are both separators) --------------------------------

String path_file_name(String p);
String path_directory(String p);
String path_extension(String p);
String path_ensure_trailing_slash(Arena* arena, String p);
// 1: drive form ("C:..."), 2: begins with "/", 0: anything else.
u32 path_kind(String p);
StringList path_split(Arena* arena, String p);
StringList path_normalize(Arena* arena, StringList components);
// An absolute path joined with "/", NUL-terminated, no trailing separator.
// Drive paths are kept; paths beginning with "/" are normalized and kept;
// relative paths go under the current directory.
String path_make_absolute(Arena* arena, String p);

// ---- UTF conversions -------------------------------------------------------

struct UnicodeDecode {
    u32 codepoint;  // 0xFFFFFFFF when invalid
    u32 length;
};

UnicodeDecode utf8_decode(const u8* bytes, u64 available);
String16 string16_from_string(Arena* arena, String s);
String string_from_string16(Arena* arena, String16 s16);

// ---- Console -----------------------------------------------------------------

// printf onto standard output (C library rules: pass text as "%.*s").
void console_print(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void console_flush();

// ---- Near matches ------------------------------------------------------------
// For messages that name what a slip most likely meant ("did you mean ...?").

// Edit distance between `a` and `b`: insertions, deletions, substitutions and
// swaps of two neighbouring bytes, ASCII case ignored. Counting stops above
// `limit`: any larger distance, and any string longer than 64 bytes, gives
// limit + 1.
u64 string_edit_distance(String a, String b, u64 limit);
// Index of the name in `names` that `word` most likely means: the nearest by
// edit distance when it is near (1 edit for words of up to 4 bytes, 2 up to 8,
// 3 beyond); else the first name that `word` (3 bytes or more) begins or ends
// at a "_" ("root" for "root_p", "date" for "creation_date"). Ties go to the
// earlier name; `count` when none is near. ASCII case ignored.
u64 string_nearest_name(String word, const String* names, u64 count);
