#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property aborts: libFuzzer then records the input as a crash, and `what` names
// the property in its log.
inline void check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}
