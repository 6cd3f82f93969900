#include "site/images.h"

#include "base/os.h"
#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/jpeg_info.h"
#include "base/url.h"
#include "site/convert.h"
#include "site/links.h"

// With the file path check on: whether the image keeps its source. A quoted
// source on the web is kept; a local one when the check pass found it.
static bool image_source_checked(const KavNode* word) {
    if (!(word->flags & KAV_FLAG_TEXT)) return false;
    if (url_is_external(url_split(word->text))) return true;
    return word->flags & KAV_FLAG_FILE_FOUND;
}

// A size word "<width>x<height>" (or "X"): exactly two non-empty pieces.
static bool image_size_word(String text, String* width, String* height) {
    u64 pieces = 0;
    String found[2] = {};
    u64 start = 0;
    for (u64 i = 0; i <= text.size; i += 1) {
        if (i < text.size && text.str[i] != 'x' && text.str[i] != 'X') continue;
        String piece = string_substr(text, start, i);
        start = i + 1;
        if (piece.size == 0) continue;
        if (pieces < 2) found[pieces] = piece;
        pieces += 1;
    }
    if (pieces != 2) return false;
    *width = found[0];
    *height = found[1];
    return true;
}

HtmlNode* make_image(PageBuilder* builder, const KavNode* word) {
    Arena* arena = builder->arena;
    const SiteSettings* settings = &builder->site->settings;
    Scratch scratch(arena);
    HtmlNode* img = html_element_create_at(arena, HTML_TAG_IMG, word->offset);
    String path = word->text;
    bool keep_source = !settings->file_p_check || image_source_checked(word);
    if (keep_source) {
        // A local image is linked into the site; an image on the web as it is.
        bool external = url_is_external(url_split(path));
        html_set_attribute(arena, img, HTML_ATTR_SRC, external ? path : page_link(builder, scratch.arena, path));
    }

    String alt = {};
    String width = {};
    String height = {};
    bool sized = false;
    if (word->first->kind == KAV_NODE_DESC) {
        for (KavNode* w = word->first->first; !kav_node_is_nil(w); w = w->next) {
            if (w->kind != KAV_NODE_WORD) continue;
            if (w->flags & KAV_FLAG_TEXT) {
                alt = w->text;
                // The parser already drops a string's quotes; text that
                // still carries them loses them here.
                if (alt.size >= 2 && alt.str[0] == '"' && alt.str[alt.size - 1] == '"') alt = string_substr(alt, 1, alt.size - 1);
                html_set_attribute(arena, img, HTML_ATTR_ALT, alt);
            } else if (image_size_word(w->text, &width, &height)) {
                sized = true;
            }
        }
    }
    if (!sized) {
        // Only a local JPEG can tell its size.
        JpegInfo info = {};
        if (jpeg_extension(path_extension(path)) && !url_is_external(url_split(path))) {
            info = read_jpeg_info(scratch.arena, convert_path(scratch.arena, path, PATH_FORM_DRIVE, settings->root));
        }
        // A size nobody knows is left to the browser: width="0" and
        // height="0" would hide the image.
        if (info.width && info.height) {
            width = string_format(scratch.arena, "%u", (unsigned)info.width);
            height = string_format(scratch.arena, "%u", (unsigned)info.height);
        }
    }
    if (width.size) html_set_attribute(arena, img, HTML_ATTR_WIDTH, width);
    if (height.size) html_set_attribute(arena, img, HTML_ATTR_HEIGHT, height);
    html_set_attribute(arena, img, HTML_ATTR_DATA_TITLE, alt);
    html_set_attribute(arena, img, HTML_ATTR_DRAGGABLE, S("false"));
    return img;
}
