#include "site/site.h"

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

bool site_has_output_path(const Site* site, String path) {
    if (!site->output_slots) return false;
    for (SiteOutputPath* n = site->output_slots[string_hash(path) % SITE_OUTPUT_SLOT_COUNT]; n; n = n->next) {
        if (string_equal(n->path, path)) return true;
    }
    return false;
}

bool site_add_output_path(Site* site, String path) {
    if (site_has_output_path(site, path)) return false;
    if (!site->output_slots) site->output_slots = push_array<SiteOutputPath*>(site->arena, SITE_OUTPUT_SLOT_COUNT);
    SiteOutputPath* node = push_struct<SiteOutputPath>(site->arena);
    node->path = string_copy(site->arena, path);
    SLL_STACK_PUSH(site->output_slots[string_hash(path) % SITE_OUTPUT_SLOT_COUNT], node);
    site->output_count += 1;
    return true;
}
