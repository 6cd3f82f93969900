#include "base/arena.h"

#include <string.h>

#include "base/os.h"

#define ARENA_RESERVE_GRANULE GB(1)

// Length of the address range reserved for a block.
static u64 arena_reserved_range(u32 flags, u64 reserved) {
    if (flags & (ARENA_LARGE_PAGES | ARENA_EXACT_RESERVE)) return reserved;
    return ALIGN_POW2(reserved, ARENA_RESERVE_GRANULE);
}

u64 arena_page_size() {
    const SystemInfo* info = os_system_info();
    if (info->large_page_size) return info->large_page_size;
    return 4096;
}

// ---- Arena ----------------------------------------------------------------

Arena* arena_create(ArenaParams params) {
    u64 page = arena_page_size();
    u64 reserve = ALIGN_POW2(params.reserve_size ? params.reserve_size : page, page);
    u64 commit = ALIGN_POW2(params.commit_size ? params.commit_size : page, page);
    if (commit > reserve) commit = reserve;

    void* base = params.memory;
    if (!base) {
        if (params.flags & ARENA_LARGE_PAGES) {
            base = os_reserve_commit_large(reserve);
            commit = reserve;
        } else {
            // A block made whole for one request is committed whole; any
            // other starts with at most ARENA_FIRST_COMMIT.
            if (commit < reserve && commit > ARENA_FIRST_COMMIT) commit = ARENA_FIRST_COMMIT;
            base = os_reserve(arena_reserved_range(params.flags, reserve));
            if (base && !os_commit(base, commit)) {
                os_release(base, arena_reserved_range(params.flags, reserve));
                base = 0;
            }
        }
    }
    if (!base) return 0;

    Arena* arena = (Arena*)base;
    arena->prev = 0;
    arena->current = arena;
    arena->flags = params.flags;
    // The granule field is 32 bits; a block made for one huge request is
    // committed whole, so clamping its granule loses nothing.
    arena->commit_size = (u32)MIN(ALIGN_POW2(params.commit_size ? params.commit_size : page, page), (u64)0x80000000);
    arena->reserve_size = params.reserve_size;
    arena->base_pos = 0;
    arena->pos = ARENA_HEADER_SIZE;
    arena->committed = commit;
    arena->reserved = reserve;
    arena->fresh = params.memory ? ~0ull : ARENA_HEADER_SIZE;
    if (params.memory) arena->current = arena;
    return arena;
}

Arena* arena_create(u64 reserve_size, u64 commit_size) {
    ArenaParams params = {};
    params.reserve_size = reserve_size;
    params.commit_size = commit_size;
    return arena_create(params);
}

// Hands out `size` bytes; with `zero`, the part of them that was handed out
// before is cleared (the rest is still the system's zeros).
static void* arena_push_bytes(Arena* arena, u64 size, u64 align, bool zero) {
    if (align == 0) align = 1;
    Arena* block = arena->current;
    u64 start = ALIGN_POW2(block->pos, align);
    u64 end = start + size;

    if (end > block->reserved && !(arena->flags & ARENA_NO_CHAIN)) {
        u64 header = ALIGN_POW2((u64)ARENA_HEADER_SIZE, align);
        ArenaParams params = {};
        params.flags = block->flags;
        if (size + header > block->reserve_size) {
            params.reserve_size = size + header;
            params.commit_size = size + header;
        } else {
            params.reserve_size = block->reserve_size;
            params.commit_size = block->commit_size;
        }
        Arena* next = arena_create(params);
        if (!next) return 0;
        next->base_pos = block->base_pos + block->reserved;
        next->prev = block;
        arena->current = next;
        block = next;
        start = ALIGN_POW2(block->pos, align);
        end = start + size;
    }

    if (end > block->committed && !(block->flags & ARENA_LARGE_PAGES)) {
        u64 granule = block->commit_size ? block->commit_size : arena_page_size();
        // Committed memory is mapped at once (see os_commit), so a block
        // with a large granule grows by what it already holds, from 64 KB
        // up to the granule: a small user maps little, a large one makes
        // few calls.
        if (granule > ARENA_FIRST_COMMIT) granule = MIN(granule, MAX(ALIGN_POW2(block->committed, ARENA_FIRST_COMMIT), ARENA_FIRST_COMMIT));
        u64 target = end + granule - 1;
        target -= target % granule;
        if (target > block->reserved) target = block->reserved;
        if (target > block->committed) {
            if (os_commit((u8*)block + block->committed, target - block->committed)) {
                block->committed = target;
            }
        }
    }

    if (block->committed < end) return 0;
    block->pos = end;
    if (zero && start < block->fresh) memset((u8*)block + start, 0, MIN(end, block->fresh) - start);
    if (end > block->fresh) block->fresh = end;
    return (u8*)block + start;
}

void* arena_push(Arena* arena, u64 size, u64 align) { return arena_push_bytes(arena, size, align, false); }

void* arena_push_zero(Arena* arena, u64 size, u64 align) { return arena_push_bytes(arena, size, align, true); }

u64 arena_pos(Arena* arena) {
    Arena* block = arena->current;
    return block->base_pos + block->pos;
}

static void arena_release_block(Arena* block) { os_release(block, arena_reserved_range(block->flags, block->reserved)); }

void arena_pop_to(Arena* arena, u64 pos) {
    if (pos < ARENA_HEADER_SIZE) pos = ARENA_HEADER_SIZE;
    Arena* block = arena->current;
    while (block->base_pos >= pos && block->prev) {
        Arena* prev = block->prev;
        arena_release_block(block);
        block = prev;
    }
    arena->current = block;
    u64 local = pos - block->base_pos;
    if (local < block->pos) block->pos = local;
}

void arena_pop(Arena* arena, u64 size) {
    u64 pos = arena_pos(arena);
    arena_pop_to(arena, size < pos ? pos - size : 0);
}

void arena_release(Arena* arena) {
    Arena* block = arena->current;
    while (block) {
        Arena* prev = block->prev;
        arena_release_block(block);
        block = prev;
    }
}

TempArena temp_begin(Arena* arena) {
    TempArena temp = {arena, arena_pos(arena)};
    return temp;
}

void temp_end(TempArena temp) { arena_pop_to(temp.arena, temp.pos); }

// ---- Thread context ---------------------------------------------------------

static thread_local ThreadContext* tl_context;
static thread_local ThreadContext tl_fallback_context;

ThreadContext thread_context_create() {
    ThreadContext ctx = {};
    for (int i = 0; i < 2; i += 1) {
        ctx.scratch[i] = arena_create(GB(8), MB(1));
    }
    return ctx;
}

void thread_context_set(ThreadContext* ctx) { tl_context = ctx; }

ThreadContext* thread_context_get() {
    if (!tl_context) {
        tl_fallback_context = thread_context_create();
        tl_context = &tl_fallback_context;
    }
    return tl_context;
}

void thread_context_release(ThreadContext* ctx) {
    for (int i = 0; i < 2; i += 1) {
        if (ctx->scratch[i]) arena_release(ctx->scratch[i]);
        ctx->scratch[i] = 0;
    }
}

TempArena scratch_begin(Arena** conflicts, u64 conflict_count) {
    ThreadContext* ctx = thread_context_get();
    for (int i = 0; i < 2; i += 1) {
        Arena* candidate = ctx->scratch[i];
        bool taken = false;
        for (u64 c = 0; c < conflict_count; c += 1) {
            if (conflicts[c] == candidate) {
                taken = true;
                break;
            }
        }
        if (!taken) return temp_begin(candidate);
    }
    // Both scratch arenas are being filled by callers: the first is the
    // least harmful choice, as the callee then pops only what it pushed.
    return temp_begin(ctx->scratch[0]);
}
