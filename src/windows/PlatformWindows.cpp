// Windows: the port-I/O library beside the program (parllio.dll, or InpOut32's inpout32.dll on
// 64-bit Windows), and the system's own command line.
#include <windows.h>

#include "app/Platform.h"
#include "usb/UsbBridge.h"
#include "windows/D2xxLink.h"
#include "windows/InpOutLibrary.h"
#include "windows/ParllioLibrary.h"
#include "windows/WinOsServices.h"

namespace vx {

std::unique_ptr<OsServices> makePlatformOs(const std::vector<std::string>&) {
  return std::make_unique<WinOsServices>();
}

// Without a choice: parllio.dll when it is beside the program, else inpout32.dll.
std::unique_ptr<PortLibrary> makeRealPortLibrary(const BackendOptions& options) {
  if (const auto wanted = bridgeAdapter(options.port))
    return std::make_unique<UsbBridge>(makeD2xx(*wanted));
  const DWORD parllio = GetFileAttributesA(besideProgram("parllio.dll").c_str());
  const bool parllioBeside =
      parllio != INVALID_FILE_ATTRIBUTES && !(parllio & FILE_ATTRIBUTE_DIRECTORY);
  if (options.portLibrary == "parllio" || (options.portLibrary.empty() && parllioBeside)) {
    if (!options.port.empty())
      throw InputError(
          "--port: parllio.dll always uses the port it reports as port 1; to pick a port, use "
          "--port-library inpout32");
    return std::make_unique<ParllioLibrary>(runsUnderWow64());
  }
  const char* inpoutMissing =
      "Install InpOut32 1.5 and put its 32-bit inpout32.dll beside the program (in the folder "
      "that holds the program's .exe), then start it again.";
  const char* neitherMissing =
      "Neither parllio.dll nor inpout32.dll was found. On 32-bit Windows, put the parllio.dll "
      "that came with the board beside the program (in the folder that holds the program's "
      ".exe); on 64-bit Windows, install InpOut32 1.5 and put its 32-bit inpout32.dll beside the "
      "program. Then start it again.";
  return std::make_unique<InpOutLibrary>(
      *parsePortChoice(options.port), listParallelPorts,
      options.portLibrary.empty() ? neitherMissing : inpoutMissing);
}

void addPlatformPortOptions(CLI::App& app, BackendOptions& options, CLI::Option* simulate) {
  app.add_option("--port-library", options.portLibrary,
                 "The port-I/O library: parllio (parllio.dll) or inpout32 (InpOut32, for 64-bit "
                 "Windows); default parllio.dll when it is beside the program, else inpout32.dll")
      ->type_name("parllio|inpout32")
      // The validators describe nothing: --help names each value once, in the type name.
      ->check(CLI::IsMember({"parllio", "inpout32"}, CLI::ignore_case).description(""))
      ->excludes(simulate);
  app.add_option("--port", options.port,
                 "The port, with inpout32: LPTn as Windows lists it, or a base address such as "
                 "0xD010 (default LPT1); or ft232h for the USB bridge through an FT232H adapter "
                 "and ftd2xx.dll (ft232h:SERIAL or ft232h:usb:LOCATION to choose one by serial "
                 "number or by D2XX's location ID, as listed)")
      ->type_name("LPTn|0xADDR|ft232h[:SERIAL|:usb:LOCATION]")
      ->check(CLI::Validator(
          [](std::string& text) {
            return parsePortChoice(text) || bridgeAdapter(text)
                       ? ""
                       : "must be LPT1 to LPT99, a base address from 0x100 to 0xFFFD such as "
                         "0xD010, or ft232h[:SERIAL|:usb:LOCATION]";
          },
          ""))
      ->excludes(simulate);
}

// Windows has no per-process limit of open sockets to raise.
void raiseOpenFileLimit() {}

}  // namespace vx
