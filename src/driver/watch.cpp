#include "driver/watch.h"

#include <xxhash.h>

#include "base/ordered_work.h"
#include "base/os.h"
#include "driver/file_service.h"
#include "driver/page_writer.h"
#include "driver/serve.h"
#include "htmldom/html_dom.h"
#include "site/index_page.h"
#include "site/shared_resources.h"
#include "urlcheck/known_searches.h"

// An editor's save is several events (write, close, rename, attributes):
// changes are taken once the folders have been quiet this long.
#define WATCH_QUIET_US (20ull * 1000)
// A stream of changes that never goes quiet (a checkout) is taken in
// pieces this long.
#define WATCH_GATHER_LIMIT_US (500ull * 1000)
// Folders that are missing (not made yet, or deleted) are looked for again
// this often.
#define WATCH_RETRY_US (1000ull * 1000)
#define WATCH_SLOT_COUNT 4096
// Documents worked on ahead of the last one committed in a rebuild of many.
#define WATCH_WINDOW 32

// ---- Records -------------------------------------------------------------------------

// A page of a document as last built. The hashes tell which pages a rebuild
// changed; 0 until the page is built again (the first build keeps none).
struct WatchPage {
    String path;  // absolute
    u64 page_hash;
    u64 raw_hash;
};

enum WatchDocumentState : u32 {
    WATCH_PUBLISHED = 0,  // built; its pages are on the home page
    WATCH_DRAFT = 1,      // read, status draft: no pages
    WATCH_GONE = 2,       // removed; its last pages stay on disk
    WATCH_NEW = 3,        // found, not built yet
};

struct WatchDocument {
    WatchDocument* next;        // in its slot
    WatchDocument* dirty_next;  // in the list of documents to rebuild
    String path;
    u64 order;   // place in the walk of the target: the order of a build
    u32 state;   // WatchDocumentState
    u32 in_walk;  // found by the last walk of the target
    u32 dirty;    // to be rebuilt by the current pass
    String title;
    WatchPage* pages;  // one per html output path below the root, in order
    u64 page_count;
};

// How many published documents build a page path: a path built by two is
// written by the first one only, as a whole build leaves it.
struct WatchPathCount {
    WatchPathCount* next;
    String path;
    u64 count;
};

// A template or style sheet as the site was last built from it. Changes are
// found by content, so the program's own rewrites of these files (and saves
// that change nothing) rebuild nothing.
struct WatchSharedFile {
    WatchSharedFile* next;
    String path;
    u64 hash;
    u32 exists;
};

enum WatchSharedKind : u32 {
    WATCH_SHARED_NONE = 0,
    WATCH_SHARED_TEMPLATE = 1,        // head or menu template
    WATCH_SHARED_STYLE_SHEET = 2,     // a style sheet of html/shared/css/
    WATCH_SHARED_KAV_CSS = 3,         // css_kav.css, inside every page
    WATCH_SHARED_KNOWN_SEARCHES = 4,  // kn_searchs.txt
};

// A folder to watch, looked for again while it is missing.
struct WatchFolder {
    String path;  // ends in "/"
    u32 flags;    // OsWatchFlags
    u32 is_target;
};

#define WATCH_FOLDER_COUNT 5

struct Watch {
    RunState* run;
    Site* site;
    OsWatch* os;
    Arena* arena;   // records; grows with new documents and changed titles or pages
    Arena* work;    // one pass's memory, emptied when the next begins
    u64 work_base;
    Arena* events;  // one wait's changes
    u64 events_base;
    String target;  // absolute, without a trailing "/"
    u32 target_is_document;
    String html_folder;      // <root>html/
    String template_folder;  // <root>html/shared/html/
    String css_folder;       // <root>html/shared/css/
    String kav_css_path;
    String known_searches_path;
    WatchFolder folders[WATCH_FOLDER_COUNT];  // [0] the target's folder
    WatchDocument** slots;  // WATCH_SLOT_COUNT, by path
    WatchDocument** ordered;  // the documents of the last walk, in its order
    u64 ordered_count;
    u64 ordered_capacity;
    WatchPathCount** path_slots;  // WATCH_SLOT_COUNT, by page path
    WatchSharedFile* shared;
    u32 serve;
    u16 port;
    Server* server;
};

static WatchDocument* watch_find(Watch* w, String path) {
    for (WatchDocument* d = w->slots[string_hash(path) % WATCH_SLOT_COUNT]; d; d = d->next) {
        if (string_equal(d->path, path)) return d;
    }
    return 0;
}

static WatchDocument* watch_find_or_add(Watch* w, String path) {
    WatchDocument* doc = watch_find(w, path);
    if (doc) return doc;
    doc = push_struct<WatchDocument>(w->arena);
    doc->path = string_copy(w->arena, path);
    doc->state = WATCH_NEW;
    doc->order = ~(u64)0;
    SLL_STACK_PUSH(w->slots[string_hash(path) % WATCH_SLOT_COUNT], doc);
    return doc;
}

static void watch_append_ordered(Watch* w, WatchDocument* doc) {
    if (w->ordered_count == w->ordered_capacity) {
        u64 capacity = MAX(w->ordered_capacity * 2, (u64)1024);
        WatchDocument** grown = push_array_no_zero<WatchDocument*>(w->arena, capacity);
        for (u64 i = 0; i < w->ordered_count; i += 1) grown[i] = w->ordered[i];
        w->ordered = grown;
        w->ordered_capacity = capacity;
    }
    doc->order = w->ordered_count;
    doc->in_walk = 1;
    w->ordered[w->ordered_count++] = doc;
}

static WatchPathCount* watch_path_count(Watch* w, String path, bool add) {
    WatchPathCount** slot = &w->path_slots[string_hash(path) % WATCH_SLOT_COUNT];
    for (WatchPathCount* c = *slot; c; c = c->next) {
        if (string_equal(c->path, path)) return c;
    }
    if (!add) return 0;
    WatchPathCount* c = push_struct<WatchPathCount>(w->arena);
    c->path = string_copy(w->arena, path);
    SLL_STACK_PUSH(*slot, c);
    return c;
}

static void watch_count_pages(Watch* w, const WatchDocument* doc, s64 delta) {
    for (u64 i = 0; i < doc->page_count; i += 1) {
        watch_path_count(w, doc->pages[i].path, true)->count += (u64)delta;
    }
}

// Replaces the document's pages by `paths`, keeping what is known of the
// pages that stay.
static void watch_set_pages(Watch* w, WatchDocument* doc, const StringList* paths) {
    watch_count_pages(w, doc, -1);
    u64 count = paths ? paths->node_count : 0;
    WatchPage* pages = count ? push_array<WatchPage>(w->arena, count) : 0;
    u64 i = 0;
    for (StringNode* n = paths ? paths->first : 0; n; n = n->next, i += 1) {
        pages[i].path = string_copy(w->arena, n->string);
        for (u64 k = 0; k < doc->page_count; k += 1) {
            if (string_equal(doc->pages[k].path, n->string)) {
                pages[i].page_hash = doc->pages[k].page_hash;
                pages[i].raw_hash = doc->pages[k].raw_hash;
                break;
            }
        }
        site_add_output_path(w->site, n->string);
    }
    doc->pages = pages;
    doc->page_count = count;
    watch_count_pages(w, doc, +1);
}

static bool watch_pages_equal(const WatchDocument* doc, const StringList* paths) {
    if (doc->page_count != paths->node_count) return false;
    u64 i = 0;
    for (StringNode* n = paths->first; n; n = n->next, i += 1) {
        if (!string_equal(doc->pages[i].path, n->string)) return false;
    }
    return true;
}

// True when `doc` writes the page at `path`: no earlier document in the
// order builds the same path (the first one keeps it, as in a build).
static bool watch_owns_page(Watch* w, const WatchDocument* doc, String path) {
    WatchPathCount* count = watch_path_count(w, path, false);
    if (!count || count->count <= 1) return true;
    for (u64 i = 0; i < doc->order && i < w->ordered_count; i += 1) {
        const WatchDocument* earlier = w->ordered[i];
        if (earlier->state != WATCH_PUBLISHED) continue;
        for (u64 k = 0; k < earlier->page_count; k += 1) {
            if (string_equal(earlier->pages[k].path, path)) return false;
        }
    }
    return true;
}

// The build tells about each document it commits, in order.
static void watch_on_document(void* context, String path, u32 draft, const StringList* page_paths, String title) {
    Watch* w = (Watch*)context;
    WatchDocument* doc = watch_find_or_add(w, path);
    watch_append_ordered(w, doc);
    doc->state = draft ? WATCH_DRAFT : WATCH_PUBLISHED;
    watch_set_pages(w, doc, page_paths);
    if (page_paths->node_count) doc->title = string_copy(w->arena, title);
}

// Walks the target again (the order of a build) and records the documents
// it finds; those not seen before are WATCH_NEW.
static void watch_walk(Watch* w) {
    RunState walk = {};
    walk.arena = arena_create(GB(1), KB(64));
    build_collect_sources(&walk, w->target, build_target_kind(w->target));
    for (u64 i = 0; i < w->ordered_count; i += 1) w->ordered[i]->in_walk = 0;
    w->ordered_count = 0;
    FileListCursor cursor = {};
    for (const FileListNode* node = file_list_next(&walk.files, &cursor); node; node = file_list_next(&walk.files, &cursor)) {
        if (!string_equal(path_extension(file_list_name(node)), S("kav"))) continue;
        WatchDocument* doc = watch_find_or_add(w, file_list_path(walk.arena, node));
        if (!doc->in_walk) watch_append_ordered(w, doc);
    }
    file_list_release(&walk.files);
    arena_release(walk.arena);
}

// ---- Templates and style sheets ------------------------------------------------------------

static WatchSharedKind watch_shared_kind(Watch* w, String path) {
    if (string_equal(path, w->known_searches_path)) return WATCH_SHARED_KNOWN_SEARCHES;
    if (string_equal(path, w->kav_css_path)) return WATCH_SHARED_KAV_CSS;
    String folder = path_directory(path);
    String name = path_file_name(path);
    if (string_equal(folder, string_chop(w->template_folder, 1))) {
        String head = path_file_name(S(SHARED_HEAD_TEMPLATE_PATH));
        String menu = path_file_name(S(SHARED_MENU_TEMPLATE_PATH));
        if (string_equal(name, head) || string_equal(name, menu)) return WATCH_SHARED_TEMPLATE;
    }
    if (string_equal(folder, string_chop(w->css_folder, 1)) && string_ends_with(name, S(".css"), 0)) {
        return WATCH_SHARED_STYLE_SHEET;
    }
    return WATCH_SHARED_NONE;
}

static WatchSharedFile* watch_shared_record(Watch* w, String path) {
    for (WatchSharedFile* f = w->shared; f; f = f->next) {
        if (string_equal(f->path, path)) return f;
    }
    WatchSharedFile* f = push_struct<WatchSharedFile>(w->arena);
    f->path = string_copy(w->arena, path);
    SLL_STACK_PUSH(w->shared, f);
    return f;
}

// True when the file's contents differ from what the site was last built
// from; with `take`, the record is brought up to date.
static bool watch_shared_changed(Watch* w, String path, bool take) {
    Scratch scratch;
    OsFileProperties props = os_path_properties(path);
    u32 exists = props.exists && props.is_regular;
    String bytes = exists ? os_read_whole_file(scratch.arena, path) : String{};
    u64 hash = XXH3_64bits(bytes.str, bytes.size);
    WatchSharedFile* record = watch_shared_record(w, path);
    bool changed = record->exists != exists || (exists && record->hash != hash);
    if (take) {
        record->exists = exists;
        record->hash = hash;
    }
    return changed;
}

// Records every template and style sheet as it is now.
static void watch_take_shared(Watch* w) {
    watch_shared_record(w, w->known_searches_path);
    watch_shared_record(w, w->kav_css_path);
    String folders[] = {w->template_folder, w->css_folder};
    Scratch scratch;
    for (String folder : folders) {
        OsDirIter iter = os_dir_begin(scratch.arena, &folder);
        OsDirEntry entry;
        while (os_dir_next(scratch.arena, &iter, &entry)) {
            String path = string_format(scratch.arena, "%.*s%.*s", STR_ARG(folder), STR_ARG(entry.name));
            if (watch_shared_kind(w, path) != WATCH_SHARED_NONE) watch_shared_record(w, path);
        }
    }
    for (WatchSharedFile* f = w->shared; f; f = f->next) watch_shared_changed(w, f->path, true);
}

// The hash of a file's bytes; 0 when it cannot be read.
static u64 watch_file_hash(String path) {
    Scratch scratch;
    OsFile file = os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, path);
    if (file == OS_FILE_INVALID) return 0;
    String bytes = os_read_range(scratch.arena, file, Range64{0, os_file_properties(file).size});
    os_close_file(file);
    u64 hash = XXH3_64bits(bytes.str, bytes.size);
    return hash + (hash == 0);
}

// ---- Building documents ------------------------------------------------------------------

enum WatchRead : u32 {
    WATCH_READ_OK = 0,
    WATCH_READ_MISSING = 1,  // the file is gone
    WATCH_READ_FAILED = 2,   // there, but it cannot be read
    WATCH_READ_TOO_LARGE = 3,  // larger than max_doc_mb: left unread, as a build does
};

// One document as built by a worker, in the worker's arena.
struct WatchBuilt {
    u32 read;  // WatchRead
    DocumentPages pages;
};

// Reads one document and makes its pages, as a build does once every page
// of the site is known. Touches nothing shared.
static void watch_build_document(const RunState* run, String path, Arena* out, WatchBuilt* built) {
    OsFile file = os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, path);
    if (file == OS_FILE_INVALID) {
        built->read = os_path_properties(path).exists ? WATCH_READ_FAILED : WATCH_READ_MISSING;
        return;
    }
    u64 size = os_file_properties(file).size;
    if (run->max_doc_size && size > run->max_doc_size) {
        os_close_file(file);
        built->read = WATCH_READ_TOO_LARGE;
        return;
    }
    String bytes = document_text(os_read_range(out, file, Range64{0, size}));
    os_close_file(file);
    document_pages(run, path, bytes, CHECK_FILES_FINAL, DOCUMENT_DIAGNOSTICS | DOCUMENT_PAGE_PIECES, out, &built->pages);
}

// A large document's pages are spooled: the spools go once its pages are
// written (or left out).
static void watch_built_done(WatchBuilt* built) {
    for (PageTexts* texts = built->pages.pages_first; texts; texts = texts->next) {
        if (!texts->shares) page_pieces_close(&texts->page_pieces);
    }
}

// ---- One pass: the rebuild after one burst of changes ---------------------------------------

struct WatchWrite {
    WatchWrite* next;
    String path;
    u8 written;  // set by the page writer
};

struct WatchPass {
    u64 started;     // microseconds
    u64 documents;   // documents rebuilt
    u64 pages;       // pages handed to the writer (raw views not counted)
    String only;     // the document's path when exactly one was rebuilt
    u32 templates;   // the shared resources were made again
    u32 index;       // the home page must be made again
    u32 index_done;  // it was
    u32 css;         // a style sheet changed
    StringList changed;  // site paths of the pages whose text changed
    WatchWrite* writes_first;
    WatchWrite* writes_last;
};

// Hands a page to the writer and notes, for open browsers, whether its text
// changed.
static void watch_write(Watch* w, WatchPass* pass, String path, String text, const PagePieces* pieces, u64* hash) {
    u64 h = pieces->before.first ? page_pieces_hash(pieces, 0) : XXH3_64bits(text.str, text.size);
    h += h == 0;
    // The first build kept no hashes: the page it stored tells.
    if (*hash == 0) *hash = watch_file_hash(path);
    if (h != *hash && string_starts_with(path, w->html_folder, 0)) {
        String rest = string_skip(path, w->html_folder.size);
        string_list_push(w->work, &pass->changed, string_format(w->work, "/%.*s", STR_ARG(rest)));
    }
    *hash = h;
    WatchWrite* write = push_struct<WatchWrite>(w->work);
    write->path = string_copy(w->work, path);
    SLL_QUEUE_PUSH(pass->writes_first, pass->writes_last, write);
    page_writer_add_page(path, text, pieces, &write->written);
}

// The main thread's part of one document, in document order: what it
// prints, its records, and its pages to the writer.
static void watch_commit(Watch* w, WatchPass* pass, WatchDocument* doc, WatchBuilt* built) {
    String path = doc->path;
    if (built->read == WATCH_READ_MISSING) {
        if (doc->state == WATCH_GONE) return;
        if (doc->state == WATCH_PUBLISHED && doc->page_count) {
            console_print("[watch] %.*s was removed; its pages are left in place\n", STR_ARG(path));
            pass->index = 1;
        } else if (doc->state != WATCH_NEW) {
            console_print("[watch] %.*s was removed\n", STR_ARG(path));
        }
        watch_set_pages(w, doc, 0);
        doc->state = WATCH_GONE;
        return;
    }
    if (built->read == WATCH_READ_FAILED) {
        console_print("[watch] %.*s could not be read; its pages are left as they were\n", STR_ARG(path));
        return;
    }
    if (built->read == WATCH_READ_TOO_LARGE) {
        console_print("[watch] %.*s is larger than max_doc_mb=%llu; its pages are left as they were\n", STR_ARG(path),
                      (unsigned long long)(w->run->max_doc_size / MB(1)));
        return;
    }
    console_print("%.*s", STR_ARG(built->pages.diagnostics));
    if (built->pages.wrong_paths.first) {
        console_print("\tWrong file path(s):\n");
        for (Diagnostic* d = built->pages.wrong_paths.first; d; d = d->next) console_print("\t%.*s\n", STR_ARG(d->message));
    }
    // A save in the middle of an edit often leaves an error: the reader
    // keeps the last good page until the document builds without one. A
    // document with no page yet (new, or its output path changed) is built.
    if (built->pages.errors && !built->pages.draft && doc->state == WATCH_PUBLISHED && doc->page_count &&
        watch_pages_equal(doc, &built->pages.page_paths)) {
        console_print("[watch] %.*s has errors; its last good page is kept\n", STR_ARG(path));
        return;
    }
    pass->documents += 1;
    pass->only = pass->documents == 1 ? path : String{};
    if (built->pages.draft) {
        if (doc->state == WATCH_PUBLISHED && doc->page_count) {
            console_print("[watch] %.*s is now a draft; its pages are left in place\n", STR_ARG(path));
            pass->index = 1;
        }
        watch_set_pages(w, doc, 0);
        doc->state = WATCH_DRAFT;
        return;
    }

    if (!watch_pages_equal(doc, &built->pages.page_paths)) {
        for (u64 k = 0; k < doc->page_count && doc->state == WATCH_PUBLISHED; k += 1) {
            bool kept = false;
            for (StringNode* n = built->pages.page_paths.first; n && !kept; n = n->next) {
                kept = string_equal(n->string, doc->pages[k].path);
            }
            if (!kept) {
                console_print("[watch] %.*s no longer builds %.*s; the page is left in place\n", STR_ARG(path),
                              STR_ARG(doc->pages[k].path));
            }
        }
        watch_set_pages(w, doc, &built->pages.page_paths);
        pass->index = 1;
    }
    if (doc->state != WATCH_PUBLISHED && doc->page_count) pass->index = 1;
    if (!string_equal(doc->title, built->pages.title)) {
        doc->title = string_copy(w->arena, built->pages.title);
        if (doc->page_count) pass->index = 1;
    }
    doc->state = WATCH_PUBLISHED;

    u64 i = 0;
    bool in_place = false;
    for (PageTexts* texts = built->pages.pages_first; texts && i < doc->page_count; texts = texts->next, i += 1) {
        WatchPage* page = &doc->pages[i];
        // A page another document writes is left to it, with its raw view.
        if (!watch_owns_page(w, doc, page->path)) continue;
        // A large document's page and raw view are written from its pieces.
        in_place |= texts->page_pieces.before.first != 0;
        watch_write(w, pass, page->path, texts->page, &texts->page_pieces, &page->page_hash);
        pass->pages += 1;
        // A raw view never replaces a page of the site.
        if (!site_has_output_path(w->site, texts->raw_path)) {
            watch_write(w, pass, texts->raw_path, texts->raw, &texts->raw_pieces, &page->raw_hash);
        }
    }
    // Pages written from the document's memory are stored before it goes.
    if (in_place) page_writer_drain();
}

struct WatchBatch {
    Watch* watch;
    WatchPass* pass;
    WatchDocument** documents;
};

static void watch_work(void* context, u64 index, WorkSlot* slot) {
    WatchBatch* batch = (WatchBatch*)context;
    WatchBuilt* built = push_struct<WatchBuilt>(slot->arena);
    slot->result = built;
    watch_build_document(batch->watch->run, batch->documents[index]->path, slot->arena, built);
}

static void watch_commit_slot(void* context, u64 index, WorkSlot* slot) {
    WatchBatch* batch = (WatchBatch*)context;
    watch_commit(batch->watch, batch->pass, batch->documents[index], (WatchBuilt*)slot->result);
    watch_built_done((WatchBuilt*)slot->result);
}

// Rebuilds the marked documents in document order (those the walk did not
// find last), on every core when there are several, and clears the marks.
static void watch_build_marked(Watch* w, WatchPass* pass) {
    u64 count = 0;
    WatchDocument** documents = push_array_no_zero<WatchDocument*>(w->work, MAX(w->ordered_count, (u64)1));
    for (u64 i = 0; i < w->ordered_count; i += 1) {
        if (w->ordered[i]->dirty) documents[count++] = w->ordered[i];
    }
    // Documents the walk no longer finds (removed) come last.
    u64 extra = 0;
    for (u64 s = 0; s < WATCH_SLOT_COUNT; s += 1) {
        for (WatchDocument* d = w->slots[s]; d; d = d->next) extra += d->dirty && !d->in_walk;
    }
    if (extra) {
        WatchDocument** all = push_array_no_zero<WatchDocument*>(w->work, count + extra);
        for (u64 i = 0; i < count; i += 1) all[i] = documents[i];
        for (u64 s = 0; s < WATCH_SLOT_COUNT; s += 1) {
            for (WatchDocument* d = w->slots[s]; d; d = d->next) {
                if (d->dirty && !d->in_walk) all[count++] = d;
            }
        }
        documents = all;
    }
    for (u64 i = 0; i < count; i += 1) documents[i]->dirty = 0;
    if (count == 0) return;

    if (count == 1) {
        WatchBuilt* built = push_struct<WatchBuilt>(w->work);
        watch_build_document(w->run, documents[0]->path, w->work, built);
        watch_commit(w, pass, documents[0], built);
        watch_built_done(built);
        return;
    }
    u32 threads = w->run->threads ? w->run->threads : os_system_info()->processor_count;
    WatchBatch batch = {w, pass, documents};
    work_ordered(count, threads, WATCH_WINDOW, watch_work, watch_commit_slot, &batch);
}

// The home page from every published document's pages, in document order,
// and the sections they make.
static void watch_write_index(Watch* w, WatchPass* pass) {
    Scratch scratch(w->work);
    HtmlPageNode* first = 0;
    HtmlPageNode* last = 0;
    RunState sections = {};
    sections.arena = scratch.arena;
    for (u64 i = 0; i < w->ordered_count; i += 1) {
        WatchDocument* doc = w->ordered[i];
        if (doc->state != WATCH_PUBLISHED) continue;
        for (u64 k = 0; k < doc->page_count; k += 1) {
            // A page two documents claim is listed once, under the document
            // that writes it.
            if (!watch_owns_page(w, doc, doc->pages[k].path)) continue;
            HtmlPageNode* node = push_struct<HtmlPageNode>(scratch.arena);
            node->page.path = doc->pages[k].path;
            node->page.title = doc->title;
            SLL_QUEUE_PUSH(first, last, node);
            build_add_section(&sections, doc->pages[k].path);
        }
    }
    // As in a build, a root that is a folder gets a home page even when no
    // document publishes a page any more.
    if (!first && !os_path_properties(w->site->settings.root).is_directory) return;
    pass->index_done = 1;
    String path = string_format(scratch.arena, "%.*s" INDEX_PAGE_PATH, STR_ARG(w->site->settings.root));
    u64 before = watch_file_hash(path);
    if (write_index_page(scratch.arena, w->site, first, &sections.sections)) {
        if (watch_file_hash(path) != before) string_list_push(w->work, &pass->changed, S("/index.html"));
    } else {
        console_print("\tFaiLure: %.*s" INDEX_PAGE_PATH "\n", STR_ARG(w->site->settings.root));
    }
}

static void watch_mark_all(Watch* w) {
    for (u64 i = 0; i < w->ordered_count; i += 1) w->ordered[i]->dirty = 1;
}

static void watch_report(Watch* w, WatchPass* pass) {
    page_writer_drain();
    for (WatchWrite* write = pass->writes_first; write; write = write->next) {
        if (!write->written) console_print("\tFaiLure: %.*s\n", STR_ARG(write->path));
    }
    if (pass->index) watch_write_index(w, pass);
    if (pass->templates) watch_take_shared(w);
    if (!pass->documents && !pass->index_done && !pass->templates) return;

    u64 ms = (os_now_microseconds() - pass->started + 500) / 1000;
    Scratch scratch;
    StringList parts = {};
    if (pass->documents == 1 && pass->only.size) {
        String name = path_file_name(pass->only);
        string_list_pushf(scratch.arena, &parts, "%.*s: %llu page%s", STR_ARG(name), (unsigned long long)pass->pages,
                          pass->pages == 1 ? "" : "s");
    } else if (pass->documents) {
        string_list_pushf(scratch.arena, &parts, "%llu documents: %llu page%s", (unsigned long long)pass->documents,
                          (unsigned long long)pass->pages, pass->pages == 1 ? "" : "s");
    }
    if (pass->index_done) string_list_push(scratch.arena, &parts, S("the home page"));
    StringJoin join = {String{}, S(", "), String{}};
    String what = string_list_join(scratch.arena, &parts, &join);
    console_print("[watch] %srebuilt %.*s in %llu ms\n", pass->templates ? "templates and style sheets changed: " : "",
                  STR_ARG(what), (unsigned long long)ms);

    if (w->server && (pass->changed.first || pass->css)) {
        serve_publish(w->server, &pass->changed, false, pass->css);
    }
}

// ---- Changes -----------------------------------------------------------------------------

static bool watch_is_document(Watch* w, String path) {
    if (w->target_is_document) return string_equal(path, w->target);
    return string_starts_with(path, w->folders[0].path, 0) && string_equal(path_extension(path), S("kav"));
}

enum WatchRescan : u32 {
    WATCH_RESCAN_DOCUMENTS = 1,  // every document may have changed
    WATCH_RESCAN_SHARED = 2,     // every template and style sheet may have
};

// Turns one burst of changes into a rebuild; `rescan` (WatchRescan) adds
// what may have changed unseen.
static void watch_take_changes(Watch* w, const OsWatchEvents* events, u32 rescan) {
    arena_pop_to(w->work, w->work_base);
    WatchPass pass = {};
    pass.started = os_now_microseconds();
    bool walk = rescan & WATCH_RESCAN_DOCUMENTS;
    bool all_documents = rescan & WATCH_RESCAN_DOCUMENTS;
    bool check_shared = rescan & WATCH_RESCAN_SHARED;
    for (OsWatchEvent* e = events ? events->first : 0; e; e = e->next) {
        if (e->flags & OS_WATCH_OVERFLOW) {
            walk = all_documents = check_shared = true;
            continue;
        }
        if (e->flags & OS_WATCH_FOLDER) {
            // A folder that went away takes its documents with it; shared
            // folders are looked at whole.
            String folder = string_format(w->work, "%.*s/", STR_ARG(e->path));
            bool below_target = string_starts_with(folder, w->folders[0].path, 0);
            if (below_target || string_starts_with(w->folders[0].path, folder, 0)) {
                walk = true;
                for (u64 s = 0; s < WATCH_SLOT_COUNT; s += 1) {
                    for (WatchDocument* d = w->slots[s]; d; d = d->next) {
                        if (string_starts_with(d->path, folder, 0)) d->dirty = 1;
                    }
                }
            }
            if (!below_target) check_shared = true;
            continue;
        }
        WatchSharedKind kind = watch_shared_kind(w, e->path);
        if (kind != WATCH_SHARED_NONE) {
            check_shared = true;
            continue;
        }
        if (!watch_is_document(w, e->path)) continue;
        WatchDocument* doc = watch_find_or_add(w, e->path);
        doc->dirty = 1;
        if (doc->state == WATCH_NEW || doc->state == WATCH_GONE) walk = true;
    }

    bool known_searches = false;
    if (check_shared) {
        // Compare without taking: a full rebuild takes everything afterwards.
        for (WatchSharedFile* f = w->shared; f; f = f->next) {
            WatchSharedKind kind = watch_shared_kind(w, f->path);
            if (!watch_shared_changed(w, f->path, kind == WATCH_SHARED_KNOWN_SEARCHES)) continue;
            if (kind == WATCH_SHARED_KNOWN_SEARCHES) known_searches = true;
            if (kind == WATCH_SHARED_STYLE_SHEET) pass.css = 1;
            if (kind != WATCH_SHARED_KNOWN_SEARCHES) pass.templates = 1;
        }
        // Files that were not there when the site was last built.
        String folders[] = {w->template_folder, w->css_folder};
        for (String folder : folders) {
            OsDirIter iter = os_dir_begin(w->work, &folder);
            OsDirEntry entry;
            while (os_dir_next(w->work, &iter, &entry)) {
                String path = string_format(w->work, "%.*s%.*s", STR_ARG(folder), STR_ARG(entry.name));
                WatchSharedKind kind = watch_shared_kind(w, path);
                if (kind == WATCH_SHARED_NONE || !watch_shared_changed(w, path, false)) continue;
                pass.templates = 1;
                if (kind == WATCH_SHARED_STYLE_SHEET) pass.css = 1;
            }
        }
    }
    if (known_searches) {
        String text = os_read_whole_file(w->run->arena, w->known_searches_path);
        kn_load(w->run->arena, text, w->known_searches_path);
        console_print("[watch] kn_searchs.txt reloaded\n");
    }

    if (walk) watch_walk(w);
    for (u64 i = 0; i < w->ordered_count; i += 1) {
        if (w->ordered[i]->state == WATCH_NEW) w->ordered[i]->dirty = 1;
    }
    if (pass.templates) {
        // Everything in every page may differ: the shared resources and the
        // site's templates are made again, every document rebuilt.
        generate_shared_resources(w->work, w->site);
        all_documents = true;
        pass.index = 1;
    }
    if (all_documents) watch_mark_all(w);
    watch_build_marked(w, &pass);
    watch_report(w, &pass);
}

// Watches the folders that are missing. Returns what must be looked at
// whole (WatchRescan) because its folder came back.
static u32 watch_add_missing(Watch* w, bool* any_missing) {
    u32 came_back = 0;
    *any_missing = false;
    for (u32 i = 0; i < WATCH_FOLDER_COUNT; i += 1) {
        WatchFolder* f = &w->folders[i];
        if (f->path.size == 0 || os_watch_has(w->os, f->path)) continue;
        if (os_watch_add(w->os, f->path, f->flags)) {
            came_back |= f->is_target ? WATCH_RESCAN_DOCUMENTS : WATCH_RESCAN_SHARED;
        } else {
            *any_missing = true;
        }
    }
    return came_back;
}

// ---- Entry points -------------------------------------------------------------------------

bool watch_requested(const OptionTable* options) {
    return option_flag(options, S("watch")) || serve_requested(options);
}

bool watch_prepare(const OptionTable* options) {
    if (!watch_requested(options)) return true;
    if (serve_requested(options) && serve_port_option(options) == 0) {
        String value = option_string(options, S("serve"));
        console_print("[serve] \"%.*s\" is not a port number (1 to 65535)\n", STR_ARG(value));
        console_print("aborted");
        return false;
    }
    os_termination_hold();
    return true;
}

Watch* watch_attach(RunState* run, const OptionTable* options) {
    OsWatch* os = os_watch_create();
    if (!os) {
        console_print("[watch] cannot watch for changes: the system has no watch left\n");
        return 0;
    }
    Arena* arena = arena_create(GB(1), KB(64));
    Watch* w = push_struct<Watch>(arena);
    w->arena = arena;
    w->work = arena_create(GB(8), KB(64));
    w->work_base = arena_pos(w->work);
    w->events = arena_create(GB(1), KB(64));
    w->events_base = arena_pos(w->events);
    w->os = os;
    w->run = run;
    w->site = run->site;
    w->slots = push_array<WatchDocument*>(arena, WATCH_SLOT_COUNT);
    w->path_slots = push_array<WatchPathCount*>(arena, WATCH_SLOT_COUNT);
    String root = run->site->settings.root;
    w->html_folder = string_format(arena, "%.*shtml/", STR_ARG(root));
    String templates = path_directory(S(SHARED_HEAD_TEMPLATE_PATH));
    w->template_folder = string_format(arena, "%.*s%.*s/", STR_ARG(root), STR_ARG(templates));
    w->css_folder = string_format(arena, "%.*s" SHARED_CSS_FOLDER, STR_ARG(root));
    w->kav_css_path = string_format(arena, "%.*s" SHARED_KAV_CSS_PATH, STR_ARG(root));
    w->known_searches_path = string_format(arena, "%.*skn_searchs.txt", STR_ARG(root));

    w->target = string_copy(arena, run->target);
    w->target_is_document = build_target_kind(w->target) == BUILD_TARGET_DOCUMENT;
    String target_folder = w->target_is_document ? path_directory(w->target) : w->target;
    w->folders[0] = {string_format(arena, "%.*s/", STR_ARG(target_folder)),
                     w->target_is_document ? 0u : (u32)OS_WATCH_TREE, 1};
    w->folders[1] = {string_copy(arena, root), 0, 0};
    w->folders[2] = {w->template_folder, 0, 0};
    w->folders[3] = {w->css_folder, 0, 0};
    w->folders[4] = {path_ensure_trailing_slash(arena, path_directory(w->kav_css_path)), 0, 0};
    // The build writes pages under html/: only its shared templates and
    // style sheets are watched there.
    os_watch_exclude(os, w->html_folder);
    if (!os_watch_add(os, w->folders[0].path, w->folders[0].flags)) {
        console_print("[watch] cannot watch %.*s\n", STR_ARG(w->folders[0].path));
    }
    bool any_missing;
    watch_add_missing(w, &any_missing);

    if (serve_requested(options)) {
        w->serve = 1;
        w->port = serve_port_option(options);
        // The browser reaches pages through the server: links are
        // site-absolute, as for publication.
        run->site->settings.deploy = 1;
    }
    run->on_document = watch_on_document;
    run->on_document_context = w;
    return w;
}

int watch_run(Watch* w) {
    w->run->on_document = 0;
    // Changes come from the folder watch and changed files are read
    // directly: polling every file the build read would only cost time.
    fs_scanner_pause(true);
    // The build made the shared folders it writes: watch them before
    // recording what they hold.
    bool missing_at_start;
    watch_add_missing(w, &missing_at_start);
    watch_take_shared(w);
    if (w->serve) {
        w->server = serve_start(w->html_folder, w->port);
        if (!w->server) {
            console_print("aborted");
            return 2;
        }
    }
    console_print("[watch] watching %.*s and the site's templates; Ctrl-C stops\n", STR_ARG(w->target));
    console_flush();

    for (;;) {
        arena_pop_to(w->events, w->events_base);
        OsWatchEvents events = {};
        bool any_missing = false;
        u32 came_back = watch_add_missing(w, &any_missing);
        if (came_back) {
            watch_take_changes(w, 0, came_back);
            console_flush();
        }
        u64 deadline = any_missing ? os_now_microseconds() + WATCH_RETRY_US : DEADLINE_NONE;
        OsWatchWait status = os_watch_wait(w->events, w->os, deadline, &events);
        if (status == OS_WATCH_WAIT_TERMINATE) break;
        if (status == OS_WATCH_WAIT_TIMEOUT) continue;
        // The rest of the burst: until the folders are quiet.
        u64 limit = os_now_microseconds() + WATCH_GATHER_LIMIT_US;
        while (status != OS_WATCH_WAIT_TERMINATE) {
            u64 now = os_now_microseconds();
            if (now >= limit) break;
            status = os_watch_wait(w->events, w->os, MIN(now + WATCH_QUIET_US, limit), &events);
            if (status == OS_WATCH_WAIT_TIMEOUT) break;
        }
        if (status == OS_WATCH_WAIT_TERMINATE) break;
        watch_take_changes(w, &events, 0);
        console_flush();
    }

    // Nothing is half written: every page handed over is stored first.
    page_writer_drain();
    serve_stop(w->server);
    console_print("[watch] stopped\n");
    console_flush();
    return 0;
}
