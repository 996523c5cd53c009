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

#include "port/ControlRegister.h"
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
    return fail(Kind::OtherPortClaimed, path, port);
  }
  if (device_.empty() && port < 1) return fail(Kind::PortNumber, path, port);
  // A USB printer device is not even opened: it has no registers to claim.
  if (startsWith(path, std::string(kUsbDevices) + "/")) return fail(Kind::UsbPrinter, path, port);

  kernelPort_ = parportNumber(path.substr(path.rfind('/') + 1)).value_or(-1);
  const int fd = system_->open(path);
  if (fd < 0) return failClaim(path, port, -fd);
  const auto number = system_->deviceNumber(fd);
  if (number && number->major != PP_MAJOR) {
    system_->close(fd);
    return fail(number->major == USB_CHAR_MAJOR ? Kind::UsbPrinter : Kind::NotPpdev, path, port);
  }
  if (number) kernelPort_ = static_cast<int>(number->minor);

  // Exclusive: no printer driver or other program may share the port while the board is on it.
  for (const unsigned long request : {PPEXCL, PPCLAIM}) {
    if (const int result = system_->ioctl(fd, request, nullptr); result < 0) {
      system_->close(fd);
      return failClaim(path, port, -result);
    }
  }
  fd_ = fd;
  claimedPort_ = port;
  claimedPath_ = path;
  // Claiming restores the driver's initial state for the port, which drives the data lines.
  input_ = false;
  failure_ = {};
  return 1;
}

std::int16_t PpdevPortLibrary::fail(Kind kind, const std::string& path, std::int32_t port,
                                    int error) {
  failure_ = {};
  failure_.kind = kind;
  failure_.path = path;
  failure_.port = port;
  failure_.error = error;
  failure_.kernelPort = kernelPort_;
  failure_.claimedPort = claimedPort_;
  failure_.claimedPath = claimedPath_;
  return 0;
}

std::int16_t PpdevPortLibrary::failClaim(const std::string& path, std::int32_t port, int error) {
  switch (error) {
    case ENOENT:
      fail(Kind::NoDevice, path, port, error);
      for (const auto& name : system_->listDirectory(kUsbDevices))
        if (startsWith(name, "lp"))
          failure_.usbPrinters.push_back(fmt::format("{}/{}", kUsbDevices, name));
      std::sort(failure_.usbPrinters.begin(), failure_.usbPrinters.end());
      return 0;
    case ENODEV:
    case ENXIO:
    case EBUSY:
      // ppdev refuses an exclusive claim with ENXIO while another driver has the port; a node
      // whose port the kernel does not list has no driver behind it at all.
      if (kernelPort_ < 0 ||
          !system_->readTextFile(fmt::format("{}/parport{}/base-addr", kParportProc, kernelPort_)))
        return fail(Kind::NoPortBehind, path, port, error);
      fail(Kind::Busy, path, port, error);
      // The kernel lists the drivers registered on a port under devices/, beside "active".
      for (const auto& name :
           system_->listDirectory(fmt::format("{}/parport{}/devices", kParportProc, kernelPort_)))
        if (name != "active") failure_.holders.push_back(name);
      std::sort(failure_.holders.begin(), failure_.holders.end());
      return 0;
    case EACCES:
    case EPERM:
      return fail(Kind::Permission, path, port, error);
    case ENOTTY:
    case EINVAL:
      return fail(Kind::NotPpdev, path, port, error);
    default:
      return fail(Kind::OtherError, path, port, error);
  }
}

std::int16_t PpdevPortLibrary::GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) {
  // Without the claim there is no address to give: PortBase stays 0 and nothing reaches the
  // device. The reason stays the claim's.
  if (!claimed()) {
    if (failure_.kind == Kind::None) fail(Kind::NotClaimed, devicePath(port), port);
    return 0;
  }
  if (port != claimedPort_) return fail(Kind::WrongPort, devicePath(port), port);
  const std::string file = fmt::format("{}/parport{}/base-addr", kParportProc, kernelPort_);
  const auto text = kernelPort_ >= 0 ? system_->readTextFile(file) : std::nullopt;
  const auto base = text ? firstNumber(*text) : std::nullopt;
  if (!base || *base == 0 ||
      *base > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())) {
    fail(text ? Kind::NoIoAddress : Kind::NoBaseFile, claimedPath_, port);
    failure_.file = file;
    return 0;
  }
  base_ = static_cast<std::int32_t>(*base);
  info.baseAddress = base_;
  failure_ = {};
  return 1;
}

std::optional<int> PpdevPortLibrary::offsetOf(std::int32_t address) const {
  if (!claimed() || base_ == 0) return std::nullopt;
  const auto offset = static_cast<std::int64_t>(address) - base_;
  if (offset < lpt::kDataOffset || offset > lpt::kControlOffset) return std::nullopt;
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
    case lpt::kDataOffset:
      return readByte(PPRDATA, "PPRDATA");
    case lpt::kStatusOffset:
      return readByte(PPRSTATUS, "PPRSTATUS");
    default:
      return (readByte(PPRCONTROL, "PPRCONTROL") & lpt::kOutputs) | (input_ ? lpt::kDirection : 0);
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
  if (!offset || *offset == lpt::kStatusOffset) return;  // the status register is read-only
  if (*offset == lpt::kDataOffset) {
    writeByte(PPWDATA, "PPWDATA", static_cast<std::uint8_t>(value & 0xFF));
    return;
  }
  const bool input = (value & lpt::kDirection) != 0;
  if (input && !input_) setDirection(true);
  writeByte(PPWCONTROL, "PPWCONTROL", static_cast<std::uint8_t>(value & lpt::kOutputs));
  if (!input && input_) setDirection(false);
}

}  // namespace vx
