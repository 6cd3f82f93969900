// Inputs that break parsers built carelessly: unclosed openers, deep
// nesting, long delimiter runs, long lines, NUL bytes, invalid UTF-8, a very
// large document. Each case runs in a child process under a wall-clock
// limit, so quadratic work or a hang fails loudly instead of stalling the
// suite, and a crash fails only its own case.
#include <ctype.h>
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>

#include "kav/kav_document.h"
#include "kav/kav_hints.h"
#include "kav_test_support.h"
#include "support/child.h"

namespace {

#ifdef NDEBUG
constexpr unsigned kLimitSeconds = 20;
#else
constexpr unsigned kLimitSeconds = 120;  // sanitizer and debug builds
#endif

using kavsite_test::repeat;

struct Shape {
    u64 counts[KAV_NODE_KIND_COUNT] = {};
    u64 depth = 0;  // deepest node below the root
    u64 nodes = 0;
};

Shape shape_of(const KavParseResult& r) {
    Shape s;
    if (kav_node_is_nil(r.root)) return s;
    const KavNode* node = r.root;
    u64 d = 0;
    for (;;) {
        s.counts[node->kind < KAV_NODE_KIND_COUNT ? node->kind : 0] += 1;
        s.nodes += 1;
        s.depth = d > s.depth ? d : s.depth;
        if (node->kind != KAV_NODE_INTERNAL_LINK && !kav_node_is_nil(node->first)) {
            node = node->first;
            d += 1;
            continue;
        }
        while (node != r.root && kav_node_is_nil(node->next)) {
            node = node->parent;
            d -= 1;
        }
        if (node == r.root) break;
        node = node->next;
    }
    return s;
}

struct Pathological {
    const char* name;
    std::function<std::string()> input;
    // Returns a description of what is wrong with the result, "" when right.
    std::function<std::string(const KavParseResult&, const Shape&)> check;
};

std::string expect_count(const Shape& s, u32 kind, u64 want) {
    if (s.counts[kind] == want) return "";
    return "kind " + std::to_string(kind) + ": " + std::to_string(s.counts[kind]) + " nodes, want " +
           std::to_string(want);
}

std::string expect_at_least(u64 got, u64 want, const char* what) {
    if (got >= want) return "";
    return std::string(what) + ": " + std::to_string(got) + ", want at least " + std::to_string(want);
}

const Pathological kCases[] = {
    {"unclosed brackets", [] { return "A " + repeat("[", 100000) + " x\nB"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_HEADING, 2); }},
    {"deeply nested brackets", [] { return repeat("[", 50000) + "w" + repeat("]", 50000) + " y"; },
     [](const KavParseResult& r, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_WORD, 2);
         return e.size() ? e : (r.diagnostics.count ? "unexpected diagnostics" : "");
     }},
    {"stray closing brackets", [] { return "A " + repeat("] ", 50000); },
     [](const KavParseResult& r, const Shape&) {
         return r.diagnostics.count == 50000 ? "" : "want one warning per stray bracket";
     }},
    {"deep quote on one line", [] { return repeat(">", 50000) + " deep\n"; },
     [](const KavParseResult&, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_QUOTE, 50000);
         return e.size() ? e : expect_at_least(s.depth, 50000, "depth");
     }},
    {"deep quote continued on many lines", [] { return repeat(repeat(">", 25000) + "  x\n", 40); },
     [](const KavParseResult&, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_QUOTE, 25000);
         return e.size() ? e : expect_count(s, KAV_NODE_PARAGRAPH, 40);
     }},
    {"quote depth going up and down", [] { return repeat("> > > > > > > > > >  a\n> b\n", 25000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_QUOTE, 1 + 9 * 25000); }},
    {"nested block toggles", [] { return repeat(std::string(300, ' ') + "``\n", 30000) + "x"; },
     [](const KavParseResult&, const Shape& s) { return expect_at_least(s.depth, 30000, "depth"); }},
    {"toggle pairs on one line", [] { return repeat("`` ", 50000); },
     [](const KavParseResult&, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_CONTEXT, 49999);
         return e.size() ? e : expect_at_least(s.depth, 50000, "depth");
     }},
    {"inline toggles in a line", [] { return "A " + repeat("``x ", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_CONTEXT, 25000); }},
    {"toggle pairs closing by indentation", [] { return "``\n" + repeat("  x ``y\n", 50000) + "``"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_CONTEXT_DOCUMENT, 1); }},
    {"unclosed inline code", [] { return repeat("`a ", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_UNFORMATED_TEXT, 25000); }},
    {"backquote run", [] { return repeat("`", 100000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_BLOCK, 1); }},
    {"underscore run", [] { return "a " + repeat("_", 100000) + " b"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_WORD, 2 + 50000); }},
    {"emphasis pairs", [] { return repeat("_a_ __b__ ", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_WORD, 6 * 50000); }},
    {"escape run", [] { return "a " + repeat("\\", 100000) + "_b_"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_WORD, 1 + 50000 + 3); }},
    {"unclosed strings and html", [] { return "a \"" + repeat("~{ x ", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_WORD, 2); }},
    {"unclosed embedded html", [] { return "a ~{" + repeat("<b> ~{", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_EMBEDDED_HTML, 1); }},
    {"unclosed code block", [] { return "```\n" + repeat("  x\n", 100000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_BLOCK, 1); }},
    {"many list items", [] { return repeat("1. a\n", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_ITEM, 50000); }},
    {"inline list items on one line", [] { return "A " + repeat("1. a ", 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_ITEM, 50000); }},
    {"list indentation up and down", [] {
         std::string out;
         for (int k = 0; k < 50000; k += 1) out += std::string((size_t)(k % 300), ' ') + ". x\n";
         return out;
     },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_ITEM, 50000); }},
    {"heading levels up and down", [] {
         std::string out;
         for (int k = 0; k < 50000; k += 1) out += std::string((size_t)(k % 40), ' ') + "x\n";
         return out;
     },
     [](const KavParseResult&, const Shape& s) {
         return expect_count(s, KAV_NODE_HEADING, s.counts[KAV_NODE_HEADING]).size()
                    ? "?"
                    : expect_at_least(s.counts[KAV_NODE_HEADING] + s.counts[KAV_NODE_PARAGRAPH], 50000, "lines");
     }},
    {"wide rule line", [] { return "|---" + repeat(" |", 50000) + "\n" + repeat("| a ", 50000) + "\n"; },
     [](const KavParseResult&, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_TABLE, 50000);  // the closing pipe makes none
         return e.size() ? e : expect_count(s, KAV_NODE_TABLE_HEADER_COLUMN, 50000);
     }},
    {"wide header and many rows", [] {
         return "|---\n" + repeat("| h ", 50000) + "\n" + repeat("|---\n| 1\n", 50000);
     },
     [](const KavParseResult& r, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_TABLE_ENTRY, 256);
         if (e.size()) return e;
         return r.diagnostics.count == 1 ? std::string() : std::string("want one row-count warning");
     }},
    {"many pipes in a header line", [] { return "|---\n" + repeat("|", 100000) + "\n"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_TABLE_HEADER_COLUMN, 99999); }},
    {"bad table starts", [] { return repeat("| x\n", 50000); },
     [](const KavParseResult& r, const Shape&) {
         return r.diagnostics.count == 50000 ? "" : "want one error per line";
     }},
    {"many key lines", [] { return "``\n" + repeat("title: x | author: y\n", 50000) + "``"; },
     [](const KavParseResult&, const Shape& s) {
         return expect_count(s, KAV_NODE_RESERVED_CONTEXT_KEYWORD, 100000);
     }},
    {"key candidates without colon", [] { return "``\n" + repeat("a | ", 50000) + "\n" + repeat("x", 100000) + "\n``"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_HEADING, 50001); }},
    {"blank runs before a colon", [] { return "``\ntitle" + std::string(1000000, ' ') + ": x | a" + std::string(1000000, ' ') + "b\n``"; },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_RESERVED_CONTEXT_KEYWORD, 1); }},
    {"many footnote references", [] { return "A " + repeat("w[*1] ", 50000) + "\n[*1] n"; },
     [](const KavParseResult& r, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_FOOTNOTE_REFERENCE, 50000);
         return e.size() ? e : (r.footnotes.count == 1 ? "" : "want one footnote");
     }},
    {"many links and targets", [] { return repeat("x [#1_] \"https://a.example.org/p\" \"/f\"\n", 30000); },
     [](const KavParseResult& r, const Shape&) {
         return r.urls.count == 30000 && r.file_paths.count == 30000 && r.internal_links.count == 30000
                    ? ""
                    : "lists incomplete";
     }},
    {"one internal-link label repeated on every line", [] { return repeat("Part [#1_] see [#1]\n", 50000); },
     [](const KavParseResult& r, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_INTERNAL_LINK_REFERENCE, 50000);
         if (e.empty()) e = expect_count(s, KAV_NODE_HEADING, 50000);
         return e.size() ? e : (r.internal_links.count == 50000 ? "" : "want one target per line");
     }},
    {"100,000 nested quote markers, then back to the outer quote",
     [] { return repeat(">", 100000) + " deep\n> back\nafter\n"; },
     [](const KavParseResult&, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_QUOTE, 100000);
         if (e.empty()) e = expect_count(s, KAV_NODE_HEADING, 3);
         return e.size() ? e : expect_at_least(s.depth, 100000, "depth");
     }},
    {"5,000 table columns and 20 rows", [] {
         return repeat("|--- ", 5000) + "\n" + repeat("| h  ", 5000) + "\n" + repeat("|---\n" + repeat("| c  ", 5000) + "\n", 20);
     },
     [](const KavParseResult&, const Shape& s) {
         std::string e = expect_count(s, KAV_NODE_TABLE, 5000);
         if (e.empty()) e = expect_count(s, KAV_NODE_TABLE_HEADER_COLUMN, 5000);
         return e.size() ? e : expect_count(s, KAV_NODE_TABLE_ENTRY, 5000 * 20);
     }},
    {"long line", [] { return repeat("word ", 2000000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_WORD, 2000000); }},
    {"NUL bytes", [] { return repeat(std::string("a\0b [\0] `\0`\n", 12), 50000); },
     [](const KavParseResult&, const Shape& s) { return expect_count(s, KAV_NODE_HEADING, 50000); }},
    {"invalid UTF-8", [] {
         std::mt19937 rng(99);
         std::string out;
         for (int k = 0; k < 2000000; k += 1) out += (char)(0x80 + rng() % 128);
         return out;
     },
     [](const KavParseResult&, const Shape& s) { return expect_at_least(s.nodes, 1000, "nodes"); }},
    {"random markup soup", [] {
         std::mt19937 rng(2024);
         const char* pieces[] = {"[", "]", "``", "`", "```", "~{", "}~", "|", "|---", "_", "__", "\\", ">", "1.",
                                 ". ", "\"", "[*1]", "[#2_]", "(", ")", "\n", "  ", "x", "---", "//", "\r"};
         std::string out;
         for (int k = 0; k < 300000; k += 1) out += pieces[rng() % (sizeof pieces / sizeof pieces[0])];
         return out;
     },
     [](const KavParseResult& r, const Shape&) { return r.root ? "" : "no tree"; }},
    {"a 100 MB document", [] {
         std::string para = "  " + repeat(std::string(200, 'w') + " ", 40) + "\n";
         std::string block = "Heading " + std::string(200, 'h') + "\n" + para + para + para + para;
         return repeat(block, (size_t)(100e6 / block.size()) + 1);
     },
     [](const KavParseResult& r, const Shape& s) {
         u64 blocks = s.counts[KAV_NODE_HEADING];
         std::string e = expect_at_least(r.root->text.size, 100000000, "bytes");
         if (e.empty()) e = expect_at_least(blocks, 3000, "headings");
         if (e.empty()) e = expect_count(s, KAV_NODE_PARAGRAPH, 4 * blocks);
         return e.size() ? e : expect_count(s, KAV_NODE_WORD, blocks * (2 + 4 * 40));
     }},
};

std::string diag_text(Arena*, const DiagnosticList* list) {
    std::string out;
    for (Diagnostic* d = list->first; d; d = d->next) out += std::to_string(d->offset) + " " + str(d->message) + "\n";
    return out;
}

// Runs `body` in a child under the time limit; "" when it finished in time
// and `body` found nothing wrong (it prints what it found).
std::string run_child(const std::function<std::string()>& body) {
    return kavsite_test::run_in_child([&body] { return body().empty() ? 0 : 1; }, kLimitSeconds);
}

// One case: parse, check the shape, print the tree, and look for hints
// (every hostile input goes through the hint pass as well).
std::string run_case(const Pathological& c) {
    return run_child([&c] {
        Arena* arena = arena_create(GB(64), MB(4));
        std::string text = c.input();
        String source = from(text);
        KavTokens tokens = kav_tokenize(arena, source);
        KavParseResult result = kav_parse(arena, S("p.kav"), source, &tokens);
        std::string problem = c.check(result, shape_of(result));
        // Printing walks every node and every list too.
        String printed = kav_print_result(arena, &result, source);
        if (problem.empty() && printed.size == 0 && text.size()) problem = "nothing printed";
        DiagnosticList hints = kav_hints(arena, source, &tokens, &result);
        // Tokens made a few dozen at a time (as a large document's are) give
        // the same tree and hints, in linear time whatever the parser
        // reads back.
        KavTokens windowed = kav_tokenize_windowed(arena, source, 6);
        KavParseResult again = kav_parse(arena, S("p.kav"), source, &windowed);
        DiagnosticList hints_again = kav_hints(arena, source, &windowed, &again);
        if (problem.empty() && !string_equal(kav_print_result(arena, &again, source), printed)) {
            problem = "the tree differs with windowed tokens";
        }
        if (problem.empty() && diag_text(arena, &hints_again) != diag_text(arena, &hints)) {
            problem = "the hints differ with windowed tokens";
        }
        if (!problem.empty()) fprintf(stderr, "%s: %s\n", c.name, problem.c_str());
        return problem;
    });
}

// One test per case, so each gets the suite's own time budget too and a
// busy machine cannot push the sum of all cases over it.
struct KavPathologicalCase : ::testing::TestWithParam<size_t> {};

TEST_P(KavPathologicalCase, FinishesInTimeWithItsShape) {
    const Pathological& c = kCases[GetParam()];
    EXPECT_EQ(run_case(c), "") << c.name;
}

// A test name made of a case's name: letters and digits, other runs as "_".
std::string test_name(const char* name) {
    std::string out;
    for (const char* at = name; *at; at += 1) {
        if (isalnum((unsigned char)*at)) {
            out += *at;
        } else if (out.size() && out.back() != '_') {
            out += '_';
        }
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(KavPathological, KavPathologicalCase,
                         ::testing::Range((size_t)0, sizeof kCases / sizeof kCases[0]),
                         [](const ::testing::TestParamInfo<size_t>& info) { return test_name(kCases[info.param].name); });

// Inputs that would make a careless hint pass quadratic: the same slip on
// every line, and long lines where each candidate could look far ahead.
struct HintCase {
    const char* name;
    std::function<std::string()> input;
    u64 hints;  // how many the pass must give
};

const std::string kPage = "``\noutput_path: a.html\n``\n";

const HintCase kHintCases[] = {
    {"a slip on every line", [] { return kPage + repeat("- a\n* b\n# c\n\tx\n[t](https://x.org) https://y.org\n", 20000); },
     5 * 20000},
    {"misspelled keys on every header line", [] { return "``\n" + repeat("tittle: x\n", 50000) + "output_path: a.html\n``"; },
     50000},
    {"Markdown links without a closing parenthesis", [] { return kPage + "x " + repeat("[a](", 100000); }, 1},
    {"Markdown links on one line", [] { return kPage + "x " + repeat("[a](https://x.org) ", 50000); }, 1},
    {"URL pieces without blanks", [] { return kPage + "x " + repeat("a://b", 100000); }, 0},
    {"URLs without quotes on one line", [] { return kPage + "x " + repeat("https://x.org ", 50000); }, 1},
    {"a long URL", [] { return kPage + "https://x.org/" + repeat("a/", 250000); }, 1},
    {"long table rows", [] { return kPage + repeat("|---", 100000) + "|\n" + repeat("| --- ", 100000) + "\n"; }, 2},
    {"deep quote before a bullet", [] { return kPage + repeat("> ", 50000) + "- x\n"; }, 1},
    {"a long run of hashes", [] { return kPage + repeat("#", 100000) + " x\n"; }, 1},
    {"long header lines", [] { return "``\n" + repeat("a", 1000000) + ": x\n" + repeat("b ", 500000) + ":\n``"; }, 1},
    {"headings without colons in a header", [] { return "``\n" + repeat("title x\n  y\n", 50000) + "``"; }, 1},
    {"unclosed inline code", [] { return kPage + "`" + repeat("- x\n", 100000); }, 0},
    {"Markdown bold openers without a close", [] { return kPage + "x " + repeat("**a ", 100000); }, 0},
    {"Markdown bold on every line", [] { return kPage + repeat("**a** b\n", 50000); }, 50000},
    {"words taken for list markers", [] { return kPage + repeat("Word. x\n", 50000); }, 50000},
    {"a word marker deep in quotes", [] { return kPage + repeat(">", 50000) + " Word. x\n"; }, 1},
    {"quoted paths before descriptions on one line", [] { return kPage + repeat("\"a.html\"(x) ", 50000); }, 1},
};

struct KavHintsLinear : ::testing::TestWithParam<size_t> {};

TEST_P(KavHintsLinear, FinishesInTimeWithItsHints) {
    const HintCase& c = kHintCases[GetParam()];
    {
        std::string problem = run_child([&c] {
            Arena* arena = arena_create(GB(64), MB(4));
            std::string text = c.input();
            String source = from(text);
            KavTokens tokens = kav_tokenize(arena, source);
            KavParseResult result = kav_parse(arena, S("p.kav"), source, &tokens);
            DiagnosticList hints = kav_hints(arena, source, &tokens, &result);
            if (hints.count == c.hints) return std::string();
            fprintf(stderr, "%s: %llu hints, want %llu\n", c.name, (unsigned long long)hints.count,
                    (unsigned long long)c.hints);
            return std::string("wrong count");
        });
        EXPECT_EQ(problem, "") << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(KavHints, KavHintsLinear, ::testing::Range((size_t)0, sizeof kHintCases / sizeof kHintCases[0]),
                         [](const ::testing::TestParamInfo<size_t>& info) { return test_name(kHintCases[info.param].name); });

// The diagnostics of a large bad document are found and printed in time.
TEST(KavPathologicalTest, DriverPrintsManyDiagnosticsInTime) {
    Pathological c = {"driver with many warnings", [] { return repeat("x\n] }~\n", 30000); },
                      [](const KavParseResult& r, const Shape&) {
                          // One per bad token, and the hint that the document has no header.
                          return r.diagnostics.count == 60001 ? "" : "a diagnostic per bad token";
                      }};
    std::string problem = run_child([&c] {
        if (!freopen("/dev/null", "w", stdout)) return std::string("no /dev/null");
        Arena* arena = arena_create(GB(16), MB(4));
        std::string text = c.input();
        String source = from(text);
        KavParseResult result = kav_parse_document(arena, source, S("p.kav"));
        diag_print_list(&result.diagnostics, S("p.kav"), source);
        console_flush();
        return c.check(result, shape_of(result));
    });
    EXPECT_EQ(problem, "");
}

}  // namespace
