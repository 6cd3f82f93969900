// The byte ring's copies that cross its end, and the token buffer across
// its block boundaries.
#include <gtest/gtest.h>

#include "base/arena.h"
#include "base/byte_ring.h"
#include "base/token_buffer.h"

namespace {

TEST(ByteRing, CopiesWrapAtTheEndAndPositionsOnlyGrow) {
    struct Case {
        u64 pos;
        u64 size;
    };
    // Inside, ending exactly at the end, crossing it, and far past one lap.
    const Case cases[] = {{0, 5}, {11, 5}, {13, 7}, {16 * 3 + 14, 16}, {5, 0}};
    for (const Case& c : cases) {
        u8 ring[16] = {};
        u8 in[16], out[16] = {};
        for (u64 i = 0; i < c.size; i += 1) in[i] = (u8)(100 + i);
        ring_write(ring, sizeof(ring), c.pos, in, c.size);
        for (u64 i = 0; i < c.size; i += 1) EXPECT_EQ(ring[(c.pos + i) % 16], in[i]) << c.pos << "+" << i;
        ring_read(ring, sizeof(ring), c.pos, out, c.size);
        for (u64 i = 0; i < c.size; i += 1) EXPECT_EQ(out[i], in[i]) << c.pos << "+" << i;
    }
}

struct Pair {
    u64 begin;
    u32 kind;
};

// The array grows in place; an arena of small blocks makes it move when the
// arena goes on in a new block. Either way the tokens keep their order, and
// the room left over goes back to the arena.
TEST(TokenBuffer, ArrayKeepsOrderWhetherItGrowsInPlaceOrMoves) {
    const u64 counts[] = {0, 1, TOKEN_BUFFER_BLOCK, TOKEN_BUFFER_BLOCK + 1, 3 * TOKEN_BUFFER_BLOCK + 7};
    const u64 reserves[] = {MB(64), KB(64)};
    for (u64 reserve : reserves) {
        for (u64 count : counts) {
            Arena* arena = arena_create(reserve, KB(4));
            TokenBuffer<Pair> buffer = token_buffer<Pair>(arena);
            for (u64 i = 0; i < count; i += 1) token_buffer_push(&buffer, Pair{i * 3, (u32)(i % 7)});
            Pair* tokens = token_buffer_array(&buffer);
            ASSERT_NE(tokens, nullptr);
            ASSERT_EQ(buffer.count, count);
            for (u64 i = 0; i < count; i += 1) {
                ASSERT_EQ(tokens[i].begin, i * 3) << count;
                ASSERT_EQ(tokens[i].kind, (u32)(i % 7)) << count;
            }
            // The next thing the arena hands out follows the last token.
            Pair* after = push_array_no_zero<Pair>(arena, 1);
            EXPECT_EQ(after, tokens + MAX(count, 1ull)) << reserve << " " << count;
            arena_release(arena);
        }
    }
}

}  // namespace
