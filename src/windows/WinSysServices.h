#pragma once

// Windows only, without Qt: the registry, file test and launcher behind the System Info button.

#include "sysinfo/SysInfo.h"

namespace vx {

// RegOpenKeyExA, RegQueryValueExA and RegCloseKey on the 32-bit registry view.
class WinRegistry : public Registry {
 public:
  std::optional<Key> open(std::uint32_t root, const std::string& path,
                          std::uint32_t access) override;
  bool query(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* buffer,
             std::uint32_t* size) override;
  void close(Key key) override;
};

// A directory search (FindFirstFileA) for exactly that name; only a plain file counts: not
// hidden, not a system file, not a directory. Wildcards match nothing.
class WinFileTest : public FileTest {
 public:
  bool exists(const std::string& path) override;
};

// Starts the program at exactly that path (CreateProcessA with the application name) in a normal
// window that takes the focus, and does not wait for it.
class WinLauncher : public Launcher {
 public:
  bool launch(const std::string& path) override;
};

}  // namespace vx
