#include "site/key_rendering.h"

#include "kav/kav_metadata.h"
#include "kav/kav_node.h"
#include "site/icons.h"

static constexpr KeyRendering key_renderings[] = {
    {KAV_KEY_TITLE, ICON_NIL, KAV_FLAG_STRONG_MARK},
    {KAV_KEY_AUTHOR, ICON_USER, 0},
    {KAV_KEY_AUTHOR_LINK, ICON_AT, 0},
    {KAV_KEY_OUTPUT_PATH, ICON_NIL, 0},
    {KAV_KEY_CREATION_DATE, ICON_CALENDAR, KAV_FLAG_EM_MARK},
    {KAV_KEY_INCLUDES, ICON_NIL, 0},
    {KAV_KEY_LAST_MODIFICATION_DATE, ICON_CALENDAR, KAV_FLAG_EM_MARK},
    {KAV_KEY_REMARK, ICON_COMMENT, 0},
    {KAV_KEY_EXCERPT, ICON_NIL, 0},
    {KAV_KEY_SUMMARY, ICON_QUOTE, KAV_FLAG_EM_MARK},
    {KAV_KEY_CATEGORY, ICON_TAG, KAV_FLAG_EM_MARK},
    {KAV_KEY_STATUS, ICON_NIL, 0},
};
static_assert(ARRAY_COUNT(key_renderings) == KAV_META_KEY_COUNT, "one row per header key");

static constexpr bool key_renderings_by_id() {
    for (u64 i = 0; i < ARRAY_COUNT(key_renderings); i += 1) {
        if (key_renderings[i].id != i + 1) return false;
    }
    return true;
}
static_assert(key_renderings_by_id(), "row i holds key id i + 1");

const KeyRendering* key_rendering(u32 id) {
    static constexpr KeyRendering none = {0, ICON_NIL, 0};
    if (id == 0 || id > ARRAY_COUNT(key_renderings)) return &none;
    return &key_renderings[id - 1];
}
