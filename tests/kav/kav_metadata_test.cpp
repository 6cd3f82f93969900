#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kav/kav_metadata.h"
#include "kav_test_support.h"

namespace {

struct KavMetadataTest : KavArenaTest {
    // The matched key at the first token of `line`, "" when none.
    std::string key_at(const std::string& line) {
        String source = from(line);
        KavTokens tokens = kav_tokenize(arena, source);
        KavKeyLine match = tokens.count ? kav_match_key_line(source, tokens.tokens[0]) : KavKeyLine{};
        if (!match.key) return "";
        EXPECT_EQ(source.str[match.colon], ':') << line;
        return str(match.key->key);
    }
};

TEST_F(KavMetadataTest, KeyLineRecognition) {
    struct Case {
        const char* line;
        const char* key;
    };
    const Case cases[] = {
        {"title: x", "title"},
        {"Title : x", "title"},
        {"TITLE\t:x", "title"},
        {"author_link: x", "author_link"},
        {"Last_Modification_Date: 2024", "last_modification_date"},
        {"output_path:", "output_path"},
        {"title:", "title"},
        {"_: x", ""},
        {"titles: x", ""},
        {"ti tle: x", ""},
        {"title", ""},
        {"title\n: x", ""},
        {"title\r: x", ""},
        {"title `` : x", ""},
        {"title : x ``", "title"},
        {"\"title\": x", ""},
        {"|title: x", ""},
        {"1: x", ""},
        {"categoryyyyyyyyyyyyyyyyyyyyyyyyyyyy: x", ""},
        {"title                                                 : x", "title"},
    };
    for (const Case& c : cases) EXPECT_EQ(key_at(c.line), c.key) << c.line;
}

TEST_F(KavMetadataTest, EveryKeyOfTheTableIsFoundByItsOwnText) {
    u32 seen_ids = 0;
    for (const KavMetaKey& key : kav_meta_keys) {
        EXPECT_EQ(key_at(str(key.key) + ": v"), str(key.key));
        seen_ids |= 1u << key.id;
    }
    EXPECT_EQ(seen_ids, 0x1FFEu) << "ids 1 to 12, each once";
}

TEST_F(KavMetadataTest, KeywordNodesCarryACopyOfTheirRow) {
    std::string text = "``\nSummary: short _text_\ntitle: T\n``";
    KavParseResult result = parse(text);
    KavNode* context = result.document_context;
    ASSERT_TRUE(context);
    KavNode* summary = context->first;
    ASSERT_EQ(summary->kind, (u32)KAV_NODE_RESERVED_CONTEXT_KEYWORD);
    EXPECT_EQ(str(summary->text), "summary");
    EXPECT_EQ(str(summary->value), "summary");
    EXPECT_EQ(summary->offset, 3u);
    ASSERT_TRUE(summary->entry);
    const KavMetaKey* row = nullptr;
    for (const KavMetaKey& key : kav_meta_keys) {
        if (key.id == KAV_KEY_SUMMARY) row = &key;
    }
    ASSERT_TRUE(row);
    EXPECT_NE(summary->entry, row) << "the node carries its own copy";
    EXPECT_EQ(summary->entry->id, row->id);
    EXPECT_EQ(summary->entry->mask, row->mask);
    EXPECT_EQ(summary->entry->hidden, row->hidden);
    EXPECT_EQ(summary->child_count, 4u);
    EXPECT_EQ(result.title, summary->next);
    EXPECT_EQ(result.title->entry->id, (u32)KAV_KEY_TITLE);
}

// An output_path value: the tokens between two blanks form one path, kept as
// written (the site layer places it under the root); a URL is no path.
TEST_F(KavMetadataTest, OutputPathsAreTheValueSplitAtBlanks) {
    struct Case {
        const char* value;
        std::vector<std::string> paths;
    };
    const Case cases[] = {
        {"notes/a.html", {"notes/a.html"}},
        {"/notes/a.html", {"/notes/a.html"}},
        {"notes/../a.html", {"notes/../a.html"}},
        {"2024/post.html _drafts/x.html", {"2024/post.html", "_drafts/x.html"}},
        {"\"my notes/a b.html\"", {"my notes/a b.html"}},
        {"a.html b.html", {"a.html", "b.html"}},
        {"https://example.com/a.html", {}},
        {"../../etc/x.html", {"../../etc/x.html"}},
    };
    for (const Case& c : cases) {
        std::string text = std::string("``\noutput_path: ") + c.value + "\n``";
        KavParseResult result = parse(text);
        std::vector<std::string> got;
        for (StringNode* n = result.output_paths.first; n; n = n->next) got.push_back(str(n->string));
        EXPECT_EQ(got, c.paths) << c.value;
        ASSERT_EQ(result.output_words.count, c.paths.size()) << c.value;
        if (result.output_words.first) {
            EXPECT_EQ(result.output_words.first->node->offset, 16u) << c.value;
        }
        EXPECT_EQ(result.diagnostics.count, 0u) << c.value;
    }
}

}  // namespace
