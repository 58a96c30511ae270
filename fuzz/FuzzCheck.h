// A property that must hold for every input: a violation stops the fuzzer with
// a crash, and the input that caused it is saved.
#pragma once

#include <cstdio>
#include <cstdlib>

#define VELK_FUZZ_CHECK(condition)                                                                                     \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);                         \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
