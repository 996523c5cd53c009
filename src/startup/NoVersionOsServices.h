#pragma once

#include <string>
#include <vector>

#include "startup/OsServices.h"

namespace vx {

// The operating system's services off Windows. There is no Windows version record to read, so
// the record keeps its zeros (platform 0, "Failed") and start-up takes the library path. The
// kernel's own version text never reaches the 95/98 test.
class PosixOsServices : public OsServices {
 public:
  // The arguments after the program's name.
  explicit PosixOsServices(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

  void queryVersion(OsVersionRecord&) override {}
  std::string commandLine() override;

 private:
  std::vector<std::string> arguments_;
};

}  // namespace vx
