// A spool: bytes appended one record after another and read back in order,
// kept out of memory. The first SPOOL_BUFFER_SIZE bytes stay in memory; past
// them the spool moves to an unnamed file (gone when the process ends) and
// writes through a buffer, so what a large build must remember until its
// end costs disk, not resident memory, and a small one never touches the
// disk. Where no unnamed file can be made, or once a write to it fell
// short, the bytes are kept in memory instead. One thread at a time.
#pragma once

#include "base/arena.h"
#include "base/os.h"
#include "base/string.h"

#define SPOOL_BUFFER_SIZE KB(64)

struct Spool {
    Arena* arena;   // the folder's name, then the buffer or the bytes kept in memory
    String dir;     // where the file is made
    OsFile file;    // OS_FILE_INVALID: the bytes are in memory
    bool file_tried;
    bool lost;      // a write to the file fell short: bytes from `filed` on are in memory
    u8* buffer;     // SPOOL_BUFFER_SIZE bytes not yet in the file
    u64 buffered;
    u64 filed;      // bytes in the file
    u8* memory;     // bytes [filed, size), one after another in the arena
    u64 memory_pos;  // the arena's position where `memory` starts
    u64 size;       // bytes appended in all
};

// A reading position; its arena holds the bytes last read.
struct SpoolCursor {
    Arena* arena;  // made at the first read that needs it
    u64 at;        // offset of the next byte to read
    u8* window;    // bytes [window_start, window_start + window_size) of the spool
    u64 window_start;
    u64 window_size;
};

// An empty spool whose file, if it needs one, is made in the folder `dir`.
void spool_open(Spool* spool, String dir);
void spool_append(Spool* spool, String bytes);
// The next `size` bytes at the cursor, valid until the cursor's next read;
// null when fewer remain (or were lost).
const u8* spool_read(Spool* spool, SpoolCursor* cursor, u64 size);
void spool_cursor_end(SpoolCursor* cursor);
// Gives back the memory and the file; the spool is empty and closed.
void spool_close(Spool* spool);
