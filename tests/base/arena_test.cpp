#include <gtest/gtest.h>
#include <string.h>

#include "base/arena.h"
#include "base/os.h"
#include "base/string.h"

namespace {

TEST(Arena, FreshPositionsAndAlignment) {
    Arena* arena = arena_create(MB(64), KB(64));
    ASSERT_NE(arena, nullptr);
    EXPECT_EQ(arena_pos(arena), (u64)ARENA_HEADER_SIZE);
    u8* first = (u8*)arena_push(arena, 1, 8);
    EXPECT_EQ(first, (u8*)arena + ARENA_HEADER_SIZE);
    EXPECT_EQ(arena_pos(arena), ARENA_HEADER_SIZE + 1u);
    u8* second = (u8*)arena_push(arena, 1, 8);
    EXPECT_EQ(second, (u8*)arena + ARENA_HEADER_SIZE + 8);
    arena_pop_to(arena, 0);
    EXPECT_EQ(arena_pos(arena), (u64)ARENA_HEADER_SIZE);
    arena_release(arena);
}

TEST(Arena, LargePushMakesOwnBlockThatPopReleases) {
    Arena* arena = arena_create(MB(64), KB(64));
    arena_push(arena, 1000, 8);
    u64 mark = arena_pos(arena);
    u64 big = MB(100);
    u8* bytes = (u8*)arena_push(arena, big, 8);
    ASSERT_NE(bytes, nullptr);
    Arena* block = arena->current;
    EXPECT_NE(block, arena);
    EXPECT_EQ(block->prev, arena);
    EXPECT_EQ(block->reserved, ALIGN_POW2(big + ARENA_HEADER_SIZE, 4096));
    EXPECT_EQ(block->committed, block->reserved);
    EXPECT_EQ(block->base_pos, arena->reserved);
    // The whole request is usable.
    bytes[0] = 1;
    bytes[big - 1] = 2;
    arena_pop_to(arena, mark);
    EXPECT_EQ(arena->current, arena);
    EXPECT_EQ(arena_pos(arena), mark);
    arena_release(arena);
}

// Zeroed pushes skip memory never handed out; memory handed out before (and
// popped, or written through a plain push) is cleared, in every block and
// in memory the caller gave.
TEST(Arena, ZeroedPushesAreZeroAfterReuse) {
    static u8 given[KB(16)];
    memset(given, 0xAB, sizeof(given));
    ArenaParams from_caller = {};
    from_caller.memory = given;
    from_caller.reserve_size = sizeof(given);
    from_caller.commit_size = sizeof(given);
    from_caller.flags = ARENA_NO_CHAIN;
    Arena* arenas[] = {arena_create(KB(64), KB(4)), arena_create(from_caller)};
    for (Arena* arena : arenas) {
        ASSERT_NE(arena, nullptr);
        u64 mark = arena_pos(arena);
        u8* dirty = (u8*)arena_push(arena, 3000, 1);
        memset(dirty, 0xFF, 3000);
        arena_pop_to(arena, mark + 100);
        // Half of it was handed out before, half is new.
        u8* zero = (u8*)arena_push_zero(arena, 6000, 1);
        ASSERT_NE(zero, nullptr);
        for (u64 i = 0; i < 6000; i += 1) ASSERT_EQ(zero[i], 0) << i;
        EXPECT_EQ(dirty[99], 0xFF) << "bytes kept by the pop are left alone";
        if (arena->reserve_size == KB(64)) {
            // A chained block, written and popped, then handed out again.
            u64 before_chain = arena_pos(arena);
            u8* far = (u8*)arena_push(arena, KB(60), 1);
            memset(far, 0x5A, KB(60));
            arena_pop_to(arena, before_chain);
            u8* again = (u8*)arena_push_zero(arena, KB(60), 1);
            for (u64 i = 0; i < KB(60); i += 1) ASSERT_EQ(again[i], 0) << i;
            arena_release(arena);
        }
    }
}

TEST(Arena, NoChainFailsWhenFullAndStaysUnchanged) {
    ArenaParams params = {};
    params.flags = ARENA_NO_CHAIN;
    params.reserve_size = KB(64);
    params.commit_size = KB(4);
    Arena* arena = arena_create(params);
    ASSERT_NE(arena, nullptr);
    EXPECT_NE(arena_push(arena, KB(32), 8), nullptr);
    u64 before = arena_pos(arena);
    EXPECT_EQ(arena_push(arena, KB(64), 8), nullptr);
    EXPECT_EQ(arena_pos(arena), before);
    EXPECT_EQ(arena->current, arena);
    arena_release(arena);
}

TEST(Arena, CommitNeverPassesReserved) {
    // A reserve that is not a multiple of the commit granule.
    ArenaParams params = {};
    params.reserve_size = KB(40);
    params.commit_size = KB(16);
    params.flags = ARENA_NO_CHAIN;
    Arena* arena = arena_create(params);
    ASSERT_NE(arena, nullptr);
    EXPECT_EQ(arena->committed, KB(16));
    ASSERT_NE(arena_push(arena, KB(33), 1), nullptr);
    EXPECT_EQ(arena->committed, KB(40));
    EXPECT_EQ(arena->reserved, KB(40));
    // Every committed byte is writable.
    memset((u8*)arena + 64, 0xAB, KB(40) - 64);
    arena_release(arena);
}

// Committed memory is mapped when committed, so a block with a large
// granule starts small and grows by what it holds: what it commits beyond
// its use stays within its use (and the granule), however the use grows.
TEST(Arena, LargeGranuleCommitsInGrowingSteps) {
    struct Case {
        u64 granule;
        u64 first;
    } cases[] = {{MB(1), ARENA_FIRST_COMMIT}, {KB(16), KB(16)}, {MB(8), ARENA_FIRST_COMMIT}};
    for (const Case& c : cases) {
        Arena* arena = arena_create(GB(1), c.granule);
        ASSERT_NE(arena, nullptr);
        EXPECT_EQ(arena->committed, c.first) << c.granule;
        u64 steps = 0;
        for (u64 size : {KB(1), KB(70), KB(3), KB(200), KB(500), MB(2), KB(10), MB(5)}) {
            u64 before = arena->committed;
            u8* p = (u8*)arena_push(arena, size, 8);
            ASSERT_NE(p, nullptr);
            memset(p, 0x5A, size);  // every byte handed out is writable
            if (arena->committed != before) steps += 1;
            EXPECT_GE(arena->committed, arena->pos) << c.granule;
            EXPECT_LE(arena->committed - arena->pos, MAX(MIN(arena->pos, c.granule), c.first)) << c.granule;
        }
        EXPECT_GE(steps, 3u) << c.granule;
        arena_release(arena);
    }
}

TEST(Arena, ChainedBlocksGrowAndPopBack) {
    Arena* arena = arena_create(KB(64), KB(4));
    u64 start = arena_pos(arena);
    for (int i = 0; i < 100; i += 1) {
        u8* p = (u8*)arena_push(arena, KB(10), 16);
        ASSERT_NE(p, nullptr);
        memset(p, i, KB(10));
    }
    EXPECT_NE(arena->current, arena);
    arena_pop_to(arena, start);
    EXPECT_EQ(arena->current, arena);
    EXPECT_EQ(arena_pos(arena), start);
    arena_release(arena);
}

TEST(Arena, ExactReserveChainsAndReleases) {
    ArenaParams params = {};
    params.flags = ARENA_EXACT_RESERVE;
    params.reserve_size = MB(1);
    params.commit_size = KB(4);
    Arena* arena = arena_create(params);
    ASSERT_NE(arena, nullptr);
    EXPECT_EQ(arena->reserved, MB(1));
    u8* bytes = (u8*)arena_push(arena, MB(1) - 64, 1);
    ASSERT_NE(bytes, nullptr);
    bytes[MB(1) - 65] = 7;
    // The next push chains a block that keeps the flag.
    ASSERT_NE(arena_push(arena, 100, 8), nullptr);
    EXPECT_NE(arena->current, arena);
    EXPECT_TRUE(arena->current->flags & ARENA_EXACT_RESERVE);
    arena_release(arena);
}

// Writes its result into `out` and uses scratch memory meanwhile.
String make_greeting(Arena* out) {
    Scratch scratch(out);
    EXPECT_NE(scratch.arena, out);
    String temp = string_format(scratch.arena, "%s-%d", "hello", 42);
    return string_copy(out, temp);
}

TEST(Scratch, CalleeTakesTheOtherArenaAndResultSurvives) {
    ThreadContext* ctx = thread_context_get();
    Arena* first = ctx->scratch[0];
    TempArena outer = scratch_begin();
    EXPECT_EQ(outer.arena, first);
    String result = make_greeting(first);
    EXPECT_EQ(std::string((char*)result.str, result.size), "hello-42");
    // Scratch scopes leave the other arena where it was.
    TempArena again = scratch_begin(first);
    EXPECT_EQ(again.arena, ctx->scratch[1]);
    scratch_end(again);
    scratch_end(outer);
}

TEST(Scratch, ConflictListPicksFirstFreeArena) {
    ThreadContext* ctx = thread_context_get();
    Arena* conflicts[1] = {ctx->scratch[1]};
    TempArena t = scratch_begin(conflicts, 1);
    EXPECT_EQ(t.arena, ctx->scratch[0]);
    scratch_end(t);
}

}  // namespace
