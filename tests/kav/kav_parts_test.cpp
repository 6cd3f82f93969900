// A large document's first parse gives its body's nodes back as it passes
// them: what the lists of the result name stays, and the result is the one
// a whole parse gives, in a fraction of the memory.
#include <string>
#include <vector>

#include "kav/kav_document.h"
#include "kav_facts_summary.h"
#include "kav_test_support.h"

namespace {

u64 pool_size(const KavNodePool* pool) {
    u64 n = 0;
    for (KavNode* node = pool->free; node; node = node->next) n += 1;
    return n;
}

bool in_pool(const KavNodePool* pool, const KavNode* wanted) {
    for (KavNode* node = pool->free; node; node = node->next) {
        if (node == wanted) return true;
    }
    return false;
}

struct KavPartsTest : KavArenaTest {
    KavNode* node(u32 kind, KavNode* parent) {
        KavNode* n = kav_node_make(arena, kind, 0, S("x"), S("x"), 0);
        kav_node_append(parent, n);
        return n;
    }
};

// Kept words keep what is below them (a description); other kept nodes only
// themselves; everything else goes back, the order of the tree no matter.
TEST_F(KavPartsTest, PoolTakesBackAllButKeptNodes) {
    KavNode* main = kav_node_make(arena, KAV_NODE_MAIN, 0, S("m"), S("m"), 0);
    KavNode* heading = node(KAV_NODE_HEADING, main);
    KavNode* url = node(KAV_NODE_WORD, heading);
    url->kept = KAV_KEPT_SUBTREE;
    KavNode* desc = node(KAV_NODE_DESC, url);
    KavNode* desc_word = node(KAV_NODE_WORD, desc);
    KavNode* list = node(KAV_NODE_LIST, heading);
    list->kept = KAV_KEPT_NODE;
    KavNode* item = node(KAV_NODE_ITEM, list);
    KavNode* item_word = node(KAV_NODE_WORD, item);
    KavNode* plain = node(KAV_NODE_WORD, heading);
    KavNode* second = node(KAV_NODE_PARAGRAPH, main);
    KavNode* third = node(KAV_NODE_PARAGRAPH, main);

    KavNodePool pool = {};
    kav_node_pool_free_children_before(&pool, main, third);
    EXPECT_EQ(main->first, third);
    EXPECT_TRUE(kav_node_is_nil(third->prev));
    EXPECT_EQ(pool_size(&pool), 5u);
    for (KavNode* gone : {heading, item, item_word, plain, second}) EXPECT_TRUE(in_pool(&pool, gone));
    for (KavNode* kept : {url, desc, desc_word, list, third, main}) EXPECT_FALSE(in_pool(&pool, kept));

    // A node not among the children, and nil, free nothing.
    kav_node_pool_free_children_before(&pool, main, url);
    kav_node_pool_free_children_before(&pool, main, kav_nil());
    EXPECT_EQ(pool_size(&pool), 5u);
    EXPECT_EQ(main->first, third);
}

TEST_F(KavPartsTest, FactsParseGivesTheWholeParsesListsInLittleMemory) {
    std::string source = "``\ntitle: _Facts_ here\nstatus: ready\noutput_path: a.html\n``\n";
    for (int k = 0; k < 3000; k += 1) {
        std::string n = std::to_string(k);
        source += "Section " + n + " [#1_]\n  Words \"https://example.org/" + n + "\"(site " + n + ") and [#1] and "
                  "[_\"/img/" + n + ".png\"(loose words)] note[*1] ) stray\n  > quoted " + n + "\nWelcome. Read on\n";
        // The prose that most of a body is.
        for (int line = 0; line < 4; line += 1) {
            source += "  Plain words of a paragraph, _some strong_ and `code`, as a body is mostly made of.\n";
        }
    }
    source += "[*1] The \"/notes/x.html\"(note) with [#1_] its target.\n";
    String text = string_copy(arena, from(source));

    Arena* whole_arena = arena_create(GB(1), MB(1));
    Arena* facts_arena = arena_create(GB(1), MB(1));
    KavParseResult whole = kav_parse_document(whole_arena, text, S("doc.kav"));
    KavParseResult facts = kav_parse_document_facts(facts_arena, text, S("doc.kav"));
    EXPECT_EQ(kav_facts_summary(arena, facts), kav_facts_summary(arena, whole));
    EXPECT_GT(whole.urls.count, 2999u);
    EXPECT_GT(whole.diagnostics.count, 2999u);
    // The body's nodes were used again and again; what stays is what the
    // lists name, far less than the whole tree.
    ASSERT_NE(facts.spare, nullptr);
    EXPECT_GT(facts.spare->reused, 100000u);
    EXPECT_LT(arena_pos(facts_arena) * 3, arena_pos(whole_arena))
        << arena_pos(facts_arena) << " against " << arena_pos(whole_arena);
    arena_release(facts_arena);
    arena_release(whole_arena);
}

// A body that is one block at the root is given back whole at the end, for
// a second parse to use, and the root no longer leads to it.
TEST_F(KavPartsTest, FactsParseLeavesItsBodyForASecondParse) {
    std::string source = "``\ntitle: Table\n``\n|--- |--- |---\n";
    for (int k = 0; k < 500; k += 1) source += "| a" + std::to_string(k) + " | b | c\n";
    String text = string_copy(arena, from(source));
    KavParseResult facts = kav_parse_document_facts(arena, text, S("doc.kav"));
    ASSERT_NE(facts.spare, nullptr);
    EXPECT_GT(pool_size(facts.spare), 1500u);
    // The root is left with its header alone, not linked to given-back nodes.
    EXPECT_EQ(facts.root->child_count, 1u);
    for (KavNode* child = facts.root->first; !kav_node_is_nil(child); child = child->next) {
        EXPECT_EQ(child->kind, (u32)KAV_NODE_CONTEXT_DOCUMENT);
        EXPECT_FALSE(in_pool(facts.spare, child));
    }
    ASSERT_FALSE(kav_node_is_nil(facts.title));
    EXPECT_EQ(str(facts.title->first->text), "Table");
}

}  // namespace
