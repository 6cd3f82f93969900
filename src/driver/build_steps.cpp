#include "base/os.h"
#include "driver/build_state.h"
#include "driver/file_service.h"
#include "driver/page_writer.h"
#include "htmldom/html_dom.h"
#include "kav/kav_document.h"
#include "kav/kav_tokenizer.h"
#include "site/page.h"
#include "site/site_check.h"
#include "base/ordered_work.h"
#include "urlcheck/url_pool.h"

#include <string.h>

#define BUILD_DASHES "------------------------------------------------------------\n"

RunState* run_state_create(const SiteSettings* settings) {
    Arena* arena = arena_create(GB(8), KB(64));
    RunState* run = push_struct<RunState>(arena);
    run->arena = arena;
    run->site = site_create(settings);
    run->large_document_bytes = BUILD_LARGE_DOCUMENT_BYTES;
    return run;
}

// ---- Options -----------------------------------------------------------------------

// Every option the program reads; any other name is reported as unknown.
static constexpr String kBuildOptions[] = {
    SC("targ_p"),      SC("root_p"),      SC("deploy"),      SC("js"),           SC("dev_js"),
    SC("file_p_check"), SC("check_urls"),  SC("print_todos"), SC("consent_url"),  SC("ca_file"),
    SC("url_workers"), SC("diagnostics"), SC("help"),        SC("version"),      SC("site_title"),
    SC("no_wait"),     SC("max_doc_mb"),  SC("watch"),       SC("serve"),        SC("threads"),
};
static constexpr u64 kBuildOptionCount = sizeof(kBuildOptions) / sizeof(kBuildOptions[0]);
static_assert(kBuildOptionCount == 20, "one row per option the program reads");

bool build_check_options(const OptionTable* options, DiagnosticForm* form_out) {
    Scratch scratch;
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
    *form_out = string_equal(form, S("line")) ? DIAG_FORM_LINE : DIAG_FORM_BLOCK;
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

// What the console says about a path that cannot be used.
struct BuildFileErrorText {
    u32 error;  // OsFileError
    const char* text;
};
static constexpr BuildFileErrorText build_file_error_texts[] = {
    {OS_FILE_ERROR_NONE, "cannot be used"},
    {OS_FILE_ERROR_MISSING, "does not exist"},
    {OS_FILE_ERROR_DENIED, "cannot be read (permission denied)"},
    {OS_FILE_ERROR_NOT_REGULAR, "a device or FIFO, not a document"},
    {OS_FILE_ERROR_NAME_TOO_LONG, "path too long for the system"},
    {OS_FILE_ERROR_LINK_LOOP, "too many levels of symbolic links"},
    {OS_FILE_ERROR_NOT_DIRECTORY, "a part of the path is not a folder"},
    {OS_FILE_ERROR_IO, "cannot be read (input/output error)"},
    {OS_FILE_ERROR_TOO_LARGE, "too large"},
    {OS_FILE_ERROR_OTHER, "cannot be opened"},
};
static_assert(ARRAY_COUNT(build_file_error_texts) == 10, "one text per OsFileError");

static const char* build_file_error_text(u32 error) {
    for (const BuildFileErrorText& row : build_file_error_texts) {
        if (row.error == error) return row.text;
    }
    return build_file_error_texts[0].text;
}

// A path as the console shows it: control bytes escaped.
static String shown(Arena* arena, String path) { return string_escape_control_bytes(arena, path); }

BuildTargetKind build_check_target(String target) {
    Scratch scratch;
    OsFileProperties props = os_path_properties(target);
    BuildTargetKind kind = props.exists ? (props.is_directory ? BUILD_TARGET_DIRECTORY : BUILD_TARGET_DOCUMENT)
                                        : BUILD_TARGET_NONE;
    const char* problem = 0;
    if (kind == BUILD_TARGET_NONE) {
        problem = build_file_error_text(props.error);
    } else if (kind == BUILD_TARGET_DIRECTORY) {
        String dir = path_ensure_trailing_slash(scratch.arena, target);
        OsDirIter iter = os_dir_begin(scratch.arena, &dir);
        if (iter.error) problem = build_file_error_text(iter.error);
    } else if (!props.is_regular) {
        problem = build_file_error_text(OS_FILE_ERROR_NOT_REGULAR);
    } else if (!string_equal(path_extension(target), S("kav"))) {
        problem = "not a .kav file";
    } else {
        u32 error = OS_FILE_ERROR_NONE;
        OsFile file = os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, target, &error);
        os_close_file(file);
        if (file == OS_FILE_INVALID) problem = build_file_error_text(error);
    }
    if (!problem) return kind;
    console_print("[targ_p] was not valid\n");
    console_print("%.*s: %s\n", STR_ARG(shown(scratch.arena, target)), problem);
    return BUILD_TARGET_NONE;
}

bool build_check_root(String root) {
    Scratch scratch;
    // Without its final "/", so that a file named as the root is "not a
    // folder" rather than a path through a file.
    String trimmed = root;
    while (trimmed.size > 1 && char_is_slash(trimmed.str[trimmed.size - 1])) trimmed.size -= 1;
    OsFileProperties props = os_path_properties(trimmed);
    const char* problem = 0;
    if (props.exists && !props.is_directory) {
        problem = "not a folder";
    } else if (props.exists && !os_directory_is_writable(trimmed)) {
        problem = "cannot be written to (permission denied)";
    } else if (!props.exists && props.error != OS_FILE_ERROR_MISSING) {
        problem = build_file_error_text(props.error);
    } else if (!props.exists) {
        // A new site: its folder is made, inside a folder that exists.
        String parent = path_directory(trimmed);
        OsFileProperties parent_props = os_path_properties(parent.size ? parent : S("/"));
        if (!parent_props.is_directory) {
            problem = "does not exist, nor does the folder that would hold it";
        } else if (!os_directory_is_writable(parent.size ? parent : S("/"))) {
            problem = "does not exist and cannot be made (permission denied)";
        }
    }
    if (!problem) return true;
    console_print("[root_p] was not valid\n");
    console_print("%.*s: %s\n", STR_ARG(shown(scratch.arena, root)), problem);
    return false;
}

void build_read_limits(RunState* run, const OptionTable* options) {
    String text = option_string(options, S("max_doc_mb"));
    u64 megabytes = BUILD_DEFAULT_MAX_DOC_MB;
    bool digits = text.size > 0 && text.size <= 12;
    for (u64 i = 0; digits && i < text.size; i += 1) digits = char_is_digit(text.str[i]);
    if (digits) {
        megabytes = 0;
        for (u64 i = 0; i < text.size; i += 1) megabytes = megabytes * 10 + (text.str[i] - '0');
    }
    // 0 lifts the limit to the longest source the parser reads.
    u64 bytes = megabytes * MB(1);
    run->max_doc_size = (bytes == 0 || bytes > KAV_SOURCE_MAX) ? KAV_SOURCE_MAX : bytes;
}

static const String k_no_folder = {};

static void file_list_push(RunState* run, const String* folder, String name) {
    FileList* list = &run->files;
    FileListChunk* chunk = list->last;
    if (!chunk || chunk->count == FILE_LIST_CHUNK_NODES) {
        Arena* arena = arena_create(GB(1), KB(64));
        chunk = push_struct<FileListChunk>(arena);
        chunk->arena = arena;
        SLL_QUEUE_PUSH(list->first, list->last, chunk);
    }
    FileListNode* node = (FileListNode*)arena_push(chunk->arena, sizeof(FileListNode) + name.size + 1, alignof(FileListNode));
    chunk->nodes[chunk->count++] = node;
    node->folder = folder ? folder : &k_no_folder;
    node->name_size = name.size;
    u8* bytes = (u8*)(node + 1);
    if (name.size) memcpy(bytes, name.str, name.size);
    bytes[name.size] = 0;
    list->count += 1;
    list->total_size += node->folder->size + name.size;
}

const FileListNode* file_list_next(const FileList* list, FileListCursor* cursor) {
    if (!cursor->started) *cursor = FileListCursor{list->first, 0, true};
    while (cursor->chunk && cursor->index == cursor->chunk->count) *cursor = FileListCursor{cursor->chunk->next, 0, true};
    return cursor->chunk ? cursor->chunk->nodes[cursor->index++] : 0;
}

void file_list_release(FileList* list) {
    for (FileListChunk* chunk = list->first; chunk;) {
        FileListChunk* next = chunk->next;
        arena_release(chunk->arena);
        chunk = next;
    }
    *list = FileList{};
}

String file_list_name(const FileListNode* node) { return String{(u8*)(node + 1), node->name_size}; }

String file_list_path(Arena* arena, const FileListNode* node) {
    if (node->folder->size == 0) return string_copy(arena, file_list_name(node));
    return string_format(arena, "%.*s%.*s", STR_ARG(*node->folder), STR_ARG(file_list_name(node)));
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

// True for a name whose extension, after its last ".", is exactly "kav"; a
// name without a "." has none.
static bool is_document_name(String name) {
    u64 dot = string_find_last_byte(name, '.');
    return dot < name.size && string_equal(string_skip(name, dot + 1), S("kav"));
}

// True when the real path `real` is `dir` (a real path) or lies below it.
static bool real_path_within(String real, String dir) {
    if (string_equal(dir, S("/"))) return real.size > 0;
    return string_equal(real, dir) ||
           (real.size > dir.size && string_starts_with(real, dir, 0) && real.str[dir.size] == '/');
}

void build_collect_sources(RunState* run, String target, BuildTargetKind kind) {
    if (kind == BUILD_TARGET_NONE) return;
    if (kind == BUILD_TARGET_DOCUMENT) {
        // Only a document is read, also when it is the whole target.
        if (string_equal(path_extension(target), S("kav"))) file_list_push(run, 0, target);
        return;
    }

    Scratch scratch(run->arena);
    VisitedSet visited = {push_array<VisitedNode*>(scratch.arena, VISITED_SLOT_COUNT)};
    OsFileProperties target_props = os_path_properties(target);
    if (target_props.is_directory) visited_insert(scratch.arena, &visited, target_props.device, target_props.inode);
    // Links are followed only where they stay inside the target: a link to
    // "/" (as every process has in /proc) would walk the whole system.
    String target_real = os_real_path(scratch.arena, target);

    DirQueueNode* first = push_struct<DirQueueNode>(scratch.arena);
    first->path = path_ensure_trailing_slash(scratch.arena, target);
    DirQueueNode* last = first;
    // One folder's listing at a time, in an arena that goes back to the
    // system after the walk: a folder of many thousand documents would
    // otherwise leave megabytes resident in the thread's scratch.
    Arena* listing = arena_create(GB(1), KB(64));
    u64 listing_start = arena_pos(listing);
    for (DirQueueNode* dir = first; dir; dir = dir->next) {
        arena_pop_to(listing, listing_start);
        String dir_path = dir->path;
        OsDirIter iter = os_dir_begin(listing, &dir_path);
        if (iter.error) {
            console_print("Skipped folder %.*s: %s\n", STR_ARG(shown(listing, dir_path)),
                          build_file_error_text(iter.error));
        }
        const String* folder = 0;  // the folder's path in the run's arena, made with its first document
        OsDirEntry entry;
        while (os_dir_next(listing, &iter, &entry)) {
            if (entry.flags & OS_DIR_ENTRY_DIRECTORY) {
                String path = string_format(scratch.arena, "%.*s%.*s/", STR_ARG(dir_path), STR_ARG(entry.name));
                if (entry.flags & OS_DIR_ENTRY_SYMLINK) {
                    String real = os_real_path(scratch.arena, path);
                    if (!real.size || !target_real.size || !real_path_within(real, target_real)) {
                        console_print("Skipped folder %.*s: a link that leads outside the target\n",
                                      STR_ARG(shown(scratch.arena, path)));
                        continue;
                    }
                }
                if (!visited_insert(scratch.arena, &visited, entry.device, entry.inode)) continue;
                DirQueueNode* node = push_struct<DirQueueNode>(scratch.arena);
                node->path = path;
                last->next = node;
                last = node;
            } else if (is_document_name(entry.name)) {
                if (!folder) {
                    String* kept = push_struct<String>(run->arena);
                    *kept = string_copy(run->arena, dir_path);
                    folder = kept;
                }
                file_list_push(run, folder, entry.name);
            }
        }
    }
    arena_release(listing);
}

// ---- Parse phase -------------------------------------------------------------------

bool build_path_inside_root(String path, String root) {
    if (root.size == 0 || path.size <= root.size) return false;
    Scratch scratch;
    // "." and ".." resolved for every kind of path, drive paths included.
    StringList parts = path_normalize(scratch.arena, path_split(scratch.arena, path));
    StringJoin join = {String{}, S("/"), String{}};
    String full = string_list_join(scratch.arena, &parts, &join);
    return full.size > root.size && string_starts_with(full, root, 0);
}

// How a page's record starts in the spool; its name and title follow.
struct BuildPageRecord {
    u32 folder;
    u32 name_size;
    u32 title_size;
};

// Spools the page's record (its folder, file name and title) for the report
// and the home page, and gives the state the page writer fills in.
static BuildPageState* add_build_page(RunState* run, String path, String title) {
    BuildPages* pages = &run->pages;
    if (!pages->records_open) {
        // Beside the pages: the root is the one folder the build writes to.
        spool_open(&pages->records, run->site->settings.root);
        ArenaParams params = {};
        params.flags = ARENA_NO_CHAIN;  // the states stay one array
        params.reserve_size = GB(4);
        params.commit_size = KB(64);
        pages->states = arena_create(params);
        pages->first_state = (BuildPageState*)arena_push(pages->states, 0, alignof(BuildPageState));
        pages->records_open = true;
    }
    BuildPageState* state = push_struct<BuildPageState>(pages->states);
    if (!state) return 0;  // a billion pages
    pages->count += 1;
    String name = path_file_name(path);
    if (!pages->folders.arena) pages->folders = string_table(run->arena);
    String folder = string_prefix(path, path.size - name.size);
    BuildPageRecord record = {string_table_add(&pages->folders, folder)->number, (u32)name.size, (u32)title.size};
    spool_append(&pages->records, String{(u8*)&record, sizeof(record)});
    spool_append(&pages->records, name);
    spool_append(&pages->records, title);
    return state;
}

String build_page_path(Arena* arena, const BuildPage* page) {
    return string_format(arena, "%.*s%.*s", STR_ARG(page->folder), (int)page->name_size, page->name);
}

BuildPage* build_page_next(BuildPages* pages, BuildPageCursor* cursor) {
    if (cursor->index >= pages->count) {
        build_page_cursor_end(cursor);
        return 0;
    }
    const u8* bytes = spool_read(&pages->records, &cursor->spool, sizeof(BuildPageRecord));
    BuildPageRecord record = {};
    if (bytes) memcpy(&record, bytes, sizeof(record));
    const u8* strings = bytes ? spool_read(&pages->records, &cursor->spool, (u64)record.name_size + record.title_size) : 0;
    if (!strings || record.folder >= pages->folders.count) {
        build_page_cursor_end(cursor);
        return 0;
    }
    BuildPage* page = &cursor->page;
    page->folder = string_table_at(&pages->folders, record.folder)->string;
    page->name = strings;
    page->name_size = record.name_size;
    page->title = strings + record.name_size;
    page->title_size = record.title_size;
    page->state = &pages->first_state[cursor->index];
    cursor->index += 1;
    return page;
}

void build_page_cursor_end(BuildPageCursor* cursor) {
    spool_cursor_end(&cursor->spool);
    *cursor = BuildPageCursor{};
}

static DiagnosticList* new_wrong_paths(RunState* run) {
    WrongPathsNode* node = push_struct<WrongPathsNode>(run->arena);
    SLL_QUEUE_PUSH(run->wrong_paths_first, run->wrong_paths_last, node);
    return &node->list;
}

// Prints why a listed document is not parsed.
static void print_skipped_document(RunState* run, String path, FileKey key) {
    Scratch scratch;
    String name = shown(scratch.arena, path);
    if (key.error == OS_FILE_ERROR_TOO_LARGE) {
        console_print("Skipped %.*s: %llu MB, more than max_doc_mb=%llu\n", STR_ARG(name),
                      (unsigned long long)((key.size + MB(1) - 1) / MB(1)), (unsigned long long)(run->max_doc_size / MB(1)));
    } else {
        console_print("Skipped %.*s: %s\n", STR_ARG(name), build_file_error_text(key.error));
    }
}

// ---- Documents on every core ---------------------------------------------------------

// A page and its raw view as written, made by a worker.
// What a worker hands to the commit for one document, in its slot's arena.
struct DocumentResult {
    String path;
    FileKey key;    // how the read went: a document with an error is skipped
    String bytes;   // kept by the file service; without a leading byte-order mark
    DocumentPages pages;
};

struct DocumentsRun {
    RunState* run;
    FileListChunk** chunks;  // the documents, in order, FILE_LIST_CHUNK_NODES a chunk
    DeferredDocument** deferred;  // final pass: the documents it goes over
    u64 count;
};

// Files requested ahead of the one being read, so the streamers read in
// parallel with parsing.
#define BUILD_READ_AHEAD 32
// Documents worked on ahead of the last one committed.
#define BUILD_WINDOW 32

// Documents per thread below which another thread is not started: starting
// one costs more than a few small documents take, so a handful of documents
// is built on the calling thread alone.
#define BUILD_DOCUMENTS_PER_THREAD 8

u32 build_default_threads(u64 documents) {
    u64 wanted = MAX(documents / BUILD_DOCUMENTS_PER_THREAD, (u64)1);
    return (u32)MIN((u64)os_system_info()->processor_count, wanted);
}

// The document at `index`.
static const FileListNode* run_source(const DocumentsRun* d, u64 index) {
    return d->chunks[index / FILE_LIST_CHUNK_NODES]->nodes[index % FILE_LIST_CHUNK_NODES];
}

// The parse phase is done with the document at `index`: its chunk goes back
// with the chunk's last document. Workers only look at documents after the
// last one committed, so nothing reads a chunk given back.
static void run_source_done(DocumentsRun* d, u64 index) {
    FileListChunk* chunk = d->chunks[index / FILE_LIST_CHUNK_NODES];
    chunk->done += 1;
    if (chunk->done < chunk->count) return;
    d->chunks[index / FILE_LIST_CHUNK_NODES] = 0;
    arena_release(chunk->arena);
}

// Reads document `index` (asking for the next ones on the way). A document
// that cannot be read, or is too large, keeps the reason in `result->key`.
static void fetch_document(DocumentsRun* d, u64 index, DocumentResult* result) {
    u64 limit = d->run->max_doc_size;
    for (u64 k = index + 1; k < d->count && k <= index + BUILD_READ_AHEAD; k += 1) {
        Scratch scratch;
        fs_request_file_up_to(file_list_path(scratch.arena, run_source(d, k)), limit, 0);
    }
    FileKey key = fs_request_file_up_to(result->path, limit, DEADLINE_NONE);
    // A path the service cannot even queue is far beyond the system's limit.
    if (fs_key_is_zero(key)) key.error = OS_FILE_ERROR_NAME_TOO_LONG;
    result->key = key;
    if (key.error != OS_FILE_ERROR_NONE) return;
    result->bytes = document_text(fs_loaded_file(key));
}

String document_text(String bytes) {
    return string_starts_with(bytes, S("\xEF\xBB\xBF"), 0) ? string_skip(bytes, 3) : bytes;
}

// The page at `page_path` of a large document, in pieces in `out`: its
// body is parsed again a part at a time and written out as it is
// converted, on to a spool in `spool_dir`, so neither the page's DOM nor a
// tree, nor memory at all, ever holds all of it.
static PagePieces large_page_text(const Site* site, const KavParseResult* document, String path, String page_path,
                                  Arena* out, String spool_dir) {
    Arena* arena = arena_create(GB(8), KB(64));
    Arena* body_parse = arena_create(GB(8), MB(1));
    BodyStream stream = body_stream_make(out);
    PagePieces page = {};
    page.spool = push_struct<Spool>(out);
    spool_open(page.spool, spool_dir);
    stream.spool = page.spool;
    stream.spool_mark = html_text_mark(arena);
    PageBuilder builder = page_builder(site, arena);
    builder.stream = &stream;
    builder.body_parse_arena = body_parse;
    HtmlPage html = {};
    build_page(&builder, &html, document, path, page_path);
    StringList pieces = {};
    HtmlTextWriter writer = html_text_writer(out, &pieces, true);
    html_text_writer_node(&writer, html.document.root);
    html_text_writer_flush(&writer);
    html_text_split_at_mark(&pieces, stream.spool_mark, &page.before, &page.after);
    body_stream_release(&stream);
    arena_release(body_parse);
    arena_release(arena);
    return page;
}

// The pages of `document`, the parsed `bytes`.
static void document_pages_of(const RunState* run, String path, String bytes, const KavParseResult* parsed,
                              CheckFiles when, u32 flags, Arena* out, DocumentPages* result) {
    const Site* site = run->site;
    Scratch scratch(out);
    KavParseResult document = *parsed;
    StringList outputs = {};
    check_output_paths(scratch.arena, site, &document, &outputs);
    if (flags & DOCUMENT_DIAGNOSTICS) {
        // Names with control bytes are shown escaped on the console.
        String shown_path = shown(scratch.arena, path);
        result->diagnostics = diag_format_list(out, &document.diagnostics, shown_path, bytes, run->diagnostic_form);
    }
    for (Diagnostic* d = document.diagnostics.first; d; d = d->next) {
        if (d->level == DIAG_ERROR || d->level == DIAG_FATAL) result->errors = 1;
    }
    result->draft = string_match(document.status, S("draft"), MATCH_CASE_INSENSITIVE);
    if (!result->draft) {
        for (StringNode* n = outputs.first; n; n = n->next) {
            if (string_equal(path_extension(n->string), S("html"))) {
                string_list_push(out, &result->page_paths, string_copy(out, n->string));
            }
        }
        if (result->page_paths.first) result->title = page_title(out, &document, path);
        KavPositionCursor cursor = {};
        for (KavNodeCell* cell = document.urls.first; cell && (flags & DOCUMENT_URLS); cell = cell->next) {
            TextPosition at = kav_position_at(bytes, &cursor, cell->node->offset);
            string_list_push(out, &result->urls, string_copy(out, cell->node->text));
            string_list_pushf(out, &result->locations, "%.*s:%lld:%lld", STR_ARG(path), (long long)at.line,
                              (long long)at.column);
        }
    }
    if (!check_file_words(out, site, &document, path, when, &result->wrong_paths)) {
        result->deferred = 1;
        return;
    }
    if (result->draft) return;
    // Each page and its raw view are assembled in scratch memory; their text
    // is kept in `out`. A path named again shares the texts made for it
    // first: a document repeating one output path makes its page once.
    u64 capacity = 16;
    while (capacity < 2 * result->page_paths.node_count) capacity *= 2;
    PageTexts** made = push_array<PageTexts*>(scratch.arena, capacity);
    StringNode** made_paths = push_array<StringNode*>(scratch.arena, capacity);
    for (StringNode* n = result->page_paths.first; n; n = n->next) {
        Scratch page_scratch(out);
        PageTexts* texts = push_struct<PageTexts>(out);
        u64 slot = string_hash(n->string) & (capacity - 1);
        while (made[slot] && !string_equal(made_paths[slot]->string, n->string)) slot = (slot + 1) & (capacity - 1);
        if (made[slot]) {
            *texts = *made[slot];
            texts->next = 0;
            texts->shares = made[slot];
            SLL_QUEUE_PUSH(result->pages_first, result->pages_last, texts);
            continue;
        }
        made[slot] = texts;
        made_paths[slot] = n;
        if (bytes.size >= run->large_document_bytes) {
            PagePieces pieces = large_page_text(site, &document, path, n->string, out, site->settings.root);
            if (flags & DOCUMENT_PAGE_PIECES) {
                texts->page_pieces = pieces;
            } else {
                texts->page = page_pieces_join(out, &pieces);
                page_pieces_close(&pieces);
            }
        } else {
            PageBuilder builder = page_builder(site, page_scratch.arena);
            HtmlPage page = {};
            build_page(&builder, &page, &document, path, n->string);
            texts->page = html_serialize_to_string(out, page.document.root);
        }
        texts->raw_path = build_raw_path(out, n->string);
        // A large document's raw views are made once its facts are gone.
        if (bytes.size < run->large_document_bytes) {
            PageBuilder raw_builder = page_builder(site, page_scratch.arena);
            HtmlPage raw = {};
            build_raw_page(&raw_builder, &raw, bytes, texts->raw_path);
            texts->raw = html_serialize_to_string(out, raw.document.root);
        }
        SLL_QUEUE_PUSH(result->pages_first, result->pages_last, texts);
    }
}

// The raw views of a large document's pages, in pieces in `out`: its
// escaped source is made once per view and never copied.
static void large_raw_views(const RunState* run, String bytes, u32 flags, Arena* out, DocumentPages* result) {
    for (PageTexts* texts = result->pages_first; texts; texts = texts->next) {
        if (texts->shares) {
            texts->raw = texts->shares->raw;
            texts->raw_pieces = texts->shares->raw_pieces;
            continue;
        }
        Arena* arena = arena_create(GB(1), KB(64));
        PageBuilder raw_builder = page_builder(run->site, arena);
        HtmlPage raw = {};
        build_raw_page(&raw_builder, &raw, bytes, texts->raw_path, out);
        StringList pieces = {};
        HtmlTextWriter writer = html_text_writer(out, &pieces, true);
        html_text_writer_node(&writer, raw.document.root);
        html_text_writer_flush(&writer);
        if (flags & DOCUMENT_PAGE_PIECES) {
            texts->raw_pieces.before = pieces;
        } else {
            texts->raw = string_list_join(out, &pieces);
        }
        arena_release(arena);
    }
}

// Scratch memory of its own for the calling thread, returned to the system
// at the end, so that what a large document needed for a while (the
// parser's working memory, the page's) does not stay resident.
struct OwnScratch {
    ThreadContext* previous;
    ThreadContext own;
};

static void own_scratch_begin(OwnScratch* s) {
    s->previous = thread_context_get();
    s->own = *s->previous;
    ThreadContext fresh = thread_context_create();
    s->own.scratch[0] = fresh.scratch[0];
    s->own.scratch[1] = fresh.scratch[1];
    thread_context_set(&s->own);
}

static void own_scratch_end(OwnScratch* s) {
    thread_context_set(s->previous);
    thread_context_release(&s->own);
}

void document_pages(const RunState* run, String path, String bytes, CheckFiles when, u32 flags, Arena* out,
                    DocumentPages* result) {
    if (bytes.size == 0 || bytes.size < run->large_document_bytes) {
        Scratch scratch(out);
        KavParseResult document = kav_parse_document(scratch.arena, bytes, path);
        document_pages_of(run, path, bytes, &document, when, flags, out, result);
        return;
    }
    // What the pages need before their bodies, in an arena of its own; the
    // parser's working memory goes before the pages are made.
    Arena* work = arena_create(GB(8), MB(1));
    OwnScratch parsing = {};
    own_scratch_begin(&parsing);
    KavParseResult document = kav_parse_document_facts(work, bytes, path);
    own_scratch_end(&parsing);
    OwnScratch paging = {};
    own_scratch_begin(&paging);
    document_pages_of(run, path, bytes, &document, when, flags, out, result);
    own_scratch_end(&paging);
    arena_release(work);
    large_raw_views(run, bytes, flags, out, result);
}

// A worker's part of a document: read it (in the first pass), then parse,
// check, and the pages when every file word is decided.
static void work_document(void* context, u64 index, WorkSlot* slot) {
    DocumentsRun* d = (DocumentsRun*)context;
    Arena* out = slot->arena;
    DocumentResult* result = push_struct<DocumentResult>(out);
    slot->result = result;
    result->path = d->deferred ? d->deferred[index]->path : file_list_path(out, run_source(d, index));
    if (d->deferred) {
        result->bytes = d->deferred[index]->bytes;
    } else {
        fetch_document(d, index, result);
        if (result->key.error != OS_FILE_ERROR_NONE) return;
    }
    // The final pass printed its diagnostics and submitted its URLs already.
    CheckFiles when = d->deferred ? CHECK_FILES_FINAL : CHECK_FILES_ON_DISK;
    u32 flags = DOCUMENT_PAGE_PIECES | (d->deferred ? 0u : (u32)(DOCUMENT_DIAGNOSTICS | DOCUMENT_URLS));
    document_pages(d->run, result->path, result->bytes, when, flags, out, &result->pages);
}

// Hands a document's pages and raw views to the page writer; `pages` has
// one entry per page text, null for a path an earlier page took. A raw view
// never replaces a page of the build: one seen before it, or (in the final
// pass) any.
static void write_document_pages(RunState* run, DocumentResult* result, BuildPageState** pages) {
    u64 k = 0;
    bool in_place = false;
    StringNode* path = result->pages.page_paths.first;
    for (PageTexts* texts = result->pages.pages_first; texts && path; texts = texts->next, path = path->next, k += 1) {
        BuildPageState* page = pages[k];
        if (!page) continue;
        // The texts go to the writer's own memory: nothing is kept here. A
        // large page comes in pieces and is written from them, with its raw
        // view: copies would hold them twice.
        in_place |= texts->page_pieces.before.first != 0;
        page_writer_add_page(path->string, texts->page, &texts->page_pieces, &page->written);
        if (site_has_output_path(run->site, texts->raw_path)) continue;
        page->has_raw = 1;
        page_writer_add_page(texts->raw_path, texts->raw, &texts->raw_pieces, &page->raw_written);
    }
    // Pages written from this document's memory are stored before it goes.
    if (in_place) page_writer_drain();
    for (PageTexts* texts = result->pages.pages_first; texts; texts = texts->next) {
        if (!texts->shares) page_pieces_close(&texts->page_pieces);
    }
}

// The main thread's part, in document order: the console, the page
// records, sections, URLs, and the pages to the writer.
static void commit_document(void* context, u64 index, WorkSlot* slot) {
    DocumentsRun* d = (DocumentsRun*)context;
    RunState* run = d->run;
    DocumentResult* result = (DocumentResult*)slot->result;
    run_source_done(d, index);  // the result holds its own copy of the path
    if (result->key.error != OS_FILE_ERROR_NONE) {
        print_skipped_document(run, result->path, result->key);
        fs_release_file(result->path);
        return;
    }
    run->kav_count += 1;
    console_print("%.*s", STR_ARG(result->pages.diagnostics));
    Scratch scratch;
    u64 page_count = result->pages.page_paths.node_count;
    BuildPageState** pages = push_array<BuildPageState*>(scratch.arena, MAX(page_count, 1ull));
    if (!result->pages.draft) {
        for (StringNode* n = result->pages.urls.first, *l = result->pages.locations.first; n && l; n = n->next, l = l->next) {
            url_check_submit_found(n->string, l->string);
        }
        String source_name = shown(scratch.arena, path_file_name(result->path));
        u64 k = 0;
        for (StringNode* n = result->pages.page_paths.first; n; n = n->next, k += 1) {
            // Two documents (or one, twice) with one page path: the first
            // one's page is written, the other is named and left out.
            if (site_has_output_path(run->site, n->string)) {
                String page = shown(scratch.arena, n->string);
                console_print("warning: %.*s is already the page of an earlier document; %.*s does not replace it\n",
                              STR_ARG(page), STR_ARG(source_name));
                continue;
            }
            pages[k] = add_build_page(run, n->string, result->pages.title);
            site_add_output_path(run->site, n->string);
            console_print("\t%.*s\n", STR_ARG(source_name));
            build_add_section(run, n->string);
        }
    }
    if (run->on_document) {
        StringList none = {};
        run->on_document(run->on_document_context, result->path, result->pages.draft,
                         result->pages.draft ? &none : &result->pages.page_paths, result->pages.title);
    }
    if (!result->pages.deferred) {
        write_document_pages(run, result, pages);
        // The pages hold their own text: the document's bytes can go.
        fs_release_file(result->path);
        return;
    }
    // Only a document that waits can have missing files (drafts too): its
    // list takes its place among the others in document order.
    DeferredDocument* deferred = push_struct<DeferredDocument>(run->arena);
    deferred->path = string_copy(run->arena, result->path);  // the slot's copy goes with the slot
    deferred->bytes = result->bytes;
    deferred->pages = push_array_no_zero<BuildPageState*>(run->arena, MAX(page_count, 1ull));
    for (u64 k = 0; k < page_count; k += 1) deferred->pages[k] = pages[k];
    deferred->wrong_paths = new_wrong_paths(run);
    SLL_QUEUE_PUSH(run->deferred_first, run->deferred_last, deferred);
    run->deferred_count += 1;
}

// Documents that waited for every page of the build: their missing paths
// (copied out of the slot) and their pages.
static void commit_deferred(void* context, u64 index, WorkSlot* slot) {
    DocumentsRun* d = (DocumentsRun*)context;
    RunState* run = d->run;
    DocumentResult* result = (DocumentResult*)slot->result;
    DeferredDocument* deferred = d->deferred[index];
    for (Diagnostic* w = result->pages.wrong_paths.first; w; w = w->next) {
        diag_append_at(run->arena, deferred->wrong_paths, 0, w->offset, w->level, string_copy(run->arena, w->message));
    }
    write_document_pages(run, result, deferred->pages);
    fs_release_file(deferred->path);
}

void build_parse_phase(RunState* run) {
    console_print("KAV (parsing):\n");
    // Only documents are read; other files are passed over.
    Scratch scratch(run->arena);
    // The walk lists documents only, in the order they are built.
    u64 count = run->files.count;
    FileListChunk** chunks = push_array<FileListChunk*>(scratch.arena, count / FILE_LIST_CHUNK_NODES + 1);
    u64 chunk_count = 0;
    for (FileListChunk* chunk = run->files.first; chunk; chunk = chunk->next) chunks[chunk_count++] = chunk;
    run->files = FileList{};

    u32 threads = run->threads ? run->threads : build_default_threads(count);
    DocumentsRun first = {run, chunks, 0, count};
    work_ordered(count, threads, BUILD_WINDOW, work_document, commit_document, &first);

    if (run->deferred_count) {
        DeferredDocument** deferred = push_array_no_zero<DeferredDocument*>(scratch.arena, run->deferred_count);
        u64 k = 0;
        for (DeferredDocument* e = run->deferred_first; e; e = e->next) deferred[k++] = e;
        DocumentsRun final = {run, 0, deferred, run->deferred_count};
        work_ordered(run->deferred_count, threads, BUILD_WINDOW, work_document, commit_deferred, &final);
    }
    // Every page handed to the writer is stored before the phase ends.
    page_writer_drain();
}

// ---- Pages -------------------------------------------------------------------------

String build_raw_path(Arena* arena, String output_path) {
    String name = path_file_name(output_path);
    if (name.size == output_path.size) return string_format(arena, "raw_%.*s", STR_ARG(name));
    String dir = string_prefix(output_path, output_path.size - name.size - 1);
    return string_format(arena, "%.*s/raw_%.*s", STR_ARG(dir), STR_ARG(name));
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
        for (Diagnostic* d = node->list.first; d; d = d->next)
            string_list_pushf(scratch.arena, &list, "\t%.*s\n", STR_ARG(d->message));
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
             "  site_title=TEXT   the site's name: the title of a new site's head template and\n"
             "                    of the home page (\"TEXT | Home\")\n"
             "  consent_url=URL   consent endpoint, also the connection test\n"
             "                    (default https://consent.youtube.com/save)\n"
             "  ca_file=PATH      PEM bundle of trusted certificate authorities for every request\n"
             "  url_workers=N     number of URL-check workers (default 16: checking waits on\n"
             "                    the network, it does not compute)\n"
             "  max_doc_mb=N      documents larger than N MiB are skipped unread\n"
             "                    (default 64; 0 for no limit)\n"
             "  no_wait           stop (exit status 2) instead of waiting when another build\n"
             "                    is using the same site root\n"
             "  threads=N         threads that parse documents and build pages (default: one per\n"
             "                    processor, one per 8 documents for fewer)\n"
             "  diagnostics=line  print each diagnostic on one line, path:line:column: level: message\n"
             "  watch             after the build, keep running and rebuild what each change of a\n"
             "                    document, template or style sheet touches; Ctrl-C stops\n"
             "  serve[=PORT]      watch, and serve the site's html/ folder on 127.0.0.1 (default\n"
             "                    port 8008, or the next free one); open pages reload by themselves\n"
             "  help              print this text and exit\n"
             "  version           print the version and exit\n"
             "\n"
             "Exit status: 0 built, 1 a page failed to write, 2 aborted (also: the root is\n"
             "in use and no_wait was given).\n");
}
