// The arena formatter: printf conversions are handed to the C library one at
// a time, writing straight into the caller's buffer when they fit.
#include <stdio.h>
#include <string.h>
#include <wchar.h>

#include "base/string.h"

namespace {

struct Out {
    char* buffer;
    u64 capacity;
    u64 length;
};

void out_bytes(Out* out, const void* data, u64 size) {
    if (size == 0) return;
    if (out->length < out->capacity) {
        u64 room = out->capacity - out->length;
        memcpy(out->buffer + out->length, data, MIN(room, size));
    }
    out->length += size;
}

// Hands one standard conversion to snprintf, writing straight into the
// output when it fits. `cfmt` is one directive of a format the compiler
// checked at the call.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
template <typename T>
void out_snprintf(Out* out, const char* cfmt, int star_count, int star1, int star2, T value) {
    char* dst = 0;
    u64 room = 0;
    if (out->length < out->capacity) {
        dst = out->buffer + out->length;
        room = out->capacity - out->length;
    }
    int n;
    if (star_count == 2) {
        n = snprintf(dst, room, cfmt, star1, star2, value);
    } else if (star_count == 1) {
        n = snprintf(dst, room, cfmt, star1, value);
    } else {
        n = snprintf(dst, room, cfmt, value);
    }
    if (n > 0) out->length += (u64)n;
}
#pragma GCC diagnostic pop

enum LengthMod { LEN_NONE, LEN_HH, LEN_H, LEN_L, LEN_LL, LEN_J, LEN_Z, LEN_T, LEN_BIG_L };

}  // namespace

u64 format_to_buffer(char* buffer, u64 capacity, const char* fmt, va_list args) {
    Out out = {buffer, capacity, 0};
    const char* p = fmt;
    while (*p) {
        if (*p != '%') {
            const char* run = p;
            while (*p && *p != '%') p += 1;
            out_bytes(&out, run, (u64)(p - run));
            continue;
        }
        const char* directive_start = p;
        p += 1;
        if (*p == '%') {
            out_bytes(&out, "%", 1);
            p += 1;
            continue;
        }

        // Flags, width and precision stay in the directive handed to the C
        // library; only the values of "*" are read here.
        while (*p == '-' || *p == '+' || *p == ' ' || *p == '#' || *p == '0') p += 1;
        int stars[2] = {0, 0};
        int star_count = 0;
        if (*p == '*') {
            stars[star_count++] = va_arg(args, int);
            p += 1;
        } else {
            while (char_is_digit((u8)*p)) p += 1;
        }
        if (*p == '.') {
            p += 1;
            if (*p == '*') {
                stars[star_count++] = va_arg(args, int);
                p += 1;
            } else {
                while (char_is_digit((u8)*p)) p += 1;
            }
        }

        // Length modifier.
        LengthMod len = LEN_NONE;
        if (p[0] == 'h' && p[1] == 'h') {
            len = LEN_HH;
            p += 2;
        } else if (p[0] == 'l' && p[1] == 'l') {
            len = LEN_LL;
            p += 2;
        } else if (*p == 'h') {
            len = LEN_H;
            p += 1;
        } else if (*p == 'l') {
            len = LEN_L;
            p += 1;
        } else if (*p == 'j') {
            len = LEN_J;
            p += 1;
        } else if (*p == 'z') {
            len = LEN_Z;
            p += 1;
        } else if (*p == 't') {
            len = LEN_T;
            p += 1;
        } else if (*p == 'L') {
            len = LEN_BIG_L;
            p += 1;
        }

        char conv = *p;
        if (!conv) {
            // A lone "%" at the end is written as it stands.
            out_bytes(&out, directive_start, (u64)(p - directive_start));
            break;
        }
        p += 1;

        // The directive as written, for snprintf; one too long for the copy
        // (a width of dozens of digits) is written as it stands.
        char cfmt[64];
        u64 directive_size = (u64)(p - directive_start);
        if (directive_size >= sizeof(cfmt)) {
            out_bytes(&out, directive_start, directive_size);
            continue;
        }
        memcpy(cfmt, directive_start, directive_size);
        cfmt[directive_size] = 0;
        int s1 = stars[0], s2 = stars[1];

        switch (conv) {
            case 'd':
            case 'i': {
                switch (len) {
                    case LEN_L: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, long)); break;
                    case LEN_LL: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, long long)); break;
                    case LEN_J: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, intmax_t)); break;
                    case LEN_Z: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, ssize_t)); break;
                    case LEN_T: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, ptrdiff_t)); break;
                    default: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, int)); break;
                }
            } break;
            case 'u':
            case 'x':
            case 'X':
            case 'o': {
                switch (len) {
                    case LEN_L: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, unsigned long)); break;
                    case LEN_LL: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, unsigned long long)); break;
                    case LEN_J: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, uintmax_t)); break;
                    case LEN_Z: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, size_t)); break;
                    case LEN_T: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, ptrdiff_t)); break;
                    default: out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, unsigned int)); break;
                }
            } break;
            case 'c': {
                if (len == LEN_L) {
                    out_snprintf(&out, cfmt, star_count, s1, s2, (wint_t)va_arg(args, int));
                } else {
                    out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, int));
                }
            } break;
            case 's': {
                if (len == LEN_L) {
                    const wchar_t* ws = va_arg(args, const wchar_t*);
                    out_snprintf(&out, cfmt, star_count, s1, s2, ws ? ws : L"(null)");
                } else {
                    const char* s = va_arg(args, const char*);
                    if (!s) s = "(null)";
                    if (directive_size == 4 && memcmp(cfmt, "%.*s", 4) == 0 && s1 >= 0) {
                        // Plain "%.*s", the form STR_ARG feeds: copied here,
                        // up to the precision or a NUL as the C library would.
                        out_bytes(&out, s, strnlen(s, (size_t)s1));
                    } else {
                        out_snprintf(&out, cfmt, star_count, s1, s2, s);
                    }
                }
            } break;
            case 'p': {
                out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, void*));
            } break;
            case 'n': {
                void* target = va_arg(args, void*);
                if (target) {
                    switch (len) {
                        case LEN_HH: *(signed char*)target = (signed char)out.length; break;
                        case LEN_H: *(short*)target = (short)out.length; break;
                        case LEN_L: *(long*)target = (long)out.length; break;
                        case LEN_LL: *(long long*)target = (long long)out.length; break;
                        case LEN_J: *(intmax_t*)target = (intmax_t)out.length; break;
                        case LEN_Z: *(size_t*)target = (size_t)out.length; break;
                        case LEN_T: *(ptrdiff_t*)target = (ptrdiff_t)out.length; break;
                        default: *(int*)target = (int)out.length; break;
                    }
                }
            } break;
            case 'f':
            case 'F':
            case 'e':
            case 'E':
            case 'g':
            case 'G':
            case 'a':
            case 'A': {
                if (len == LEN_BIG_L) {
                    out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, long double));
                } else {
                    out_snprintf(&out, cfmt, star_count, s1, s2, va_arg(args, double));
                }
            } break;
            default: {
                // Unknown conversion: written as it stands, no argument read.
                out_bytes(&out, directive_start, (u64)(p - directive_start));
            } break;
        }
    }
    if (capacity) {
        u64 end = out.length < capacity ? out.length : capacity - 1;
        buffer[end] = 0;
    }
    return out.length;
}

String string_formatv(Arena* arena, const char* fmt, va_list args) {
    va_list count_args;
    va_copy(count_args, args);
    u64 needed = format_to_buffer(0, 0, fmt, count_args);
    va_end(count_args);
    char* buffer = (char*)arena_push(arena, needed + 1, 8);
    va_list write_args;
    va_copy(write_args, args);
    format_to_buffer(buffer, needed + 1, fmt, write_args);
    va_end(write_args);
    return String{(u8*)buffer, needed};
}

String string_format(Arena* arena, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    String result = string_formatv(arena, fmt, args);
    va_end(args);
    return result;
}
