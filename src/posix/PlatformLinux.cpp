// Linux: the kernel's ppdev driver, and the arguments after the program's name.
#include "app/Platform.h"
#include "posix/PpdevPortLibrary.h"
#include "startup/PosixOsServices.h"

namespace vx {

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments) {
  return std::make_unique<PosixOsServices>(arguments);
}

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options) {
  return std::make_unique<PpdevPortLibrary>(std::make_shared<PosixPpdevSystem>(),
                                            options.portDevice);
}

}  // namespace vx
