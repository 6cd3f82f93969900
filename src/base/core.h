// Basic types and small helpers shared by every layer.
#pragma once

#include <stddef.h>
#include <stdint.h>

typedef uint8_t u8;
typedef uint16_t u16;
typedef uint32_t u32;
typedef uint64_t u64;
typedef int8_t s8;
typedef int16_t s16;
typedef int32_t s32;
typedef int64_t s64;
typedef float f32;
typedef double f64;
typedef u32 b32;

#define KB(n) ((u64)(n) << 10)
#define MB(n) ((u64)(n) << 20)
#define GB(n) ((u64)(n) << 30)

#define ARRAY_COUNT(a) (sizeof(a) / sizeof((a)[0]))
#define MIN(a, b) ((a) < (b) ? (a) : (b))
#define MAX(a, b) ((a) > (b) ? (a) : (b))
#define CLAMP_TOP(a, b) MIN(a, b)
#define CLAMP_BOT(a, b) MAX(a, b)

// Rounds x up to a multiple of b (b a power of two).
#define ALIGN_POW2(x, b) (((x) + (b) - 1) & ~((u64)(b) - 1))

// Deadline value meaning "no limit" (microseconds).
#define DEADLINE_NONE (~(u64)0)

// Singly linked queue push at the tail: f first, l last, n node.
#define SLL_QUEUE_PUSH(f, l, n) \
    do {                        \
        (n)->next = 0;          \
        if ((f) == 0) {         \
            (f) = (l) = (n);    \
        } else {                \
            (l)->next = (n);    \
            (l) = (n);          \
        }                       \
    } while (0)

// Singly linked stack push/pop through `next`.
#define SLL_STACK_PUSH(f, n) \
    do {                     \
        (n)->next = (f);     \
        (f) = (n);           \
    } while (0)
#define SLL_STACK_POP(f) ((f) = (f)->next)
