#include "site/images.h"

#include "base/os.h"
#include "htmldom/html_dom.h"
#include "kav/kav_node.h"
#include "site/jpeg_info.h"
#include "site/links.h"
#include "site/site_state.h"
#include "urlcheck/url.h"
#include "urlcheck/url_pool.h"

// True when the URL checker finished a request for `url` and it failed.
static bool image_url_failed(Arena* arena, String url) {
    if (!g_url_pool) return false;
    UrlCheckEntry entry = {};
    if (!url_pool_find(g_url_pool, arena, url, &entry) || entry.elapsed_ms == 0) return false;
    return url_classify(entry.status, url, url) == URL_REPORT_FAILED;
}

// With the file path check on: whether the image keeps its source. A local
// file must exist, or else have been checked successfully as a URL; an
// external image is kept unless its check already failed.
static bool image_source_checked(Arena* arena, const KavNode* word) {
    if (!(word->flags & KAV_FLAG_TEXT)) return false;
    String path = word->text;
    if (url_is_external(url_split(path))) return !image_url_failed(arena, path);
    if (os_path_is_valid(convert_path(arena, path, PATH_FORM_DRIVE))) return true;
    if (!g_url_pool) return false;
    UrlCheckEntry entry = {};
    if (!url_pool_find(g_url_pool, arena, path, &entry) || entry.elapsed_ms == 0) return false;
    return url_classify(entry.status, path, path) != URL_REPORT_FAILED;
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

HtmlNode* make_image(Arena* arena, const KavNode* word) {
    Scratch scratch(arena);
    HtmlNode* img = html_element_create_at(arena, HTML_TAG_IMG, word->offset);
    String path = word->text;
    SiteState* site = g_site_state;
    bool keep_source = !(site && site->file_p_check) || image_source_checked(scratch.arena, word);
    if (keep_source) {
        // A local image is linked into the site; an image on the web as it is.
        bool external = url_is_external(url_split(path));
        html_set_attribute(arena, img, HTML_ATTR_SRC, external ? path : resolve_link(scratch.arena, path));
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
            info = read_jpeg_info(scratch.arena, convert_path(scratch.arena, path, PATH_FORM_DRIVE));
        }
        width = string_format(scratch.arena, "%u", (unsigned)info.width);
        height = string_format(scratch.arena, "%u", (unsigned)info.height);
    }
    html_set_attribute(arena, img, HTML_ATTR_WIDTH, width);
    html_set_attribute(arena, img, HTML_ATTR_HEIGHT, height);
    html_set_attribute(arena, img, HTML_ATTR_DATA_TITLE, alt);
    html_set_attribute(arena, img, HTML_ATTR_DRAGGABLE, S("false"));
    return img;
}
