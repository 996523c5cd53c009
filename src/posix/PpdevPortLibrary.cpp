#include "posix/PpdevPortLibrary.h"

// <linux/ppdev.h> needs the _IO macros that <sys/ioctl.h> defines.
#include <sys/ioctl.h>

#include <linux/major.h>
#include <linux/ppdev.h>

#include <fmt/format.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <limits>
#include <system_error>
#include <vector>

#include "port/FatalError.h"

namespace vx {

namespace {

constexpr const char* kParportProc = "/proc/sys/dev/parport";
constexpr const char* kUsbDevices = "/dev/usb";
constexpr std::int32_t kRefused = 0xFF;  // what a read of a refused address gives

std::string errorText(int error) {
  return std::generic_category().message(error);
}

bool startsWith(const std::string& text, std::string_view prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// "parport3" -> 3; the number the kernel gives a port in its own listings.
std::optional<int> parportNumber(std::string_view name) {
  constexpr std::string_view prefix = "parport";
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
  name.remove_prefix(prefix.size());
  int number = 0;
  const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
  if (error != std::errc() || end != name.data() + name.size()) return std::nullopt;
  return number;
}

// The first number of a base-addr entry. The kernel writes "BASE\tBASE_HI\n" in decimal; a 0x
// prefix is read as hexadecimal all the same.
std::optional<std::uint64_t> firstNumber(std::string_view text) {
  const auto start = text.find_first_not_of(" \t\n");
  if (start == std::string_view::npos) return std::nullopt;
  text.remove_prefix(start);
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    text.remove_prefix(2);
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc()) return std::nullopt;
  return value;
}

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

}  // namespace

PpdevPortLibrary::PpdevPortLibrary(std::shared_ptr<PpdevSystem> system, std::string device)
    : system_(std::move(system)), device_(std::move(device)) {}

PpdevPortLibrary::~PpdevPortLibrary() {
  if (claimed()) system_->close(fd_);
}

std::string PpdevPortLibrary::devicePath(std::int32_t port) const {
  return device_.empty() ? fmt::format("/dev/parport{}", static_cast<std::int64_t>(port) - 1)
                         : device_;
}

std::int32_t PpdevPortLibrary::GetParallelPortCount() {
  // The kernel's parport layer lists every port it drives here, whether or not ppdev is loaded
  // to give it a /dev/parportN; the "default" entry there is no port. Device nodes could be
  // stale or made by hand, so they are not counted.
  const auto names = system_->listDirectory(kParportProc);
  return static_cast<std::int32_t>(
      std::count_if(names.begin(), names.end(),
                    [](const std::string& n) { return parportNumber(n).has_value(); }));
}

std::int16_t PpdevPortLibrary::ClaimParallelPort(std::int32_t port, std::int32_t) {
  const std::string path = devicePath(port);
  if (claimed()) {
    if (port == claimedPort_) return 1;
    reason_ =
        fmt::format("Port {} is already in use by this program ({}).", claimedPort_, claimedPath_);
    return 0;
  }
  if (device_.empty() && port < 1) {
    reason_ = fmt::format("There is no parallel port {}: ports are counted from 1.", port);
    return 0;
  }
  // A USB printer device is not even opened: it has no registers to claim.
  if (startsWith(path, std::string(kUsbDevices) + "/")) {
    reason_ = usbPrinterReason(path);
    return 0;
  }

  kernelPort_ = parportNumber(path.substr(path.rfind('/') + 1)).value_or(-1);
  const int fd = system_->open(path);
  if (fd < 0) {
    failClaim(path, -fd);
    return 0;
  }
  const auto number = system_->deviceNumber(fd);
  if (number && number->major != PP_MAJOR) {
    system_->close(fd);
    reason_ = number->major == USB_CHAR_MAJOR
                  ? usbPrinterReason(path)
                  : fmt::format(
                        "{} is not a parallel port of the kernel's ppdev driver, so it offers no "
                        "register access.\nName a ppdev device such as /dev/parport0 with --port.",
                        path);
    return 0;
  }
  if (number) kernelPort_ = static_cast<int>(number->minor);

  // Exclusive: no printer driver or other program may share the port while the board is on it.
  for (const unsigned long request : {PPEXCL, PPCLAIM}) {
    if (const int result = system_->ioctl(fd, request, nullptr); result < 0) {
      system_->close(fd);
      failClaim(path, -result);
      return 0;
    }
  }
  fd_ = fd;
  claimedPort_ = port;
  claimedPath_ = path;
  // Claiming restores the driver's initial state for the port, which drives the data lines.
  input_ = false;
  reason_.clear();
  return 1;
}

void PpdevPortLibrary::failClaim(const std::string& path, int error) {
  switch (error) {
    case ENOENT:
      reason_ =
          fmt::format("{} does not exist: the kernel offers no parallel port to programs.\n{}",
                      path, loadModulesRemedy()) +
          usbPrinterNote();
      break;
    case ENODEV:
    case ENXIO:
    case EBUSY:
      // ppdev refuses an exclusive claim with ENXIO while another driver has the port; a node
      // whose port the kernel does not list has no driver behind it at all.
      if (kernelPort_ >= 0 &&
          system_->readTextFile(fmt::format("{}/parport{}/base-addr", kParportProc, kernelPort_)))
        reason_ = busyReason(path);
      else
        reason_ = fmt::format("{} has no parallel port behind it: {}.\n{}", path, errorText(error),
                              loadModulesRemedy());
      break;
    case EACCES:
    case EPERM:
      reason_ = fmt::format(
          "Permission denied opening {}.\n"
          "Add your user to the lp group, which owns the parallel ports, then log out and back "
          "in: sudo usermod -aG lp $USER",
          path);
      break;
    case ENOTTY:
    case EINVAL:
      reason_ = fmt::format(
          "{} is not a parallel port of the kernel's ppdev driver, so it offers no register "
          "access.\nName a ppdev device such as /dev/parport0 with --port.",
          path);
      break;
    default:
      reason_ = fmt::format("Cannot claim {}: {}.", path, errorText(error));
      break;
  }
}

std::string PpdevPortLibrary::usbPrinterNote() const {
  std::vector<std::string> printers;
  for (const auto& name : system_->listDirectory(kUsbDevices))
    if (startsWith(name, "lp")) printers.push_back(fmt::format("{}/{}", kUsbDevices, name));
  if (printers.empty()) return {};
  std::sort(printers.begin(), printers.end());
  return fmt::format(
      "\nThere is a USB printer cable ({}), but it only prints: it offers no register access, so "
      "it cannot drive the board. Use an on-board parallel port or a PCI/PCIe parallel card.",
      fmt::join(printers, ", "));
}

std::string PpdevPortLibrary::busyReason(const std::string& path) const {
  // The kernel lists the drivers registered on a port under devices/, beside "active".
  std::vector<std::string> holders, printerDrivers;
  for (const auto& name :
       system_->listDirectory(fmt::format("{}/parport{}/devices", kParportProc, kernelPort_))) {
    if (name == "active") continue;
    holders.push_back(name);
    if (startsWith(name, "lp")) printerDrivers.push_back(name);
  }
  std::sort(holders.begin(), holders.end());
  std::sort(printerDrivers.begin(), printerDrivers.end());
  const std::string unloadLp =
      "Unload the printer driver: sudo modprobe -r lp\n"
      "To keep it from loading at start-up, blacklist it (echo 'blacklist lp' | sudo tee "
      "/etc/modprobe.d/vx3340-no-lp.conf) and remove lp from /etc/modules and "
      "/etc/modules-load.d/.";
  if (!printerDrivers.empty())
    return fmt::format("{} is busy: the lp printer driver holds parport{} ({}).\n{}", path,
                       kernelPort_, fmt::join(printerDrivers, ", "), unloadLp);
  if (!holders.empty())
    return fmt::format(
        "{} is busy: parport{} is held by {}.\nStop the program or driver that uses it.", path,
        kernelPort_, fmt::join(holders, ", "));
  return fmt::format(
      "{} is busy: another driver or program holds the port, most often the lp printer "
      "driver.\n{}",
      path, unloadLp);
}

std::int16_t PpdevPortLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  // Without the claim there is no address to give: PortBase stays 0 and nothing reaches the
  // device. The reason stays the claim's.
  if (!claimed()) {
    if (reason_.empty()) reason_ = fmt::format("Port {} has not been claimed.", port);
    return 0;
  }
  if (port != claimedPort_) {
    reason_ =
        fmt::format("Only port {} ({}) is claimed, not port {}.", claimedPort_, claimedPath_, port);
    return 0;
  }
  const std::string file = fmt::format("{}/parport{}/base-addr", kParportProc, kernelPort_);
  const auto text = kernelPort_ >= 0 ? system_->readTextFile(file) : std::nullopt;
  if (!text) {
    reason_ =
        fmt::format("Cannot read {}: the kernel gives no address for {}.", file, claimedPath_);
    return 0;
  }
  const auto base = firstNumber(*text);
  if (!base || *base == 0 ||
      *base > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    reason_ = fmt::format(
        "{} gives no I/O address for {}: the port has no registers at an I/O "
        "address.",
        file, claimedPath_);
    return 0;
  }
  base_ = static_cast<std::int32_t>(*base);
  info.baseAddress = base_;
  reason_.clear();
  return 1;
}

std::optional<int> PpdevPortLibrary::offsetOf(std::int32_t address) const {
  if (!claimed() || base_ == 0) return std::nullopt;
  const auto offset = static_cast<std::int64_t>(address) - base_;
  if (offset < 0 || offset > 2) return std::nullopt;
  return static_cast<int>(offset);
}

std::uint8_t PpdevPortLibrary::readByte(unsigned long request, const char* name) {
  unsigned char value = 0;
  if (const int result = system_->ioctl(fd_, request, &value); result < 0)
    throw FatalError(fmt::format("{} on {} failed: {}", name, claimedPath_, errorText(-result)));
  return value;
}

void PpdevPortLibrary::writeByte(unsigned long request, const char* name, std::uint8_t value) {
  unsigned char byte = value;
  if (const int result = system_->ioctl(fd_, request, &byte); result < 0)
    throw FatalError(fmt::format("{} on {} failed: {}", name, claimedPath_, errorText(-result)));
}

void PpdevPortLibrary::setDirection(bool input) {
  int reverse = input ? 1 : 0;
  if (const int result = system_->ioctl(fd_, PPDATADIR, &reverse); result < 0)
    throw FatalError(fmt::format("PPDATADIR on {} failed: {}", claimedPath_, errorText(-result)));
  input_ = input;
}

// Control register reads. PPRCONTROL gives bits 0..3 only, from the driver's copy of what was
// last written (many ports cannot read the register back). The direction, bit 5, is ours: the
// last one set. Bits 4, 6 and 7 read 0.
std::int32_t PpdevPortLibrary::InByte(std::int32_t address) {
  const auto offset = offsetOf(address);
  if (!offset) return kRefused;
  switch (*offset) {
    case 0:
      return readByte(PPRDATA, "PPRDATA");
    case 1:
      return readByte(PPRSTATUS, "PPRSTATUS");
    default:
      return (readByte(PPRCONTROL, "PPRCONTROL") & 0x0F) | (input_ ? 0x20 : 0x00);
  }
}

// Control register writes. PPWCONTROL takes bits 0..3 in register sense, as the program means
// them: the driver writes them to the register as they are, and the port's hardware inverts
// strobe, auto feed and select in on their way to the lines (bit set = line low), just as a
// direct register write would. Nothing here inverts anything.
//
// Bit 5, the data direction, goes through PPDATADIR, and only when it changes. It is set before
// the other bits when the port turns to input and after them when it turns back to output, so
// the PC lets go of the data lines before the board may drive them and takes them back only after
// the board has let go. Bit 4 (interrupt enable) and bits 6 and 7 belong to the driver and are
// not written.
void PpdevPortLibrary::OutByte(std::int32_t address, std::int32_t value) {
  const auto offset = offsetOf(address);
  if (!offset || *offset == 1) return;  // the status register is read-only
  if (*offset == 0) {
    writeByte(PPWDATA, "PPWDATA", static_cast<std::uint8_t>(value & 0xFF));
    return;
  }
  const bool input = (value & 0x20) != 0;
  if (input && !input_) setDirection(true);
  writeByte(PPWCONTROL, "PPWCONTROL", static_cast<std::uint8_t>(value & 0x0F));
  if (!input && input_) setDirection(false);
}

}  // namespace vx
