#include "site/site.h"

#include <xxhash.h>

#include "base/os.h"
#include "htmldom/html_reader.h"
#include "site/shared_resources.h"

Site* site_create(const SiteSettings* settings) {
    Arena* arena = arena_create(GB(1), KB(64));
    Site* site = push_struct<Site>(arena);
    site->arena = arena;
    site->settings = *settings;
    site->settings.root = string_copy(arena, settings->root);
    site->settings.site_title = string_copy(arena, settings->site_title);
    site->head_template = html_nil_node;
    site->menu_template = html_nil_node;
    return site;
}

String site_read_file(const Site* site, Arena* arena, String path) {
    if (site->read_file) return site->read_file(arena, path);
    return os_read_whole_file(arena, path);
}

// The first top-level element of a template's text, detached, in the site
// arena; the nil element when there is none.
static HtmlNode* template_element(Site* site, String text, String path) {
    HtmlDocument document = html_read_template(site->arena, text, path, HTML_PARSE_QUIET);
    for (HtmlNode* n = document.root ? document.root->first_child : html_nil_node; !html_is_nil(n); n = n->next) {
        if (n->kind == HTML_NODE_ELEMENT) {
            html_detach(n);
            return n;
        }
    }
    return html_nil_node;
}

void site_set_templates(Site* site, String head_text, String menu_text) {
    site->head_template = template_element(site, head_text, String{});
    site->menu_template = template_element(site, menu_text, String{});
}

// The text of the template at `relative` under the root, in the site arena.
static String read_template(Site* site, String relative) {
    String path = string_format(site->arena, "%.*s%.*s", STR_ARG(site->settings.root), STR_ARG(relative));
    return site_read_file(site, site->arena, path);
}

void site_load_templates(Site* site) {
    site_set_templates(site, read_template(site, S(SHARED_HEAD_TEMPLATE_PATH)),
                       read_template(site, S(SHARED_MENU_TEMPLATE_PATH)));
}

static SiteOutputHash site_output_hash(String path) {
    XXH128_hash_t h = XXH3_128bits(path.str, path.size);
    SiteOutputHash hash = {h.high64, h.low64};
    // The zero hash marks an empty slot.
    if (hash.high == 0 && hash.low == 0) hash.low = 1;
    return hash;
}

// The slot that holds `hash`, or the empty slot where it would go.
static SiteOutputHash* site_output_slot(const SiteOutputTable* table, SiteOutputHash hash) {
    u64 mask = table->capacity - 1;
    for (u64 i = hash.low & mask;; i = (i + 1) & mask) {
        SiteOutputHash* slot = &table->slots[i];
        if ((slot->high == hash.high && slot->low == hash.low) || (slot->high == 0 && slot->low == 0)) return slot;
    }
}

// Moves the table into a new arena with twice the slots (4096 at first).
static void site_output_grow(SiteOutputTable* table) {
    SiteOutputTable grown = {};
    grown.capacity = table->capacity ? table->capacity * 2 : 4096;
    grown.arena = arena_create(MAX(grown.capacity * sizeof(SiteOutputHash) * 2, MB(1)), KB(64));
    grown.slots = push_array<SiteOutputHash>(grown.arena, grown.capacity);
    for (u64 i = 0; i < table->capacity; i += 1) {
        SiteOutputHash hash = table->slots[i];
        if (hash.high == 0 && hash.low == 0) continue;
        *site_output_slot(&grown, hash) = hash;
        grown.count += 1;
    }
    if (table->arena) arena_release(table->arena);
    *table = grown;
}

bool site_has_output_path(const Site* site, String path) {
    if (site->outputs.count == 0) return false;
    SiteOutputHash* slot = site_output_slot(&site->outputs, site_output_hash(path));
    return slot->high != 0 || slot->low != 0;
}

bool site_add_output_path(Site* site, String path) {
    SiteOutputTable* table = &site->outputs;
    // Linear probing stays short enough at 7/8: one look per page written.
    if ((table->count + 1) * 8 > table->capacity * 7) site_output_grow(table);
    SiteOutputHash hash = site_output_hash(path);
    SiteOutputHash* slot = site_output_slot(table, hash);
    if (slot->high != 0 || slot->low != 0) return false;
    *slot = hash;
    table->count += 1;
    return true;
}

u64 site_output_count(const Site* site) { return site->outputs.count; }
