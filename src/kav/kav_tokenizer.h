// KAV tokenizer: the bytes of one document become a flat array of tokens
// that point into the source by byte offsets. It never fails and reports
// nothing; every byte belongs to exactly one token.
#pragma once

#include "base/arena.h"
#include "base/diagnostic.h"
#include "base/string.h"

// ---- Token kinds ------------------------------------------------------------
// One kind bit per token plus the modifier bits named below. The values are
// fixed: the parser tests several at once and maps some to node flags.

enum KavTokenKind : u32 {
    KAV_TOKEN_NUMBER = 0x1,
    KAV_TOKEN_WORD = 0x2,
    KAV_TOKEN_TEXT = 0x4,  // modifier, on every string token
    KAV_TOKEN_SYMBOL = 0x8,
    KAV_TOKEN_ESCAPE = 0x10,
    KAV_TOKEN_MARKUP = 0x20,
    KAV_TOKEN_DOUBLE_SLASH = 0x40,
    KAV_TOKEN_WHITESPACE = 0x80,
    KAV_TOKEN_NEWLINE = 0x100,
    KAV_TOKEN_PIPE = 0x200,
    KAV_TOKEN_OPEN_BRACKET = 0x400,
    KAV_TOKEN_CLOSE_BRACKET = 0x800,
    KAV_TOKEN_STRING = 0x2000,
    KAV_TOKEN_OTHER = 0x4000,
    KAV_TOKEN_UNTERMINATED = 0x8000,  // modifier: string without its closing quote
    KAV_TOKEN_BACKTICK = 0x20000,
    KAV_TOKEN_DOUBLE_BACKTICK = 0x40000,
    KAV_TOKEN_TRIPLE_BACKTICK = 0x80000,
    KAV_TOKEN_ESCAPED = 0x400000,  // modifier: directly follows an escape token
    KAV_TOKEN_TRIPLE_DASH = 0x800000,
    KAV_TOKEN_HAS_SPACE = 0x1000000,  // modifier: a string holding a space
    KAV_TOKEN_OPEN_TILDE = 0x2000000,
    KAV_TOKEN_CLOSE_TILDE = 0x4000000,
};

// Kinds that take KAV_TOKEN_ESCAPED when they follow an escape token.
#define KAV_TOKEN_ESCAPABLE                                                                                 \
    (KAV_TOKEN_NUMBER | KAV_TOKEN_STRING | KAV_TOKEN_MARKUP | KAV_TOKEN_DOUBLE_SLASH | KAV_TOKEN_OPEN_BRACKET | \
     KAV_TOKEN_CLOSE_BRACKET | KAV_TOKEN_BACKTICK | KAV_TOKEN_DOUBLE_BACKTICK | KAV_TOKEN_TRIPLE_BACKTICK |      \
     KAV_TOKEN_TRIPLE_DASH | KAV_TOKEN_OPEN_TILDE | KAV_TOKEN_CLOSE_TILDE)

// ---- Types ------------------------------------------------------------------

// Offsets are 32 bits: a document is at most KAV_SOURCE_MAX bytes, which
// keeps a token at 12 bytes (a token per two or three bytes of prose).
struct KavToken {
    u32 begin;  // offset of the first byte in the source
    u32 end;    // one past the last byte; always > begin
    u32 kind;   // KavTokenKind bits
};

// The longest source the tokenizer reads; bytes after it are left out.
constexpr u64 KAV_SOURCE_MAX = 0xFFFFFFFFull - 1;

// Tokens made a stretch at a time (kav_tokenize_windowed).
struct KavTokenWindow;

struct KavTokens {
    KavToken* tokens;        // contiguous, in source order; null when windowed
    u64 count;
    KavTokenWindow* window;  // non-null: read the tokens with kav_token_at
    DiagnosticList diagnostics;  // always empty: the tokenizer reports nothing
};

// ---- Operations -------------------------------------------------------------

// Tokenizes the whole `source`; the array comes from `arena`.
KavTokens kav_tokenize(Arena* arena, String source);

// The same tokens for a document too large to hold them all (12 bytes a
// token, five a source byte): a counting pass notes where every stretch of
// tokens starts, and a read makes its stretch again from there when it is
// not among the few held. Memory stays a few megabytes whatever the size.
// A stretch is 1 << stretch_shift tokens.
#define KAV_TOKEN_STRETCH_SHIFT 15
KavTokens kav_tokenize_windowed(Arena* arena, String source, u32 stretch_shift = KAV_TOKEN_STRETCH_SHIFT);

KavToken kav_token_window_at(KavTokenWindow* window, u64 k);

// Token k (< count) of either kind of token list, as a copy: a windowed
// token's memory is used again by later reads.
inline KavToken kav_token_at(const KavTokens* tokens, u64 k) {
    return tokens->window ? kav_token_window_at(tokens->window, k) : tokens->tokens[k];
}

inline String kav_token_text(String source, const KavToken* token) {
    return string_substr(source, token->begin, token->end);
}

// The name of a token's kind bit ("WORD", "STRING", ...) for printing.
String kav_token_kind_name(u32 kind);
