#pragma once

// What the fuzz targets share: a check that stops the run with a message libFuzzer reports.

#include <cstdio>
#include <cstdlib>

namespace vx::fuzz {

inline void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace vx::fuzz
