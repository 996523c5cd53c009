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

// The port is the one parllio.dll reports as port 1, so there is nothing to choose.
void addPlatformPortOptions(CLI::App&, BackendOptions&, CLI::Option*) {}

}  // namespace vx
