#pragma once

#include <memory>
#include <string>
#include <vector>

#include "startup/OsServices.h"

namespace vx {

// The operating system's services for start-up on this platform, given the arguments after the
// program's name. Windows hands over its own command line; elsewhere the arguments are joined.
std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments);

}  // namespace vx
