#pragma once

// What the DLL doubles share: their settings from the environment, read at every call so that a
// test can change them between calls, and their call log.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace vx::test {

inline std::string environment(const char* name) {
  char value[512];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

inline long hexFromEnvironment(const char* name, long fallback) {
  const std::string text = environment(name);
  return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 16);
}

// Appends one line to the file that the variable logVariable names, if it names one.
inline void log(const char* logVariable, const char* format, ...) {
  const std::string path = environment(logVariable);
  if (path.empty()) return;
  FILE* file = std::fopen(path.c_str(), "a");
  if (!file) return;
  va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file, format, arguments);
  va_end(arguments);
  std::fputc('\n', file);
  std::fclose(file);
}

}  // namespace vx::test
