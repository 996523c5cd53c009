#include "posix/PpdevDiagnostics.h"

#include <fmt/format.h>

#include <algorithm>
#include <system_error>

namespace vx {

namespace {

std::string loadModulesRemedy() {
  return "Load the parallel-port drivers: sudo modprobe parport_pc ppdev\n"
         "To load them at every start, list parport_pc and ppdev in "
         "/etc/modules-load.d/vx3340.conf.";
}

std::string usbPrinterReason(const std::string& path) {
  return fmt::format(
      "{} is a USB printer device. A USB printer cable only prints: it offers no register "
      "access, so it cannot drive the board.\n"
      "Connect the board to an on-board parallel port or a PCI/PCIe parallel card and use its "
      "/dev/parportN (see --port).",
      path);
}

std::string usbPrinterNote(const std::vector<std::string>& printers) {
  if (printers.empty()) return {};
  return fmt::format(
      "\nThere is a USB printer cable ({}), but it only prints: it offers no register access, so "
      "it cannot drive the board. Use an on-board parallel port or a PCI/PCIe parallel card.",
      fmt::join(printers, ", "));
}

std::string busyReason(const PpdevFailure& f) {
  std::vector<std::string> printerDrivers;
  std::copy_if(f.holders.begin(), f.holders.end(), std::back_inserter(printerDrivers),
               [](const std::string& name) { return name.rfind("lp", 0) == 0; });
  const std::string unloadLp =
      "Unload the printer driver: sudo modprobe -r lp\n"
      "To keep it from loading at start-up, blacklist it (echo 'blacklist lp' | sudo tee "
      "/etc/modprobe.d/vx3340-no-lp.conf) and remove lp from /etc/modules and "
      "/etc/modules-load.d/.";
  if (!printerDrivers.empty())
    return fmt::format("{} is busy: the lp printer driver holds parport{} ({}).\n{}", f.path,
                       f.kernelPort, fmt::join(printerDrivers, ", "), unloadLp);
  if (!f.holders.empty())
    return fmt::format(
        "{} is busy: parport{} is held by {}.\nStop the program or driver that uses it.", f.path,
        f.kernelPort, fmt::join(f.holders, ", "));
  return fmt::format(
      "{} is busy: another driver or program holds the port, most often the lp printer "
      "driver.\n{}",
      f.path, unloadLp);
}

}  // namespace

std::string describe(const PpdevFailure& f) {
  using Kind = PpdevFailure::Kind;
  const std::string errorText = std::generic_category().message(f.error);
  switch (f.kind) {
    case Kind::None:
      return {};
    case Kind::PortNumber:
      return fmt::format("There is no parallel port {}: ports are counted from 1.", f.port);
    case Kind::OtherPortClaimed:
      return fmt::format("Port {} is already in use by this program ({}).", f.claimedPort,
                         f.claimedPath);
    case Kind::UsbPrinter:
      return usbPrinterReason(f.path);
    case Kind::NotPpdev:
      return fmt::format(
          "{} is not a parallel port of the kernel's ppdev driver, so it offers no register "
          "access.\nName a ppdev device such as /dev/parport0 with --port.",
          f.path);
    case Kind::NoDevice:
      return fmt::format("{} does not exist: the kernel offers no parallel port to programs.\n{}",
                         f.path, loadModulesRemedy()) +
             usbPrinterNote(f.usbPrinters);
    case Kind::NoPortBehind:
      return fmt::format("{} has no parallel port behind it: {}.\n{}", f.path, errorText,
                         loadModulesRemedy());
    case Kind::Busy:
      return busyReason(f);
    case Kind::Permission:
      return fmt::format(
          "Permission denied opening {}.\n"
          "Add your user to the lp group, which owns the parallel ports, then log out and back "
          "in: sudo usermod -aG lp $USER",
          f.path);
    case Kind::OtherError:
      return fmt::format("Cannot claim {}: {}.", f.path, errorText);
    case Kind::NotClaimed:
      return fmt::format("Port {} has not been claimed.", f.port);
    case Kind::WrongPort:
      return fmt::format("Only port {} ({}) is claimed, not port {}.", f.claimedPort, f.claimedPath,
                         f.port);
    case Kind::NoBaseFile:
      return fmt::format("Cannot read {}: the kernel gives no address for {}.", f.file,
                         f.claimedPath);
    case Kind::NoIoAddress:
      return fmt::format(
          "{} gives no I/O address for {}: the port has no registers at an I/O address.", f.file,
          f.claimedPath);
  }
  return {};
}

}  // namespace vx
