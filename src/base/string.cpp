#include "base/string.h"

#include <stdio.h>
#include <string.h>

#include "base/os.h"

// ---- Construction ----------------------------------------------------------

String string_from_cstr(const char* cstr) {
    if (!cstr) return String{};
    return String{(u8*)cstr, (u64)strlen(cstr)};
}

String string_copy(Arena* arena, String s) {
    u8* bytes = (u8*)arena_push(arena, s.size + 1, 8);
    if (s.size) memcpy(bytes, s.str, s.size);
    bytes[s.size] = 0;
    return String{bytes, s.size};
}

String string_prefix(String s, u64 size) {
    if (size < s.size) s.size = size;
    return s;
}

String string_skip(String s, u64 amount) {
    if (amount > s.size) amount = s.size;
    return String{s.str + amount, s.size - amount};
}

String string_chop(String s, u64 amount) {
    if (amount > s.size) amount = s.size;
    return String{s.str, s.size - amount};
}

String string_postfix(String s, u64 size) {
    if (size > s.size) size = s.size;
    return String{s.str + s.size - size, size};
}

String string_substr(String s, u64 first, u64 opl) {
    if (opl > s.size) opl = s.size;
    if (first > opl) first = opl;
    return String{s.str + first, opl - first};
}

// ---- Lists -----------------------------------------------------------------

void string_list_push(Arena* arena, StringList* list, String s) {
    StringNode* node = push_struct<StringNode>(arena);
    node->string = s;
    SLL_QUEUE_PUSH(list->first, list->last, node);
    list->node_count += 1;
    list->total_size += s.size;
}

void string_list_pushf(Arena* arena, StringList* list, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    String s = string_formatv(arena, fmt, args);
    va_end(args);
    string_list_push(arena, list, s);
}

String string_list_join(Arena* arena, const StringList* list, const StringJoin* join) {
    StringJoin none = {};
    if (!join) join = &none;
    u64 seps = list->node_count > 1 ? list->node_count - 1 : 0;
    u64 size = join->pre.size + list->total_size + seps * join->sep.size + join->post.size;
    u8* bytes = (u8*)arena_push(arena, size + 1, 8);
    u8* at = bytes;
    if (join->pre.size) {
        memcpy(at, join->pre.str, join->pre.size);
        at += join->pre.size;
    }
    for (StringNode* node = list->first; node; node = node->next) {
        if (node->string.size) {
            memcpy(at, node->string.str, node->string.size);
            at += node->string.size;
        }
        if (node->next && join->sep.size) {
            memcpy(at, join->sep.str, join->sep.size);
            at += join->sep.size;
        }
    }
    if (join->post.size) {
        memcpy(at, join->post.str, join->post.size);
        at += join->post.size;
    }
    *at = 0;
    return String{bytes, size};
}

StringList string_split(Arena* arena, String s, String separators, u32 flags) {
    StringList list = {};
    bool is_separator[256] = {};
    for (u64 i = 0; i < separators.size; i += 1) is_separator[separators.str[i]] = true;
    u64 start = 0;
    for (u64 i = 0; i < s.size; i += 1) {
        if (is_separator[s.str[i]]) {
            if (i > start || (flags & SPLIT_KEEP_EMPTY)) {
                string_list_push(arena, &list, string_substr(s, start, i));
            }
            start = i + 1;
        }
    }
    if (start < s.size) string_list_push(arena, &list, string_substr(s, start, s.size));
    return list;
}

// ---- Matching and searching ------------------------------------------------

static inline bool bytes_equal(u8 a, u8 b, u32 flags) {
    if (a == b) return true;
    if ((flags & MATCH_CASE_INSENSITIVE) && char_to_lower(a) == char_to_lower(b)) return true;
    if ((flags & MATCH_SLASH_INSENSITIVE) && char_is_slash(a) && char_is_slash(b)) return true;
    return false;
}

bool string_match(String a, String b, u32 flags) {
    if (flags & MATCH_RIGHT_SIDE_SLOPPY) {
        if (b.size < a.size) return false;
    } else if (a.size != b.size) {
        return false;
    }
    if (flags == 0 || flags == MATCH_RIGHT_SIDE_SLOPPY) {
        return a.size == 0 || memcmp(a.str, b.str, a.size) == 0;
    }
    for (u64 i = 0; i < a.size; i += 1) {
        if (!bytes_equal(a.str[i], b.str[i], flags)) return false;
    }
    return true;
}

bool string_starts_with(String s, String prefix, u32 flags) {
    return string_match(prefix, s, flags | MATCH_RIGHT_SIDE_SLOPPY);
}

bool string_ends_with(String s, String suffix, u32 flags) {
    if (suffix.size > s.size) return false;
    return string_match(suffix, string_postfix(s, suffix.size), flags & ~(u32)MATCH_RIGHT_SIDE_SLOPPY);
}

u64 string_find(String s, String needle, u64 start, u32 flags) {
    if (needle.size == 0) return start <= s.size ? start : s.size;
    if (needle.size > s.size) return s.size;
    flags &= ~(u32)MATCH_RIGHT_SIDE_SLOPPY;
    if (flags == 0) {
        for (u64 i = start; i + needle.size <= s.size; i += 1) {
            const u8* hit = (const u8*)memchr(s.str + i, needle.str[0], s.size - needle.size + 1 - i);
            if (!hit) break;
            i = (u64)(hit - s.str);
            if (memcmp(hit, needle.str, needle.size) == 0) return i;
        }
        return s.size;
    }
    for (u64 i = start; i + needle.size <= s.size; i += 1) {
        if (string_match(needle, String{s.str + i, needle.size}, flags)) return i;
    }
    return s.size;
}

u64 string_find_last(String s, String needle, u32 flags) {
    if (needle.size == 0 || needle.size > s.size) return s.size;
    flags &= ~(u32)MATCH_RIGHT_SIDE_SLOPPY;
    for (u64 i = s.size - needle.size + 1; i > 0; i -= 1) {
        if (string_match(needle, String{s.str + i - 1, needle.size}, flags)) return i - 1;
    }
    return s.size;
}

u64 string_find_byte(String s, u8 byte, u64 start) {
    if (start >= s.size) return s.size;
    const u8* hit = (const u8*)memchr(s.str + start, byte, s.size - start);
    return hit ? (u64)(hit - s.str) : s.size;
}

u64 string_find_last_byte(String s, u8 byte) {
    for (u64 i = s.size; i > 0; i -= 1) {
        if (s.str[i - 1] == byte) return i - 1;
    }
    return s.size;
}

String string_trim_whitespace(String s) {
    u64 first = 0;
    while (first < s.size && char_is_whitespace(s.str[first])) first += 1;
    u64 opl = s.size;
    while (opl > first && char_is_whitespace(s.str[opl - 1])) opl -= 1;
    return string_substr(s, first, opl);
}

String string_unquote(String s) {
    if (s.size && (s.str[0] == '"' || s.str[0] == '\'')) s = string_skip(s, 1);
    if (s.size && (s.str[s.size - 1] == '"' || s.str[s.size - 1] == '\'')) s = string_chop(s, 1);
    return s;
}

String string_escape_control_bytes(Arena* arena, String s) {
    static constexpr char hex[] = "0123456789abcdef";
    u64 size = 0;
    for (u64 i = 0; i < s.size; i += 1) size += (s.str[i] < 0x20 || s.str[i] == 0x7F) ? 4 : 1;
    u8* out = push_array_no_zero<u8>(arena, size + 1);
    u64 at = 0;
    for (u64 i = 0; i < s.size; i += 1) {
        u8 c = s.str[i];
        if (c < 0x20 || c == 0x7F) {
            out[at++] = '\\';
            out[at++] = 'x';
            out[at++] = (u8)hex[c >> 4];
            out[at++] = (u8)hex[c & 15];
        } else {
            out[at++] = c;
        }
    }
    out[at] = 0;
    return String{out, size};
}

String string_replace_all(Arena* arena, String s, String find, String replace, u32 flags) {
    if (find.size == 0) return string_copy(arena, s);
    Scratch scratch(arena);
    StringList pieces = {};
    u64 start = 0;
    u64 i = 0;
    while (i + find.size <= s.size) {
        u64 hit = string_find(s, find, i, flags);
        if (hit >= s.size) break;
        string_list_push(scratch.arena, &pieces, string_substr(s, start, hit));
        string_list_push(scratch.arena, &pieces, replace);
        i = hit + find.size;
        start = i;
    }
    string_list_push(scratch.arena, &pieces, string_substr(s, start, s.size));
    return string_list_join(arena, &pieces);
}

u64 string_hash(String s) {
    u64 h = 5381;
    for (u64 i = 0; i < s.size; i += 1) h = h * 33 + s.str[i];
    return h;
}

// ---- Paths -----------------------------------------------------------------

static u64 path_last_separator(String p) {
    for (u64 i = p.size; i > 0; i -= 1) {
        if (char_is_slash(p.str[i - 1])) return i - 1;
    }
    return p.size;
}

String path_file_name(String p) {
    u64 at = path_last_separator(p);
    if (at == p.size) return p;
    return string_skip(p, at + 1);
}

String path_directory(String p) {
    u64 at = path_last_separator(p);
    if (at == p.size) return p;
    return string_prefix(p, at);
}

String path_extension(String p) {
    u64 at = string_find_last_byte(p, '.');
    if (at == p.size) return p;
    return string_skip(p, at + 1);
}

String path_ensure_trailing_slash(Arena* arena, String p) {
    if (p.size == 0 || char_is_slash(p.str[p.size - 1])) return p;
    return string_format(arena, "%.*s/", STR_ARG(p));
}

u32 path_kind(String p) {
    if (p.size >= 2 && char_is_alpha(p.str[0]) && p.str[1] == ':') return 1;
    if (p.size >= 1 && p.str[0] == '/') return 2;
    return 0;
}

StringList path_split(Arena* arena, String p) { return string_split(arena, p, S("/\\"), SPLIT_KEEP_EMPTY); }

StringList path_normalize(Arena* arena, StringList components) {
    Scratch scratch(arena);
    u64 count = components.node_count;
    String* kept = push_array_no_zero<String>(scratch.arena, count ? count : 1);
    u64 kept_count = 0;
    for (StringNode* node = components.first; node; node = node->next) {
        if (string_equal(node->string, S("."))) continue;
        if (string_equal(node->string, S(".."))) {
            if (kept_count) kept_count -= 1;
            continue;
        }
        kept[kept_count++] = node->string;
    }
    StringList result = {};
    for (u64 i = 0; i < kept_count; i += 1) string_list_push(arena, &result, kept[i]);
    return result;
}

// Normalizes `components` below a root component that ".." never removes;
// empty components are dropped.
static void path_append_normalized(String* kept, u64* kept_count, u64 floor, StringList components) {
    for (StringNode* node = components.first; node; node = node->next) {
        String c = node->string;
        if (c.size == 0 || string_equal(c, S("."))) continue;
        if (string_equal(c, S(".."))) {
            if (*kept_count > floor) *kept_count -= 1;
            continue;
        }
        kept[(*kept_count)++] = c;
    }
}

String path_make_absolute(Arena* arena, String p) {
    u32 kind = path_kind(p);
    if (kind == 1) return string_copy(arena, p);

    Scratch scratch(arena);
    StringList parts = path_split(scratch.arena, p);
    StringList base = {};
    if (kind == 0) {
        String cwd = os_current_directory(scratch.arena);
        base = path_split(scratch.arena, cwd);
    }
    u64 capacity = parts.node_count + base.node_count + 2;
    String* kept = push_array_no_zero<String>(scratch.arena, capacity);
    u64 kept_count = 0;

    // The root: "" for "/..." paths, the drive for "C:/..." directories.
    StringList* rooted = kind == 2 ? &parts : &base;
    bool drive_root = rooted->first && path_kind(rooted->first->string) == 1;
    if (rooted->first && (drive_root || rooted->first->string.size == 0)) {
        kept[kept_count++] = rooted->first->string;
        StringList rest = *rooted;
        rest.first = rest.first->next;
        rest.node_count -= 1;
        *rooted = rest;
    }
    u64 floor = kept_count;
    if (kind == 0) path_append_normalized(kept, &kept_count, floor, base);
    path_append_normalized(kept, &kept_count, floor, parts);

    StringList joined = {};
    for (u64 i = 0; i < kept_count; i += 1) string_list_push(scratch.arena, &joined, kept[i]);
    StringJoin join = {String{}, S("/"), String{}};
    String result = string_list_join(arena, &joined, &join);
    if (result.size == 0 && kind == 2) result = string_copy(arena, S("/"));
    if (kept_count == 1 && kept[0].size == 0) result = string_copy(arena, S("/"));
    return result;
}

// ---- UTF conversions -------------------------------------------------------

UnicodeDecode utf8_decode(const u8* bytes, u64 available) {
    static const u8 class_of[32] = {
        1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 0x00-0x7F
        0, 0, 0, 0, 0, 0, 0, 0,                          // 0x80-0xBF continuation
        2, 2, 2, 2,                                      // 0xC0-0xDF
        3, 3,                                            // 0xE0-0xEF
        4,                                               // 0xF0-0xF7
        5,                                               // 0xF8-0xFF invalid
    };
    UnicodeDecode result = {0xFFFFFFFFu, 1};
    if (available == 0) return result;
    u8 first = bytes[0];
    u8 cls = class_of[first >> 3];
    switch (cls) {
        case 1:
            result.codepoint = first;
            break;
        case 2:
        case 3:
        case 4: {
            u32 need = cls;
            if (available < need) break;
            static const u8 lead_mask[5] = {0, 0, 0x1F, 0x0F, 0x07};
            u32 cp = first & lead_mask[cls];
            bool ok = true;
            for (u32 i = 1; i < need; i += 1) {
                if ((bytes[i] & 0xC0) != 0x80) {
                    ok = false;
                    break;
                }
                cp = (cp << 6) | (bytes[i] & 0x3F);
            }
            if (ok) {
                result.codepoint = cp;
                result.length = need;
            }
        } break;
        default:
            break;
    }
    return result;
}

String16 string16_from_string(Arena* arena, String s) {
    u64 capacity = s.size * 2 + 1;
    u16* units = push_array_no_zero<u16>(arena, capacity);
    u64 count = 0;
    for (u64 i = 0; i < s.size;) {
        UnicodeDecode d = utf8_decode(s.str + i, s.size - i);
        u32 cp = d.codepoint == 0xFFFFFFFFu ? '?' : d.codepoint;
        if (cp >= 0x10000 && cp < 0x110000) {
            cp -= 0x10000;
            units[count++] = (u16)(0xD800 + (cp >> 10));
            units[count++] = (u16)(0xDC00 + (cp & 0x3FF));
        } else if (cp >= 0x110000) {
            units[count++] = '?';
        } else {
            units[count++] = (u16)cp;
        }
        i += d.length;
    }
    units[count] = 0;
    arena_pop(arena, (capacity - count - 1) * sizeof(u16));
    return String16{units, count};
}

String string_from_string16(Arena* arena, String16 s16) {
    u64 capacity = s16.size * 3 + 1;
    u8* bytes = push_array_no_zero<u8>(arena, capacity);
    u64 count = 0;
    for (u64 i = 0; i < s16.size;) {
        u32 cp = s16.str[i];
        i += 1;
        if (cp >= 0xD800 && cp <= 0xDBFF && i < s16.size && s16.str[i] >= 0xDC00 && s16.str[i] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s16.str[i] - 0xDC00u);
            i += 1;
        }
        if (cp < 0x80) {
            bytes[count++] = (u8)cp;
        } else if (cp < 0x800) {
            bytes[count++] = (u8)(0xC0 | (cp >> 6));
            bytes[count++] = (u8)(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            bytes[count++] = (u8)(0xE0 | (cp >> 12));
            bytes[count++] = (u8)(0x80 | ((cp >> 6) & 0x3F));
            bytes[count++] = (u8)(0x80 | (cp & 0x3F));
        } else if (cp < 0x110000) {
            bytes[count++] = (u8)(0xF0 | (cp >> 18));
            bytes[count++] = (u8)(0x80 | ((cp >> 12) & 0x3F));
            bytes[count++] = (u8)(0x80 | ((cp >> 6) & 0x3F));
            bytes[count++] = (u8)(0x80 | (cp & 0x3F));
        } else {
            bytes[count++] = '?';
        }
    }
    bytes[count] = 0;
    arena_pop(arena, capacity - count - 1);
    return String{bytes, count};
}

// ---- Console -----------------------------------------------------------------

void console_print(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vfprintf(stdout, fmt, args);
    va_end(args);
}

void console_flush() { fflush(stdout); }

// ---- Near matches ------------------------------------------------------------

u64 string_edit_distance(String a, String b, u64 limit) {
    // Three rows of the optimal-string-alignment table, on the stack.
    constexpr u64 kLongest = 64;
    u64 la = a.size;
    u64 lb = b.size;
    if (la > kLongest || lb > kLongest) return limit + 1;
    if ((la > lb ? la - lb : lb - la) > limit) return limit + 1;
    u64 rows[3][kLongest + 1];
    u64* before = rows[0];  // row i - 2
    u64* above = rows[1];   // row i - 1
    u64* row = rows[2];
    for (u64 j = 0; j <= lb; j += 1) above[j] = j;
    for (u64 i = 1; i <= la; i += 1) {
        row[0] = i;
        u64 row_min = row[0];
        u8 ca = char_to_lower(a.str[i - 1]);
        for (u64 j = 1; j <= lb; j += 1) {
            u8 cb = char_to_lower(b.str[j - 1]);
            u64 best = above[j - 1] + (ca == cb ? 0 : 1);
            best = MIN(best, above[j] + 1);
            best = MIN(best, row[j - 1] + 1);
            if (i > 1 && j > 1 && ca == char_to_lower(b.str[j - 2]) && char_to_lower(a.str[i - 2]) == cb) {
                best = MIN(best, before[j - 2] + 1);
            }
            row[j] = best;
            row_min = MIN(row_min, best);
        }
        if (row_min > limit) return limit + 1;
        u64* spare = before;
        before = above;
        above = row;
        row = spare;
    }
    return MIN(above[lb], limit + 1);
}

// `word` is a run of whole "_"-separated parts at the start or the end of
// `name`.
static bool string_is_name_part(String word, String name) {
    if (word.size < 3 || word.size >= name.size) return false;
    if (name.str[word.size] == '_' && string_match(word, string_prefix(name, word.size), MATCH_CASE_INSENSITIVE)) {
        return true;
    }
    u64 start = name.size - word.size;
    return name.str[start - 1] == '_' && string_match(word, string_skip(name, start), MATCH_CASE_INSENSITIVE);
}

u64 string_nearest_name(String word, const String* names, u64 count) {
    if (word.size == 0) return count;
    u64 limit = word.size <= 4 ? 1 : word.size <= 8 ? 2 : 3;
    u64 nearest = count;
    u64 nearest_distance = limit + 1;
    for (u64 i = 0; i < count; i += 1) {
        u64 distance = string_edit_distance(word, names[i], limit);
        if (distance < nearest_distance) {
            nearest = i;
            nearest_distance = distance;
        }
    }
    if (nearest < count) return nearest;
    for (u64 i = 0; i < count; i += 1) {
        if (string_is_name_part(word, names[i])) return i;
    }
    return count;
}
