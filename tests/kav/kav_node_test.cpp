#include <gtest/gtest.h>

#include <random>
#include <string>

#include "kav_test_support.h"

namespace {

struct KavNodeTest : KavArenaTest {
    KavNode* make(u32 kind, const char* text = "", u64 flags = 0, u64 offset = 0) {
        String s = string_from_cstr(text);
        return kav_node_make(arena, kind, flags, s, s, offset);
    }
};

TEST_F(KavNodeTest, ClassCodeLookup) {
    struct Case {
        u32 kind;
        u64 flags;
        const char* code;
        const char* style;
    };
    const Case cases[] = {
        // Flags 0: the first row of the kind.
        {KAV_NODE_PARAGRAPH, 0, "par", "font-weight:400;"},
        {KAV_NODE_WORD, 0, "wsq", "color:red;"},
        {KAV_NODE_CONTEXT, 0, "contex", ""},
        {KAV_NODE_ITEM, 0, "ite", "font-weight:300;"},
        // The first row whose mask shares a bit wins, in table order.
        {KAV_NODE_PARAGRAPH, KAV_FLAG_STRONG_MARK, "pab", ""},
        {KAV_NODE_PARAGRAPH, KAV_FLAG_EM_MARK | KAV_FLAG_IN_DOCUMENT, "pae", ""},
        {KAV_NODE_PARAGRAPH, KAV_FLAG_IN_DOCUMENT | KAV_FLAG_SPACE_AFTER, "pac", ""},
        {KAV_NODE_HEADING, KAV_FLAG_IN_DOCUMENT, "hec", ""},
        {KAV_NODE_CONTEXT, KAV_FLAG_BACKQUOTES | KAV_FLAG_INLINE_CONTEXT, "contexi", "margin-top:0.1rem;"},
        {KAV_NODE_CONTEXT, KAV_FLAG_BACKQUOTES, "contex", ""},
        {KAV_NODE_WORD, KAV_FLAG_STRONG_OPEN | KAV_FLAG_STRONG_MARK, "wsq", "color:green;"},
        {KAV_NODE_WORD, KAV_FLAG_QUOTED | KAV_FLAG_URL, "wdq", "font-style:italic;"},
        {KAV_NODE_WORD, KAV_FLAG_URL, "lih",
         "width:fit-content;font-weight:400;font-style:initial;color:#0f0d5f;"},
        {KAV_NODE_WORD, KAV_FLAG_FILE_MISSING, "lib", "font-style:initial;color:red;"},
        {KAV_NODE_WORD, KAV_FLAG_NUMBER | KAV_FLAG_SPACE_AFTER, "won", "font-style:initial;color:red;"},
        {KAV_NODE_LIST, KAV_FLAG_NUMBERED | KAV_FLAG_INLINE_LIST, "lin", ""},
        {KAV_NODE_LIST, KAV_FLAG_INLINE_LIST, "lii", ""},
        {KAV_NODE_LIST, KAV_FLAG_DOT_LIST, "liu", "list-style:lower-alpha inside;"},
        {KAV_NODE_LIST, KAV_FLAG_LETTERED | KAV_FLAG_NESTED_LIST, "lia", "list-style:lower-alpha inside;"},
        {KAV_NODE_RESERVED_CONTEXT_KEYWORD, KAV_FLAG_FILE_FOUND, "res", ""},
        {KAV_NODE_CONTEXT_DOCUMENT, 0, "contexd", ""},
        // No variant shares a bit: the kind's plain row, or nothing.
        {KAV_NODE_HEADING, KAV_FLAG_LINK_TARGET, "hea", ""},
        {KAV_NODE_WORD, KAV_FLAG_TEXT, "", ""},
        {KAV_NODE_EMBEDDED_HTML, 0, "", ""},
        {99, 0, "", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(str(kav_kind_code(c.kind, c.flags)), c.code) << c.kind << " " << std::hex << c.flags;
        const KavKindRow* row = kav_kind_row(c.kind, c.flags);
        EXPECT_EQ(row ? str(row->style) : std::string(), c.style) << c.kind << " " << std::hex << c.flags;
    }
}

TEST_F(KavNodeTest, EveryRowHasACodeAndANameForItsKind) {
    // The head-template rewrite strips elements by every row's code.
    for (const KavKindRow& row : kav_kind_table) {
        EXPECT_GT(row.code.size, 0u) << str(row.name);
        EXPECT_EQ(str(kav_kind_name(row.kind)), str(row.name));
    }
    EXPECT_EQ(str(kav_kind_name(KAV_NODE_EMBEDDED_HTML)), "EmbeddedHtml");
}

TEST_F(KavNodeTest, NilNodeLinksToItself) {
    KavNode* nil = kav_nil();
    EXPECT_EQ(nil->kind, 0u);
    EXPECT_EQ(nil->next, nil);
    EXPECT_EQ(nil->prev, nil);
    EXPECT_EQ(nil->parent, nil);
    EXPECT_EQ(nil->first, nil);
    EXPECT_EQ(nil->last, nil);
    KavNode zero_kind = *make(KAV_NODE_WORD);
    zero_kind.kind = 0;
    EXPECT_TRUE(kav_node_is_nil(nullptr));
    EXPECT_TRUE(kav_node_is_nil(nil));
    EXPECT_TRUE(kav_node_is_nil(&zero_kind));
    EXPECT_FALSE(kav_node_is_nil(make(KAV_NODE_WORD)));
    // Appending to or from the nil node changes nothing.
    KavNode* parent = make(KAV_NODE_PARAGRAPH);
    kav_node_append(parent, nil);
    kav_node_append(nil, make(KAV_NODE_WORD));
    EXPECT_EQ(parent->child_count, 0u);
    EXPECT_EQ(nil->child_count, 0u);
}

TEST_F(KavNodeTest, NilNodeIsReadOnly) {
    EXPECT_DEATH(
        {
            kav_nil()->flags = 1;
            fprintf(stderr, "written\n");
        },
        "");
}

TEST_F(KavNodeTest, AppendInsertAndAncestor) {
    KavNode* parent = make(KAV_NODE_PARAGRAPH);
    KavNode* a = make(KAV_NODE_WORD, "a");
    KavNode* b = make(KAV_NODE_WORD, "b");
    KavNode* c = make(KAV_NODE_WORD, "c");
    KavNode* d = make(KAV_NODE_WORD, "d");
    kav_node_append(parent, b);
    kav_node_insert_before(parent, b, a);    // new first child
    kav_node_insert_before(parent, kav_nil(), d);  // nil: at the end
    kav_node_insert_before(parent, d, c);    // between
    std::string order;
    for (KavNode* n = parent->first; !kav_node_is_nil(n); n = n->next) {
        order += str(n->text);
        EXPECT_EQ(n->parent, parent);
    }
    EXPECT_EQ(order, "abcd");
    std::string back;
    for (KavNode* n = parent->last; !kav_node_is_nil(n); n = n->prev) back += str(n->text);
    EXPECT_EQ(back, "dcba");
    EXPECT_EQ(parent->child_count, 4u);
    EXPECT_EQ(a->prev, kav_nil());
    EXPECT_EQ(d->next, kav_nil());

    KavNode* root = make(KAV_NODE_FILE);
    KavNode* heading = make(KAV_NODE_HEADING);
    kav_node_append(root, heading);
    kav_node_append(heading, parent);
    EXPECT_EQ(kav_node_ancestor(c, KAV_NODE_HEADING), heading);
    EXPECT_EQ(kav_node_ancestor(c, KAV_NODE_WORD), c);
    EXPECT_EQ(kav_node_ancestor(c, KAV_NODE_QUOTE), kav_nil());
}

TEST_F(KavNodeTest, TableOfContentCopy) {
    std::string source = "Intro words here";
    KavNode* heading = make(KAV_NODE_HEADING, "Intro words here", KAV_FLAG_LINK_TARGET | KAV_FLAG_IN_DOCUMENT, 7);
    heading->level = 2;
    KavNode* w1 = make(KAV_NODE_WORD, "Intro", KAV_FLAG_SPACE_AFTER, 7);
    KavNode* code = make(KAV_NODE_UNFORMATED_TEXT, "`", 0, 13);
    KavNode* w2 = make(KAV_NODE_WORD, "&lt;", 0, 14);
    w2->value = S("<");
    kav_node_append(heading, w1);
    kav_node_append(heading, code);
    kav_node_append(code, make(KAV_NODE_WORD, "inner"));
    kav_node_append(heading, w2);

    KavNode* copy = kav_node_copy_for_toc(arena, heading);
    EXPECT_EQ(copy->kind, (u32)KAV_NODE_HEADING);
    EXPECT_EQ(copy->offset, 7u);
    EXPECT_EQ(copy->level, 2);
    EXPECT_EQ(copy->flags, 0u);
    EXPECT_EQ(str(copy->text), "Intro words here");
    EXPECT_NE(copy->text.str, heading->text.str);  // an owned copy
    EXPECT_EQ(copy->text.str[copy->text.size], 0);
    EXPECT_EQ(copy->value.str, copy->text.str);  // one copy serves both
    ASSERT_EQ(copy->child_count, 2u);            // Word children only
    EXPECT_EQ(str(copy->first->text), "Intro ");
    EXPECT_EQ(str(copy->first->value), "Intro");
    EXPECT_EQ(copy->first->flags, 0u);
    EXPECT_EQ(copy->first->text.str[copy->first->text.size], 0);
    EXPECT_EQ(str(copy->last->text), "&lt;");
    EXPECT_EQ(str(copy->last->value), "<");
    EXPECT_EQ(copy->last->offset, 14u);
    EXPECT_EQ(copy->parent, kav_nil());
}

// The copy has no flags, so emphasis markers would show as the "_" and
// "__" they were written with: they keep only their blank.
TEST_F(KavNodeTest, TableOfContentCopyDropsEmphasisMarkers) {
    KavNode* heading = make(KAV_NODE_HEADING, "Plain _strong_ and __em__", 0, 0);
    struct Word {
        const char* text;
        u64 flags;
    } words[] = {
        {"Plain", KAV_FLAG_SPACE_AFTER},
        {"_", KAV_FLAG_STRONG_OPEN},
        {"strong", 0},
        {"_", KAV_FLAG_STRONG_CLOSE | KAV_FLAG_SPACE_AFTER},
        {"and", KAV_FLAG_SPACE_AFTER},
        {"__", KAV_FLAG_EM_OPEN | KAV_FLAG_EM_MARK},
        {"em", 0},
        {"__", KAV_FLAG_EM_CLOSE},
    };
    for (const Word& w : words) kav_node_append(heading, make(KAV_NODE_WORD, w.text, w.flags, 0));
    KavNode* copy = kav_node_copy_for_toc(arena, heading);
    std::string shown;
    for (KavNode* w = copy->first; !kav_node_is_nil(w); w = w->next) {
        EXPECT_EQ(w->flags, 0u);
        EXPECT_EQ(w->text.str[w->text.size], 0);
        shown += str(w->text);
    }
    EXPECT_EQ(shown, "Plain strong and em");
}

TEST_F(KavNodeTest, NodeListsKeepOrder) {
    KavNodeList list = {};
    KavNode* nodes[3] = {make(KAV_NODE_WORD, "1"), make(KAV_NODE_WORD, "2"), make(KAV_NODE_WORD, "3")};
    for (KavNode* n : nodes) kav_node_list_push(arena, &list, n);
    EXPECT_EQ(list.count, 3u);
    int k = 0;
    for (KavNodeCell* c = list.first; c; c = c->next) EXPECT_EQ(c->node, nodes[k++]);
    EXPECT_EQ(list.last->node, nodes[2]);
}

TEST_F(KavNodeTest, DiagnosticsTakeTheNodeOffset) {
    DiagnosticList list = {};
    KavNode* node = make(KAV_NODE_WORD, "x", 0, 42);
    diag_append(arena, &list, node, DIAG_WARNING, S("w"));
    diag_append(arena, &list, node, DIAG_NOTE, S("n"));
    EXPECT_EQ(list.count, 2u);
    EXPECT_EQ(list.max_level, DIAG_WARNING);
    EXPECT_EQ(list.first->offset, 42u);
    EXPECT_EQ(list.first->node, node);
    EXPECT_EQ(str(list.last->message), "n");
}

TEST_F(KavNodeTest, PositionCursorMatchesFullCount) {
    std::string text;
    std::mt19937 rng(7);
    for (int k = 0; k < 3000; k += 1) text += (rng() % 9 == 0) ? '\n' : (rng() % 7 == 0 ? '\r' : 'a');
    String source = from(text);
    KavPositionCursor cursor = {};
    u64 offsets[] = {0, 1, 5, 5, 100, 99, 2999, 3000, 5000, 10, 1500};
    for (u64 offset : offsets) {
        TextPosition want = text_position(source, offset);
        TextPosition got = kav_position_at(source, &cursor, offset);
        EXPECT_EQ(got.line, want.line) << offset;
        EXPECT_EQ(got.column, want.column) << offset;
    }
}

}  // namespace
