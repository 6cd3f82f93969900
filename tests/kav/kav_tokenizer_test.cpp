#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "kav_test_support.h"

namespace {

// "KIND+MODIFIER:text" per token, joined by spaces; text bytes outside
// printable ASCII as \xNN.
std::string describe(String source, const KavTokens& tokens) {
    std::string out;
    for (u64 k = 0; k < tokens.count; k += 1) {
        const KavToken& t = tokens.tokens[k];
        if (k) out += ' ';
        out += str(kav_token_kind_name(t.kind));
        if (t.kind & KAV_TOKEN_TEXT) out += "+TEXT";
        if (t.kind & KAV_TOKEN_UNTERMINATED) out += "+UNTERMINATED";
        if (t.kind & KAV_TOKEN_HAS_SPACE) out += "+HAS_SPACE";
        if (t.kind & KAV_TOKEN_ESCAPED) out += "+ESCAPED";
        out += ':';
        for (u64 b = t.begin; b < t.end; b += 1) {
            u8 c = source.str[b];
            if (c == '\n') {
                out += "\\n";
            } else if (c == '\r') {
                out += "\\r";
            } else if (c == '\t') {
                out += "\\t";
            } else if (c < 0x20 || c >= 0x7F) {
                char hex[8];
                snprintf(hex, sizeof hex, "\\x%02x", c);
                out += hex;
            } else {
                out += (char)c;
            }
        }
    }
    return out;
}

struct Case {
    const char* name;
    std::string input;
    const char* tokens;
};

struct KavTokenizerTest : KavArenaTest {};

TEST_F(KavTokenizerTest, RulesAndKinds) {
    const Case cases[] = {
        {"empty", "", ""},
        {"crlf is one newline", "a\r\nb", "WORD:a NEWLINE:\\r\\n WORD:b"},
        {"lf then cr are two", "\n\r", "NEWLINE:\\n NEWLINE:\\r"},
        {"lone cr", "a\rb", "WORD:a NEWLINE:\\r WORD:b"},
        {"blank run absorbs cr", " \t\x0b\r x", "WHITESPACE: \\t\\x0b\\r  WORD:x"},
        {"two hyphens", "--", "MARKUP:- MARKUP:-"},
        {"three hyphens", "---", "TRIPLE_DASH:---"},
        {"four hyphens", "----", "TRIPLE_DASH:--- MARKUP:-"},
        {"backquotes", "` `` ```", "BACKTICK:` WHITESPACE:  DOUBLE_BACKTICK:`` WHITESPACE:  TRIPLE_BACKTICK:```"},
        {"four backquotes", "````", "TRIPLE_BACKTICK:``` BACKTICK:`"},
        {"five backquotes", "`````", "TRIPLE_BACKTICK:``` DOUBLE_BACKTICK:``"},
        {"escaped underscore", "\\_", "ESCAPE:\\ MARKUP+ESCAPED:_"},
        {"escape before a letter", "\\a", "ESCAPE:\\ WORD:a"},
        {"word then decimal", "x.5", "WORD:x NUMBER:.5"},
        {"number then full stop", "1.", "NUMBER:1 SYMBOL:."},
        {"number then two full stops", "1..", "NUMBER:1. SYMBOL:."},
        {"inner full stops", "1.2.3 12ab", "NUMBER:1.2.3 WHITESPACE:  NUMBER:12ab"},
        {"dot alone", ".a", "SYMBOL:. WORD:a"},
        {"string", "\"a b\"c", "STRING+TEXT+HAS_SPACE:\"a b\" WORD:c"},
        {"string across lines", "\"a\nb\"", "STRING+TEXT:\"a\\nb\""},
        {"unterminated string", "x \"ab\ncd", "WORD:x WHITESPACE:  STRING+TEXT+UNTERMINATED:\"ab\\ncd"},
        {"tab is no space in a string", "\"a\tb\"", "STRING+TEXT:\"a\\tb\""},
        {"two-byte letter", "\xc3\xa9", "WORD:\\xc3 OTHER:\\xa9"},
        {"lead bytes continue a word", "a\xc3\xc3" "b\xa9", "WORD:a\\xc3\\xc3b OTHER:\\xa9"},
        {"tilde and brace pairs", "~{x}~", "OPEN_TILDE:~{ WORD:x CLOSE_TILDE:}~"},
        {"lone tilde and brace", "~x }y", "SYMBOL:~ WORD:x WHITESPACE:  SYMBOL:} WORD:y"},
        {"slashes", "/ //", "SYMBOL:/ WHITESPACE:  DOUBLE_SLASH://"},
        {"three slashes", "///", "DOUBLE_SLASH:// SYMBOL:/"},
        {"underscores", "_ __ ___", "MARKUP:_ WHITESPACE:  MARKUP:__ WHITESPACE:  MARKUP:__ MARKUP:_"},
        {"markup bytes", "<>@", "MARKUP:< MARKUP:> MARKUP:@"},
        {"pipes and brackets", "|[]", "PIPE:| OPEN_BRACKET:[ CLOSE_BRACKET:]"},
        {"symbols", "!#$%&'()*+,:;=?^", "SYMBOL:! SYMBOL:# SYMBOL:$ SYMBOL:% SYMBOL:& SYMBOL:' SYMBOL:( SYMBOL:) "
                                        "SYMBOL:* SYMBOL:+ SYMBOL:, SYMBOL:: SYMBOL:; SYMBOL:= SYMBOL:? SYMBOL:^"},
        {"unclaimed bytes", std::string("\x01\x7f\x80", 3) + std::string(1, '\0'),
         "OTHER:\\x01 OTHER:\\x7f OTHER:\\x80 OTHER:\\x00"},
        {"escape marks these kinds",
         "\\1\\\"s\"\\//\\[\\]\\`\\``\\```\\---\\~{\\}~\\<",
         "ESCAPE:\\ NUMBER+ESCAPED:1 ESCAPE:\\ STRING+TEXT+ESCAPED:\"s\" ESCAPE:\\ DOUBLE_SLASH+ESCAPED:// "
         "ESCAPE:\\ OPEN_BRACKET+ESCAPED:[ ESCAPE:\\ CLOSE_BRACKET+ESCAPED:] ESCAPE:\\ BACKTICK+ESCAPED:` "
         "ESCAPE:\\ DOUBLE_BACKTICK+ESCAPED:`` ESCAPE:\\ TRIPLE_BACKTICK+ESCAPED:``` "
         "ESCAPE:\\ TRIPLE_DASH+ESCAPED:--- ESCAPE:\\ OPEN_TILDE+ESCAPED:~{ ESCAPE:\\ CLOSE_TILDE+ESCAPED:}~ "
         "ESCAPE:\\ MARKUP+ESCAPED:<"},
        {"escape never marks these kinds", "\\|\\.\\ \\\n\\\\\\\x01",
         "ESCAPE:\\ PIPE:| ESCAPE:\\ SYMBOL:. ESCAPE:\\ WHITESPACE:  ESCAPE:\\ NEWLINE:\\n ESCAPE:\\ ESCAPE:\\ "
         "ESCAPE:\\ OTHER:\\x01"},
        {"escape at the end", "a\\", "WORD:a ESCAPE:\\"},
        {"pairs cut by the end", "-- /", "MARKUP:- MARKUP:- WHITESPACE:  SYMBOL:/"},
        {"backquote pair at the end", "x``", "WORD:x DOUBLE_BACKTICK:``"},
    };
    for (const Case& c : cases) {
        String source = from(c.input);
        KavTokens tokens = kav_tokenize(arena, source);
        EXPECT_EQ(describe(source, tokens), c.tokens) << c.name;
        EXPECT_EQ(tokens.diagnostics.count, 0u) << c.name;
    }
}

// Every byte belongs to exactly one token, in order, across chunk borders.
TEST_F(KavTokenizerTest, TokensTileTheSourceAcrossChunks) {
    std::mt19937 rng(12345);
    const char alphabet[] = "ab1.\\_-`~{}|[]\"<> \t\r\n/x\xc3\xa9#*";
    for (int round = 0; round < 20; round += 1) {
        std::string text;
        size_t size = (round % 2) ? 20000 : 1 + (size_t)(rng() % 300);
        for (size_t k = 0; k < size; k += 1) text += alphabet[rng() % (sizeof alphabet - 1)];
        String source = from(text);
        KavTokens tokens = kav_tokenize(arena, source);
        ASSERT_GT(tokens.count, 0u);
        u64 at = 0;
        for (u64 k = 0; k < tokens.count; k += 1) {
            ASSERT_EQ(tokens.tokens[k].begin, at) << "round " << round << " token " << k;
            ASSERT_GT(tokens.tokens[k].end, tokens.tokens[k].begin);
            at = tokens.tokens[k].end;
        }
        EXPECT_EQ(at, text.size());
    }
}

TEST_F(KavTokenizerTest, ManyChunksKeepCountAndOrder) {
    // 3 tokens per repetition: well over three chunks of 4096.
    std::string text;
    for (int k = 0; k < 5000; k += 1) text += "ab 1\n";
    KavTokens tokens = kav_tokenize(arena, from(text));
    ASSERT_EQ(tokens.count, 5000u * 4);
    for (u64 k = 0; k < tokens.count; k += 4) {
        ASSERT_EQ(tokens.tokens[k].kind, (u32)KAV_TOKEN_WORD);
        ASSERT_EQ(tokens.tokens[k + 2].kind, (u32)KAV_TOKEN_NUMBER);
        ASSERT_EQ(tokens.tokens[k + 3].kind, (u32)KAV_TOKEN_NEWLINE);
        ASSERT_EQ(tokens.tokens[k].begin, (k / 4) * 5);
    }
}

// Tokens made a stretch at a time are the tokens made whole, whatever the
// order they are read in: in order, backwards across stretch borders, and
// jumping about (which lets stretches go and makes them again, and at last
// makes them all at once).
TEST_F(KavTokenizerTest, WindowedTokensAreTheWholeTokens) {
    std::mt19937 rng(777);
    const char alphabet[] = "ab1.\\_-`~{}|[]\"<> \t\r\n/x\xc3\xa9#*";
    for (int round = 0; round < 12; round += 1) {
        std::string text;
        size_t size = round < 4 ? 1 + (size_t)(rng() % 40) : 5000 + (size_t)(rng() % 20000);
        for (size_t k = 0; k < size; k += 1) text += alphabet[rng() % (sizeof alphabet - 1)];
        if (round % 3 == 0) text += "\"unterminated to the end";
        String source = from(text);
        KavTokens whole = kav_tokenize(arena, source);
        for (u32 shift : {0u, 3u, 6u, 15u}) {
            KavTokens windowed = kav_tokenize_windowed(arena, source, shift);
            ASSERT_EQ(windowed.count, whole.count) << "round " << round << " shift " << shift;
            auto same = [&](u64 k, const char* order) {
                KavToken a = kav_token_at(&windowed, k), b = whole.tokens[k];
                ASSERT_TRUE(a.begin == b.begin && a.end == b.end && a.kind == b.kind)
                    << order << " read of token " << k << ", round " << round << ", shift " << shift;
            };
            for (u64 k = 0; k < whole.count; k += 1) same(k, "in order");
            for (u64 k = whole.count; k-- > 0;) same(k, "backwards");
            for (int n = 0; n < 3000; n += 1) same(rng() % whole.count, "random");
        }
    }
}

// Reading in order, with a look back and a look ahead as the parser does,
// holds a few stretches, not the document's tokens.
TEST_F(KavTokenizerTest, WindowedTokensReadInOrderHoldFewStretches) {
    std::string text;
    for (int k = 0; k < 100000; k += 1) text += "word, \"a quote\" [link] `code`\n";
    String source = from(text);
    u64 before = arena_pos(arena);
    KavTokens windowed = kav_tokenize_windowed(arena, source, 10);
    ASSERT_GT(windowed.count, 1000000u);
    u64 sum = 0;
    for (u64 k = 0; k < windowed.count; k += 1) {
        sum += kav_token_at(&windowed, k).end;
        if (k > 3000) sum += kav_token_at(&windowed, k - 3000).kind;
        if (k + 2000 < windowed.count) sum += kav_token_at(&windowed, k + 2000).kind;
    }
    EXPECT_GT(sum, 0u);
    u64 held = arena_pos(arena) - before;
    EXPECT_LT(held, windowed.count * sizeof(KavToken) / 20) << "held " << held << " bytes";
}

}  // namespace
