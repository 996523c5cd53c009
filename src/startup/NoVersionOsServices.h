#pragma once

#include <string>
#include <vector>

#include "startup/OsServices.h"

namespace vx {

// Start-up's OS services where there is no Windows version record to read: the record keeps its
// zeros (platform 0, "Failed") and start-up takes the library path, so a kernel's own version text
// never reaches the 95/98 test. The command line is the arguments joined by spaces.
class NoVersionOsServices : public OsServices {
 public:
  // The arguments after the program's name.
  explicit NoVersionOsServices(std::vector<std::string> arguments)
      : arguments_(std::move(arguments)) {}

  void queryVersion(OsVersionRecord&) override {}
  std::string commandLine() override;

 private:
  std::vector<std::string> arguments_;
};

}  // namespace vx
