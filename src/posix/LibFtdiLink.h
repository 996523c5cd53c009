#pragma once

#include <string>

#include "usb/FtdiLink.h"

struct ftdi_context;

namespace vx {

// The USB link through Debian's libftdi1 (libusb-1.0 beneath it): an FT232H (0403:6014) or an
// FT2232H's channel A (0403:6010), chosen by serial number or by USB location ("usb:1-2") when
// one is asked for. The kernel's ftdi_sio serial driver is detached while the link is open and
// takes the adapter back when it closes.
class LibFtdiLink : public FtdiLink {
 public:
  // No USB write waits longer.
  static constexpr int kWriteTimeoutMs = 1000;

  explicit LibFtdiLink(std::string wanted) : wanted_(std::move(wanted)) {}
  ~LibFtdiLink() override { close(); }
  LibFtdiLink(const LibFtdiLink&) = delete;
  LibFtdiLink& operator=(const LibFtdiLink&) = delete;

  void open() override;
  void enterMpsse() override;
  void close() override;
  void write(std::span<const std::uint8_t> bytes) override;
  std::size_t read(std::span<std::uint8_t> bytes, std::chrono::milliseconds within) override;

 private:
  struct Lists;
  void openAdapter();
  void requireOpen() const;
  std::string wanted_;
  ftdi_context* ftdi_ = nullptr;
  bool open_ = false;
};

}  // namespace vx
