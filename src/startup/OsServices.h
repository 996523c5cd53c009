#pragma once

#include <cstdint>
#include <string>

namespace vx {

// Windows' OSVERSIONINFOA, field for field: 148 bytes.
struct OsVersionRecord {
  std::uint32_t dwOSVersionInfoSize = 0;
  std::uint32_t dwMajorVersion = 0;
  std::uint32_t dwMinorVersion = 0;
  std::uint32_t dwBuildNumber = 0;
  std::uint32_t dwPlatformId = 0;
  char szCSDVersion[128] = {};
};
static_assert(sizeof(OsVersionRecord) == 148, "OSVERSIONINFOA is 148 bytes");

// What start-up asks of the operating system.
class OsServices {
 public:
  virtual ~OsServices() = default;
  // Fills a prepared version record, as GetVersionExA does. A failed query leaves it as it was.
  virtual void queryVersion(OsVersionRecord& record) = 0;
  // The command-line text after the program's name.
  virtual std::string commandLine() = 0;
};

}  // namespace vx
