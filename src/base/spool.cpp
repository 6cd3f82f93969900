#include "base/spool.h"

#include <string.h>

// Bytes [0, filed) are in the file, [filed, size) in the buffer while the
// file takes writes, or in memory from `filed` on once it does not (or
// never did): nothing appended is lost.

void spool_open(Spool* spool, String dir) {
    *spool = Spool{};
    ArenaParams params = {};
    params.flags = ARENA_NO_CHAIN;  // the bytes kept in memory stay in one piece
    params.reserve_size = GB(64);
    params.commit_size = KB(64);
    spool->arena = arena_create(params);
    spool->file = os_open_unnamed_file(dir);
    if (spool->file != OS_FILE_INVALID) spool->buffer = push_array_no_zero<u8>(spool->arena, SPOOL_BUFFER_SIZE);
    spool->memory = (u8*)arena_push(spool->arena, 0, 1);
}

// Moves the buffered bytes to the file; what it does not take goes to
// memory, and from then on everything does.
static void spool_flush(Spool* spool) {
    if (spool->buffered == 0) return;
    String pending = {spool->buffer, spool->buffered};
    spool->buffered = 0;
    u64 written = os_write_next(spool->file, pending);
    spool->filed += written;
    if (written == pending.size) return;
    spool->lost = true;
    spool->memory = (u8*)arena_push(spool->arena, pending.size - written, 1);
    if (spool->memory) memcpy(spool->memory, pending.str + written, pending.size - written);
}

static bool spool_in_memory(const Spool* spool) { return spool->file == OS_FILE_INVALID || spool->lost; }

void spool_append(Spool* spool, String bytes) {
    if (!spool->arena || bytes.size == 0) return;
    spool->size += bytes.size;
    if (!spool_in_memory(spool)) {
        if (spool->buffered + bytes.size > SPOOL_BUFFER_SIZE) spool_flush(spool);
        if (!spool_in_memory(spool) && bytes.size <= SPOOL_BUFFER_SIZE) {
            memcpy(spool->buffer + spool->buffered, bytes.str, bytes.size);
            spool->buffered += bytes.size;
            return;
        }
        if (!spool_in_memory(spool)) {
            u64 written = os_write_next(spool->file, bytes);
            spool->filed += written;
            if (written == bytes.size) return;
            spool->lost = true;
            spool->memory = (u8*)arena_push(spool->arena, 0, 1);
            bytes = string_skip(bytes, written);
        }
    }
    u8* to = (u8*)arena_push(spool->arena, bytes.size, 1);
    if (to) memcpy(to, bytes.str, bytes.size);
}

const u8* spool_read(Spool* spool, SpoolCursor* cursor, u64 size) {
    if (!spool->arena || cursor->at + size > spool->size) return 0;
    u64 at = cursor->at;
    cursor->at += size;
    if (!spool_in_memory(spool)) spool_flush(spool);
    if (at >= spool->filed) return spool->memory + (at - spool->filed);
    if (at >= cursor->window_start && at + size <= cursor->window_start + cursor->window_size) {
        return cursor->window + (at - cursor->window_start);
    }
    // A new window from the file: at least a buffer's worth.
    if (!cursor->arena) cursor->arena = arena_create(GB(64), KB(64));
    arena_pop_to(cursor->arena, 0);
    u64 from_file = MIN(MAX(size, (u64)SPOOL_BUFFER_SIZE), spool->filed - at);
    String read = os_read_range(cursor->arena, spool->file, Range64{at, at + from_file});
    if (read.size != from_file) {
        cursor->window_size = 0;
        return 0;
    }
    cursor->window = read.str;
    cursor->window_start = at;
    cursor->window_size = from_file;
    if (from_file >= size) return read.str;
    // The rest follows the file's end, in memory: both laid out in one piece.
    u8* whole = (u8*)arena_push(cursor->arena, size, 1);
    if (!whole) return 0;
    memcpy(whole, read.str, from_file);
    memcpy(whole + from_file, spool->memory, size - from_file);
    cursor->window = whole;
    cursor->window_size = size;
    return whole;
}

void spool_cursor_end(SpoolCursor* cursor) {
    if (cursor->arena) arena_release(cursor->arena);
    *cursor = SpoolCursor{};
}

void spool_close(Spool* spool) {
    os_close_file(spool->file);
    if (spool->arena) arena_release(spool->arena);
    *spool = Spool{};
    spool->file = OS_FILE_INVALID;
}
