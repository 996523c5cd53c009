#include "posix/LibFtdiLink.h"

#include <fmt/format.h>
#include <ftdi.h>

#include <chrono>
#include <memory>
#include <vector>

namespace vx {

namespace {

constexpr int kFtdiVendor = 0x0403;
constexpr int kProducts[] = {0x6014, 0x6010};  // FT232H, FT2232H (channel A)
constexpr int kCannotOpen = -4, kCannotClaim = -5;

constexpr const char* kPermission =
    "You may not open the USB adapter. The package installs a udev rule that gives the plugdev "
    "group access to it: add yourself to plugdev (sudo adduser $USER plugdev), log in again, and "
    "unplug the adapter and plug it in again.";

struct Adapter {
  libusb_device* device;
  std::string serial;
};

}  // namespace

// The device lists, freed before the context that made them.
struct LibFtdiLink::Lists {
  std::vector<ftdi_device_list*> all;
  ~Lists() {
    for (ftdi_device_list*& list : all) ftdi_list_free(&list);
  }
};

void LibFtdiLink::open() {
  close();
  ftdi_ = ftdi_new();
  if (ftdi_ == nullptr) throw UsbError(UsbFailure::Library, "libftdi1 could not start");
  try {
    openAdapter();
  } catch (const UsbError&) {
    close();
    throw;
  }
}

void LibFtdiLink::openAdapter() {
  ftdi_set_interface(ftdi_, INTERFACE_A);
  std::vector<Adapter> adapters;
  Lists lists;
  for (const int product : kProducts) {
    ftdi_device_list* list = nullptr;
    if (ftdi_usb_find_all(ftdi_, &list, kFtdiVendor, product) < 0)
      throw UsbError(UsbFailure::Library, fmt::format("libusb could not list the USB devices: {}",
                                                      ftdi_get_error_string(ftdi_)));
    lists.all.push_back(list);
    for (ftdi_device_list* d = list; d != nullptr; d = d->next) adapters.push_back({d->dev, {}});
  }
  // Serial numbers only when they choose: reading them opens each adapter.
  if (!serial_.empty() || adapters.size() > 1) {
    for (Adapter& a : adapters) {
      char serial[128] = {};
      if (ftdi_usb_get_strings(ftdi_, a.device, nullptr, 0, nullptr, 0, serial, sizeof serial) ==
          kCannotOpen)
        throw UsbError(UsbFailure::Permission, kPermission);
      a.serial = serial;
    }
  }
  std::erase_if(adapters,
                [this](const Adapter& a) { return !serial_.empty() && a.serial != serial_; });
  std::vector<std::string> serials;
  for (const Adapter& a : adapters) serials.push_back(a.serial);
  requireOneAdapter(serials, serial_);
  const int r = ftdi_usb_open_dev(ftdi_, adapters.front().device);
  if (r == kCannotOpen) throw UsbError(UsbFailure::Permission, kPermission);
  if (r == kCannotClaim) throw adapterInUse();
  if (r < 0)
    throw UsbError(UsbFailure::Library, fmt::format("libftdi1 could not open the USB adapter: {}",
                                                    ftdi_get_error_string(ftdi_)));
  open_ = true;
  if (ftdi_usb_reset(ftdi_) < 0 || ftdi_set_latency_timer(ftdi_, 1) < 0 ||
      ftdi_set_bitmode(ftdi_, 0, BITMODE_RESET) < 0 ||
      ftdi_set_bitmode(ftdi_, 0, BITMODE_MPSSE) < 0 || ftdi_tcioflush(ftdi_) < 0)
    throw UsbError(UsbFailure::NotInSync,
                   fmt::format("The USB adapter would not enter MPSSE mode ({}). Unplug it, plug "
                               "it in again, and try again.",
                               ftdi_get_error_string(ftdi_)));
}

void LibFtdiLink::close() {
  if (ftdi_ == nullptr) return;
  if (open_) ftdi_usb_close(ftdi_);
  open_ = false;
  ftdi_free(ftdi_);
  ftdi_ = nullptr;
}

void LibFtdiLink::write(std::span<const std::uint8_t> bytes) {
  if (!open_) throw UsbError(UsbFailure::Gone, "the adapter is not open");
  const int n = ftdi_write_data(ftdi_, bytes.data(), static_cast<int>(bytes.size()));
  if (n != static_cast<int>(bytes.size()))
    throw UsbError(UsbFailure::Gone, n < 0 ? ftdi_get_error_string(ftdi_) : "a short write");
}

void LibFtdiLink::read(std::span<std::uint8_t> bytes) {
  if (!open_) throw UsbError(UsbFailure::Gone, "the adapter is not open");
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kReadDeadlineMs);
  std::size_t got = 0;
  while (got < bytes.size()) {
    const int n = ftdi_read_data(ftdi_, bytes.data() + got, static_cast<int>(bytes.size() - got));
    if (n < 0) throw UsbError(UsbFailure::Gone, ftdi_get_error_string(ftdi_));
    got += static_cast<std::size_t>(n);
    if (got < bytes.size() && std::chrono::steady_clock::now() > deadline)
      throw UsbError(UsbFailure::Gone, fmt::format("no answer within {} ms", kReadDeadlineMs));
  }
}

}  // namespace vx
