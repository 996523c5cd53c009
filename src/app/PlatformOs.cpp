#include "app/PlatformOs.h"

#ifdef _WIN32
#include "startup/WinOsServices.h"
#else
#include "startup/PosixOsServices.h"
#endif

namespace vx {

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments) {
#ifdef _WIN32
  (void)arguments;
  return std::make_unique<WinOsServices>();
#else
  return std::make_unique<PosixOsServices>(arguments);
#endif
}

}  // namespace vx
