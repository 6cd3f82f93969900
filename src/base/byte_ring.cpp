#include "base/byte_ring.h"

#include <string.h>

void ring_write(u8* ring, u64 capacity, u64 pos, const void* data, u64 size) {
    u64 at = pos % capacity;
    u64 first = MIN(size, capacity - at);
    if (first) memcpy(ring + at, data, first);
    if (size > first) memcpy(ring, (const u8*)data + first, size - first);
}

void ring_read(const u8* ring, u64 capacity, u64 pos, void* data, u64 size) {
    u64 at = pos % capacity;
    u64 first = MIN(size, capacity - at);
    if (first) memcpy(data, ring + at, first);
    if (size > first) memcpy((u8*)data + first, ring, size - first);
}
