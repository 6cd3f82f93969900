#include "driver/file_service.h"

#include <string.h>
#include <xxhash.h>

#include "base/atomics.h"
#include "base/byte_ring.h"

static FileRequests* g_fs_requests;
static FileCache* g_fs_cache;
static FsStats g_fs_stats;

#define FS_NO_TIME_LEFT(deadline) ((deadline) != DEADLINE_NONE && os_now_microseconds() >= (deadline))

bool fs_key_is_zero(FileKey key) { return key.key[0] == 0 && key.key[1] == 0; }

bool fs_key_equal(FileKey a, FileKey b) { return a.key[0] == b.key[0] && a.key[1] == b.key[1]; }

FsStats fs_stats() {
    FsStats stats = {};
    stats.loads = atomic_load(&g_fs_stats.loads);
    stats.stored = atomic_load(&g_fs_stats.stored);
    stats.duplicates = atomic_load(&g_fs_stats.duplicates);
    stats.scans = atomic_load(&g_fs_stats.scans);
    stats.pack_blocks = atomic_load(&g_fs_stats.pack_blocks);
    stats.requests = atomic_load(&g_fs_stats.requests);
    stats.retired_paths = atomic_load(&g_fs_stats.retired_paths);
    if (g_fs_requests) {
        os_mutex_lock(g_fs_requests->records_mutex);
        stats.request_bytes = arena_pos(g_fs_requests->records);
        os_mutex_unlock(g_fs_requests->records_mutex);
    }
    return stats;
}

// ---- Cache -------------------------------------------------------------------

void fs_init() {
    if (g_fs_cache) return;
    Arena* arena = arena_create(MB(16), KB(4));
    FileCache* cache = push_struct<FileCache>(arena);
    cache->arena = arena;
    cache->slot_count = FS_CACHE_SLOT_COUNT;
    cache->slots = push_array<FileCacheSlot>(arena, FS_CACHE_SLOT_COUNT);
    cache->stripes = push_array<FileCacheStripe>(arena, FS_CACHE_STRIPE_COUNT);
    cache->records = arena_create(GB(8), KB(64));
    cache->records_mutex = os_mutex_alloc();
    for (u64 i = 0; i < FS_CACHE_STRIPE_COUNT; i += 1) {
        FileCacheStripe* stripe = &cache->stripes[i];
        stripe->cv = os_condition_alloc();
        stripe->mutex = os_mutex_alloc();
    }
    g_fs_cache = cache;
}

static CachedFile* fs_cache_find(FileCacheSlot* slot, u64 high, u64 low) {
    for (CachedFile* file = slot->first; file; file = file->next) {
        if (file->key[0] == high && file->key[1] == low) return file;
    }
    return 0;
}

// Drops one hold on a pack block; the last one gives the block back.
static void fs_pack_block_drop(FsPackBlock* block) {
    if (atomic_decrement(&block->holds) != 0) return;
    arena_release(block->arena);
    atomic_decrement(&g_fs_stats.pack_blocks);
}

static FsPackBlock* fs_pack_block_create() {
    ArenaParams params = {};
    params.flags = ARENA_NO_CHAIN;
    params.reserve_size = FS_PACK_BLOCK_SIZE;
    params.commit_size = KB(64);
    Arena* arena = arena_create(params);
    FsPackBlock* block = push_struct<FsPackBlock>(arena);
    block->arena = arena;
    block->holds = 1;
    atomic_add(&g_fs_stats.pack_blocks, (u64)1);
    return block;
}

// Stores bytes held either in an arena of their own (`arena`, released when
// the bytes are a duplicate) or packed in a streamer's block (`block`,
// popped back to `pack_mark` when the bytes are a duplicate). The load that
// stored them holds the record until it is released.
static FileKey fs_store_bytes(Arena* arena, FsPackBlock* block, u64 pack_mark, String bytes) {
    FileKey result = {};
    XXH128_hash_t hash = XXH3_128bits(bytes.str, bytes.size);
    result.key[0] = hash.high64;
    result.key[1] = hash.low64;
    // A zero key means "no bytes" to requesters; no content may have it.
    if (result.key[0] == 0 && result.key[1] == 0) result.key[1] = 1;

    if (bytes.size == 0 && arena) {
        arena_release(arena);
        arena = 0;
    }

    u64 bucket = result.key[0] % FS_CACHE_SLOT_COUNT;
    FileCacheSlot* slot = &g_fs_cache->slots[bucket];
    FileCacheStripe* stripe = &g_fs_cache->stripes[bucket % FS_CACHE_STRIPE_COUNT];
    os_mutex_lock(stripe->mutex);
    CachedFile* known = fs_cache_find(slot, result.key[0], result.key[1]);
    if (known) {
        known->holders += 1;
        os_mutex_unlock(stripe->mutex);
        if (arena) arena_release(arena);
        if (block) arena_pop_to(block->arena, pack_mark);
        atomic_add(&g_fs_stats.duplicates, (u64)1);
        return result;
    }

    os_mutex_lock(g_fs_cache->records_mutex);
    CachedFile* file = g_fs_cache->free_records;
    if (file) {
        g_fs_cache->free_records = file->next;
    } else {
        file = push_struct<CachedFile>(g_fs_cache->records);
    }
    os_mutex_unlock(g_fs_cache->records_mutex);
    *file = CachedFile{};
    file->arena = arena;
    file->key[0] = result.key[0];
    file->key[1] = result.key[1];
    file->data = bytes;
    file->holders = 1;
    if (block && bytes.size) {
        file->block = block;
        atomic_increment(&block->holds);
    }
    if (bytes.size) {
        u64 page = arena_page_size();
        u64 first = (u64)bytes.str & ~(page - 1);
        u64 end = ALIGN_POW2((u64)bytes.str + bytes.size, page);
        if (block) {
            // Neighbours share the edge pages: only the pages the bytes fill
            // alone are protected.
            first = ALIGN_POW2((u64)bytes.str, page);
            end = ((u64)bytes.str + bytes.size) & ~(page - 1);
        }
        // An own arena holds nothing else that is ever written again.
        if (end > first) os_protect_read_only((void*)first, end - first);
    }
    file->prev = slot->last;
    if (slot->last) {
        slot->last->next = file;
    } else {
        slot->first = file;
    }
    slot->last = file;
    os_mutex_unlock(stripe->mutex);
    os_condition_broadcast(stripe->cv);
    atomic_add(&g_fs_stats.stored, (u64)1);
    return result;
}

// Drops one holder of the record under `key`; the last one takes the record
// out of the cache and gives its bytes back.
static void fs_cache_release(FileKey key) {
    u64 bucket = key.key[0] % FS_CACHE_SLOT_COUNT;
    FileCacheSlot* slot = &g_fs_cache->slots[bucket];
    FileCacheStripe* stripe = &g_fs_cache->stripes[bucket % FS_CACHE_STRIPE_COUNT];
    os_mutex_lock(stripe->mutex);
    CachedFile* file = fs_cache_find(slot, key.key[0], key.key[1]);
    if (!file || --file->holders > 0) {
        os_mutex_unlock(stripe->mutex);
        return;
    }
    if (file->prev) {
        file->prev->next = file->next;
    } else {
        slot->first = file->next;
    }
    if (file->next) {
        file->next->prev = file->prev;
    } else {
        slot->last = file->prev;
    }
    os_mutex_unlock(stripe->mutex);
    if (file->arena) arena_release(file->arena);
    if (file->block) fs_pack_block_drop(file->block);
    os_mutex_lock(g_fs_cache->records_mutex);
    file->next = g_fs_cache->free_records;
    g_fs_cache->free_records = file;
    os_mutex_unlock(g_fs_cache->records_mutex);
}

FileKey fs_store(Arena** bytes_arena, String bytes) {
    Arena* arena = *bytes_arena;
    *bytes_arena = 0;
    return fs_store_bytes(arena, 0, 0, bytes);
}

String fs_loaded_file(FileKey key) {
    if (!g_fs_cache || fs_key_is_zero(key)) return String{};
    u64 bucket = key.key[0] % FS_CACHE_SLOT_COUNT;
    FileCacheStripe* stripe = &g_fs_cache->stripes[bucket % FS_CACHE_STRIPE_COUNT];
    String result = {};
    os_mutex_lock(stripe->mutex);
    CachedFile* file = fs_cache_find(&g_fs_cache->slots[bucket], key.key[0], key.key[1]);
    if (file) {
        file->last_access = os_now_microseconds();
        result = file->data;
    }
    os_mutex_unlock(stripe->mutex);
    return result;
}

// ---- Queue ---------------------------------------------------------------------

static void fs_queue_copy_in(FileQueue* queue, u64 pos, const u8* bytes, u64 size) {
    ring_write(queue->buffer, FS_QUEUE_SIZE, pos, bytes, size);
}

static void fs_queue_copy_out(FileQueue* queue, u64 pos, u8* bytes, u64 size) {
    ring_read(queue->buffer, FS_QUEUE_SIZE, pos, bytes, size);
}

// Items read ahead are put in the queue without waking the streamers until
// this many have gathered: a streamer woken for each would sleep again after
// each file. A requester that waits reads its file itself, also one queued
// and not yet taken (see fs_request_file_up_to): nothing waits on a sleeping
// streamer.
#define FS_WAKE_BATCH 8

// Puts `path` in the queue, waking the streamers when `wake` or when enough
// items have gathered.
static u32 fs_queue_put(String path, u64 deadline, bool wake) {
    if (!g_fs_requests || path.size > FS_PATH_MAX) return 0;
    FileQueue* queue = &g_fs_requests->queue;
    u64 needed = path.size + 8;
    os_mutex_lock(queue->mutex);
    // Both counters are multiples of 8, so enough free space for the length
    // and the path is also enough for the aligned item.
    while (FS_QUEUE_SIZE - (queue->write_pos - queue->read_pos) < needed) {
        if (FS_NO_TIME_LEFT(deadline)) {
            os_mutex_unlock(queue->mutex);
            return 0;
        }
        os_condition_wait_mutex(queue->cv, queue->mutex, deadline);
    }
    u64 length = path.size;
    fs_queue_copy_in(queue, queue->write_pos, (const u8*)&length, 8);
    fs_queue_copy_in(queue, queue->write_pos + 8, path.str, path.size);
    queue->write_pos = ALIGN_POW2(queue->write_pos + 8 + path.size, 8);
    queue->unwoken += 1;
    wake = wake || queue->unwoken >= FS_WAKE_BATCH;
    if (wake) queue->unwoken = 0;
    os_mutex_unlock(queue->mutex);
    if (wake) os_condition_broadcast(queue->cv);
    return 1;
}

u32 fs_submit(String path, u64 deadline) { return fs_queue_put(path, deadline, true); }

// ---- Request table -----------------------------------------------------------
//
// What a reader of this section needs to hold on to:
//
// - Every change of a record's state, `passed`, key and load count is made
//   under its stripe's lock: the claims (IDLE -> QUEUED, QUEUED or IDLE ->
//   LOADING, taking a passed item) under the shared lock, everything else
//   (the end of a load, a release, taking back a claim whose item never got
//   into the queue, a retirement) under the exclusive one. Under the
//   exclusive lock a record does not change.
// - A pointer to a record is only used under its stripe's lock, except by
//   the thread that moved the record to LOADING (until it makes it IDLE
//   again) and by the scanner for a record it moved to QUEUED (until its
//   item is in the queue). Threads that give up the lock find the record
//   again by its path.
// - A record is retired only under the exclusive lock, when it is IDLE,
//   loaded at least once and given back since (zero key), with no item to
//   pass over, and the scanner is not running. By the rules above no thread
//   then holds it, and every queue item put for it was taken: an item is put
//   only after a claim to QUEUED, and the record stays QUEUED or LOADING
//   until a streamer takes the item, or counts it in `passed` when a
//   requester took the load over.
// - A path is in its bucket or in its stripe's retired table, never both,
//   and its load count goes with it: a request that waits takes the entry
//   back into a new record (and reads the file), a read-ahead finds the
//   entry and reads nothing, as for a record read and given back.
// - While the scanner runs nothing is retired: it re-queues only the
//   records it sees. A scanner started later does not watch the retired
//   paths; none of them holds bytes, and a request that waits for one reads
//   the file as it is then, so no later request sees old contents.
//
// The 1024 buckets are not grown: with retirement they hold the paths in
// flight (a build's window and read-ahead), not every path of the site; only
// a running scanner, which is never started by a build or by watching, keeps
// every record.

struct FsRequestPlace {
    FileRequestSlot* slot;
    FileRequestStripe* stripe;
    u64 hash_high;  // of the path
    u32 hash_low;
};

static FsRequestPlace fs_request_place(String path) {
    XXH128_hash_t hash = XXH3_128bits(path.str, path.size);
    u64 bucket = hash.low64 % FS_REQUEST_SLOT_COUNT;
    FsRequestPlace place = {};
    place.slot = &g_fs_requests->slots[bucket];
    place.stripe = &g_fs_requests->stripes[bucket % FS_REQUEST_STRIPE_COUNT];
    // The bucket comes from the low bits; the retired table probes with the
    // high ones, which do not follow the stripe.
    place.hash_high = hash.high64;
    place.hash_low = (u32)(hash.low64 >> 32);
    return place;
}

// The path's record, and the one before it in the bucket in `*prev` (null
// for the first) when asked.
static FileRequest* fs_request_find(FileRequestSlot* slot, String path, FileRequest** prev = 0) {
    FileRequest* before = 0;
    for (FileRequest* request = slot->first; request; before = request, request = request->next) {
        if (string_equal(request->path, path)) {
            if (prev) *prev = before;
            return request;
        }
    }
    return 0;
}

// ---- Retired paths: under the stripe's lock, written under the exclusive one.

static FsRetiredPath* fs_retired_find(FsRetiredTable* table, FsRequestPlace place) {
    if (!table->capacity) return 0;
    u64 mask = table->capacity - 1;
    for (u64 i = place.hash_high & mask;; i = (i + 1) & mask) {
        FsRetiredPath* entry = &table->entries[i];
        if (entry->load_count == 0) return 0;
        if (entry->hash_high == place.hash_high && entry->hash_low == place.hash_low) return entry;
    }
}

static void fs_retired_put(FsRetiredTable* table, FsRetiredPath path) {
    u64 mask = table->capacity - 1;
    u64 i = path.hash_high & mask;
    while (table->entries[i].load_count != 0) i = (i + 1) & mask;
    table->entries[i] = path;
    table->count += 1;
}

// Doubles the table into a new arena and gives the old one back.
static void fs_retired_grow(FsRetiredTable* table) {
    FsRetiredTable grown = {};
    grown.capacity = table->capacity ? table->capacity * 2 : 64;
    ArenaParams params = {};
    params.flags = ARENA_EXACT_RESERVE | ARENA_NO_CHAIN;
    params.commit_size = KB(64);
    params.reserve_size = ALIGN_POW2(ARENA_HEADER_SIZE + grown.capacity * sizeof(FsRetiredPath), KB(4));
    grown.arena = arena_create(params);
    grown.entries = push_array<FsRetiredPath>(grown.arena, grown.capacity);
    for (u64 i = 0; i < table->capacity; i += 1) {
        if (table->entries[i].load_count != 0) fs_retired_put(&grown, table->entries[i]);
    }
    if (table->arena) arena_release(table->arena);
    *table = grown;
}

static void fs_retired_add(FsRetiredTable* table, FsRequestPlace place, u32 load_count) {
    if ((table->count + 1) * 8 > table->capacity * 7) fs_retired_grow(table);
    FsRetiredPath path = {place.hash_high, place.hash_low, load_count};
    fs_retired_put(table, path);
    atomic_increment(&g_fs_stats.retired_paths);
}

// Takes an entry out, moving later entries of its run back so that every
// entry stays reachable from its home without markers for removed ones.
static void fs_retired_remove(FsRetiredTable* table, FsRetiredPath* entry) {
    u64 mask = table->capacity - 1;
    u64 hole = (u64)(entry - table->entries);
    for (u64 i = (hole + 1) & mask;; i = (i + 1) & mask) {
        FsRetiredPath* next = &table->entries[i];
        if (next->load_count == 0) break;
        u64 home = next->hash_high & mask;
        // The entry may fill the hole when the hole is between its home and it.
        if (((i - home) & mask) >= ((i - hole) & mask)) {
            table->entries[hole] = *next;
            hole = i;
        }
    }
    table->entries[hole] = FsRetiredPath{};
    table->count -= 1;
    atomic_decrement(&g_fs_stats.retired_paths);
}

// ---- Records

static u32 fs_record_class(u64 size) {
    if (size <= FS_RECORD_STEP * FS_RECORD_STEP_CLASSES) return (u32)((size - 1) / FS_RECORD_STEP);
    u32 c = FS_RECORD_STEP_CLASSES;
    for (u64 block = KB(8); block < size; block *= 2) c += 1;
    return c;
}

static u64 fs_record_class_size(u32 c) {
    if (c < FS_RECORD_STEP_CLASSES) return (u64)(c + 1) * FS_RECORD_STEP;
    return KB(8) << (c - FS_RECORD_STEP_CLASSES);
}

static_assert(KB(8) << (FS_RECORD_CLASS_COUNT - 1 - FS_RECORD_STEP_CLASSES) >= sizeof(FileRequest) + FS_PATH_MAX + 1,
              "the largest class holds the longest path");

// A record for `path` in a block of its class, reused when one is free.
static FileRequest* fs_record_alloc(String path) {
    u32 c = fs_record_class(sizeof(FileRequest) + path.size + 1);
    FileRequests* requests = g_fs_requests;
    os_mutex_lock(requests->records_mutex);
    FileRequest* request = requests->free_records[c];
    if (request) {
        requests->free_records[c] = request->next;
    } else {
        request = (FileRequest*)arena_push(requests->records, fs_record_class_size(c), alignof(FileRequest));
    }
    os_mutex_unlock(requests->records_mutex);
    *request = FileRequest{};
    u8* bytes = (u8*)(request + 1);
    memcpy(bytes, path.str, path.size);
    bytes[path.size] = 0;
    request->path = String{bytes, path.size};
    request->size_class = c;
    atomic_increment(&g_fs_stats.requests);
    return request;
}

static void fs_record_free(FileRequest* request) {
    FileRequests* requests = g_fs_requests;
    os_mutex_lock(requests->records_mutex);
    request->next = requests->free_records[request->size_class];
    requests->free_records[request->size_class] = request;
    os_mutex_unlock(requests->records_mutex);
    atomic_decrement(&g_fs_stats.requests);
}

// ---- Retirement

// Takes one item to pass over from the request; false when there is none.
static bool fs_take_passed(FileRequest* request) {
    for (;;) {
        u64 passed = atomic_load(&request->passed);
        if (passed == 0) return false;
        if (atomic_exchange_if(&request->passed, passed, passed - 1)) return true;
    }
}

static u64 g_fs_scanner_paused;
static u64 g_fs_scanner_started;

static bool fs_scanner_running() {
    return atomic_load(&g_fs_scanner_started) && !atomic_load(&g_fs_scanner_paused);
}

// Whether the record may be retired (see the rules at the top); decided
// under the exclusive lock, a hint under the shared one.
static bool fs_request_may_retire(FileRequest* request) {
    return atomic_load(&request->state) == FILE_REQUEST_IDLE && request->key[0] == 0 && request->key[1] == 0 &&
           request->load_count != 0 && request->load_count <= 0xFFFFFFFFull && atomic_load(&request->passed) == 0 &&
           !fs_scanner_running();
}

// Under the exclusive lock: takes the record out of its bucket (after
// `prev`), keeps the path's load count in the retired table and frees the
// block.
static void fs_request_retire(FsRequestPlace place, FileRequest* prev, FileRequest* request) {
    FileRequestSlot* slot = place.slot;
    if (prev) {
        prev->next = request->next;
    } else {
        slot->first = request->next;
    }
    if (slot->last == request) slot->last = prev;
    fs_retired_add(&place.stripe->retired, place, (u32)request->load_count);
    fs_record_free(request);
}

// Retires the path's record if it may be: for a thread that found it so
// under the shared lock.
static void fs_request_settle(FsRequestPlace place, String path) {
    os_rw_lock_exclusive(place.stripe->lock);
    FileRequest* prev = 0;
    FileRequest* request = fs_request_find(place.slot, path, &prev);
    if (request && fs_request_may_retire(request)) fs_request_retire(place, prev, request);
    os_rw_unlock_exclusive(place.stripe->lock);
}

// Takes back a claim to QUEUED whose item did not get into the queue. A
// requester that took the load over meanwhile counted the item to be passed
// over: the count is taken back instead.
static void fs_request_unqueue(FsRequestPlace place, String path) {
    os_rw_lock_exclusive(place.stripe->lock);
    FileRequest* prev = 0;
    FileRequest* request = fs_request_find(place.slot, path, &prev);
    if (request) {
        if (!atomic_exchange_if(&request->state, FILE_REQUEST_QUEUED, FILE_REQUEST_IDLE)) fs_take_passed(request);
        if (fs_request_may_retire(request)) fs_request_retire(place, prev, request);
    }
    os_rw_unlock_exclusive(place.stripe->lock);
    os_condition_broadcast(place.stripe->cv);
}

// Under the exclusive lock: makes the path's record unless there is one, or
// unless the path was read and given back and the caller only reads ahead.
// A record made for a retired path takes its load count over.
static void fs_request_make(FsRequestPlace place, String path, u64 max_size, u64 deadline) {
    if (fs_request_find(place.slot, path)) return;
    FsRetiredTable* retired = &place.stripe->retired;
    FsRetiredPath* entry = fs_retired_find(retired, place);
    if (entry && FS_NO_TIME_LEFT(deadline)) return;
    FileRequest* request = fs_record_alloc(path);
    request->size_limit = max_size;
    if (entry) {
        request->load_count = entry->load_count;
        fs_retired_remove(retired, entry);
    }
    SLL_QUEUE_PUSH(place.slot->first, place.slot->last, request);
}

static void fs_load(FileRequest* request, FsRequestPlace place, FsPackBlock** pack);

// The block a requesting thread packs the small files it reads itself into.
static FsPackBlock** fs_requester_pack() {
    static thread_local FsPackBlock* pack = 0;
    if (!pack) pack = fs_pack_block_create();
    return &pack;
}

FileKey fs_request_file(String path, u64 deadline) { return fs_request_file_up_to(path, 0, deadline); }

FileKey fs_request_file_up_to(String path, u64 max_size, u64 deadline) {
    FileKey result = {};
    if (!g_fs_requests || path.size > FS_PATH_MAX) return result;
    FsRequestPlace place = fs_request_place(path);
    OsRwLock* lock = place.stripe->lock;

    os_rw_lock_shared(lock);
    for (;;) {
        FileRequest* request = fs_request_find(place.slot, path);
        if (!request) {
            // Read and given back: read ahead gives nothing, as below.
            if (FS_NO_TIME_LEFT(deadline) && fs_retired_find(&place.stripe->retired, place)) break;
            os_rw_unlock_shared(lock);
            os_rw_lock_exclusive(lock);
            fs_request_make(place, path, max_size, deadline);
            os_rw_unlock_exclusive(lock);
            os_rw_lock_shared(lock);
            continue;
        }

        u64 state = atomic_load(&request->state);
        bool loaded = request->key[0] != 0 || request->key[1] != 0;
        if (loaded && state == FILE_REQUEST_IDLE) {
            result.key[0] = request->key[0];
            result.key[1] = request->key[1];
            result.last_write_time = request->last_write_time;
            result.size = request->size;
            result.error = request->error;
            os_rw_unlock_shared(lock);
            return result;
        }

        if (!loaded && state == FILE_REQUEST_IDLE) {
            // A requester that would wait reads the file itself rather than
            // sleep until a streamer has read it; read ahead is queued.
            if (!FS_NO_TIME_LEFT(deadline)) {
                if (atomic_exchange_if(&request->state, FILE_REQUEST_IDLE, FILE_REQUEST_LOADING)) {
                    os_rw_unlock_shared(lock);
                    fs_load(request, place, fs_requester_pack());
                    os_rw_lock_shared(lock);
                }
                continue;
            }
            // Read before and given back since: its reader is done with it.
            // A worker that reads its own document can finish and release it
            // before the read-ahead of it gets here; queued now, it would be
            // read twice. Such a record is retired here if it was not at the
            // release.
            if (request->load_count != 0) {
                bool retire = fs_request_may_retire(request);
                os_rw_unlock_shared(lock);
                if (retire) fs_request_settle(place, path);
                return result;
            }
            // Claimed under the lock, so no load can end between the look
            // above and the claim. Queued without it: waiting for queue
            // space while holding a stripe would stall the streamers that
            // free it when they finish a load.
            if (!atomic_exchange_if(&request->state, FILE_REQUEST_IDLE, FILE_REQUEST_QUEUED)) continue;
            os_rw_unlock_shared(lock);
            u32 queued = fs_queue_put(path, deadline, false);
            if (!queued) fs_request_unqueue(place, path);
            os_rw_lock_shared(lock);
            if (!queued) break;
            continue;
        }

        if (FS_NO_TIME_LEFT(deadline)) break;
        // Queued and no streamer on it yet: reading it here is quicker than
        // sleeping until one gets to it. Its queue item is passed over.
        if (state == FILE_REQUEST_QUEUED) {
            atomic_increment(&request->passed);
            if (atomic_exchange_if(&request->state, FILE_REQUEST_QUEUED, FILE_REQUEST_LOADING)) {
                os_rw_unlock_shared(lock);
                fs_load(request, place, fs_requester_pack());
                os_rw_lock_shared(lock);
                continue;
            }
            atomic_decrement(&request->passed);
        }
        os_condition_wait_rw(place.stripe->cv, lock, deadline, true);
    }
    os_rw_unlock_shared(lock);
    return result;
}

u64 fs_request_load_count(String path) {
    if (!g_fs_requests || path.size > FS_PATH_MAX) return 0;
    FsRequestPlace place = fs_request_place(path);
    os_rw_lock_shared(place.stripe->lock);
    FileRequest* request = fs_request_find(place.slot, path);
    u64 count = 0;
    if (request) {
        count = request->load_count;
    } else if (FsRetiredPath* entry = fs_retired_find(&place.stripe->retired, place)) {
        count = entry->load_count;
    }
    os_rw_unlock_shared(place.stripe->lock);
    return count;
}

void fs_release_file(String path) {
    if (!g_fs_requests || path.size > FS_PATH_MAX) return;
    FsRequestPlace place = fs_request_place(path);
    FileKey key = {};
    os_rw_lock_exclusive(place.stripe->lock);
    FileRequest* prev = 0;
    FileRequest* request = fs_request_find(place.slot, path, &prev);
    if (request && atomic_load(&request->state) == FILE_REQUEST_IDLE) {
        key.key[0] = request->key[0];
        key.key[1] = request->key[1];
        // Not loaded any more: a later request reads the file again.
        request->key[0] = 0;
        request->key[1] = 0;
        if (fs_request_may_retire(request)) fs_request_retire(place, prev, request);
    }
    os_rw_unlock_exclusive(place.stripe->lock);
    if (!fs_key_is_zero(key)) fs_cache_release(key);
}

// ---- Streamers -------------------------------------------------------------------

// Takes the next path from the queue into `arena`, waiting without limit.
static String fs_queue_take(Arena* arena) {
    FileQueue* queue = &g_fs_requests->queue;
    os_mutex_lock(queue->mutex);
    while (queue->write_pos - queue->read_pos < 8) os_condition_wait_mutex(queue->cv, queue->mutex, DEADLINE_NONE);
    u64 length = 0;
    fs_queue_copy_out(queue, queue->read_pos, (u8*)&length, 8);
    length = MIN(length, FS_PATH_MAX);
    String path = {push_array_no_zero<u8>(arena, length + 1), length};
    fs_queue_copy_out(queue, queue->read_pos + 8, path.str, length);
    path.str[length] = 0;
    queue->read_pos = ALIGN_POW2(queue->read_pos + 8 + length, 8);
    os_mutex_unlock(queue->mutex);
    os_condition_broadcast(queue->cv);
    return path;
}

// Files below this size are packed one after another into their streamer's
// arena: an arena of its own costs a file half a page on average, as much as
// the bytes of a typical document.
#define FS_PACK_LIMIT KB(256)

// What a streamer found out about a file besides its bytes.
struct FsReadOutcome {
    Arena* arena;  // holds the bytes when the file got an arena of its own
    u64 last_write_time;
    u64 size;
    u32 error;  // OsFileError
};

// Reads a whole file, unless it is larger than `size_limit` (0: no limit): a
// small one into `pack`, a large one into an arena of its own. The recorded
// time is the path's last-write time whenever the path exists, also for an
// empty, unreadable or refused file, so the scanner sees no change until the
// file changes.
static String fs_read_file(String path, FsPackBlock** pack, u64* pack_mark, u64 size_limit, FsReadOutcome* out) {
    String bytes = {};
    *out = FsReadOutcome{};
    OsFileProperties props = {};
    OsFile file = os_open_file(OS_FILE_READ | OS_FILE_SHARE_READ, path, &out->error, &props);
    if (file == OS_FILE_INVALID) {
        out->last_write_time = os_path_properties(path).last_write_time;
        return bytes;
    }
    out->last_write_time = props.last_write_time;
    out->size = props.size;
    if (size_limit && props.size > size_limit) {
        out->error = OS_FILE_ERROR_TOO_LARGE;
    } else if (props.size && props.size < FS_PACK_LIMIT) {
        // The bytes and their terminating NUL go into the streamer's block,
        // or into a new one when they do not fit.
        if (arena_pos((*pack)->arena) + props.size + 64 > FS_PACK_BLOCK_SIZE) {
            fs_pack_block_drop(*pack);
            *pack = fs_pack_block_create();
        }
        *pack_mark = arena_pos((*pack)->arena);
        bytes = os_read_range((*pack)->arena, file, Range64{0, props.size});
    } else if (props.size) {
        ArenaParams params = {};
        params.flags = ARENA_EXACT_RESERVE | ARENA_NO_CHAIN;
        params.commit_size = KB(4);
        // Header, bytes and the terminating NUL the read adds.
        params.reserve_size = ALIGN_POW2(ARENA_HEADER_SIZE + props.size + 1, MB(1));
        Arena* arena = arena_create(params);
        if (arena) {
            bytes = os_read_range(arena, file, Range64{0, props.size});
            out->arena = arena;
        }
    }
    os_close_file(file);
    // A read that stopped short (a device error, a file cut while read) is
    // no copy of the file.
    if (!out->error && bytes.size < props.size) out->error = OS_FILE_ERROR_IO;
    return bytes;
}

// Loads a request this thread moved to LOADING, packing a small file into
// `*pack`, and makes it IDLE with what was found.
static void fs_load(FileRequest* request, FsRequestPlace place, FsPackBlock** pack) {
    FsReadOutcome outcome = {};
    u64 pack_mark = arena_pos((*pack)->arena);
    u64 size_limit = atomic_load(&request->size_limit);
    String bytes = fs_read_file(request->path, pack, &pack_mark, size_limit, &outcome);
    atomic_add(&g_fs_stats.loads, (u64)1);
    FileKey key = fs_store_bytes(outcome.arena, outcome.arena ? 0 : *pack, pack_mark, bytes);

    // A LOADING record is never retired, so the pointer found before still holds.
    os_rw_lock_exclusive(place.stripe->lock);
    request->key[0] = key.key[0];
    request->key[1] = key.key[1];
    request->last_write_time = outcome.last_write_time;
    request->size = outcome.size;
    request->error = outcome.error;
    request->load_count += 1;
    atomic_store(&request->state, FILE_REQUEST_IDLE);
    os_rw_unlock_exclusive(place.stripe->lock);
    os_condition_broadcast(place.stripe->cv);
}

static void fs_streamer_main(u64 index) {
    os_set_thread_name("[FS] Streamer #%llu", (unsigned long long)index);
    FsPackBlock* pack = fs_pack_block_create();
    for (;;) {
        Scratch scratch;
        String path = fs_queue_take(scratch.arena);

        FsRequestPlace place = fs_request_place(path);
        os_rw_lock_shared(place.stripe->lock);
        FileRequest* request = fs_request_find(place.slot, path);
        bool mine = false;
        bool passed_over = false;
        if (request) {
            mine = atomic_exchange_if(&request->state, FILE_REQUEST_QUEUED, FILE_REQUEST_LOADING);
            if (!mine) passed_over = fs_take_passed(request);
            if (!mine && !passed_over) mine = atomic_exchange_if(&request->state, FILE_REQUEST_IDLE, FILE_REQUEST_LOADING);
        }
        // The last item of a path read by its requester and given back
        // before the item came up: the record could not be retired at the
        // release.
        bool settle = passed_over && fs_request_may_retire(request);
        os_rw_unlock_shared(place.stripe->lock);
        if (settle) fs_request_settle(place, path);
        if (!mine) continue;
        fs_load(request, place, &pack);
    }
}

// ---- Scanner -------------------------------------------------------------------

static void fs_scanner_main(u64 param);

// The scanner thread is started by the first unpaused moment after fs_start:
// a build, which pauses it before the start, never starts it.
static void fs_scanner_start_once() {
    if (!g_fs_requests || atomic_load(&g_fs_scanner_paused)) return;
    if (atomic_exchange_if(&g_fs_scanner_started, (u64)0, (u64)1)) {
        g_fs_requests->scanner = os_thread_start(fs_scanner_main, 0);
    }
}

void fs_scanner_pause(bool paused) {
    atomic_store(&g_fs_scanner_paused, paused ? 1 : 0);
    fs_scanner_start_once();
}

static void fs_scanner_main(u64 param) {
    (void)param;
    os_set_thread_name("[FS] Scanner");
    for (;;) {
        if (atomic_load(&g_fs_scanner_paused)) {
            os_sleep(100);
            continue;
        }
        u64 pass_start = os_now_microseconds();
        for (u64 bucket = 0; bucket < FS_REQUEST_SLOT_COUNT; bucket += 1) {
            Scratch scratch;
            FileRequestSlot* slot = &g_fs_requests->slots[bucket];
            FileRequestStripe* stripe = &g_fs_requests->stripes[bucket % FS_REQUEST_STRIPE_COUNT];
            // Changed paths are claimed under the lock and queued after it:
            // queueing may wait for space, which streamers free only after
            // taking stripe locks.
            struct Changed {
                Changed* next;
                FileRequest* request;
            };
            Changed* first = 0;
            Changed* last = 0;
            os_rw_lock_shared(stripe->lock);
            for (FileRequest* request = slot->first; request; request = request->next) {
                if (atomic_load(&request->state) != FILE_REQUEST_IDLE) continue;
                u64 time = os_path_properties(request->path).last_write_time;
                if (time == request->last_write_time) continue;
                if (!atomic_exchange_if(&request->state, FILE_REQUEST_IDLE, FILE_REQUEST_QUEUED)) continue;
                Changed* node = push_struct<Changed>(scratch.arena);
                node->request = request;
                SLL_QUEUE_PUSH(first, last, node);
            }
            os_rw_unlock_shared(stripe->lock);
            for (Changed* node = first; node; node = node->next) {
                String path = node->request->path;
                if (!fs_submit(path, DEADLINE_NONE)) fs_request_unqueue(fs_request_place(path), path);
            }
        }
        atomic_add(&g_fs_stats.scans, (u64)1);
        // 100 ms between passes, and with many files at least nine times the
        // pass itself: watching never takes more than a tenth of a processor
        // away from the streamers and the build.
        u64 pass_ms = (os_now_microseconds() - pass_start) / 1000;
        os_sleep(MAX((u64)100, pass_ms * 9));
    }
}

// ---- Start -----------------------------------------------------------------------

void fs_start() {
    if (g_fs_requests) return;
    fs_init();
    Arena* arena = arena_create(GB(8), KB(4));
    FileRequests* requests = push_struct<FileRequests>(arena);
    requests->arena = arena;
    requests->records = arena_create(GB(8), KB(64));
    requests->records_mutex = os_mutex_alloc();
    requests->queue.buffer = push_array_no_zero<u8>(arena, FS_QUEUE_SIZE);
    requests->queue.mutex = os_mutex_alloc();
    requests->queue.cv = os_condition_alloc();
    requests->slot_count = FS_REQUEST_SLOT_COUNT;
    requests->slots = push_array<FileRequestSlot>(arena, FS_REQUEST_SLOT_COUNT);
    requests->stripe_count = FS_REQUEST_STRIPE_COUNT;
    requests->stripes = push_array<FileRequestStripe>(arena, FS_REQUEST_STRIPE_COUNT);
    for (u64 i = 0; i < FS_REQUEST_STRIPE_COUNT; i += 1) {
        FileRequestStripe* stripe = &requests->stripes[i];
        stripe->cv = os_condition_alloc();
        stripe->lock = os_rw_lock_alloc();
    }
    u32 processors = os_system_info()->processor_count;
    requests->streamer_count = processors > 2 ? processors - 1 : 2;
    requests->streamers = push_array<OsThread*>(arena, requests->streamer_count);
    g_fs_requests = requests;

    for (u64 i = 0; i < requests->streamer_count; i += 1) requests->streamers[i] = os_thread_start(fs_streamer_main, i);
    fs_scanner_start_once();
}
