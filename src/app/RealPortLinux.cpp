// The real-port backend on Linux: the kernel's ppdev driver.
#include "app/BackendOptions.h"
#include "port/PpdevPortLibrary.h"

namespace vx {

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options) {
  return std::make_unique<PpdevPortLibrary>(std::make_shared<PosixPpdevSystem>(),
                                            options.portDevice);
}

}  // namespace vx
