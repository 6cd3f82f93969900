// Checks inside fuzz targets: a broken property stops the run with a trap,
// which libFuzzer reports as a crash and keeps the input.
#pragma once

#include <stdio.h>

#define REQUIRE(cond)                                                           \
    do {                                                                        \
        if (!(cond)) {                                                          \
            fprintf(stderr, "broken: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
            __builtin_trap();                                                   \
        }                                                                       \
    } while (0)
