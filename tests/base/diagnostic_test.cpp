// The diagnostic list (merging by offset) and its two print forms.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/arena.h"
#include "base/diagnostic.h"
#include "support/strings.h"

namespace {

using kavsite_test::str;

struct DiagnosticTest : ::testing::Test {
    Arena* arena = arena_create(MB(64), KB(64));
    ~DiagnosticTest() override { arena_release(arena); }

    DiagnosticList list(std::vector<std::pair<u64, s32>> records, const char* tag) {
        DiagnosticList out = {};
        for (auto [offset, level] : records) {
            String message = string_format(arena, "%s@%llu", tag, (unsigned long long)offset);
            diag_append_at(arena, &out, 0, offset, level, message);
        }
        return out;
    }

    std::string messages(const DiagnosticList& l) {
        std::string out;
        u64 count = 0;
        for (Diagnostic* d = l.first; d; d = d->next) {
            out += str(d->message) + " ";
            count += 1;
            if (!d->next) {
                EXPECT_EQ(d, l.last);
            }
        }
        EXPECT_EQ(count, l.count);
        return out;
    }

    std::string print(const DiagnosticList& l, String source, DiagnosticForm form) {
        testing::internal::CaptureStdout();
        diag_print_list(&l, S("dir/doc.kav"), source, form);
        console_flush();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(DiagnosticTest, MergeKeepsSourceOrderAndTheDestinationFirstOnTies) {
    struct Case {
        std::vector<std::pair<u64, s32>> a, b;
        std::string merged;
        s32 max_level;
    } cases[] = {
        {{{0, 3}, {5, 2}, {9, 2}}, {{0, 2}, {4, 2}, {9, 1}, {12, 2}}, "a@0 b@0 b@4 a@5 a@9 b@9 b@12 ", 3},
        {{}, {{1, 2}, {2, 5}}, "b@1 b@2 ", 5},
        {{{1, 2}}, {}, "a@1 ", 2},
        {{{7, 2}}, {{1, 2}, {3, 2}}, "b@1 b@3 a@7 ", 2},
        {{}, {}, "", 0},
    };
    for (const Case& c : cases) {
        DiagnosticList a = list(c.a, "a");
        DiagnosticList b = list(c.b, "b");
        diag_merge(&a, &b);
        EXPECT_EQ(messages(a), c.merged);
        EXPECT_EQ(a.max_level, c.max_level) << c.merged;
        EXPECT_EQ(b.first, nullptr);
        EXPECT_EQ(b.count, 0u);
    }
}

// Sorting is by offset and stable: records at one offset keep their order.
TEST_F(DiagnosticTest, SortOrdersByOffsetAndKeepsTies) {
    struct Case {
        std::vector<std::pair<u64, s32>> records;
        std::string sorted;
    } cases[] = {
        {{}, ""},
        {{{4, 2}}, "x@4 "},
        {{{9, 2}, {1, 2}, {5, 2}, {1, 3}, {0, 2}, {9, 1}, {3, 2}}, "x@0 x@1 x@1 x@3 x@5 x@9 x@9 "},
        {{{1, 2}, {2, 2}, {3, 2}, {4, 2}, {5, 2}}, "x@1 x@2 x@3 x@4 x@5 "},
        {{{5, 2}, {4, 2}, {3, 2}, {2, 2}, {1, 2}, {0, 2}}, "x@0 x@1 x@2 x@3 x@4 x@5 "},
    };
    for (const Case& c : cases) {
        DiagnosticList l = list(c.records, "x");
        u64 count = l.count;
        diag_sort(&l);
        EXPECT_EQ(messages(l), c.sorted);
        EXPECT_EQ(l.count, count);
        if (l.first) {
            EXPECT_EQ(l.last->next, nullptr);
        }
        Diagnostic* last = l.first;
        while (last && last->next) last = last->next;
        EXPECT_EQ(l.last, last) << c.sorted;
    }
    // Ties keep their order: the levels of the two records at offset 1.
    DiagnosticList l = list({{1, 3}, {0, 2}, {1, 1}}, "x");
    diag_sort(&l);
    EXPECT_EQ(l.first->next->level, 3);
    EXPECT_EQ(l.first->next->next->level, 1);
}

TEST_F(DiagnosticTest, BlockAndLineForms) {
    String source = S("ab\ncd\n\nlast");
    DiagnosticList l = {};
    diag_append_at(arena, &l, 0, 0, DIAG_NOTE, S("a note"));
    diag_append_at(arena, &l, 0, 4, DIAG_WARNING, S("a warning"));
    diag_append_at(arena, &l, 0, 7, DIAG_ERROR, S("an error"));
    diag_append_at(arena, &l, 0, 8, DIAG_UNNAMED, S("no level name"));
    diag_append_at(arena, &l, 0, 100, DIAG_FATAL, S("past the end"));
    EXPECT_EQ(print(l, source, DIAG_FORM_BLOCK),
              "note: \ntoken: a note\ndir/doc.kav:1:1\n"
              "warning: \ntoken: a warning\ndir/doc.kav:2:2\n"
              "error: \ntoken: an error\ndir/doc.kav:4:1\n"
              ": \ntoken: no level name\ndir/doc.kav:4:2\n"
              "fatal error: \ntoken: past the end\ndir/doc.kav:4:5\n");
    EXPECT_EQ(print(l, source, DIAG_FORM_LINE),
              "dir/doc.kav:1:1: note: a note\n"
              "dir/doc.kav:2:2: warning: a warning\n"
              "dir/doc.kav:4:1: error: an error\n"
              "dir/doc.kav:4:2: no level name\n"
              "dir/doc.kav:4:5: fatal error: past the end\n");
}

TEST_F(DiagnosticTest, LineFormKeepsAMessageOnOneLine) {
    DiagnosticList l = {};
    String message = string_copy(arena, S("first\n\tsecond\r\nthird"));
    diag_append_at(arena, &l, 0, 0, DIAG_WARNING, message);
    EXPECT_EQ(print(l, S("x"), DIAG_FORM_LINE), "dir/doc.kav:1:1: warning: first  second  third\n");
    EXPECT_EQ(str(message), "first\n\tsecond\r\nthird") << "the record itself is left as it was";
    EXPECT_EQ(print(l, S("x"), DIAG_FORM_BLOCK), "warning: \ntoken: first\n\tsecond\r\nthird\ndir/doc.kav:1:1\n");
}

}  // namespace
