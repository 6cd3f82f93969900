// The file service: background threads read files and keep their bytes in
// memory, shared by every caller that asks for the same path. A request
// returns a key (a 128-bit hash of the bytes); the bytes are looked up by
// key. Streamer threads read ahead what is asked for without waiting; a
// request that waits reads its file on its own thread. A scanner thread
// re-queues every known path whose last-write time changed, so later
// requests see new contents. Created on the main thread at start-up; never
// torn down.
//
// Memory follows the paths in use, not every path ever asked for: once a
// path is read and given back, and the scanner is not running, its record
// is retired into a compact table of the paths read (a hash and the load
// count), and the record's block is reused by later requests.
#pragma once

#include "base/arena.h"
#include "base/os.h"
#include "base/string.h"

// ---- Request queue and request table ---------------------------------------

#define FS_QUEUE_SIZE 0x10000ull  // ring bytes
#define FS_REQUEST_SLOT_COUNT 1024
#define FS_REQUEST_STRIPE_COUNT 64
// A queued item is an 8-byte length and the path: the longest path that can
// ever be queued fills the whole ring.
#define FS_PATH_MAX (FS_QUEUE_SIZE - 8)

// A request record moves IDLE -> QUEUED (whoever puts its path in the queue)
// -> LOADING (the streamer that took the item, or a requester that reads it
// itself) -> IDLE (loaded). Every move is a compare-and-exchange, so a path is
// queued at most once at a time and read by one thread at a time.
enum FileRequestState : u64 {
    FILE_REQUEST_IDLE = 0,
    FILE_REQUEST_LOADING = 1,
    FILE_REQUEST_QUEUED = 2,
};

// One block per record: the record, then its path and a NUL. Blocks come in
// size classes (64-byte steps up to 4 KB, powers of two above) and retired
// ones are reused for later requests of their class.
#define FS_RECORD_STEP 64
#define FS_RECORD_STEP_CLASSES 64  // 64 .. 4096 bytes
#define FS_RECORD_CLASS_COUNT (FS_RECORD_STEP_CLASSES + 5)  // then 8 KB .. 128 KB

struct FileRequest {
    FileRequest* next;
    String path;  // NUL-terminated copy, in the record's block
    u64 key[2];   // key of the bytes last loaded; zero until a load ends and after a release
    // Last-write time of the path at the last load (seconds * 1e9 + ns); 0
    // when the path named nothing.
    u64 last_write_time;
    u64 state;       // FileRequestState
    u64 load_count;  // completed loads of this path, also those before a retirement
    u64 size_limit;  // bytes; a larger file is not read (0: no limit)
    u64 size;        // of the file at the last load
    u32 error;       // OsFileError of the last load; OS_FILE_ERROR_NONE when read
    u32 size_class;  // of the record's block
    // Queue items of this path whose load a requester did itself, to be
    // passed over by the streamer that takes them.
    u64 passed;
};

struct FileRequestSlot {
    FileRequest* first;
    FileRequest* last;
};

// A path that was read and given back, by the hash of its path: 96 of the
// 128 bits (a false match only spares a read-ahead; a request that waits
// reads the file anyway) and its completed loads, never 0 in a used entry.
struct FsRetiredPath {
    u64 hash_high;
    u32 hash_low;
    u32 load_count;  // 0: an empty entry
};

// Open addressing with linear probing, at most 7/8 full, doubled when
// fuller; the entries live in an arena of their own, given back when the
// table grows.
struct FsRetiredTable {
    Arena* arena;
    FsRetiredPath* entries;
    u64 capacity;  // a power of two; 0 before the first retirement
    u64 count;
};

struct FileRequestStripe {
    OsCondition* cv;
    OsRwLock* lock;
    FsRetiredTable retired;  // the retired paths of the stripe's buckets, under `lock`
};

struct FileQueue {
    u8* buffer;      // FS_QUEUE_SIZE bytes
    u64 write_pos;   // only grows; index is pos % FS_QUEUE_SIZE; multiple of 8
    u64 read_pos;    // only grows; multiple of 8
    OsMutex* mutex;
    OsCondition* cv;  // producers wait for space, streamers for items
    u64 unwoken;      // items put in without waking the streamers
};

struct FileRequests {
    Arena* arena;
    // The blocks of the request records, reused through `free_records`
    // once retired.
    Arena* records;
    OsMutex* records_mutex;  // taken inside a stripe's lock, never the other way
    FileRequest* free_records[FS_RECORD_CLASS_COUNT];  // retired blocks by size class
    FileQueue queue;
    u64 slot_count;  // FS_REQUEST_SLOT_COUNT; bucket b is under stripe b % stripe_count
    FileRequestSlot* slots;
    u64 stripe_count;  // FS_REQUEST_STRIPE_COUNT
    FileRequestStripe* stripes;
    u64 streamer_count;  // processors - 1, at least 2
    OsThread** streamers;
    OsThread* scanner;
};

// ---- Cache -------------------------------------------------------------------

#define FS_CACHE_SLOT_COUNT 1024
#define FS_CACHE_STRIPE_COUNT (FS_CACHE_SLOT_COUNT / 8)

// A block of small files read one after another by one streamer. It is
// given back once its streamer has moved on to another block and every
// file in it was released.
struct FsPackBlock {
    Arena* arena;  // holds this record, then the files' bytes
    u64 holds;     // files stored in it and not released, plus one while it is its streamer's block
};

#define FS_PACK_BLOCK_SIZE MB(4)

struct CachedFile {
    CachedFile* next;
    CachedFile* prev;
    Arena* arena;  // holds the bytes when owned by the record; null for no bytes
                   // and for small files packed in a block
    FsPackBlock* block;  // the block holding the bytes of a small file
    u64 key[2];    // XXH3 128-bit hash of the bytes: [0] high half, [1] low half
    String data;   // read-only once stored
    u64 last_access;  // microseconds of the last lookup
    u64 holders;      // loads that returned this record and were not released
};

struct FileCacheSlot {
    CachedFile* first;
    CachedFile* last;
};

struct FileCacheStripe {
    OsCondition* cv;
    OsMutex* mutex;
};

struct FileCache {
    Arena* arena;
    // The records of every bucket, made once per file: one arena for all,
    // under its own lock (taken inside a stripe's, never the other way).
    Arena* records;
    OsMutex* records_mutex;
    CachedFile* free_records;  // released records, under records_mutex
    u64 slot_count;  // FS_CACHE_SLOT_COUNT; bucket b is under stripe b % FS_CACHE_STRIPE_COUNT
    FileCacheSlot* slots;
    FileCacheStripe* stripes;
};

// What a request returns: the key of the bytes and the last-write time seen
// when they were loaded. A zero key means "no bytes" (a passed deadline).
struct FileKey {
    u64 key[2];
    u64 last_write_time;
    u64 size;   // of the file when it was looked at, also when it was not read
    u32 error;  // OsFileError: why there are no bytes; OS_FILE_ERROR_NONE when read
};

// Counters of the whole service since start-up.
struct FsStats {
    u64 loads;       // files opened and read by streamers
    u64 stored;      // distinct contents kept in the cache
    u64 duplicates;  // loads whose contents were already cached
    u64 scans;       // completed scanner passes over every request
    u64 pack_blocks;  // blocks of small files made and not given back
    u64 requests;       // request records in the table
    u64 retired_paths;  // paths read, given back and kept only as a hash
    u64 request_bytes;  // position of the arena of request record blocks
};

// ---- Service -------------------------------------------------------------------

// Main thread, once: creates the cache. Later calls do nothing.
void fs_init();
// Main thread, once: creates the request table and queue, starts the
// streamer threads, then the scanner thread. Later calls do nothing.
void fs_start();

// Asks for `path` and waits until its bytes are loaded or `deadline`
// (microseconds, DEADLINE_NONE for no limit) passes; zeroes on a passed
// deadline and for a path longer than FS_PATH_MAX. A deadline already in
// the past queues the path and returns at once unless it is loaded: a way to
// read ahead.
FileKey fs_request_file(String path, u64 deadline);
// The same for a file that is not read when it holds more than `max_size`
// bytes (0: no limit): its request completes with no bytes and the error
// OS_FILE_ERROR_TOO_LARGE.
FileKey fs_request_file_up_to(String path, u64 max_size, u64 deadline);
// The bytes stored under `key`; empty when there is none. Stamps the access.
String fs_loaded_file(FileKey key);
// Tells the service that the caller is done with the bytes of its load of
// `path`: once every load that returned them is released they are given
// back, and a later request reads the file again. A build reads each
// document once and releases it when its pages are written, so memory
// follows the documents in flight, not the whole site. While the scanner is
// not running, a released path's record is retired: a later read-ahead of
// it still does not read it again, a request that waits does.
void fs_release_file(String path);
// Puts `path` in the queue, for a streamer to read again if the path has a
// record (retired paths have none); 0 when the deadline passed while the
// queue was full, or at once for a path that can never fit.
u32 fs_submit(String path, u64 deadline);
// Puts loaded bytes into the cache and returns their key. Takes ownership of
// `*bytes_arena` (cleared): kept with a new record, released for duplicate
// contents.
FileKey fs_store(Arena** bytes_arena, String bytes);

bool fs_key_is_zero(FileKey key);
bool fs_key_equal(FileKey a, FileKey b);
FsStats fs_stats();
// Completed loads of one path (0 when never requested), also of a path whose
// record was retired.
u64 fs_request_load_count(String path);
// Stops (or restarts) the scanner's passes over every requested path: for a
// caller told of changes by other means, which reads changed files itself.
// Paused before fs_start, the scanner thread is not started at all until
// the pause ends.
void fs_scanner_pause(bool paused);
