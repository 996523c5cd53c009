#include "startup/Startup.h"

#include <fmt/format.h>
#include <algorithm>
#include <cctype>
#include <cstring>

#include "port/ControlRegister.h"
#include "port/FatalError.h"

namespace vx {

namespace {
// Data bits 6 and 7 high, 0 to 5 low: the data lines' idle value.
constexpr std::int16_t kIdleData = 0xC0;
}  // namespace

std::string versionText(const OsVersionRecord& record) {
  switch (record.dwPlatformId) {
    case 1:  // Windows 9x
      if (record.dwMinorVersion == 0) return "Windows 95";
      if (record.dwMinorVersion == 10) return "Windows 98";
      return "";
    case 2:  // Windows NT: only the major number tells them apart
      if (record.dwMajorVersion == 3) return "Windows NT 3.51";
      if (record.dwMajorVersion == 4) return "Windows NT 4.0";
      if (record.dwMajorVersion == 5) return "Windows 2000";
      return "";
    default:
      return "Failed";
  }
}

std::string GetWindowsVersion(OsServices& os) {
  OsVersionRecord record;
  record.dwOSVersionInfoSize = sizeof(OsVersionRecord);
  std::memset(record.szCSDVersion, ' ', sizeof record.szCSDVersion);
  os.queryVersion(record);
  return versionText(record);
}

bool asksForStatus(std::string_view commandLine) {
  std::string upper(commandLine);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper.find("/SS") != std::string::npos;
}

std::string statusText(std::string_view winVersion, std::int32_t portBase) {
  return fmt::format("Windows Version:{}\rPort Address:0x{:X}", winVersion,
                     static_cast<std::uint32_t>(portBase));
}

StartupResult Startup::Main() {
  DetectPort();
  InitLines();
  port_.flush();
  return {winVersion_};
}

void Startup::DetectPort() {
  winVersion_ = GetWindowsVersion(os_);
  const bool nineX =
      winVersion_.find("95") != std::string::npos || winVersion_.find("98") != std::string::npos;
  if (nineX) {
    port_.setPortBase(0x378);
  } else {
    ClaimPort();
    ReadPortInfo();
  }
  // Clean up the control register: clear strobe, auto feed, select in and the data direction,
  // so that the data lines drive outward; keep bits 2, 4, 6 and 7 as read.
  const std::int32_t control = port_.controlRegister();
  const std::int16_t v = checkedNarrow(port_.InByte(control));
  port_.OutByte(control, v & (lpt::kInit | lpt::kIrqEnable | lpt::kUnused));
  ShowStatus();
}

void Startup::ClaimPort() {
  PortLibrary& library = port_.library();
  library.GetParallelPortCount();
  if (library.ClaimParallelPort(1, -1) == 0)
    messages_.show({library.adapter().empty() ? "claim parallel port failed"
                                              : library.adapter() + " could not be used",
                    std::string(kAppTitle), MessageIcon::None, library.failureReason()});
}

void Startup::ReadPortInfo() {
  PortLibrary& library = port_.library();
  PortInfoRecord record;
  if (library.GetParallelPortInfo(1, record) == 0) {
    if (!library.adapter().empty()) return;  // the failed claim said why
    messages_.show({"This PC does not appear to have a Printer Port", "GetPortAddress Error",
                    MessageIcon::Exclamation, library.failureReason()});
    return;
  }
  port_.setPortBase(record.baseAddress);
  switch (record.baseAddress) {
    case 0x278:
      menu_.setEnabled(PortMenuItem::Lpt1, false);
      menu_.setEnabled(PortMenuItem::Prn, false);
      break;
    case 0x378:
      menu_.setEnabled(PortMenuItem::Lpt2, false);
      menu_.setEnabled(PortMenuItem::Prn, false);
      break;
    case 0x3BC:
      menu_.setEnabled(PortMenuItem::Lpt1, false);
      menu_.setEnabled(PortMenuItem::Lpt2, false);
      break;
    default:
      break;
  }
}

void Startup::ShowStatus() {
  if (!asksForStatus(os_.commandLine())) return;
  messages_.show(
      {statusText(winVersion_, port_.PortBase()), "Show Status", MessageIcon::Information, {}});
}

void Startup::InitLines() {
  port_.PortOut(port_.dataRegister(), kIdleData);
  port_.PortOut(port_.controlRegister(), lpt::kInit);
}

void reclaimPort(Port& port) {
  PortLibrary& library = port.library();
  if (library.ClaimParallelPort(1, -1) == 0) throw PortGoneError(library.failureReason());
  port.PortOut(port.dataRegister(), kIdleData);
  port.PortOut(port.controlRegister(), lpt::kInit);
}

}  // namespace vx
