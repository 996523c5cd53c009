// Windows: the port-I/O library parllio.dll beside the program, and the system's own command line.
#include "app/Platform.h"
#include "windows/ParllioLibrary.h"
#include "windows/WinOsServices.h"

namespace vx {

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>&) {
  return std::make_unique<WinOsServices>();
}

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions&) {
  return std::make_unique<ParllioLibrary>();
}

}  // namespace vx
