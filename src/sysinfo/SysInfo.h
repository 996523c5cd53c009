#pragma once

// The System Info button's work: find the Windows System Information tool through the registry
// and start it. Plain C++ without Qt, so that it builds and is tested on Windows as well.

#include <cstdint>
#include <optional>
#include <string>

#include "startup/Messages.h"

namespace vx {

inline constexpr std::uint32_t kHkeyLocalMachine = 0x80000002;
// Read rights only (KEY_READ). Asking for write rights as well would be refused to a standard
// user, and the tool would be reported missing although it is installed.
inline constexpr std::uint32_t kKeyRead = 0x20019;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kValueBufferSize = 1024;

inline constexpr const char* kSysInfoUnavailable = "System Information Is Unavailable At This Time";

// The registry calls GetKeyValue makes: RegOpenKeyExA, RegQueryValueExA and RegCloseKey.
class Registry {
 public:
  using Key = std::uintptr_t;
  virtual ~Registry() = default;
  virtual std::optional<Key> open(std::uint32_t root, const std::string& path,
                                  std::uint32_t access) = 0;
  // Reads a value's type and data into buffer, which holds *size bytes; on success *size becomes
  // the number of bytes returned. False when the value is missing or longer than the buffer.
  virtual bool query(Key key, const std::string& name, std::uint32_t* type, std::uint8_t* buffer,
                     std::uint32_t* size) = 0;
  virtual void close(Key key) = 0;
};

// Whether a plain file of exactly that name exists: not hidden, not a system file, not a
// directory.
class FileTest {
 public:
  virtual ~FileTest() = default;
  virtual bool exists(const std::string& path) = 0;
};

// Starts a program by its exact path, in a normal window that takes the focus, without waiting.
class Launcher {
 public:
  virtual ~Launcher() = default;
  // False when the program could not be started.
  virtual bool launch(const std::string& path) = 0;
};

// Reads one registry value as text into keyVal. True on success, whatever the value's type: a
// REG_SZ gives its text, a REG_DWORD its number in decimal, any other type leaves keyVal as it
// was. A value with no data at all raises an error, which the caller reports.
bool GetKeyValue(Registry& registry, std::uint32_t keyRoot, const std::string& keyName,
                 const std::string& subKeyRef, std::string& keyVal);

// What the About dialog's System Info button needs.
struct AboutServices {
  Registry& registry;
  FileTest& files;
  Launcher& launcher;
  Messages& messages;
};

// Finds the System Information tool and starts it, or says that it is unavailable.
void StartSysInfo(Registry& registry, FileTest& files, Launcher& launcher, Messages& messages);

// A registry with no keys, for systems that have none.
class NoRegistry : public Registry {
 public:
  std::optional<Key> open(std::uint32_t, const std::string&, std::uint32_t) override {
    return std::nullopt;
  }
  bool query(Key, const std::string&, std::uint32_t*, std::uint8_t*, std::uint32_t*) override {
    return false;
  }
  void close(Key) override {}
};

}  // namespace vx
