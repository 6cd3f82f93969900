#include "driver/page_writer.h"

#include "base/os.h"

// Enough slots to keep the writer busy while a document is assembled; each
// slot's arena holds one serialized page and is reused.
#define PAGE_WRITER_SLOT_COUNT 16

struct PageWriterSlot {
    Arena* arena;
    u64 base;      // arena position of an empty slot
    String path;   // where the page goes
    String text;   // the serialized page
    u32* written;  // receives the result; may be null
};

struct PageWriter {
    OsMutex* mutex;
    OsCondition* cv;  // filled, emptied and drained all wake everybody
    u64 filled;       // slots filled so far (only grows)
    u64 stored;       // slots stored so far (only grows)
    PageWriterSlot slots[PAGE_WRITER_SLOT_COUNT];
};

static PageWriter* g_page_writer;

static void page_writer_main(u64 param) {
    (void)param;
    os_set_thread_name("[Build] Page writer");
    PageWriter* w = g_page_writer;
    for (;;) {
        os_mutex_lock(w->mutex);
        while (w->stored == w->filled) os_condition_wait_mutex(w->cv, w->mutex, DEADLINE_NONE);
        PageWriterSlot* slot = &w->slots[w->stored % PAGE_WRITER_SLOT_COUNT];
        os_mutex_unlock(w->mutex);

        // The slot is the writer's until `stored` moves past it.
        bool ok = os_write_file_atomic(slot->path, slot->text);
        if (slot->written) *slot->written = ok ? 1 : 0;

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
    for (u64 i = 0; i < PAGE_WRITER_SLOT_COUNT; i += 1) {
        w->slots[i].arena = arena_create(GB(4), KB(64));
        w->slots[i].base = arena_pos(w->slots[i].arena);
    }
    g_page_writer = w;
    os_thread_start(page_writer_main, 0);
}

void page_writer_queue(const HtmlPage* page, u32* written) {
    page_writer_start();
    PageWriter* w = g_page_writer;
    os_mutex_lock(w->mutex);
    while (w->filled - w->stored == PAGE_WRITER_SLOT_COUNT) os_condition_wait_mutex(w->cv, w->mutex, DEADLINE_NONE);
    PageWriterSlot* slot = &w->slots[w->filled % PAGE_WRITER_SLOT_COUNT];
    os_mutex_unlock(w->mutex);

    // The free slot is the builder's until `filled` moves past it.
    arena_pop_to(slot->arena, slot->base);
    slot->path = string_copy(slot->arena, page->path);
    slot->text = html_serialize_to_string(slot->arena, page->document.root);
    slot->written = written;

    os_mutex_lock(w->mutex);
    w->filled += 1;
    os_mutex_unlock(w->mutex);
    os_condition_broadcast(w->cv);
}

void page_writer_drain() {
    PageWriter* w = g_page_writer;
    if (!w) return;
    os_mutex_lock(w->mutex);
    while (w->stored != w->filled) os_condition_wait_mutex(w->cv, w->mutex, DEADLINE_NONE);
    os_mutex_unlock(w->mutex);
}
