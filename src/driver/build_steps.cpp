#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"
#include "driver/page_writer.h"
#include "htmldom/html_dom.h"
#include "kav/kav_document.h"
#include "site/page.h"
#include "site/site_state.h"

RunState* g_run_state;

// Files requested ahead of the one being read, so the streamers read in
// parallel while the driver goes through the list in order.
#define BUILD_READ_AHEAD 64

#define BUILD_DASHES "------------------------------------------------------------\n"

RunState* run_state_create() {
    Arena* arena = arena_create(GB(8), KB(64));
    RunState* run = push_struct<RunState>(arena);
    run->arena = arena;
    return run;
}

// ---- Options -----------------------------------------------------------------------

// Every option the program reads; any other name is reported as unknown.
static constexpr String kBuildOptions[] = {
    SC("targ_p"),      SC("root_p"),      SC("deploy"),      SC("js"),           SC("dev_js"),
    SC("file_p_check"), SC("check_urls"),  SC("print_todos"), SC("consent_url"),  SC("ca_file"),
    SC("url_workers"), SC("diagnostics"), SC("help"),        SC("version"),      SC("site_title"),
    SC("no_wait"),     SC("max_doc_mb"),  SC("watch"),       SC("serve"),
};
static constexpr u64 kBuildOptionCount = sizeof(kBuildOptions) / sizeof(kBuildOptions[0]);
static_assert(kBuildOptionCount == 19, "one row per option the program reads");

bool build_check_options(RunState* run, const OptionTable* options) {
    Scratch scratch(run->arena);
    OptionUnknownList unknown = options_unknown(scratch.arena, options, kBuildOptions, kBuildOptionCount);
    for (OptionUnknown* u = unknown.first; u; u = u->next) {
        if (u->suggestion.size) {
            console_print("unknown option '%.*s' ignored; did you mean '%.*s'?\n", STR_ARG(u->name),
                          STR_ARG(u->suggestion));
        } else {
            console_print("unknown option '%.*s' ignored\n", STR_ARG(u->name));
        }
    }

    String form = option_string(options, S("diagnostics"));
    run->diagnostic_form = string_equal(form, S("line")) ? DIAG_FORM_LINE : DIAG_FORM_BLOCK;
    if (form.size && !string_equal(form, S("line")) && !string_equal(form, S("block"))) {
        console_print("unknown value '%.*s' for diagnostics ignored; use diagnostics=line\n", STR_ARG(form));
    }

    // "root_p=" followed by "deploy" would make a folder named deploy the root.
    bool ok = true;
    const char* paths[][2] = {{"targ_p", "the documents"}, {"root_p", "the site root"}};
    for (const auto& path : paths) {
        String name = string_from_cstr(path[0]);
        String option = option_value_names_option(options, name, kBuildOptions, kBuildOptionCount);
        if (option.size == 0) continue;
        String given = option_string(options, name);
        console_print("%.*s= has no value: the next argument, '%.*s', is an option, not %s; write %.*s=<path>\n",
                      STR_ARG(name), STR_ARG(given), path[1], STR_ARG(name));
        ok = false;
    }
    return ok;
}

// ---- Source collection -------------------------------------------------------------

BuildTargetKind build_target_kind(String target) {
    OsFileProperties props = os_path_properties(target);
    if (!props.exists) return BUILD_TARGET_NONE;
    return props.is_directory ? BUILD_TARGET_DIRECTORY : BUILD_TARGET_DOCUMENT;
}

static void file_list_push(RunState* run, String path) {
    FileListNode* node = push_struct<FileListNode>(run->arena);
    node->path = path;
    SLL_QUEUE_PUSH(run->files.first, run->files.last, node);
    run->files.count += 1;
    run->files.total_size += path.size;
}

// Identities (device, inode) of the directories already queued.
#define VISITED_SLOT_COUNT 4096

struct VisitedNode {
    VisitedNode* next;
    u64 device;
    u64 inode;
};

struct VisitedSet {
    VisitedNode** slots;
};

// True when the identity was not in the set (it is now).
static bool visited_insert(Arena* arena, VisitedSet* set, u64 device, u64 inode) {
    u64 slot = (inode * 0x9E3779B97F4A7C15ull ^ device) % VISITED_SLOT_COUNT;
    for (VisitedNode* node = set->slots[slot]; node; node = node->next) {
        if (node->device == device && node->inode == inode) return false;
    }
    VisitedNode* node = push_struct<VisitedNode>(arena);
    node->device = device;
    node->inode = inode;
    node->next = set->slots[slot];
    set->slots[slot] = node;
    return true;
}

struct DirQueueNode {
    DirQueueNode* next;
    String path;  // ends in "/"
};

void build_collect_sources(RunState* run, String target, BuildTargetKind kind) {
    if (kind == BUILD_TARGET_NONE) return;
    if (kind == BUILD_TARGET_DOCUMENT) {
        file_list_push(run, string_copy(run->arena, target));
        return;
    }

    Scratch scratch(run->arena);
    VisitedSet visited = {push_array<VisitedNode*>(scratch.arena, VISITED_SLOT_COUNT)};
    OsFileProperties target_props = os_path_properties(target);
    if (target_props.is_directory) visited_insert(scratch.arena, &visited, target_props.device, target_props.inode);

    DirQueueNode* first = push_struct<DirQueueNode>(scratch.arena);
    first->path = path_ensure_trailing_slash(scratch.arena, target);
    DirQueueNode* last = first;
    for (DirQueueNode* dir = first; dir; dir = dir->next) {
        String dir_path = dir->path;
        OsDirIter iter = os_dir_begin(scratch.arena, &dir_path);
        OsDirEntry entry;
        while (os_dir_next(scratch.arena, &iter, &entry)) {
            if (entry.flags & OS_DIR_ENTRY_DIRECTORY) {
                if (!visited_insert(scratch.arena, &visited, entry.device, entry.inode)) continue;
                DirQueueNode* node = push_struct<DirQueueNode>(scratch.arena);
                node->path = string_format(scratch.arena, "%S%S/", &dir_path, &entry.name);
                last->next = node;
                last = node;
            } else {
                file_list_push(run, string_format(run->arena, "%S%S", &dir_path, &entry.name));
            }
        }
    }
}

// ---- Parse phase -------------------------------------------------------------------

static bool page_path_seen(RunState* run, String path) {
    if (!run->page_paths) return false;
    for (PagePathNode* n = run->page_paths[string_hash(path) % PAGE_PATH_SLOT_COUNT]; n; n = n->next) {
        if (string_equal(n->path, path)) return true;
    }
    return false;
}

static void page_path_add(RunState* run, String path) {
    if (page_path_seen(run, path)) return;
    if (!run->page_paths) run->page_paths = push_array<PagePathNode*>(run->arena, PAGE_PATH_SLOT_COUNT);
    PagePathNode* node = push_struct<PagePathNode>(run->arena);
    node->path = path;
    SLL_STACK_PUSH(run->page_paths[string_hash(path) % PAGE_PATH_SLOT_COUNT], node);
}

bool build_path_inside_root(String path, String root) {
    if (root.size == 0 || path.size <= root.size) return false;
    Scratch scratch;
    // "." and ".." resolved for every kind of path, drive paths included.
    StringList parts = path_normalize(scratch.arena, path_split(scratch.arena, path));
    StringJoin join = {String{}, S("/"), String{}};
    String full = string_list_join(scratch.arena, &parts, &join);
    return full.size > root.size && string_starts_with(full, root, 0);
}

// What the later steps read of a parsed document, copied into `arena`.
static KavParseResult keep_document(Arena* arena, const KavParseResult* document) {
    KavParseResult kept = {};
    for (StringNode* n = document->output_paths.first; n; n = n->next) {
        string_list_push(arena, &kept.output_paths, string_copy(arena, n->string));
    }
    if (!kav_node_is_nil(document->root)) {
        // The text is the source, which the file service keeps.
        kept.root = kav_node_make(arena, KAV_NODE_FILE, 0, document->root->text, document->root->value, 0);
    }
    for (KavNodeCell* cell = document->urls.first; cell; cell = cell->next) {
        String text = string_copy(arena, cell->node->text);
        KavNode* word = kav_node_make(arena, KAV_NODE_WORD, cell->node->flags, text, text, cell->node->offset);
        kav_node_list_push(arena, &kept.urls, word);
    }
    kept.status = string_copy(arena, document->status);
    kept.success = document->success;
    return kept;
}

// The page record kept for the conversion phase and the index page: path,
// title and messages, copied into `arena`; no tree.
static void keep_page(Arena* arena, HtmlPage* out, const HtmlPage* page) {
    *out = HtmlPage{};
    out->path = string_copy(arena, page->path);
    out->title = string_copy(arena, page->title);
    for (StringNode* m = page->messages.first; m; m = m->next) {
        string_list_push(arena, &out->messages, string_copy(arena, m->string));
    }
}

// Prints a page's messages after its path, each followed by a line feed and
// a tab.
static void print_page_messages(const HtmlPage* page) {
    if (!page->messages.first) return;
    console_print("%.*s: \n\t", STR_ARG(page->path));
    for (StringNode* m = page->messages.first; m; m = m->next) console_print("%.*s: \n\t", STR_ARG(m->string));
}

// Parses one document (kav_parse_document, which prints its diagnostics)
// into the document arena and skips drafts. Each html output path gets its
// page, stored at once and queued with its result for the conversion phase,
// and its raw view, stored at once unless an earlier page has that path; its
// section is recorded. Every output path appends a DocumentEntry. The
// document arena is emptied before the next document.
static void parse_document(RunState* run, String path, String bytes) {
    SiteState* site = g_site_state;
    OutputState* output = g_output_state;
    if (!run->document_arena) run->document_arena = arena_create(GB(8), KB(64));
    Arena* work = run->document_arena;
    u64 start = arena_pos(work);

    Diagnostic* wrong_before = site->wrong_paths.last;
    KavParseResult document = kav_parse_document(work, bytes, path, run->diagnostic_form);
    // Wrong paths outlive the tree: only their offsets and messages stay.
    for (Diagnostic* d = wrong_before ? wrong_before->next : site->wrong_paths.first; d; d = d->next) d->node = 0;

    if (!string_match(document.status, S("draft"), MATCH_CASE_INSENSITIVE)) {
        KavParseResult kept = keep_document(site->arena, &document);
        String source_name = path_file_name(path);
        for (StringNode* out = document.output_paths.first; out; out = out->next) {
            String page_path = out->string;
            // The parser keeps outside paths out (with a warning); a page is
            // never written outside the site root whatever the path.
            if (page_path.size && string_equal(path_extension(page_path), S("html")) &&
                build_path_inside_root(page_path, run->root)) {
                u64 page_start = arena_pos(work);
                HtmlPage page = {};
                build_page(&page, work, &document, path, page_path, bytes);
                HtmlPageNode* node = push_struct<HtmlPageNode>(output->arena);
                keep_page(output->arena, &node->page, &page);
                SLL_QUEUE_PUSH(output->pages_first, output->pages_last, node);
                output->page_count += 1;
                PageWriteResult* result = push_struct<PageWriteResult>(run->arena);
                result->page = node;
                SLL_QUEUE_PUSH(run->page_results_first, run->page_results_last, result);
                // Stored by the page writer; the conversion phase reads the
                // result after waiting for every queued page.
                page_writer_queue(&page, &result->written);
                page_path_add(run, node->page.path);
                console_print("\t%.*s\n", STR_ARG(source_name));

                HtmlPage raw = {};
                KavParseResult raw_document = {};
                build_raw_page(&raw, work, bytes, &raw_document, build_raw_path(work, page_path));
                print_page_messages(&raw);
                if (!page_path_seen(run, raw.path)) page_writer_queue(&raw, 0);
                build_add_section(run, page_path);
                arena_pop_to(work, page_start);
            }
            DocumentEntry* entry = push_struct<DocumentEntry>(site->arena);
            entry->document = kept;
            entry->source_path = path;
            SLL_QUEUE_PUSH(site->documents_first, site->documents_last, entry);
            site->document_count += 1;
        }
    }
    arena_pop_to(work, start);
}

void build_parse_phase(RunState* run) {
    output_state_create(run->root, run->check_urls, run->print_todos, run->deploy);
    site_state_create(run->root, run->file_p_check, run->check_urls, run->dev_js, run->js);
    console_print("KAV (parsing):\n");
    FileListNode* ahead = run->files.first;
    u64 requested = 0;  // files requested from the current one on
    while (run->files.first) {
        FileListNode* node = run->files.first;
        for (; ahead && requested < BUILD_READ_AHEAD; ahead = ahead->next, requested += 1) {
            fs_request_file(ahead->path, 0);
        }
        String bytes = fs_loaded_file(fs_request_file(node->path, DEADLINE_NONE));
        requested -= 1;

        run->files.first = node->next;
        if (!run->files.first) run->files.last = 0;
        run->files.count -= 1;
        run->files.total_size -= node->path.size;

        if (!string_equal(path_extension(node->path), S("kav"))) continue;
        run->kav_count += 1;
        parse_document(run, node->path, bytes);
    }
    // Every page handed to the writer is stored before the phase ends.
    page_writer_drain();
}

// ---- Pages -------------------------------------------------------------------------

String build_raw_path(Arena* arena, String output_path) {
    String name = path_file_name(output_path);
    if (name.size == output_path.size) return string_format(arena, "raw_%S", &name);
    String dir = string_prefix(output_path, output_path.size - name.size - 1);
    return string_format(arena, "%S/raw_%S", &dir, &name);
}

void build_add_section(RunState* run, String output_path) {
    String name = path_file_name(output_path);
    if (name.size == output_path.size) return;  // no directory
    String dir = path_file_name(string_prefix(output_path, output_path.size - name.size - 1));
    if (dir.size == 0 || string_match(dir, S("html"), MATCH_CASE_INSENSITIVE)) return;
    for (StringNode* node = run->sections.first; node; node = node->next) {
        if (string_match(node->string, dir, MATCH_CASE_INSENSITIVE)) return;
    }
    string_list_push(run->arena, &run->sections, string_copy(run->arena, dir));
}

// ---- Texts ---------------------------------------------------------------------------

String build_summary_text(Arena* arena, u64 kav_count, u64 html_count, const DiagnosticList* wrong_paths) {
    Scratch scratch(arena);
    StringList list = {};
    string_list_push(scratch.arena, &list, S(BUILD_DASHES));
    string_list_pushf(scratch.arena, &list, "\tkav count:  %llu\n\thtml count: %llu\n", (unsigned long long)kav_count,
                      (unsigned long long)html_count);
    string_list_push(scratch.arena, &list, S(BUILD_DASHES));
    string_list_push(scratch.arena, &list, S("\tWrong file path(s):\n"));
    for (Diagnostic* d = wrong_paths ? wrong_paths->first : 0; d; d = d->next) {
        string_list_pushf(scratch.arena, &list, "\t%S\n", &d->message);
    }
    return string_list_join(arena, &list);
}

String build_usage_text() {
    return S("usage: kavsite targ_p=<folder or document> root_p=<site root> [options]\n"
             "\n"
             "Options are written name=value or name:value, with or without leading dashes.\n"
             "A switch is on when given alone, as =1 or as =true (any case).\n"
             "\n"
             "  targ_p=PATH       the KAV documents: a folder (walked with its subfolders)\n"
             "                    or one document\n"
             "  root_p=PATH       the site root: the output tree (html/...) and kn_searchs.txt\n"
             "  js                pages load the site's shared script (minified)\n"
             "  dev_js            pages load the unminified shared script; turns js on\n"
             "                    (ignored with deploy)\n"
             "  check_urls        check every external URL of the documents over HTTP(S)\n"
             "  file_p_check      check that the local file paths named in documents exist\n"
             "                    (off with deploy)\n"
             "  print_todos       accepted, reserved\n"
             "  deploy            build for publication: site-absolute links, no development\n"
             "                    scripts, no file path checks\n"
             "  consent_url=URL   consent endpoint, also the connection test\n"
             "                    (default https://consent.youtube.com/save)\n"
             "  ca_file=PATH      PEM bundle of trusted certificate authorities for every request\n"
             "  url_workers=N     number of URL-check workers (default: processors - 1, at least 1)\n"
             "  diagnostics=line  print each diagnostic on one line, path:line:column: level: message\n"
             "  help              print this text and exit\n"
             "  version           print the version and exit\n"
             "\n"
             "Exit status: 0 built, 1 a page failed to write, 2 aborted.\n");
}
