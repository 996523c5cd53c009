#pragma once

#include <string>

#include "usb/FtdiLink.h"

struct ftdi_context;

namespace vx {

// The USB link through Debian's libftdi1 (libusb-1.0 beneath it): an FT232H (0403:6014) or an
// FT2232H's channel A (0403:6010), chosen by serial number when one is given. libftdi1 detaches
// the kernel's ftdi_sio serial driver by itself.
class LibFtdiLink : public FtdiLink {
 public:
  static constexpr int kReadDeadlineMs = 1000;

  explicit LibFtdiLink(std::string serial) : serial_(std::move(serial)) {}
  ~LibFtdiLink() override { close(); }
  LibFtdiLink(const LibFtdiLink&) = delete;
  LibFtdiLink& operator=(const LibFtdiLink&) = delete;

  void open() override;
  void close() override;
  void write(std::span<const std::uint8_t> bytes) override;
  void read(std::span<std::uint8_t> bytes) override;

 private:
  struct Lists;
  void openAdapter();
  std::string serial_;
  ftdi_context* ftdi_ = nullptr;
  bool open_ = false;
};

}  // namespace vx
