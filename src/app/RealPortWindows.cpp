// The real-port backend on Windows: the port-I/O library parllio.dll beside the program.
#include "app/BackendOptions.h"
#include "port/FatalError.h"
#include "port/ParllioLibrary.h"

namespace vx {

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options) {
  if (!options.portDevice.empty())
    throw FatalError("--port " + options.portDevice +
                     ": on Windows the port is the one parllio.dll reports as port 1 (LPT1); "
                     "leave --port out");
  return std::make_unique<ParllioLibrary>();
}

}  // namespace vx
