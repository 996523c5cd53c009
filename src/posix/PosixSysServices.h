#pragma once

// The System Info button's file test and launcher on POSIX systems. Plain C++, no Qt.

#include <string>

#include "sysinfo/SysInfo.h"

namespace vx {

// A regular file that is not hidden (its name does not start with a dot). Directories,
// devices and sockets do not count.
class PosixFileTest : public FileTest {
 public:
  bool exists(const std::string& path) override;
};

// Starts exactly the program at the path, with the path as its only argument. No shell and no
// search path are involved, so a path with spaces names one program. The program runs on its
// own; it is not waited for.
class PosixLauncher : public Launcher {
 public:
  bool launch(const std::string& path) override;
};

}  // namespace vx
