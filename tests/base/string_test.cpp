#include <gtest/gtest.h>

#include <string>

#include "base/arena.h"
#include "base/os.h"
#include "base/string.h"

namespace {

std::string str(String s) { return std::string((const char*)s.str, s.size); }

__attribute__((format(printf, 3, 4))) u64 format_to_buffer_f(char* buffer, u64 capacity, const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    u64 size = format_to_buffer(buffer, capacity, fmt, args);
    va_end(args);
    return size;
}

struct StringTest : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    ~StringTest() override { arena_release(arena); }
};

TEST_F(StringTest, FormatStringsThroughPrecision) {
    // STR_ARG hands the size as the precision: no byte past it is read, and
    // width and the minus flag pad as for any text.
    String abc = {(u8*)"abcdef", 3};
    u8* volatile none = 0;  // a zeroed String, hidden from the compiler's null check
    String empty = {none, 0};
    struct Case {
        std::string got;
        const char* want;
    };
    Case cases[] = {
        {str(string_format(arena, "[%.*s]", STR_ARG(abc))), "[abc]"},
        {str(string_format(arena, "%5.*s|%-5.*s|", STR_ARG(abc), STR_ARG(abc))), "  abc|abc  |"},
        {str(string_format(arena, "%*.*s|", 6, STR_ARG(abc))), "   abc|"},
        {str(string_format(arena, "%-*s|%*s|", 5, "ab", 3, "ab")), "ab   | ab|"},
        // As in C, a NUL ends the text before the precision does.
        {str(string_format(arena, "[%.*s]", 5, "ab\0cd")), "[ab]"},
        {str(string_format(arena, "[%.*s]", STR_ARG(empty))), "[]"},
        {str(string_format(arena, "%.*s%.*s", STR_ARG(abc), STR_ARG(S("def")))), "abcdef"},
        {str(string_format(arena, "%lld %llu", (long long)-5, (unsigned long long)18446744073709551615ull)),
         "-5 18446744073709551615"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
}

TEST_F(StringTest, FormatToBufferCutsButCountsAll) {
    // A short buffer gets the text's start, NUL-terminated, and the call
    // still returns the full length.
    char buffer[6];
    EXPECT_EQ(format_to_buffer_f(buffer, sizeof(buffer), "id: %d, %.*s", 42, STR_ARG(S("ab"))), 10u);
    EXPECT_STREQ(buffer, "id: 4");
    EXPECT_EQ(format_to_buffer_f(buffer, sizeof(buffer), "%s", "abc"), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(format_to_buffer_f(0, 0, "%05d", 7), 5u);
}

TEST_F(StringTest, FormatStandardConversionsMatchPrintf) {
    struct Case {
        std::string got;
        const char* want;
    };
    Case cases[] = {
        {str(string_format(arena, "%lu", 123456789012ul)), "123456789012"},
        {str(string_format(arena, "%.*s", 3, "abcdef")), "abc"},
        {str(string_format(arena, "%02d:%02d", 5, 7)), "05:07"},
        {str(string_format(arena, "%.1f", 2.25)), "2.2"},
        {str(string_format(arena, "%llu", 42ull)), "42"},
        {str(string_format(arena, "%*d|%-*d|", 5, 42, 4, 7)), "   42|7   |"},
        {str(string_format(arena, "%x %X %o %#x", 255u, 255u, 8u, 255u)), "ff FF 10 0xff"},
        {str(string_format(arena, "%c%c", 'o', 'k')), "ok"},
        {str(string_format(arena, "%+d % d %e", 3, 3, 1.5)), "+3  3 1.500000e+00"},
        {str(string_format(arena, "%g %G", 0.0001, 1e20)), "0.0001 1E+20"},
        {str(string_format(arena, "%zu %hhd %hd %hhu", (size_t)9, (signed char)-5, (short)-300, (unsigned char)200)),
         "9 -5 -300 200"},
        {str(string_format(arena, "100%%")), "100%"},
        {str(string_format(arena, "%s", "")), ""},
        {str(string_format(arena, "%.*f", 3, 1.0)), "1.000"},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.want);
    int count = 0;
    String s = string_format(arena, "abc%n!", &count);
    EXPECT_EQ(str(s), "abc!");
    EXPECT_EQ(count, 3);
}

TEST_F(StringTest, FormatLongOutputIsExactAndTerminated) {
    std::string big(100000, 'x');
    String s = string_format(arena, "<%s>", big.c_str());
    EXPECT_EQ(s.size, big.size() + 2);
    EXPECT_EQ(s.str[s.size], 0);
    EXPECT_EQ(str(s), "<" + big + ">");
}

TEST_F(StringTest, ListsJoinAndSplit) {
    StringList list = {};
    string_list_push(arena, &list, S("a"));
    string_list_pushf(arena, &list, "%d", 22);
    string_list_push(arena, &list, S("ccc"));
    EXPECT_EQ(list.node_count, 3u);
    EXPECT_EQ(list.total_size, 6u);
    StringJoin join = {S("["), S(", "), S("]")};
    String joined = string_list_join(arena, &list, &join);
    EXPECT_EQ(str(joined), "[a, 22, ccc]");
    EXPECT_EQ(joined.str[joined.size], 0);
    StringList empty = {};
    EXPECT_EQ(str(string_list_join(arena, &empty, &join)), "[]");

    auto pieces = [&](StringList l) {
        std::string out;
        for (StringNode* n = l.first; n; n = n->next) out += "<" + str(n->string) + ">";
        return out;
    };
    EXPECT_EQ(pieces(string_split(arena, S(",a,,b,"), S(","), 0)), "<a><b>");
    EXPECT_EQ(pieces(string_split(arena, S(",a,,b,"), S(","), SPLIT_KEEP_EMPTY)), "<><a><><b>");
    EXPECT_EQ(pieces(string_split(arena, S("a b;c"), S(" ;"), 0)), "<a><b><c>");
}

TEST_F(StringTest, Matching) {
    EXPECT_FALSE(string_match(S("html"), S("HTML"), 0));
    EXPECT_TRUE(string_match(S("html"), S("HTML"), MATCH_CASE_INSENSITIVE));
    EXPECT_TRUE(string_match(S("a\\b"), S("a/b"), MATCH_SLASH_INSENSITIVE));
    EXPECT_FALSE(string_match(S("a\\b"), S("a/b"), 0));
    EXPECT_TRUE(string_match(S(""), S(""), 0));
    EXPECT_TRUE(string_match(S("ab"), S("abc"), MATCH_RIGHT_SIDE_SLOPPY));
    EXPECT_FALSE(string_match(S("abc"), S("ab"), MATCH_RIGHT_SIDE_SLOPPY));
    // Folding is ASCII only: bytes above 127 are themselves.
    EXPECT_FALSE(string_match(S("\xC3\x89"), S("\xC3\xA9"), MATCH_CASE_INSENSITIVE));
    EXPECT_EQ(str(string_trim_whitespace(S(" \t\r\n x y \v\f"))), "x y");
    EXPECT_EQ(str(string_unquote(S("\"q'"))), "q");
    EXPECT_EQ(str(string_unquote(S("plain"))), "plain");
    EXPECT_EQ(string_find(S("abcabc"), S("ca"), 0, 0), 2u);
    EXPECT_EQ(string_find(S("abcABC"), S("AB"), 1, MATCH_CASE_INSENSITIVE), 3u);
    EXPECT_EQ(string_find(S("abc"), S("zz"), 0, 0), 3u);
    EXPECT_EQ(string_find_last(S("a/b/c"), S("/"), 0), 3u);
}

TEST_F(StringTest, ReplaceAllAndHash) {
    EXPECT_EQ(str(string_replace_all(arena, S("file:///C:/x file:///y"), S("file:///"), S(""), 0)), "C:/x y");
    EXPECT_EQ(str(string_replace_all(arena, S("aHTML/b html/"), S("html/"), S("-"), MATCH_CASE_INSENSITIVE)), "a-b -");
    EXPECT_EQ(str(string_replace_all(arena, S("aaa"), S("aa"), S("b"), 0)), "ba");
    EXPECT_EQ(string_hash(S("")), 5381u);
    EXPECT_EQ(string_hash(S("a")), 5381u * 33 + 'a');
    u64 h = 5381;
    for (char c : std::string("targ_p")) h = h * 33 + (u8)c;
    EXPECT_EQ(string_hash(S("targ_p")), h);
}

TEST_F(StringTest, PathHelpers) {
    EXPECT_EQ(str(path_extension(S("a/b.c/d"))), "c/d");
    EXPECT_EQ(str(path_extension(S("README"))), "README");
    EXPECT_EQ(str(path_file_name(S("C:\\a\\b.kav"))), "b.kav");
    EXPECT_EQ(str(path_file_name(S("name"))), "name");
    EXPECT_EQ(str(path_directory(S("name.txt"))), "name.txt");
    EXPECT_EQ(str(path_directory(S("/srv/site/a.html"))), "/srv/site");
    EXPECT_EQ(str(path_ensure_trailing_slash(arena, S("C:/x\\"))), "C:/x\\");
    EXPECT_EQ(str(path_ensure_trailing_slash(arena, S("C:/x"))), "C:/x/");
    EXPECT_EQ(str(path_ensure_trailing_slash(arena, S(""))), "");
    EXPECT_EQ(path_kind(S("C:/x")), 1u);
    EXPECT_EQ(path_kind(S("/x")), 2u);
    EXPECT_EQ(path_kind(S("x")), 0u);
    EXPECT_EQ(path_kind(S("1:")), 0u);
    StringList parts = path_split(arena, S("/a//b\\c/"));
    EXPECT_EQ(parts.node_count, 5u);  // "", a, "", b, c
    StringList norm = path_normalize(arena, path_split(arena, S("a/./b/../c/..")));
    ASSERT_EQ(norm.node_count, 1u);
    EXPECT_EQ(str(norm.first->string), "a");
}

TEST_F(StringTest, MakeAbsolute) {
    String cwd = os_current_directory(arena);
    EXPECT_EQ(str(path_make_absolute(arena, S("D:relative"))), "D:relative");
    EXPECT_EQ(str(path_make_absolute(arena, S("/srv/./site/../docs/"))), "/srv/docs");
    EXPECT_EQ(str(path_make_absolute(arena, S("/../../x"))), "/x");
    EXPECT_EQ(str(path_make_absolute(arena, S("/"))), "/");
    EXPECT_EQ(str(path_make_absolute(arena, S("docs"))), str(cwd) + "/docs");
    EXPECT_EQ(str(path_make_absolute(arena, S("../docs"))), str(path_directory(cwd)) + "/docs");
    String made = path_make_absolute(arena, S("a//b"));
    EXPECT_EQ(made.str[made.size], 0);
    EXPECT_EQ(str(made), str(cwd) + "/a/b");
}

TEST_F(StringTest, Utf8AndUtf16) {
    String smile = S("\xF0\x9F\x98\x80");
    String16 s16 = string16_from_string(arena, smile);
    ASSERT_EQ(s16.size, 2u);
    EXPECT_EQ(s16.str[0], 0xD83D);
    EXPECT_EQ(s16.str[1], 0xDE00);
    EXPECT_EQ(s16.str[2], 0);
    EXPECT_EQ(str(string_from_string16(arena, s16)), str(smile));

    String16 bad = string16_from_string(arena, S("a\xC3"));
    ASSERT_EQ(bad.size, 2u);
    EXPECT_EQ(bad.str[1], '?');

    // The arena gives back the unused worst case: the next push follows.
    String16 e = string16_from_string(arena, S("\xC3\xA9"));
    u16* next = push_array_no_zero<u16>(arena, 1);
    EXPECT_EQ((u8*)next, (u8*)(e.str + 2));

    u16 lone[] = {0xD800, 'x'};
    String back = string_from_string16(arena, String16{lone, 2});
    EXPECT_EQ(str(back), "\xED\xA0\x80x");

    UnicodeDecode d = utf8_decode((const u8*)"\xE2\x82\xAC", 3);
    EXPECT_EQ(d.codepoint, 0x20ACu);
    EXPECT_EQ(d.length, 3u);
    d = utf8_decode((const u8*)"\xE2\x82", 2);
    EXPECT_EQ(d.codepoint, 0xFFFFFFFFu);
    EXPECT_EQ(d.length, 1u);
    d = utf8_decode((const u8*)"\xFF", 1);
    EXPECT_EQ(d.codepoint, 0xFFFFFFFFu);
    d = utf8_decode((const u8*)"\x80", 1);
    EXPECT_EQ(d.codepoint, 0xFFFFFFFFu);
}

// Control bytes come out as "\xNN"; everything else, UTF-8 included, as is.
TEST_F(StringTest, EscapeControlBytes) {
    struct Case {
        std::string in;
        const char* out;
    } cases[] = {
        {"plain/é 日本.kav", "plain/é 日本.kav"},
        {"red\x1b[31m.kav", "red\\x1b[31m.kav"},
        {std::string("nul\0tab\tdel\x7f", 12), "nul\\x00tab\\x09del\\x7f"},
        {"back\\slash", "back\\slash"},
        {"", ""},
    };
    for (const Case& c : cases) {
        String out = string_escape_control_bytes(arena, String{(u8*)c.in.data(), c.in.size()});
        EXPECT_EQ(str(out), c.out);
        EXPECT_EQ(out.str[out.size], 0);
    }
}

}  // namespace
