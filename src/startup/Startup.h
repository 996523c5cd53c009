#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "port/Port.h"
#include "startup/Messages.h"
#include "startup/OsServices.h"
#include "startup/PortMenu.h"

namespace vx {

// The program title that message boxes without a caption of their own show.
inline constexpr std::string_view kAppTitle = "VX3340";

// The version text for a filled version record.
std::string versionText(const OsVersionRecord& record);
// Prepares a version record, queries it and returns its version text.
std::string GetWindowsVersion(OsServices& os);
// Whether a command line asks for the status message: "/SS" anywhere, in any letter case.
bool asksForStatus(std::string_view commandLine);
// The status message: version on the first line, port address on the second, joined by a CR.
std::string statusText(std::string_view winVersion, std::int32_t portBase);

// After the port went away: claims it again and brings the lines to idle, as start-up does.
// Throws PortGoneError with the library's reason when the claim fails.
void reclaimPort(Port& port);

// What start-up leaves for the rest of the run. The port base lives in the Port.
struct StartupResult {
  std::string WinVersion;
};

// Start-up: works out the Windows version, selects and claims the port, sets the port menu,
// cleans up the control register, shows the status message when asked, and brings the lines
// into their idle state. Run once, before the window is shown.
class Startup {
 public:
  Startup(Port& port, OsServices& os, Messages& messages, PortMenu& menu)
      : port_(port), os_(os), messages_(messages), menu_(menu) {}

  // DetectPort, then InitLines.
  StartupResult Main();

  void DetectPort();
  void ClaimPort();
  void ReadPortInfo();
  void ShowStatus();
  void InitLines();

 private:
  Port& port_;
  OsServices& os_;
  Messages& messages_;
  PortMenu& menu_;
  std::string winVersion_;
};

}  // namespace vx
