#include "base/ordered_work.h"

#include "base/os.h"

#define WORK_MAX_THREADS 64
#define WORK_MAX_WINDOW 256

struct WorkSlotState {
    WorkSlot slot;
    u64 index;  // the item the slot holds
    bool done;  // its work has finished
};

// The workers and the call they serve. Everything below `mutex` is read and
// written under it, except a slot's contents, which belong to the worker
// between taking its item and setting `done`, and to the caller after.
struct WorkPool {
    OsMutex* mutex;
    OsCondition* cv;  // every change wakes everybody
    u32 started;      // worker threads running
    // The current call; `work` is null between calls.
    WorkItem* work;
    void* context;
    u64 count;
    u64 next;       // next item to hand out
    u64 committed;  // items committed
    u32 window;
    u32 active;  // workers allowed to take items in this call
    WorkSlotState slots[WORK_MAX_WINDOW];
};

static WorkPool* g_work_pool;

// Takes the next item and works on it outside the lock, then marks its slot
// done. Called and returns with the pool's mutex held.
static void work_next_item(WorkPool* pool, WorkItem* work, void* context) {
    u64 index = pool->next++;
    WorkSlotState* state = &pool->slots[index % pool->window];
    os_mutex_unlock(pool->mutex);
    arena_pop_to(state->slot.arena, 0);
    state->slot.result = 0;
    work(context, index, &state->slot);
    os_mutex_lock(pool->mutex);
    state->index = index;
    state->done = true;
    os_condition_broadcast(pool->cv);
}

static void work_thread_main(u64 number) {
    os_set_thread_name("[Build] Worker #%llu", (unsigned long long)number);
    WorkPool* pool = g_work_pool;
    os_mutex_lock(pool->mutex);
    for (;;) {
        bool can_take = pool->work && number < pool->active && pool->next < pool->count &&
                        pool->next < pool->committed + pool->window;
        if (!can_take) {
            os_condition_wait_mutex(pool->cv, pool->mutex, DEADLINE_NONE);
            continue;
        }
        work_next_item(pool, pool->work, pool->context);
    }
}

// Slot arenas are made when a slot is first used: most calls use a few.
static void work_slots_ready(WorkPool* pool, u32 count) {
    for (u32 i = 0; i < count; i += 1) {
        if (!pool->slots[i].slot.arena) pool->slots[i].slot.arena = arena_create(GB(4), MB(1));
    }
}

static WorkPool* work_pool(u32 threads) {
    if (!g_work_pool) {
        Arena* arena = arena_create(MB(1), KB(64));
        WorkPool* pool = push_struct<WorkPool>(arena);
        pool->mutex = os_mutex_alloc();
        pool->cv = os_condition_alloc();
        g_work_pool = pool;
    }
    WorkPool* pool = g_work_pool;
    while (pool->started < threads) {
        if (!os_thread_start(work_thread_main, pool->started)) break;
        pool->started += 1;
    }
    return pool;
}

void work_ordered(u64 count, u32 threads, u32 window, WorkItem* work, WorkCommit* commit, void* context) {
    if (count == 0) return;
    threads = MIN(threads, (u32)WORK_MAX_THREADS);
    // No more slots than items: each slot is an arena to make.
    window = (u32)MAX(1ull, MIN((u64)MIN(window, (u32)WORK_MAX_WINDOW), count));
    WorkPool* pool = work_pool(count > 1 ? threads : 0);
    if (threads <= 1 || count == 1 || pool->started == 0) {
        // One thread: the work of each item, then its commit, in one slot.
        work_slots_ready(pool, 1);
        WorkSlot* slot = &pool->slots[0].slot;
        for (u64 i = 0; i < count; i += 1) {
            arena_pop_to(slot->arena, 0);
            slot->result = 0;
            work(context, i, slot);
            commit(context, i, slot);
        }
        return;
    }

    work_slots_ready(pool, window);
    os_mutex_lock(pool->mutex);
    for (u32 i = 0; i < window; i += 1) pool->slots[i].done = false;
    pool->context = context;
    pool->count = count;
    pool->next = 0;
    pool->committed = 0;
    pool->window = window;
    pool->active = MIN(threads, pool->started);
    pool->work = work;
    os_condition_broadcast(pool->cv);
    for (u64 i = 0; i < count; i += 1) {
        WorkSlotState* state = &pool->slots[i % window];
        while (!(state->done && state->index == i)) {
            // Rather than sleep until a worker is done, the caller does the
            // next item itself when the window has room for one.
            if (pool->next < pool->count && pool->next < pool->committed + pool->window) {
                work_next_item(pool, work, context);
                continue;
            }
            os_condition_wait_mutex(pool->cv, pool->mutex, DEADLINE_NONE);
        }
        os_mutex_unlock(pool->mutex);
        commit(context, i, &state->slot);
        os_mutex_lock(pool->mutex);
        state->done = false;
        pool->committed = i + 1;
        os_condition_broadcast(pool->cv);
    }
    pool->work = 0;
    os_mutex_unlock(pool->mutex);
}
