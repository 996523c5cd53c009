#pragma once

// Windows only: the mark bench/win-startup reads, as the Qt window's first-paint probe prints it.

#include <windows.h>

#include <cstdio>
#include <string>

namespace vx::win {

// Prints "first-paint NANOSECONDS", the wall-clock time since 1970, on standard output.
inline void printFirstPaint() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);  // 100 ns steps since 1601
  const unsigned long long ticks =
      (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  const std::string line =
      "first-paint " + std::to_string((ticks - 116444736000000000ULL) * 100ULL) + "\n";
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace vx::win
