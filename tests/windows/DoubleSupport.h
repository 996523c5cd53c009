#pragma once

// What the DLL doubles share: their settings from the environment, read at every call so that a
// test can change them between calls, and their call log, into the file that the variable
// VX_DOUBLE_LOG (defined before this header) names. Each double is a DLL of its own.

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string environment(const char* name) {
  char value[512];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

inline long hexFromEnvironment(const char* name, long fallback) {
  const std::string text = environment(name);
  return text.empty() ? fallback : std::strtol(text.c_str(), nullptr, 16);
}

// Appends one line to the log, if there is one.
inline void log(const char* format, ...) {
  const std::string path = environment(VX_DOUBLE_LOG);
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
