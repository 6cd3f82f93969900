#include "site/site_state.h"

OutputState* g_output_state;
SiteState* g_site_state;

OutputState* output_state_create(String root, u32 check_urls, u32 print_todos, u32 deploy) {
    if (g_output_state) return g_output_state;
    Arena* arena = arena_create(MB(64), KB(64));
    OutputState* state = push_struct<OutputState>(arena);
    state->arena = arena;
    state->root = string_copy(arena, root);
    state->check_urls = check_urls;
    state->print_todos = print_todos;
    state->deploy = deploy;
    g_output_state = state;
    return state;
}

SiteState* site_state_create(String root, u32 file_p_check, u32 check_urls, u32 dev_js, u32 js) {
    if (g_site_state) return g_site_state;
    Arena* arena = arena_create(MB(64), KB(64));
    SiteState* state = push_struct<SiteState>(arena);
    state->arena = arena;
    state->root = string_copy(arena, root);
    state->file_p_check = file_p_check;
    state->check_urls = check_urls;
    state->dev_js = dev_js;
    state->js = js;
    g_site_state = state;
    return state;
}

String site_root() {
    if (g_output_state) return g_output_state->root;
    if (g_site_state) return g_site_state->root;
    return String{};
}

u32 site_deploy() { return g_output_state ? g_output_state->deploy : 0; }
