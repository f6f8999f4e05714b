// A check for the fuzz targets: a violated property prints what failed and aborts, so that
// libFuzzer keeps the input that shows it.
#ifndef SCRIVLET_FUZZ_CHECK_H
#define SCRIVLET_FUZZ_CHECK_H

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

#endif  // SCRIVLET_FUZZ_CHECK_H
