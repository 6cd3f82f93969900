#include "site/site_check.h"

#include "base/os.h"
#include "site/links.h"

// Inserts `d` after the last record whose offset is not past its own, so a
// check's warnings stand among the parser's in source order.
static void insert_in_order(DiagnosticList* list, Diagnostic* d) {
    Diagnostic* after = 0;
    for (Diagnostic* at = list->first; at && at->offset <= d->offset; at = at->next) after = at;
    if (!after) {
        d->next = list->first;
        list->first = d;
    } else {
        d->next = after->next;
        after->next = d;
    }
    if (!d->next) list->last = d;
    list->count += 1;
    if (d->level > list->max_level) list->max_level = d->level;
}

// `path` with "." and ".." resolved, joined with "/".
static String normalized(Arena* arena, String path) {
    Scratch scratch(arena);
    StringList parts = path_normalize(scratch.arena, path_split(scratch.arena, path));
    StringJoin join = {String{}, S("/"), String{}};
    return string_list_join(arena, &parts, &join);
}

String check_file_path(Arena* arena, const Site* site, String word) {
    Scratch scratch(arena);
    return normalized(arena, convert_path(scratch.arena, word, PATH_FORM_DRIVE, site->settings.root));
}

// True when a page at `full` would replace a file the build itself owns:
// the home page or anything of the shared resources.
static bool is_site_file(String full, String root) {
    String rest = string_skip(full, root.size);
    return string_equal(rest, S("html/index.html")) || string_starts_with(rest, S("html/shared/"), 0);
}

void check_output_paths(Arena* arena, const Site* site, KavParseResult* document, StringList* resolved) {
    String root = site->settings.root;
    KavNodeCell* cell = document->output_words.first;
    for (StringNode* n = document->output_paths.first; n; n = n->next, cell = cell ? cell->next : 0) {
        String full = check_file_path(arena, site, n->string);
        bool inside = full.size > root.size && string_starts_with(full, root, 0);
        if (inside && !is_site_file(full, root)) {
            string_list_push(arena, resolved, full);
            continue;
        }
        KavNode* word = cell ? cell->node : kav_nil();
        Diagnostic* d = push_struct<Diagnostic>(arena);
        d->node = word;
        d->offset = word->offset;
        d->level = DIAG_WARNING;
        d->message = inside
                         ? string_format(arena, "Output path \"%.*s\" would replace a file of the site itself.",
                                         STR_ARG(n->string))
                         : string_format(arena, "Output path \"%.*s\" is outside the site root.", STR_ARG(n->string));
        insert_in_order(&document->diagnostics, d);
    }
}

// A local path with a description is written to be followed: a link.
static bool is_described_path(const KavNode* word) {
    return word->first->kind == KAV_NODE_DESC && !(word->flags & KAV_FLAG_IMAGE);
}

bool check_file_words(Arena* arena, const Site* site, KavParseResult* document, String path, CheckFiles when,
                      DiagnosticList* wrong_paths) {
    if (!site->settings.file_p_check) {
        // Unchecked: a described path is a link all the same.
        for (KavNodeCell* cell = document->file_paths.first; cell; cell = cell->next) {
            if (is_described_path(cell->node)) cell->node->flags |= KAV_FLAG_FILE_FOUND;
        }
        return true;
    }
    bool settled = true;
    String source = kav_node_is_nil(document->root) ? String{} : document->root->text;
    KavPositionCursor cursor = {};
    for (KavNodeCell* cell = document->file_paths.first; cell; cell = cell->next) {
        KavNode* word = cell->node;
        if (word->flags & (KAV_FLAG_FILE_FOUND | KAV_FLAG_FILE_MISSING)) continue;
        Scratch scratch(arena);
        String resolved = convert_path(scratch.arena, word->text, PATH_FORM_DRIVE, site->settings.root);
        bool page = when == CHECK_FILES_FINAL && site_has_output_path(site, normalized(scratch.arena, resolved));
        if (page || os_path_is_valid(resolved)) {
            word->flags |= KAV_FLAG_FILE_FOUND;
            continue;
        }
        if (when == CHECK_FILES_ON_DISK) {
            settled = false;
            continue;
        }
        word->flags |= KAV_FLAG_FILE_MISSING;
        TextPosition at = kav_position_at(source, &cursor, word->offset);
        String message = string_format(arena, "%.*s:%lld:%lld\n\t%.*s", STR_ARG(path), (long long)at.line,
                                       (long long)at.column, STR_ARG(resolved));
        // The list outlives the tree: only the offset and message stay.
        diag_append_at(arena, wrong_paths, 0, word->offset, DIAG_WARNING, message);
    }
    return settled;
}

void check_submit_urls(const KavParseResult* document, String path, CheckUrlSubmit* submit) {
    String source = kav_node_is_nil(document->root) ? String{} : document->root->text;
    KavPositionCursor cursor = {};
    for (KavNodeCell* cell = document->urls.first; cell; cell = cell->next) {
        Scratch scratch;
        TextPosition at = kav_position_at(source, &cursor, cell->node->offset);
        String location =
            string_format(scratch.arena, "%.*s:%lld:%lld", STR_ARG(path), (long long)at.line, (long long)at.column);
        submit(cell->node->text, location);
    }
}
