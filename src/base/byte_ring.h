// Copies into and out of a ring of bytes whose positions only grow: a copy
// that crosses the end continues at the start.
#pragma once

#include "base/core.h"

void ring_write(u8* ring, u64 capacity, u64 pos, const void* data, u64 size);
void ring_read(const u8* ring, u64 capacity, u64 pos, void* data, u64 size);
