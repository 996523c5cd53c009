// Linux: the kernel's ppdev driver or the USB bridge through libftdi1, and the arguments after
// the program's name.
#include "app/Platform.h"
#include "posix/LibFtdiLink.h"
#include "posix/PpdevPortLibrary.h"
#include "startup/NoVersionOsServices.h"
#include "usb/UsbBridge.h"

namespace vx {

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>& arguments) {
  return std::make_unique<NoVersionOsServices>(arguments);
}

std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options) {
  if (const auto wanted = bridgeAdapter(options.port))
    return std::make_unique<UsbBridge>(makeLibFtdi(*wanted));
  return std::make_unique<PpdevPortLibrary>(std::make_shared<PosixPpdevSystem>(), options.port);
}

void addPlatformPortOptions(CLI::App& app, BackendOptions& options, CLI::Option* simulate) {
  app.add_option(
         "--port", options.port,
         "The parallel-port device to use (default /dev/parport0), or ft232h for the USB "
         "bridge through an FT232H adapter (ft232h:SERIAL or ft232h:usb:BUS-PORT[.PORT...] to "
         "choose one by serial number or USB location)")
      ->type_name("DEVICE|ft232h[:SERIAL|:usb:BUS-PORT]")
      ->excludes(simulate);
}

}  // namespace vx
