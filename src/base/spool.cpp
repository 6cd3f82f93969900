#include "base/spool.h"

#include <string.h>

// Bytes [0, filed) are in the file; [filed, size) in the buffer while the
// file takes writes, else in memory: nothing appended is lost.

void spool_open(Spool* spool, String dir) {
    *spool = Spool{};
    spool->file = OS_FILE_INVALID;
    ArenaParams params = {};
    params.flags = ARENA_NO_CHAIN;  // the bytes kept in memory stay in one piece
    params.reserve_size = GB(64);
    params.commit_size = KB(16);
    spool->arena = arena_create(params);
    if (!spool->arena) return;
    spool->dir = string_copy(spool->arena, dir);
    spool->memory_pos = arena_pos(spool->arena);
    spool->memory = (u8*)arena_push(spool->arena, 0, 1);
}

static bool spool_in_memory(const Spool* spool) { return spool->file == OS_FILE_INVALID || spool->lost; }

// Keeps `bytes` in memory after the others there.
static void spool_keep(Spool* spool, String bytes) {
    u8* to = (u8*)arena_push(spool->arena, bytes.size, 1);
    if (to) memcpy(to, bytes.str, bytes.size);
}

// A write to the file fell short: the bytes it did not take, and all that
// come after them, are kept in memory.
static void spool_write_failed(Spool* spool, String rest) {
    spool->lost = true;
    spool->memory_pos = arena_pos(spool->arena);
    spool->memory = (u8*)arena_push(spool->arena, 0, 1);
    spool_keep(spool, rest);
}

// The bytes in memory move to a new unnamed file, and the memory they took
// becomes the buffer; without such a file they stay where they are.
static void spool_move_to_file(Spool* spool) {
    spool->file_tried = true;
    spool->file = os_open_unnamed_file(spool->dir);
    if (spool->file == OS_FILE_INVALID) return;
    String held = {spool->memory, spool->size};
    u64 written = os_write_at(spool->file, 0, held);
    spool->filed = written;
    if (written < held.size) {
        spool->lost = true;
        memmove(spool->memory, spool->memory + written, held.size - written);
        arena_pop_to(spool->arena, spool->memory_pos + held.size - written);
        return;
    }
    arena_pop_to(spool->arena, spool->memory_pos);
    spool->buffer = push_array_no_zero<u8>(spool->arena, SPOOL_BUFFER_SIZE);
    spool->memory = 0;
}

// Moves the buffered bytes to the file.
static void spool_flush(Spool* spool) {
    if (spool->buffered == 0) return;
    String pending = {spool->buffer, spool->buffered};
    spool->buffered = 0;
    u64 written = os_write_at(spool->file, spool->filed, pending);
    spool->filed += written;
    if (written < pending.size) spool_write_failed(spool, string_skip(pending, written));
}

void spool_append(Spool* spool, String bytes) {
    if (!spool->arena || bytes.size == 0) return;
    spool->size += bytes.size;
    if (spool_in_memory(spool)) {
        spool_keep(spool, bytes);
        if (!spool->file_tried && spool->size > SPOOL_BUFFER_SIZE) spool_move_to_file(spool);
        return;
    }
    if (spool->buffered + bytes.size > SPOOL_BUFFER_SIZE) spool_flush(spool);
    if (spool_in_memory(spool)) {
        spool_keep(spool, bytes);
    } else if (bytes.size <= SPOOL_BUFFER_SIZE) {
        memcpy(spool->buffer + spool->buffered, bytes.str, bytes.size);
        spool->buffered += bytes.size;
    } else {
        u64 written = os_write_at(spool->file, spool->filed, bytes);
        spool->filed += written;
        if (written < bytes.size) spool_write_failed(spool, string_skip(bytes, written));
    }
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
