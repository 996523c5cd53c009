#include "startup/PosixOsServices.h"

#include <fmt/format.h>

namespace vx {

std::string PosixOsServices::commandLine() {
  return fmt::format("{}", fmt::join(arguments_, " "));
}

}  // namespace vx
