// Linux: the kernel's ppdev driver, and the arguments after the program's name.
#include "app/Platform.h"
#include "posix/PpdevPortLibrary.h"
#include "startup/NoVersionOsServices.h"

namespace vx {

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments) {
  return std::make_unique<NoVersionOsServices>(arguments);
}

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options) {
  return std::make_unique<PpdevPortLibrary>(std::make_shared<PosixPpdevSystem>(), options.port);
}

void addPlatformPortOptions(CLI::App& app, BackendOptions& options, CLI::Option* simulate) {
  app.add_option("--port", options.port, "The parallel-port device to use (default /dev/parport0)")
      ->type_name("DEVICE")
      ->excludes(simulate);
}

}  // namespace vx
