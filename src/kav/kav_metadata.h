// Metadata keys: the lines of a context block that describe the document
// (title, author, dates, status, output paths, ...). Each recognised line
// becomes a ReservedContextKeyword node carrying a copy of its table row.
#pragma once

#include "base/string.h"
#include "kav/kav_tokenizer.h"

// ---- Key table ---------------------------------------------------------------------

enum KavMetaKeyId : u32 {
    KAV_KEY_TITLE = 1,
    KAV_KEY_AUTHOR = 2,
    KAV_KEY_AUTHOR_LINK = 3,
    KAV_KEY_OUTPUT_PATH = 4,
    KAV_KEY_CREATION_DATE = 5,
    KAV_KEY_INCLUDES = 6,
    KAV_KEY_LAST_MODIFICATION_DATE = 7,
    KAV_KEY_REMARK = 8,
    KAV_KEY_EXCERPT = 9,
    KAV_KEY_SUMMARY = 10,
    KAV_KEY_CATEGORY = 11,
    KAV_KEY_STATUS = 12,
};

// One bit per key; the two date keys share one.
enum KavMetaKeyMask : u32 {
    KAV_KEY_MASK_TITLE = 0x2,
    KAV_KEY_MASK_AUTHOR_LINK = 0x80,
    KAV_KEY_MASK_DATE = 0x1000,
    KAV_KEY_MASK_AUTHOR = 0x8000,
    KAV_KEY_MASK_REMARK = 0x10000,
    KAV_KEY_MASK_EXCERPT = 0x20000,
    KAV_KEY_MASK_SUMMARY = 0x40000,
    KAV_KEY_MASK_CATEGORY = 0x80000,
    KAV_KEY_MASK_INCLUDES = 0x100000,
    KAV_KEY_MASK_STATUS = 0x200000,
    KAV_KEY_MASK_OUTPUT_PATH = 0x400000,
};

struct KavMetaKey {
    String key;       // as written in documents, matched ignoring ASCII case
    u32 id;           // KavMetaKeyId: page generation picks the rendering by it
    u32 mask;         // KavMetaKeyMask
    u64 hidden;       // 1: steers the build and is not rendered
};

#define KAV_META_KEY_COUNT 12
extern const KavMetaKey kav_meta_keys[KAV_META_KEY_COUNT];

// ---- Key lines -----------------------------------------------------------------------

struct KavKeyLine {
    const KavMetaKey* key;  // null: not a key line
    u64 colon;              // source offset of the colon
};

// Tests whether a key line starts at `token` (a number, a word or an
// "_"/"__" markup token): the text up to the first colon of the line, with
// trailing blanks removed, must be one of the keys, and the colon must come
// before the line end and before any pair of backquotes on the line.
KavKeyLine kav_match_key_line(String source, KavToken token);
