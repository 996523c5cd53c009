#pragma once

// Helpers for the tests that run under wine: paths beside the test program, window texts.

#include <windows.h>

#include <string>

namespace vx::test {

// The folder that holds the running test program, with a trailing backslash.
inline std::string programFolder() {
  char path[MAX_PATH] = {};
  const std::string folder(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
  return folder.substr(0, folder.find_last_of('\\') + 1);
}

inline std::string windowText(HWND window) {
  char buffer[512] = {};
  return std::string(buffer, GetWindowTextA(window, buffer, sizeof buffer));
}

}  // namespace vx::test
