#include "kav/kav_tokenizer.h"

#include <string.h>

#include "base/token_buffer.h"

// ---- Byte classes -------------------------------------------------------------

// What the byte at the cursor can start; the rules are tried in the order of
// the enum values where one byte could start several tokens.
enum ByteClass : u8 {
    BC_OTHER = 0,
    BC_ESCAPE,      // "\"
    BC_NEWLINE,     // LF, CR
    BC_WHITESPACE,  // tab, vertical tab, space
    BC_SLASH,       // "/": "//" or a symbol
    BC_ANGLE,       // "<", ">"
    BC_PIPE,
    BC_OPEN_BRACKET,
    BC_CLOSE_BRACKET,
    BC_DASH,        // "-", "---"
    BC_AT,          // "@"
    BC_UNDERSCORE,  // "_", "__"
    BC_BACKQUOTE,
    BC_TILDE,        // "~{" or a symbol
    BC_CLOSE_BRACE,  // "}~" or a symbol
    BC_WORD,         // ASCII letter or a UTF-8 lead byte 0xC0-0xFF
    BC_DIGIT,
    BC_DOT,  // "." + digit is a number, else a symbol
    BC_QUOTE,
    BC_SYMBOL,
};

// Lead-byte table indexed by byte >> 3: 1 for ASCII, 0 for continuation
// bytes, 2-5 for lead bytes of longer sequences. Two or more continues a word.
static constexpr u8 kUtf8Class[32] = {
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 2, 3, 3, 4, 5,
};
static_assert(sizeof(kUtf8Class) == 32, "one entry per eight byte values");

struct ByteTables {
    u8 start[256];     // ByteClass
    u8 word[256];      // 1: continues a word
    u8 number[256];    // 1: continues a number
    u8 space[256];     // 1: continues a whitespace run
};

static constexpr ByteTables make_byte_tables() {
    ByteTables t = {};
    for (int b = 0; b < 256; b += 1) {
        bool alpha = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
        bool digit = b >= '0' && b <= '9';
        bool lead = kUtf8Class[b >> 3] >= 2;
        t.word[b] = (alpha || digit || lead) ? 1 : 0;
        t.number[b] = (alpha || digit || b == '.') ? 1 : 0;
        t.space[b] = (b == '\t' || b == 11 || b == '\r' || b == ' ') ? 1 : 0;
        u8 c = BC_OTHER;
        if (alpha || lead) c = BC_WORD;
        if (digit) c = BC_DIGIT;
        t.start[b] = c;
    }
    const char* symbols = "!#$%&'()*+,-./:;=?^{}~";
    for (const char* s = symbols; *s; s += 1) t.start[(u8)*s] = BC_SYMBOL;
    t.start[(u8)'\\'] = BC_ESCAPE;
    t.start[(u8)'\n'] = BC_NEWLINE;
    t.start[(u8)'\r'] = BC_NEWLINE;
    t.start[(u8)'\t'] = BC_WHITESPACE;
    t.start[11] = BC_WHITESPACE;
    t.start[(u8)' '] = BC_WHITESPACE;
    t.start[(u8)'/'] = BC_SLASH;
    t.start[(u8)'<'] = BC_ANGLE;
    t.start[(u8)'>'] = BC_ANGLE;
    t.start[(u8)'|'] = BC_PIPE;
    t.start[(u8)'['] = BC_OPEN_BRACKET;
    t.start[(u8)']'] = BC_CLOSE_BRACKET;
    t.start[(u8)'-'] = BC_DASH;
    t.start[(u8)'@'] = BC_AT;
    t.start[(u8)'_'] = BC_UNDERSCORE;
    t.start[(u8)'`'] = BC_BACKQUOTE;
    t.start[(u8)'~'] = BC_TILDE;
    t.start[(u8)'}'] = BC_CLOSE_BRACE;
    t.start[(u8)'.'] = BC_DOT;
    t.start[(u8)'"'] = BC_QUOTE;
    return t;
}

static constexpr ByteTables kBytes = make_byte_tables();

// ---- Tokenizer ----------------------------------------------------------------

// The token that starts at byte `i` of `s` (n bytes, i < n); `previous_kind`
// is the kind of the token before it, and both move past the token. These
// two are all the state there is, so tokenizing can start again at any token.
__attribute__((always_inline)) static inline KavToken next_token(const u8* s, u64 n, u64* cursor, u32* previous) {
    u64 i = *cursor;
    u32 previous_kind = *previous;
    u8 b = s[i];
    u64 start = i;
    u32 kind = 0;
    switch (kBytes.start[b]) {
        case BC_ESCAPE: kind = KAV_TOKEN_ESCAPE; i += 1; break;
        case BC_NEWLINE:
            kind = KAV_TOKEN_NEWLINE;
            i += (b == '\r' && i + 1 < n && s[i + 1] == '\n') ? 2 : 1;
            break;
        case BC_WHITESPACE:
            kind = KAV_TOKEN_WHITESPACE;
            i += 1;
            while (i < n && kBytes.space[s[i]]) i += 1;
            break;
        case BC_SLASH:
            if (i + 1 < n && s[i + 1] == '/') {
                kind = KAV_TOKEN_DOUBLE_SLASH;
                i += 2;
            } else {
                kind = KAV_TOKEN_SYMBOL;
                i += 1;
            }
            break;
        case BC_ANGLE: kind = KAV_TOKEN_MARKUP; i += 1; break;
        case BC_PIPE: kind = KAV_TOKEN_PIPE; i += 1; break;
        case BC_OPEN_BRACKET: kind = KAV_TOKEN_OPEN_BRACKET; i += 1; break;
        case BC_CLOSE_BRACKET: kind = KAV_TOKEN_CLOSE_BRACKET; i += 1; break;
        case BC_DASH:
            if (i + 2 < n && s[i + 1] == '-' && s[i + 2] == '-') {
                kind = KAV_TOKEN_TRIPLE_DASH;
                i += 3;
            } else {
                kind = KAV_TOKEN_MARKUP;
                i += 1;
            }
            break;
        case BC_AT: kind = KAV_TOKEN_MARKUP; i += 1; break;
        case BC_UNDERSCORE:
            kind = KAV_TOKEN_MARKUP;
            i += (i + 1 < n && s[i + 1] == '_') ? 2 : 1;
            break;
        case BC_BACKQUOTE:
            if (i + 2 < n && s[i + 1] == '`' && s[i + 2] == '`') {
                kind = KAV_TOKEN_TRIPLE_BACKTICK;
                i += 3;
            } else if (i + 1 < n && s[i + 1] == '`') {
                kind = KAV_TOKEN_DOUBLE_BACKTICK;
                i += 2;
            } else {
                kind = KAV_TOKEN_BACKTICK;
                i += 1;
            }
            break;
        case BC_TILDE:
            if (i + 1 < n && s[i + 1] == '{') {
                kind = KAV_TOKEN_OPEN_TILDE;
                i += 2;
            } else {
                kind = KAV_TOKEN_SYMBOL;
                i += 1;
            }
            break;
        case BC_CLOSE_BRACE:
            if (i + 1 < n && s[i + 1] == '~') {
                kind = KAV_TOKEN_CLOSE_TILDE;
                i += 2;
            } else {
                kind = KAV_TOKEN_SYMBOL;
                i += 1;
            }
            break;
        case BC_WORD:
            kind = KAV_TOKEN_WORD;
            i += 1;
            while (i < n && kBytes.word[s[i]]) i += 1;
            break;
        case BC_DOT:
            if (!(i + 1 < n && s[i + 1] >= '0' && s[i + 1] <= '9')) {
                kind = KAV_TOKEN_SYMBOL;
                i += 1;
                break;
            }
            [[fallthrough]];
        case BC_DIGIT:
            kind = KAV_TOKEN_NUMBER;
            i += 1;
            while (i < n && kBytes.number[s[i]]) i += 1;
            // A final full stop is punctuation, not part of the number.
            if (s[i - 1] == '.' && i - 1 > start) i -= 1;
            break;
        case BC_QUOTE: {
            kind = KAV_TOKEN_STRING | KAV_TOKEN_TEXT;
            const u8* close = (const u8*)memchr(s + i + 1, '"', (size_t)(n - i - 1));
            u64 end = close ? (u64)(close - s) + 1 : n;
            if (!close) kind |= KAV_TOKEN_UNTERMINATED;
            if (memchr(s + i + 1, ' ', (size_t)(end - i - 1))) kind |= KAV_TOKEN_HAS_SPACE;
            i = end;
            break;
        }
        case BC_SYMBOL: kind = KAV_TOKEN_SYMBOL; i += 1; break;
        default: kind = KAV_TOKEN_OTHER; i += 1; break;
    }
    if ((kind & KAV_TOKEN_ESCAPABLE) && (previous_kind & KAV_TOKEN_ESCAPE)) kind |= KAV_TOKEN_ESCAPED;
    *cursor = i;
    *previous = kind;
    return KavToken{(u32)start, (u32)i, kind};
}

KavTokens kav_tokenize(Arena* arena, String source) {
    KavTokens result = {};
    if (source.size == 0) return result;

    TokenBuffer<KavToken> buffer = token_buffer<KavToken>(arena);
    const u64 n = MIN(source.size, KAV_SOURCE_MAX);
    u64 i = 0;
    u32 previous_kind = 0;
    while (i < n) token_buffer_push(&buffer, next_token(source.str, n, &i, &previous_kind));

    result.tokens = token_buffer_array(&buffer);
    result.count = buffer.count;
    return result;
}

// ---- Tokens a stretch at a time ------------------------------------------------------

// How many stretches are held at once (3 MB at the default stretch).
static constexpr u64 kHeldStretches = 8;

struct StretchStart {
    u64 offset;  // byte offset of the stretch's first token
    u32 before;  // kind of the token before it
};

struct KavTokenWindow {
    Arena* arena;
    const u8* s;
    u64 n;
    u64 count;
    u32 shift;  // a stretch is 1 << shift tokens
    StretchStart* starts;
    u64 stretches;
    KavToken* held[kHeldStretches];
    u64 held_stretch[kHeldStretches];  // ~0: the slot holds nothing
    u64 held_used[kHeldStretches];     // when the slot was last read, for letting the oldest go
    u64 clock;
    u64 last_slot;    // the slot read last: most reads fall in it
    u64 made;         // stretches made so far
    KavToken* whole;  // every token, once reads jump about too much for stretches
};

KavTokens kav_tokenize_windowed(Arena* arena, String source, u32 stretch_shift) {
    KavTokens result = {};
    if (source.size == 0) return result;
    KavTokenWindow* w = push_struct<KavTokenWindow>(arena);
    w->shift = stretch_shift;
    const u64 stretch_mask = (1ull << stretch_shift) - 1;
    w->arena = arena;
    w->s = source.str;
    w->n = MIN(source.size, KAV_SOURCE_MAX);
    // The counting pass: how many tokens, and where each stretch starts.
    TokenBuffer<StretchStart> starts = token_buffer<StretchStart>(arena);
    u64 i = 0;
    u32 previous_kind = 0;
    u64 count = 0;
    while (i < w->n) {
        if ((count & stretch_mask) == 0) token_buffer_push(&starts, StretchStart{i, previous_kind});
        next_token(w->s, w->n, &i, &previous_kind);
        count += 1;
    }
    w->starts = token_buffer_array(&starts);
    w->stretches = starts.count;
    w->count = count;
    for (u64 k = 0; k < kHeldStretches; k += 1) w->held_stretch[k] = ~0ull;
    result.count = count;
    result.window = w;
    return result;
}

// Every token at once, from the stretches' starts.
static void window_make_whole(KavTokenWindow* w) {
    KavToken* whole = push_array_no_zero<KavToken>(w->arena, w->count);
    u64 i = 0;
    u32 previous_kind = 0;
    for (u64 k = 0; k < w->count; k += 1) whole[k] = next_token(w->s, w->n, &i, &previous_kind);
    w->whole = whole;
}

KavToken kav_token_window_at(KavTokenWindow* w, u64 k) {
    if (w->whole) return w->whole[k];
    u64 stretch = k >> w->shift;
    u64 slot = w->last_slot;
    if (w->held_stretch[slot] != stretch) {
        u64 oldest = 0;
        for (slot = 0; slot < kHeldStretches; slot += 1) {
            if (w->held_stretch[slot] == stretch) break;
            if (w->held_used[slot] < w->held_used[oldest]) oldest = slot;
        }
        if (slot == kHeldStretches) {
            // Reads that keep coming back to stretches let go would make
            // them again and again: past twice the stretches of one pass
            // (and a margin), the tokens are all made at once instead.
            if (w->made > 2 * w->stretches + 64) {
                window_make_whole(w);
                return w->whole[k];
            }
            slot = oldest;
            if (!w->held[slot]) w->held[slot] = push_array_no_zero<KavToken>(w->arena, 1ull << w->shift);
            u64 i = w->starts[stretch].offset;
            u32 previous_kind = w->starts[stretch].before;
            u64 first = stretch << w->shift;
            u64 tokens = MIN(1ull << w->shift, w->count - first);
            for (u64 t = 0; t < tokens; t += 1) w->held[slot][t] = next_token(w->s, w->n, &i, &previous_kind);
            w->held_stretch[slot] = stretch;
            w->made += 1;
        }
        w->last_slot = slot;
        w->clock += 1;
        w->held_used[slot] = w->clock;
    }
    return w->held[slot][k & ((1ull << w->shift) - 1)];
}

String kav_token_kind_name(u32 kind) {
    struct Name {
        u32 bit;
        String name;
    };
    static const Name names[] = {
        {KAV_TOKEN_NUMBER, S("NUMBER")},
        {KAV_TOKEN_WORD, S("WORD")},
        {KAV_TOKEN_SYMBOL, S("SYMBOL")},
        {KAV_TOKEN_ESCAPE, S("ESCAPE")},
        {KAV_TOKEN_MARKUP, S("MARKUP")},
        {KAV_TOKEN_DOUBLE_SLASH, S("DOUBLE_SLASH")},
        {KAV_TOKEN_WHITESPACE, S("WHITESPACE")},
        {KAV_TOKEN_NEWLINE, S("NEWLINE")},
        {KAV_TOKEN_PIPE, S("PIPE")},
        {KAV_TOKEN_OPEN_BRACKET, S("OPEN_BRACKET")},
        {KAV_TOKEN_CLOSE_BRACKET, S("CLOSE_BRACKET")},
        {KAV_TOKEN_STRING, S("STRING")},
        {KAV_TOKEN_OTHER, S("OTHER")},
        {KAV_TOKEN_BACKTICK, S("BACKTICK")},
        {KAV_TOKEN_DOUBLE_BACKTICK, S("DOUBLE_BACKTICK")},
        {KAV_TOKEN_TRIPLE_BACKTICK, S("TRIPLE_BACKTICK")},
        {KAV_TOKEN_TRIPLE_DASH, S("TRIPLE_DASH")},
        {KAV_TOKEN_OPEN_TILDE, S("OPEN_TILDE")},
        {KAV_TOKEN_CLOSE_TILDE, S("CLOSE_TILDE")},
    };
    for (const Name& n : names) {
        if (kind & n.bit) return n.name;
    }
    return String{};
}
