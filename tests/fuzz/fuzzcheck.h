#pragma once

#include <cstdio>
#include <cstdlib>

// A broken promise of the code under test: libFuzzer keeps the input that
// led here as a crash.
#define TOLKA_FUZZ_CHECK(condition)                                                                          \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);               \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
