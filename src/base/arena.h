// Arenas: reserved address ranges committed page by page as a bump position
// advances, chained into further blocks when full. Nothing is freed piece by
// piece; memory goes back by popping to an earlier position or by release.
#pragma once

#include "base/core.h"

// ---- Arena ----------------------------------------------------------------

enum ArenaFlags : u32 {
    ARENA_NO_CHAIN = 1 << 0,     // never add a block: a full arena fails
    ARENA_LARGE_PAGES = 1 << 1,  // reserve and commit the whole block at once
    // Reserve exactly the page-rounded size instead of a 1 GiB-rounded
    // range: for the many small arenas that hold one file's bytes each.
    ARENA_EXACT_RESERVE = 1 << 2,
};

#define ARENA_HEADER_SIZE 128
// Most a block commits at first, and the first step of a block whose
// granule is larger: its steps then double up to the granule.
#define ARENA_FIRST_COMMIT KB(64)

// Every block starts with this header; positions count from the block start,
// header included. The first block is the arena handle.
struct Arena {
    Arena* prev;       // previous block of the chain; null in the first block
    Arena* current;    // block in use (meaningful in the first block)
    u32 flags;         // ArenaFlags
    u32 commit_size;   // commit granule of this block, bytes
    u64 reserve_size;  // reserve size given to blocks added later, bytes
    u64 base_pos;      // arena-wide position where this block begins
    u64 pos;           // bytes in use in this block, header included
    u64 committed;     // bytes committed in this block
    u64 reserved;      // bytes reserved for this block (not 1 GiB rounded)
    // From here on, the block's memory was never handed out and still holds
    // the zeros the system mapped: zeroed pushes skip it, and pages nobody
    // writes are never touched. All ones for memory the caller gave.
    u64 fresh;
    u8 unused[56];
};
static_assert(sizeof(Arena) == ARENA_HEADER_SIZE, "arena header is 128 bytes");

struct ArenaParams {
    u32 flags;
    u64 commit_size;
    u64 reserve_size;
    void* memory;  // optional existing range to place the block in
};

struct TempArena {
    Arena* arena;
    u64 pos;
};

Arena* arena_create(ArenaParams params);
// Shorthand: an arena with the given reserve and commit granule, no flags.
Arena* arena_create(u64 reserve_size, u64 commit_size);
void* arena_push(Arena* arena, u64 size, u64 align);
u64 arena_pos(Arena* arena);
void arena_pop_to(Arena* arena, u64 pos);
void arena_pop(Arena* arena, u64 size);
void arena_release(Arena* arena);
// The system granule all arena sizes are rounded to.
u64 arena_page_size();

// Zeroed pushes; the typed forms are the everyday way to allocate.
void* arena_push_zero(Arena* arena, u64 size, u64 align);
template <typename T>
inline T* push_struct(Arena* arena) {
    return (T*)arena_push_zero(arena, sizeof(T), alignof(T));
}
template <typename T>
inline T* push_array(Arena* arena, u64 count) {
    return (T*)arena_push_zero(arena, sizeof(T) * count, alignof(T));
}
template <typename T>
inline T* push_array_no_zero(Arena* arena, u64 count) {
    return (T*)arena_push(arena, sizeof(T) * count, alignof(T));
}

TempArena temp_begin(Arena* arena);
void temp_end(TempArena temp);

// ---- Thread context and scratch memory ------------------------------------

struct ThreadContext {
    Arena* scratch[2];
    u8 name[64];
    u64 name_length;  // at most 64
    u32 is_main_thread;
};

ThreadContext thread_context_create();
void thread_context_set(ThreadContext* ctx);
// The current thread's context; a thread without one gets a fresh context.
ThreadContext* thread_context_get();
void thread_context_release(ThreadContext* ctx);

// A temporary scope on the first scratch arena of this thread that is not
// one of `conflicts` (the arenas the caller is filling).
TempArena scratch_begin(Arena** conflicts, u64 conflict_count);
inline TempArena scratch_begin(Arena* conflict = 0) {
    return scratch_begin(&conflict, conflict ? 1 : 0);
}
inline void scratch_end(TempArena temp) { temp_end(temp); }

// Scope object that ends the scratch scope when it leaves, so no path can
// forget `scratch_end`.
struct Scratch {
    TempArena temp;
    Arena* arena;
    explicit Scratch(Arena* conflict = 0) : temp(scratch_begin(conflict)), arena(temp.arena) {}
    Scratch(Arena** conflicts, u64 count) : temp(scratch_begin(conflicts, count)), arena(temp.arena) {}
    ~Scratch() { scratch_end(temp); }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
};
