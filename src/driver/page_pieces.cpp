#include "driver/page_pieces.h"

#include <string.h>
#include <xxhash.h>

#include "base/os.h"

// Spooled bytes are read back a megabyte at a time.
#define PAGE_PIECES_READ_SIZE MB(1)

u64 page_pieces_size(const PagePieces* page) {
    return page->before.total_size + (page->spool ? page->spool->size : 0) + page->after.total_size;
}

bool page_pieces_each(const PagePieces* page, void (*take)(void* context, String bytes), void* context) {
    for (StringNode* piece = page->before.first; piece; piece = piece->next) take(context, piece->string);
    bool ok = true;
    if (page->spool) {
        SpoolCursor cursor = {};
        while (cursor.at < page->spool->size) {
            u64 size = MIN((u64)PAGE_PIECES_READ_SIZE, page->spool->size - cursor.at);
            const u8* bytes = spool_read(page->spool, &cursor, size);
            if (!bytes) {
                ok = false;
                break;
            }
            take(context, String{(u8*)bytes, size});
        }
        spool_cursor_end(&cursor);
    }
    for (StringNode* piece = page->after.first; piece; piece = piece->next) take(context, piece->string);
    return ok;
}

u64 page_pieces_hash(const PagePieces* page, bool* read) {
    // The library's hashing state is only made by the library.
    XXH3_state_t* state = XXH3_createState();
    bool ok = state != 0;
    u64 hash = 0;
    if (state) {
        XXH3_64bits_reset(state);
        auto hash_bytes = [](void* context, String bytes) {
            XXH3_64bits_update((XXH3_state_t*)context, bytes.str, bytes.size);
        };
        ok = page_pieces_each(page, hash_bytes, state);
        hash = XXH3_64bits_digest(state);
        XXH3_freeState(state);
    }
    if (read) *read = ok;
    return hash;
}

String page_pieces_join(Arena* arena, const PagePieces* page) {
    u64 size = page_pieces_size(page);
    String out = {push_array_no_zero<u8>(arena, size + 1), 0};
    auto append = [](void* context, String bytes) {
        String* o = (String*)context;
        memcpy(o->str + o->size, bytes.str, bytes.size);
        o->size += bytes.size;
    };
    if (!page_pieces_each(page, append, &out)) return String{};
    out.str[out.size] = 0;
    return out;
}

bool page_pieces_write_atomic(String path, const PagePieces* page) {
    Scratch scratch;
    for (int attempt = 0; attempt < 2; attempt += 1) {
        OsFileStream stream;
        if (os_stream_begin(scratch.arena, &stream, path)) {
            auto write = [](void* context, String bytes) { os_stream_write((OsFileStream*)context, bytes); };
            bool read = page_pieces_each(page, write, &stream);
            // A spool that could not be read back leaves the old file: the
            // stream is ended as failed.
            if (!read) stream.failed = 1;
            return os_stream_end(&stream) && read;
        }
        os_stream_end(&stream);
        // The first page of a new folder: the folders are made, once.
        if (attempt == 0 && !os_create_directories(path)) return false;
    }
    return false;
}

void page_pieces_close(PagePieces* page) {
    if (page->spool) spool_close(page->spool);
    page->spool = 0;
}
