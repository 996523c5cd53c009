#include "startup/NoVersionOsServices.h"

#include <fmt/format.h>

namespace vx {

std::string NoVersionOsServices::commandLine() {
  return fmt::format("{}", fmt::join(arguments_, " "));
}

}  // namespace vx
