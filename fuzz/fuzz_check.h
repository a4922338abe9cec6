#pragma once
// A property check for the fuzz targets: a broken property aborts, so that
// libFuzzer keeps the input as a crash.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition, what)                                              \
  do {                                                                           \
    if (!(condition)) {                                                          \
      std::fprintf(stderr, "%s:%d: property broken: %s (%s)\n", __FILE__, __LINE__, \
                   what, #condition);                                            \
      std::abort();                                                              \
    }                                                                            \
  } while (false)
