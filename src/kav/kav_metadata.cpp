#include "kav/kav_metadata.h"

#include "kav/kav_node.h"

// How each key looks on a page is the site layer's table (site/key_rendering.h).
const KavMetaKey kav_meta_keys[KAV_META_KEY_COUNT] = {
    {S("author"), KAV_KEY_AUTHOR, KAV_KEY_MASK_AUTHOR, 0},
    {S("author_link"), KAV_KEY_AUTHOR_LINK, KAV_KEY_MASK_AUTHOR_LINK, 0},
    {S("output_path"), KAV_KEY_OUTPUT_PATH, KAV_KEY_MASK_OUTPUT_PATH, 1},
    {S("creation_date"), KAV_KEY_CREATION_DATE, KAV_KEY_MASK_DATE, 0},
    {S("last_modification_date"), KAV_KEY_LAST_MODIFICATION_DATE, KAV_KEY_MASK_DATE, 0},
    {S("remark"), KAV_KEY_REMARK, KAV_KEY_MASK_REMARK, 0},
    {S("includes"), KAV_KEY_INCLUDES, KAV_KEY_MASK_INCLUDES, 1},
    {S("title"), KAV_KEY_TITLE, KAV_KEY_MASK_TITLE, 0},
    {S("status"), KAV_KEY_STATUS, KAV_KEY_MASK_STATUS, 1},
    {S("excerpt"), KAV_KEY_EXCERPT, KAV_KEY_MASK_EXCERPT, 0},
    {S("summary"), KAV_KEY_SUMMARY, KAV_KEY_MASK_SUMMARY, 0},
    {S("category"), KAV_KEY_CATEGORY, KAV_KEY_MASK_CATEGORY, 0},
};
static_assert(sizeof(kav_meta_keys) / sizeof(kav_meta_keys[0]) == 12, "the metadata key table has 12 rows");

// Longest key, in bytes: a candidate with more bytes before its trailing
// blanks cannot match, so the scan for the colon stops there.
static constexpr u64 kLongestKey = 22;

static bool is_blank(u8 c) { return c == ' ' || (c >= 9 && c <= 13); }

KavKeyLine kav_match_key_line(String source, KavToken token) {
    KavKeyLine result = {};
    const KavToken* t = &token;
    bool starts = (t->kind & (KAV_TOKEN_NUMBER | KAV_TOKEN_WORD)) != 0;
    if ((t->kind & KAV_TOKEN_MARKUP) && !(t->kind & KAV_TOKEN_STRING)) {
        String text = kav_token_text(source, t);
        starts = string_equal(text, S("_")) || string_equal(text, S("__"));
    }
    if (!starts) return result;

    // One forward scan stands in for the three searches (colon, line end,
    // backquote pair): whichever comes first decides.
    const u8* s = source.str;
    u64 begin = t->begin;
    u64 last_solid = begin;  // one past the last non-blank byte of the candidate
    u64 k = begin;
    for (; k < source.size; k += 1) {
        u8 c = s[k];
        if (c == ':') break;
        if (c == '\n' || c == '\r') return result;
        if (c == '`' && k + 1 < source.size && s[k + 1] == '`') return result;
        if (!is_blank(c)) {
            last_solid = k + 1;
            if (last_solid - begin > kLongestKey) return result;
        }
    }
    if (k >= source.size) return result;
    String candidate = string_substr(source, begin, last_solid);
    for (const KavMetaKey& key : kav_meta_keys) {
        if (string_match(candidate, key.key, MATCH_CASE_INSENSITIVE)) {
            result.key = &key;
            result.colon = k;
            return result;
        }
    }
    return result;
}
