#pragma once

// Helpers for the tests that run under wine: paths beside the test program, window texts, and
// the environment that the DLL doubles read.

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

// Sets an environment variable for the rest of a test; none of the tests' variables is set
// before, so afterwards it is removed.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, const std::string& value) : name_(std::move(name)) {
    SetEnvironmentVariableA(name_.c_str(), value.c_str());
  }
  ~ScopedEnvironment() { SetEnvironmentVariableA(name_.c_str(), nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
};

}  // namespace vx::test
