// Numbered items worked on by several threads, their results taken in order:
// item i's work may run on any thread, at the same time as others', but the
// commits run on the calling thread one after the other, 0, 1, 2, ..., so
// whatever a commit prints or records comes out as if one thread had done
// everything.
#pragma once

#include "base/arena.h"

// An item's place while it is worked on and until it is committed. The
// arena is emptied before the item's work starts; `result` is for the work
// to hand something to the commit.
struct WorkSlot {
    Arena* arena;
    void* result;
};

typedef void WorkItem(void* context, u64 index, WorkSlot* slot);
typedef void WorkCommit(void* context, u64 index, WorkSlot* slot);

// Runs work(i) for every i below `count`, on `threads` worker threads (1 or
// fewer: on the calling thread, each work followed by its commit), and
// commit(i) on the calling thread in increasing order, each after its work.
// At most `window` items are worked on ahead of the last commit, which bounds
// the results held at once. The workers are started on first use and kept
// for later calls; calls must not overlap.
void work_ordered(u64 count, u32 threads, u32 window, WorkItem* work, WorkCommit* commit, void* context);
