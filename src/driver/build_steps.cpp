#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"
#include "driver/page_writer.h"
#include "htmldom/html_dom.h"
#include "kav/kav_document.h"
#include "site/page.h"
#include "site/site_check.h"
#include "urlcheck/url_pool.h"

// Files requested ahead of the one being read, so the streamers read in
// parallel while the driver goes through the list in order.
#define BUILD_READ_AHEAD 64

#define BUILD_DASHES "------------------------------------------------------------\n"

RunState* run_state_create(const SiteSettings* settings) {
    Arena* arena = arena_create(GB(8), KB(64));
    RunState* run = push_struct<RunState>(arena);
    run->arena = arena;
    run->site = site_create(settings);
    return run;
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

// The page record kept for the conversion phase and the home page: path and
// title, copied into the run's arena; no tree.
static BuildPage* add_build_page(RunState* run, String path, String title) {
    HtmlPageNode* node = push_struct<HtmlPageNode>(run->arena);
    node->page.path = string_copy(run->arena, path);
    node->page.title = string_copy(run->arena, title);
    SLL_QUEUE_PUSH(run->pages_first, run->pages_last, node);
    run->page_count += 1;
    BuildPage* page = push_struct<BuildPage>(run->arena);
    page->node = node;
    SLL_QUEUE_PUSH(run->build_pages_first, run->build_pages_last, page);
    return page;
}

// Prints a page's messages after its path, each followed by a line feed and
// a tab.
static void print_page_messages(const HtmlPage* page) {
    if (!page->messages.first) return;
    console_print("%.*s: \n\t", STR_ARG(page->path));
    for (StringNode* m = page->messages.first; m; m = m->next) console_print("%.*s: \n\t", STR_ARG(m->string));
}

// Assembles the pages of a document whose file words are decided, and hands
// each page and raw view to the writer. `pages` are its page records, one per
// resolved html path, in order. A raw view never replaces a page of the
// build: one seen before it (`final` off) or any (`final` on).
static void assemble_pages(RunState* run, Arena* work, KavParseResult* document, String path, String bytes,
                           BuildPage* pages, u64 count, bool final) {
    Site* site = run->site;
    BuildPage* page = pages;
    for (u64 i = 0; i < count; i += 1, page = page->next) {
        u64 start = arena_pos(work);
        String page_path = page->node->page.path;
        PageBuilder builder = page_builder(site, work);
        HtmlPage built = {};
        build_page(&builder, &built, document, path, page_path);
        // Stored by the page writer; the conversion phase reads the result
        // after waiting for every queued page.
        page_writer_queue(&built, &page->written);

        PageBuilder raw_builder = page_builder(site, work);
        HtmlPage raw = {};
        build_raw_page(&raw_builder, &raw, bytes, build_raw_path(work, page_path));
        if (!final) print_page_messages(&raw);
        bool taken = final ? site_has_output_path(site, raw.path) : page_path_seen(run, raw.path);
        if (!taken) page_writer_queue(&raw, 0);
        arena_pop_to(work, start);
    }
}

static DiagnosticList* new_wrong_paths(RunState* run) {
    WrongPathsNode* node = push_struct<WrongPathsNode>(run->arena);
    SLL_QUEUE_PUSH(run->wrong_paths_first, run->wrong_paths_last, node);
    return &node->list;
}

// Parses one document into the document arena, prints its diagnostics and
// skips drafts. Each html output path below the root becomes a page record:
// the source's name is printed and the folder recorded as a section. The
// pages are assembled at once, unless a local file word may still name a
// page of this build; then the document waits for the end of the phase.
static void parse_document(RunState* run, String path, String bytes) {
    Site* site = run->site;
    if (!run->document_arena) run->document_arena = arena_create(GB(8), KB(64));
    Arena* work = run->document_arena;
    u64 start = arena_pos(work);

    KavParseResult document = kav_parse_document(work, bytes, path);
    StringList outputs = {};
    check_output_paths(work, site, &document, &outputs);
    diag_print_list(&document.diagnostics, path, bytes);

    // Drafts publish nothing, but their missing files are listed too.
    bool draft = string_match(document.status, S("draft"), MATCH_CASE_INSENSITIVE);
    BuildPage* first_page = 0;
    u64 page_count = 0;
    if (!draft) {
        if (site->settings.check_urls) check_submit_urls(&document, path, url_check_submit_found);
        String source_name = path_file_name(path);
        String title = {};
        for (StringNode* out = outputs.first; out; out = out->next) {
            String page_path = out->string;
            if (!string_equal(path_extension(page_path), S("html"))) continue;
            if (page_count == 0) title = page_title(work, &document, path);
            BuildPage* page = add_build_page(run, page_path, title);
            if (!first_page) first_page = page;
            page_count += 1;
            page_path_add(run, page->node->page.path);
            site_add_output_path(site, page->node->page.path);
            console_print("\t%.*s\n", STR_ARG(source_name));
            build_add_section(run, page_path);
        }
    }
    DiagnosticList* wrong_paths = new_wrong_paths(run);
    if (check_file_words(run->arena, site, &document, path, CHECK_FILES_SO_FAR, wrong_paths)) {
        assemble_pages(run, work, &document, path, bytes, first_page, page_count, false);
    } else {
        DeferredDocument* deferred = push_struct<DeferredDocument>(run->arena);
        deferred->path = path;
        deferred->bytes = bytes;
        deferred->first_page = first_page;
        deferred->page_count = page_count;
        deferred->wrong_paths = wrong_paths;
        SLL_QUEUE_PUSH(run->deferred_first, run->deferred_last, deferred);
    }
    arena_pop_to(work, start);
}

// Documents that waited for every page of the build: parsed again (their
// diagnostics were printed the first time), their file words decided for
// good, their pages assembled.
static void assemble_deferred(RunState* run) {
    Arena* work = run->document_arena;
    for (DeferredDocument* d = run->deferred_first; d; d = d->next) {
        u64 start = arena_pos(work);
        KavParseResult document = kav_parse_document(work, d->bytes, d->path);
        check_file_words(run->arena, run->site, &document, d->path, CHECK_FILES_FINAL, d->wrong_paths);
        assemble_pages(run, work, &document, d->path, d->bytes, d->first_page, d->page_count, true);
        arena_pop_to(work, start);
    }
}

void build_parse_phase(RunState* run) {
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
    assemble_deferred(run);
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

String build_summary_text(Arena* arena, u64 kav_count, u64 html_count, const WrongPathsNode* wrong_paths) {
    Scratch scratch(arena);
    StringList list = {};
    string_list_push(scratch.arena, &list, S(BUILD_DASHES));
    string_list_pushf(scratch.arena, &list, "\tkav count:  %llu\n\thtml count: %llu\n", (unsigned long long)kav_count,
                      (unsigned long long)html_count);
    string_list_push(scratch.arena, &list, S(BUILD_DASHES));
    string_list_push(scratch.arena, &list, S("\tWrong file path(s):\n"));
    for (const WrongPathsNode* node = wrong_paths; node; node = node->next) {
        for (Diagnostic* d = node->list.first; d; d = d->next) string_list_pushf(scratch.arena, &list, "\t%S\n", &d->message);
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
             "  help              print this text and exit\n"
             "  version           print the version and exit\n"
             "\n"
             "Exit status: 0 built, 1 a page failed to write, 2 aborted.\n");
}
