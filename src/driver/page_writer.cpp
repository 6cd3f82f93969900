#include "driver/page_writer.h"

#include "base/os.h"
#include "driver/page_manifest.h"

// Enough batches to keep the writer busy while documents are assembled;
// each batch's arena holds its pages' paths and bytes and is reused until
// the writer is drained, which gives the arenas back (made again as pages
// come): between builds and after the last page they held megabytes.
#define PAGE_WRITER_BATCH_COUNT 8
// A batch is handed over once it holds this many bytes or pages.
#define PAGE_WRITER_BATCH_BYTES MB(2)
#define PAGE_WRITER_BATCH_PAGES 256

struct PageWriteItem {
    PageWriteItem* next;
    String path;   // NUL-terminated
    String text;   // the whole page
    const PagePieces* pieces;  // or a page in the caller's memory (page_writer_add_pieces)
    u8* written;  // receives the result; may be null
};

struct PageWriterBatch {
    Arena* arena;
    u64 base;  // arena position of an empty batch
    PageWriteItem* first;
    PageWriteItem* last;
    u64 bytes;
    u64 pages;
};

struct PageWriter {
    OsMutex* mutex;
    OsCondition* cv;  // handed over, stored and drained all wake everybody
    u64 filled;       // batches handed over so far (only grows)
    u64 stored;       // batches stored so far (only grows)
    bool open;        // the builder holds batch `filled` and has put pages into it
    PageManifest* manifest;  // read by the writer thread, set when it is idle
    PageWriterBatch batches[PAGE_WRITER_BATCH_COUNT];
};

// The builder's side runs on one thread at a time (the build's main thread).
static PageWriter* g_page_writer;

// Stores a run of pages whose paths all differ, all at once.
static void page_writer_store_run(PageWriter* w, OsFileWrite* pages, PageWriteItem** items, u64 count) {
    if (w->manifest) {
        page_manifest_write_many(w->manifest, pages, count);
    } else {
        os_write_files_atomic(pages, count);
    }
    for (u64 i = 0; i < count; i += 1) {
        if (items[i]->written) *items[i]->written = pages[i].ok ? 1 : 0;
    }
}

// Stores a batch in runs of distinct paths: a page added twice is stored
// after everything added before its second copy.
static void page_writer_store(PageWriter* w, PageWriterBatch* batch) {
    Scratch scratch;
    u64 count = batch->pages;
    if (count == 0) return;
    u64 table_size = count * 2;
    OsFileWrite* pages = push_array<OsFileWrite>(scratch.arena, count);
    PageWriteItem** items = push_array_no_zero<PageWriteItem*>(scratch.arena, count);
    u64* table = push_array_no_zero<u64>(scratch.arena, table_size);
    for (u64 i = 0; i < table_size; i += 1) table[i] = ~0ull;
    u64 start = 0;
    u64 n = 0;
    for (PageWriteItem* item = batch->first; item; item = item->next) {
        if (item->pieces) {
            // A page in pieces goes on its own, after the pages before it.
            page_writer_store_run(w, pages + start, items + start, n - start);
            start = n;
            for (u64 i = 0; i < table_size; i += 1) table[i] = ~0ull;
            bool ok = w->manifest ? page_manifest_write_pieces(w->manifest, item->path, item->pieces)
                                  : page_pieces_write_atomic(item->path, item->pieces);
            if (item->written) *item->written = ok ? 1 : 0;
            continue;
        }
        u64 slot = string_hash(item->path) % table_size;
        for (; table[slot] != ~0ull; slot = (slot + 1) % table_size) {
            if (!string_equal(pages[table[slot]].path, item->path)) continue;
            page_writer_store_run(w, pages + start, items + start, n - start);
            start = n;
            for (u64 i = 0; i < table_size; i += 1) table[i] = ~0ull;
            slot = string_hash(item->path) % table_size;
            break;
        }
        table[slot] = n;
        pages[n] = OsFileWrite{item->path, item->text, 0, false};
        items[n] = item;
        n += 1;
    }
    page_writer_store_run(w, pages + start, items + start, n - start);
}

static void page_writer_main(u64 param) {
    (void)param;
    os_set_thread_name("[Build] Page writer");
    PageWriter* w = g_page_writer;
    for (;;) {
        os_mutex_lock(w->mutex);
        while (w->stored == w->filled) os_condition_wait_mutex(w->cv, w->mutex, DEADLINE_NONE);
        PageWriterBatch* batch = &w->batches[w->stored % PAGE_WRITER_BATCH_COUNT];
        os_mutex_unlock(w->mutex);

        // The batch is the writer's until `stored` moves past it.
        page_writer_store(w, batch);

        os_mutex_lock(w->mutex);
        w->stored += 1;
        os_mutex_unlock(w->mutex);
        os_condition_broadcast(w->cv);
    }
}

void page_writer_start() {
    if (g_page_writer) return;
    Arena* arena = arena_create(MB(1), KB(4));
    PageWriter* w = push_struct<PageWriter>(arena);
    w->mutex = os_mutex_alloc();
    w->cv = os_condition_alloc();
    g_page_writer = w;
    os_thread_start(page_writer_main, 0);
}

// Hands the open batch to the writer.
static void page_writer_hand_over(PageWriter* w) {
    if (!w->open) return;
    w->open = false;
    os_mutex_lock(w->mutex);
    w->filled += 1;
    os_mutex_unlock(w->mutex);
    os_condition_broadcast(w->cv);
}

// A new item in the open batch (opened when none is, once a batch is free).
static PageWriteItem* page_writer_item(PageWriter* w, String path, u8* written) {
    PageWriterBatch* batch = &w->batches[w->filled % PAGE_WRITER_BATCH_COUNT];
    if (!w->open) {
        // Wait for a free batch: the writer has stored the one last in it.
        os_mutex_lock(w->mutex);
        while (w->filled - w->stored == PAGE_WRITER_BATCH_COUNT) os_condition_wait_mutex(w->cv, w->mutex, DEADLINE_NONE);
        os_mutex_unlock(w->mutex);
        if (!batch->arena) {
            batch->arena = arena_create(GB(4), MB(1));
            batch->base = arena_pos(batch->arena);
        }
        arena_pop_to(batch->arena, batch->base);
        batch->first = batch->last = 0;
        batch->bytes = batch->pages = 0;
        w->open = true;
    }
    PageWriteItem* item = push_struct<PageWriteItem>(batch->arena);
    item->path = string_copy(batch->arena, path);
    item->written = written;
    SLL_QUEUE_PUSH(batch->first, batch->last, item);
    batch->pages += 1;
    return item;
}

// Hands the open batch over once it is full.
static void page_writer_added(PageWriter* w, u64 bytes) {
    PageWriterBatch* batch = &w->batches[w->filled % PAGE_WRITER_BATCH_COUNT];
    batch->bytes += bytes;
    if (batch->bytes >= PAGE_WRITER_BATCH_BYTES || batch->pages >= PAGE_WRITER_BATCH_PAGES) page_writer_hand_over(w);
}

void page_writer_add(String path, const StringList* text, u8* written) {
    page_writer_start();
    PageWriter* w = g_page_writer;
    PageWriteItem* item = page_writer_item(w, path, written);
    item->text = string_list_join(w->batches[w->filled % PAGE_WRITER_BATCH_COUNT].arena, text);
    page_writer_added(w, item->text.size);
}

void page_writer_add_pieces(String path, const PagePieces* page, u8* written) {
    page_writer_start();
    PageWriter* w = g_page_writer;
    PageWriteItem* item = page_writer_item(w, path, written);
    item->pieces = page;
    page_writer_added(w, page_pieces_size(page));
}

void page_writer_add_page(String path, String text, const PagePieces* pieces, u8* written) {
    if (pieces && pieces->before.first) {
        page_writer_add_pieces(path, pieces, written);
        return;
    }
    StringNode node = {0, text};
    StringList list = {&node, &node, 1, text.size};
    page_writer_add(path, &list, written);
}

void page_writer_use_manifest(PageManifest* manifest) {
    page_writer_start();
    page_writer_drain();
    g_page_writer->manifest = manifest;
}

void page_writer_drain() {
    PageWriter* w = g_page_writer;
    if (!w) return;
    page_writer_hand_over(w);
    os_mutex_lock(w->mutex);
    while (w->stored != w->filled) os_condition_wait_mutex(w->cv, w->mutex, DEADLINE_NONE);
    os_mutex_unlock(w->mutex);
    // Every batch is stored and the writer waits: their memory can go.
    for (u64 i = 0; i < PAGE_WRITER_BATCH_COUNT; i += 1) {
        if (w->batches[i].arena) arena_release(w->batches[i].arena);
        w->batches[i].arena = 0;
    }
}
