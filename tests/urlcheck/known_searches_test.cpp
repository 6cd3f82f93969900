#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "urlcheck/known_searches.h"
#include "support/strings.h"

namespace {

using kavsite_test::from;
using kavsite_test::str;

const u32 KW = KN_TOKEN_KEYWORD;
const u32 ID = KN_TOKEN_IDENTIFIER;
const u32 STR = KN_TOKEN_STRING;
const u32 BRK = KN_TOKEN_STRING | KN_TOKEN_BROKEN;
const u32 NUM = KN_TOKEN_NUMBER;
const u32 SYM = KN_TOKEN_SYMBOL;
const u32 SP = KN_TOKEN_SPACE;
const u32 NL = KN_TOKEN_NEWLINE;
const u32 OTH = KN_TOKEN_OTHER;

struct Tok {
    u32 kind;
    std::string text;
    bool operator==(const Tok& o) const { return kind == o.kind && text == o.text; }
};

std::ostream& operator<<(std::ostream& os, const Tok& t) { return os << "{" << t.kind << ", '" << t.text << "'}"; }

std::vector<Tok> tokens_of(const std::string& text) {
    Scratch scratch;
    KnTokens tokens = kn_tokenize(scratch.arena, from(text));
    std::vector<Tok> out;
    u64 covered = 0;
    for (u64 i = 0; i < tokens.count; i += 1) {
        EXPECT_EQ(tokens.tokens[i].begin, covered) << "tokens leave a gap in " << text;
        covered = tokens.tokens[i].end;
        out.push_back({tokens.tokens[i].kind, text.substr(tokens.tokens[i].begin, tokens.tokens[i].end - tokens.tokens[i].begin)});
    }
    EXPECT_EQ(covered, text.size()) << text;
    return out;
}

TEST(KnTokenize, Tokens) {
    struct Case {
        std::string text;
        std::vector<Tok> tokens;
    } cases[] = {
        {"urls: [\"a\"]", {{KW, "urls"}, {KW, ":"}, {SP, " "}, {KW, "["}, {STR, "\"a\""}, {KW, "]"}}},
        // A keyword is taken by its letters alone.
        {"endless", {{KW, "end"}, {ID, "less"}}},
        {"URLS Start fuzzy", {{KW, "URLS"}, {SP, " "}, {KW, "Start"}, {SP, " "}, {KW, "fuzzy"}}},
        {"xurls", {{ID, "xurls"}}},
        // """ and "'" stand for a lone quote each.
        {"\"\"\" \"'\"", {{STR, "\"\"\""}, {SP, " "}, {STR, "\"'\""}}},
        // A string runs to the last quote of its kind before "\n", "," or "]".
        {"\"a \"b\" c\",", {{STR, "\"a \"b\" c\""}, {KW, ","}}},
        {"'it''s' x", {{STR, "'it''s'"}, {SP, " "}, {ID, "x"}}},
        {"'say \"hi\"']", {{STR, "'say \"hi\"'"}, {KW, "]"}}},
        // Unclosed before the line ends: broken, and only to the end of the line.
        {"\"open\nurls", {{BRK, "\"open"}, {NL, "\n"}, {KW, "urls"}}},
        {"\"a,b\" x\ny", {{BRK, "\"a,b\" x"}, {NL, "\n"}, {ID, "y"}}},
        {"'tail", {{BRK, "'tail"}}},
        {"12.5x -3 .5", {{NUM, "12.5x"}, {SP, " "}, {NUM, "-3"}, {SP, " "}, {NUM, ".5"}}},
        {"a-b?(c)", {{ID, "a-b?(c)"}}},
        {"$%{}", {{SYM, "$%"}, {KW, "{"}, {KW, "}"}}},
        {"-}", {{SYM, "-"}, {KW, "}"}}},
        {"\t\r\v \n\n", {{SP, "\t\r\v "}, {NL, "\n"}, {NL, "\n"}}},
        {"\xc3\xa9t\xc3\xa9", {{ID, "\xc3\xa9t\xc3\xa9"}}},
        {"\x01<=", {{OTH, "\x01"}, {OTH, "<"}, {OTH, "="}}},
        {std::string("a\0b", 3), {{ID, "a"}, {OTH, std::string("\0", 1)}, {ID, "b"}}},
        {"", {}},
    };
    for (const Case& c : cases) EXPECT_EQ(tokens_of(c.text), c.tokens) << c.text;
}

struct Parsed {
    SourceFinderList finders;
    std::vector<std::string> warnings;  // "offset: message"
};

Parsed parse(Arena* arena, const std::string& text) {
    KnTokens tokens = kn_tokenize(arena, from(text));
    KnTree tree = kn_parse(arena, from(text), tokens);
    Parsed p;
    for (Diagnostic* d = tree.diagnostics.first; d; d = d->next) {
        EXPECT_EQ(d->level, (s32)DIAG_WARNING);
        p.warnings.push_back(std::to_string(d->offset) + ": " + str(d->message));
    }
    p.finders = kn_build(arena, &tree);
    return p;
}

std::vector<std::string> list_of(const StringList& list) {
    std::vector<std::string> out;
    for (StringNode* n = list.first; n; n = n->next) out.push_back(str(n->string));
    return out;
}

// A finder written as text: "S[urls|start|end]" per searcher, "M[prefix|types]"
// per data marker, then "#<made so far>".
std::string describe(const SourceFinderList& finders) {
    std::string out;
    for (SourceFinder* f = finders.first; f; f = f->next) {
        out += "F(";
        for (Searcher* s = f->searchers.first; s; s = s->next) {
            auto join = [](const std::vector<std::string>& v) {
                std::string r;
                for (size_t i = 0; i < v.size(); i += 1) r += (i ? "," : "") + v[i];
                return r;
            };
            out += "S[" + join(list_of(s->urls)) + "|" + join(list_of(s->start)) + "|" + join(list_of(s->end)) + "]";
        }
        for (DataMarker* m = f->data_markers.first; m; m = m->next) {
            char bits[16];
            snprintf(bits, sizeof bits, "%x", m->types);
            out += "M[" + str(m->prefix) + "|" + bits + "]";
        }
        out += "#" + std::to_string(f->data_markers_made) + ")";
    }
    return out;
}

TEST(KnParse, FilesToRecords) {
    struct Case {
        const char* name;
        std::string text;
        std::string records;
        std::vector<std::string> warnings;
    } cases[] = {
        {"whitespace only", " \n\t\r\n  \n", "", {}},
        {"empty", "", "", {}},
        {"two finders",
         "source_finders: {\n"
         "    searchers: {\n"
         "        urls: [\"https://a.example/\", \"https://b.example/\"]\n"
         "        start: [\"<main>\"]\n"
         "        end: [\"</main>\"]\n"
         "    }\n"
         "    searchers: { urls: \"https://c.example/\", start: \"<article>\", end: \"</article>\" }\n"
         "    data_markers: { prefix: \"Published:\", types: [\"date\"] }\n"
         "    data_markers: { prefix: \"By \", types: [\"author\", \"Title\"] }\n"
         "}\n"
         "source_finders: {\n"
         "    data_markers: { prefix: \"x\", types: [\"textual\", \"Bitmap\", \"unknown\"] }\n"
         "}\n",
         "F(S[https://a.example/,https://b.example/|<main>|</main>]S[https://c.example/|<article>|</article>]"
         "M[Published:|2]M[By |48]#2)F(M[x|220]#3)",
         {}},
        {"type names in any case", "data_markers: { types: [\"TITLE\", \"DATE\", \"shortdescription\", \"NUMBER\"] }\nsource_finders: {}",
         "F(M[|152]#1)", {}},
        {"every type", "data_markers: {types: [\"date\",\"author\",\"Number\",\"Bitmap\",\"Title\",\"Description\",\"shortDescription\",\"textual\"]} source_finders: {}",
         "F(M[|3fa]#1)", {}},
        {"last prefix wins", "data_markers: { prefix: \"a\", prefix: \"b\" } source_finders: {}", "F(M[b|0]#1)", {}},
        {"keys in capitals", "SOURCE_FINDERS: { Searchers: { URLS: \"u\", START: \"s\", End: \"e\" } }", "F(S[u|s|e]#0)", {}},
        {"stray ] at file level", "\n  ]\nurls: \"a\"", "", {"3: Unexpected \"]\" token."}},
        {"stray } at file level", "}", "", {"0: Unexpected \"}\" token."}},
        {"unknown key", "colour: \"red\"", "", {"0: Unexpected \"colour\" token.", "6: Unexpected \":\" token.",
                                                 "8: Unexpected \"\"red\"\" token."}},
        {"fuzzy is no key", "fuzzy: \"x\"", "", {"0: Unexpected \"fuzzy\" token.", "5: Unexpected \":\" token.",
                                                  "7: Unexpected \"\"x\"\" token."}},
        {"key without colon", "urls \"a\"", "", {"5: Unexpected \"\"a\"\" token."}},
        // An unclosed string costs its own line only.
        {"broken string", "source_finders: { searchers: { urls: \"https://x.example/\n start: \"s\", end: \"e\" } }",
         "F(S[|s|e]#0)", {"37: Unexpected \"\"https://x.example/\" token."}},
        {"quote escapes", "source_finders: { searchers: { start: [\"\"\", \"'\"], end: \"a \"b\" c\" } }",
         "F(S[|\",'|a \"b\" c]#0)", {}},
        {"commas between entries", "source_finders: { searchers: { urls: [\"a\"], start: [\"s\"], end: \"e\" }, }",
         "F(S[a|s|e]#0)", {}},
        {"comma at file level", "urls: [\"a\"], start: \"s\"", "", {"11: Unexpected \",\" token."}},
        {"one searchers key, two groups", "source_finders: { searchers: [{urls: \"a\"}, {urls: \"b\"}] }", "F(S[a,b||]#0)", {}},
        {"unclosed groups", "source_finders: { searchers: { urls: \"a\"", "F(S[a||]#0)", {}},
        {"nested list", "urls: [[\"a\"], \"b\"]", "", {"12: Unexpected \",\" token.", "14: Unexpected \"\"b\"\" token.",
                                                        "17: Unexpected \"]\" token."}},
        {"number value", "urls: 12", "", {"6: Unexpected \"12\" token."}},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        Parsed p = parse(scratch.arena, c.text);
        EXPECT_EQ(describe(p.finders), c.records) << c.name;
        EXPECT_EQ(p.warnings, c.warnings) << c.name;
    }
}

TEST(KnParse, TreeShape) {
    Scratch scratch;
    std::string text = "searchers: { urls: [\"a\", \"b\"] }";
    KnTokens tokens = kn_tokenize(scratch.arena, from(text));
    KnTree tree = kn_parse(scratch.arena, from(text), tokens);
    KnNode* key = tree.root->first_child;
    ASSERT_EQ(key->kind, (u32)KN_NODE_KEY);
    EXPECT_EQ(str(key->text), "searchers");
    EXPECT_TRUE(kn_is_nil(key->next));
    KnNode* object = key->first_child;
    ASSERT_EQ(object->kind, (u32)KN_NODE_OBJECT);
    EXPECT_EQ(object->position, 11u);
    KnNode* urls = object->first_child;
    ASSERT_EQ(urls->kind, (u32)KN_NODE_KEY);
    KnNode* a = urls->first_child;
    KnNode* b = urls->last_child;
    EXPECT_EQ(str(a->text), "a");
    EXPECT_EQ(a->position, 20u);
    EXPECT_EQ(a->next, b);
    EXPECT_EQ(b->prev, a);
    EXPECT_EQ(b->parent, urls);
    EXPECT_EQ(str(b->text), "b");
    EXPECT_TRUE(kn_is_nil(b->next));
    EXPECT_EQ(tree.diagnostics.count, 0u);
}

// Inputs built from long repetitions: deep nesting, runs of stray tokens,
// long lines and many quotes. None may crash or take more than linear work.
TEST(KnParse, Pathological) {
    struct Case {
        const char* name;
        std::string text;
        u64 finders;
        u64 warnings;
    };
    std::string deep;
    for (int i = 0; i < 50000; i += 1) deep += "searchers: { ";
    deep += "urls: \"u\"";
    std::string deep_closed = "source_finders: { " + deep + std::string(50000, '}') + " }";
    std::string quotes_line(100000, '"');
    std::string mixed;
    for (int i = 0; i < 50000; i += 1) mixed += "\",";
    std::string apostrophes;
    for (int i = 0; i < 30000; i += 1) apostrophes += "'\"'";
    Case cases[] = {
        {"deep unclosed", deep, 0, 0},
        {"deep closed", deep_closed, 1, 0},
        {"stray brackets", std::string(100000, ']'), 0, 100000},
        {"open brackets in a value", "urls: " + std::string(100000, '['), 0, 0},
        {"open braces at file level", std::string(100000, '{'), 0, 100000},
        {"long string", "urls: \"" + std::string(1 << 20, 's') + "\"", 0, 0},
        {"long broken string", "urls: \"" + std::string(1 << 20, 's'), 0, 1},
        {"many quotes", "urls: " + quotes_line, 0, 1},
        {"quote comma runs", "urls: " + mixed, 0, 1},
        {"apostrophe runs", "urls: " + apostrophes, 0, 0},
        {"keyword prefixes", [] {
             std::string s;
             for (int i = 0; i < 30000; i += 1) s += "endend";
             return s;
         }(), 0, 0},
        {"NUL bytes", std::string(100000, '\0'), 0, 100000},
    };
    for (const Case& c : cases) {
        Scratch scratch;
        KnTokens tokens = kn_tokenize(scratch.arena, from(c.text));
        KnTree tree = kn_parse(scratch.arena, from(c.text), tokens);
        SourceFinderList finders = kn_build(scratch.arena, &tree);
        EXPECT_EQ(finders.count, c.finders) << c.name;
        EXPECT_EQ(tree.diagnostics.count, c.warnings) << c.name;
    }
}

TEST(KnLoad, PrintsWarningsAndInstallsRecords) {
    Scratch scratch;
    std::string text = "source_finders: {\n  ]\n  searchers: { urls: \"https://a.example/\" }\n}\n";
    testing::internal::CaptureStdout();
    SourceFinderList list = kn_load(scratch.arena, from(text), S("/site/kn_searchs.txt"));
    console_flush();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "warning: \ntoken: Unexpected \"]\" token.\n/site/kn_searchs.txt:2:3\n");
    EXPECT_EQ(g_known_searches.first, list.first);
    EXPECT_EQ(describe(g_known_searches), "F(S[https://a.example/||]#0)");

    // The records own their strings: they outlive the text.
    std::string copy = text;
    SourceFinderList again = kn_load(scratch.arena, from(copy), S("kn_searchs.txt"));
    for (char& ch : copy) ch = 'z';
    EXPECT_EQ(describe(again), "F(S[https://a.example/||]#0)");

    testing::internal::CaptureStdout();
    SourceFinderList none = kn_load(scratch.arena, String{}, S("kn_searchs.txt"));
    console_flush();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(none.count, 0u);
}

}  // namespace
