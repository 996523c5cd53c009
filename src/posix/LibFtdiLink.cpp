#include "posix/LibFtdiLink.h"

#include <fmt/format.h>
#include <ftdi.h>
#include <libusb.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace vx {

namespace {

constexpr int kFtdiVendor = 0x0403;
constexpr int kProducts[] = {0x6014, 0x6010};  // FT232H, FT2232H (channel A)
// ftdi_usb_open_dev's failures: libusb_open failed, the interface could not be claimed, and
// detaching the serial driver was not permitted.
constexpr int kCannotOpen = -4, kCannotClaim = -5, kNotPermitted = -8;
// libftdi's chip types (enum ftdi_chip_type), by name.
constexpr const char* kChips[] = {"FT8U232AM", "FT232BM", "FT2232C/D", "FT232R",
                                  "FT2232H",   "FT4232H", "FT232H",    "FT-X"};

// No USB write waits longer.
constexpr int kWriteTimeoutMs = 1000;

constexpr const char* kPermission =
    "You may not open the USB adapter. The package installs a udev rule that gives the plugdev "
    "group access to it: add yourself to plugdev (sudo adduser $USER plugdev), log in again, and "
    "unplug the adapter and plug it in again.";

// Where the adapter is plugged in: "usb:BUS-PORT[.PORT...]", as the kernel names it.
std::string location(libusb_device* device) {
  std::uint8_t ports[8] = {};
  const int n = libusb_get_port_numbers(device, ports, sizeof ports);
  std::string where = fmt::format("usb:{}-", libusb_get_bus_number(device));
  for (int i = 0; i < n; ++i) where += fmt::format("{}{}", i > 0 ? "." : "", ports[i]);
  return where;
}

// Whether a failed libusb_open was for want of permission on the device node.
bool denied(libusb_device* device) {
  const std::string node = fmt::format("/dev/bus/usb/{:03}/{:03}", libusb_get_bus_number(device),
                                       libusb_get_device_address(device));
  return access(node.c_str(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM);
}

// The device lists, freed before the context that made them.
struct Lists {
  std::vector<ftdi_device_list*> all;
  ~Lists() {
    for (ftdi_device_list*& list : all) ftdi_list_free(&list);
  }
};

class LibFtdi final : public FtdiLibrary {
 public:
  explicit LibFtdi(std::string wanted) : wanted_(std::move(wanted)) {}
  ~LibFtdi() override { close(); }

  void open() override {
    ftdi_ = ftdi_new();
    if (ftdi_ == nullptr) throw UsbError("libftdi1 could not start");
    ftdi_set_interface(ftdi_, INTERFACE_A);
    ftdi_->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    ftdi_->usb_write_timeout = kWriteTimeoutMs;
    std::vector<libusb_device*> devices;
    std::vector<FoundAdapter> found;
    Lists lists;
    for (const int product : kProducts) {
      ftdi_device_list* list = nullptr;
      if (ftdi_usb_find_all(ftdi_, &list, kFtdiVendor, product) < 0)
        throw UsbError(fmt::format("libusb could not list the USB devices: {}", error()));
      lists.all.push_back(list);
      for (ftdi_device_list* d = list; d != nullptr; d = d->next)
        devices.push_back(d->dev), found.push_back({{}, location(d->dev)});
    }
    // Serial numbers only when they choose: reading them opens each adapter.
    if ((!wanted_.empty() && !wanted_.starts_with("usb:")) || found.size() > 1) {
      for (std::size_t i = 0; i < found.size(); ++i) {
        char serial[128] = {};
        if (ftdi_usb_get_strings(ftdi_, devices[i], nullptr, 0, nullptr, 0, serial,
                                 sizeof serial) == kCannotOpen &&
            denied(devices[i]))
          throw UsbError(kPermission);
        found[i].serial = serial;
      }
    }
    const std::size_t chosen = chooseAdapter(found, wanted_);
    const int r = ftdi_usb_open_dev(ftdi_, devices[chosen]);
    if ((r == kCannotOpen && denied(devices[chosen])) || r == kNotPermitted)
      throw UsbError(kPermission);
    if (r == kCannotClaim) throw adapterInUse();
    if (r < 0)
      throw UsbError(
          fmt::format("libftdi1 could not open the USB adapter at {}: {}. Unplug it, plug it in "
                      "again, and try again.",
                      found[chosen].location, error()));
    usbOpen_ = true;
    if (ftdi_->type != TYPE_232H && ftdi_->type != TYPE_2232H)
      throw unsupportedChip(fmt::format("an {} at {}",
                                        static_cast<std::size_t>(ftdi_->type) < std::size(kChips)
                                            ? kChips[ftdi_->type]
                                            : "unknown FTDI chip",
                                        found[chosen].location));
    if (ftdi_set_latency_timer(ftdi_, 1) < 0 || !purge()) throw UsbError(error());
  }

  void close() override {
    if (ftdi_ == nullptr) return;
    if (usbOpen_) ftdi_usb_close(ftdi_);  // releases the interface: ftdi_sio takes it back
    usbOpen_ = false;
    ftdi_free(ftdi_);
    ftdi_ = nullptr;
  }

  bool setBitMode(std::uint8_t mode) override { return ftdi_set_bitmode(ftdi_, 0, mode) >= 0; }
  bool purge() override { return ftdi_tcioflush(ftdi_) >= 0; }
  std::string error() const override { return ftdi_get_error_string(ftdi_); }

  void write(std::span<const std::uint8_t> bytes) override {
    const int n = ftdi_write_data(ftdi_, bytes.data(), static_cast<int>(bytes.size()));
    if (n != static_cast<int>(bytes.size())) throw UsbError(n < 0 ? error() : "a short write");
  }

  std::optional<std::size_t> read(std::span<std::uint8_t> bytes,
                                  std::chrono::milliseconds within) override {
    ftdi_->usb_read_timeout = static_cast<int>(within.count());
    const int n = ftdi_read_data(ftdi_, bytes.data(), static_cast<int>(bytes.size()));
    if (n == LIBUSB_ERROR_TIMEOUT) return std::nullopt;
    if (n < 0) throw UsbError(error());
    return static_cast<std::size_t>(n);
  }

 private:
  std::string wanted_;
  ftdi_context* ftdi_ = nullptr;
  bool usbOpen_ = false;  // ftdi_usb_open_dev succeeded
};

}  // namespace

std::unique_ptr<FtdiLibrary> makeLibFtdi(std::string wanted) {
  return std::make_unique<LibFtdi>(std::move(wanted));
}

}  // namespace vx
