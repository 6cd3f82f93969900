// Items worked on by any thread (the caller included) and committed in
// order, each once, with the result its own work left in its slot.
#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "base/ordered_work.h"
#include "base/os.h"

namespace {

struct Tally {
    std::vector<std::atomic<u32>> worked;
    std::vector<u64> committed;
    u64 wrong_results = 0;
    explicit Tally(u64 count) : worked(count) {}
};

void work(void* context, u64 index, WorkSlot* slot) {
    Tally* run = (Tally*)context;
    run->worked[index] += 1;
    // Uneven work, so that items finish out of order.
    if (index % 7 == 3) os_sleep(1);
    u64* result = push_struct<u64>(slot->arena);
    *result = index * 31 + 5;
    slot->result = result;
}

void commit(void* context, u64 index, WorkSlot* slot) {
    Tally* run = (Tally*)context;
    run->committed.push_back(index);
    if (!slot->result || *(u64*)slot->result != index * 31 + 5) run->wrong_results += 1;
}

TEST(OrderedWork, EveryItemOnceCommittedInOrderWithItsOwnResult) {
    struct Case {
        u64 count;
        u32 threads;
        u32 window;
    };
    const Case cases[] = {{0, 4, 8}, {1, 4, 8}, {7, 1, 8}, {7, 4, 8}, {300, 2, 4}, {300, 8, 32}, {50, 3, 1}};
    for (const Case& c : cases) {
        Tally run(c.count);
        work_ordered(c.count, c.threads, c.window, work, commit, &run);
        ASSERT_EQ(run.committed.size(), c.count) << c.count << " items, " << c.threads << " threads";
        for (u64 i = 0; i < c.count; i += 1) {
            EXPECT_EQ(run.committed[i], i);
            EXPECT_EQ(run.worked[i].load(), 1u) << "item " << i;
        }
        EXPECT_EQ(run.wrong_results, 0u) << c.count << " items, " << c.threads << " threads";
    }
}

}  // namespace
