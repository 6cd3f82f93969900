// How a page shows the value of each header key: the icon before it and
// whether it is emphasised. The parser knows the keys; how they look is the
// page's business, so the table lives here, keyed by the key's id.
#pragma once

#include "base/core.h"

struct KeyRendering {
    u32 id;         // KavMetaKeyId
    u32 icon;       // IconIndex shown before the value; ICON_NIL for none
    u64 emphasis;   // KavNodeFlag marks the value is drawn with (strong, emphasis); 0: as written
};

// The row of a key id; a row with no icon and no emphasis for an unknown id.
const KeyRendering* key_rendering(u32 id);
