// The real-port backend on Windows: the port-I/O library parllio.dll beside the program.
#include "app/BackendOptions.h"
#include "port/ParllioLibrary.h"

namespace vx {

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions&) {
  return std::make_unique<ParllioLibrary>();
}

}  // namespace vx
