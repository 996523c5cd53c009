#pragma once

// Windows only: the USB bridge's link through FTDI's D2XX library, ftd2xx.dll, bound at run time.

#include <string>

#include "usb/FtdiLink.h"
#include "windows/DllBinding.h"

namespace vx {

// An FT232H (0403:6014), or an FT2232H's channel A (0403:6010), through ftd2xx.dll, which
// Windows installs with FTDI's driver, chosen by serial number or by D2XX's location ID
// ("usb:0x21") when one is asked for. The DLL is loaded by name at the first open, beside the
// program first and then from the system; a missing DLL is a failed open that says where the
// driver comes from.
class D2xxLink : public FtdiLink {
 public:
  // No USB write waits longer.
  static constexpr unsigned long kWriteTimeoutMs = 1000;

  explicit D2xxLink(std::string wanted, std::string libraryName = "ftd2xx.dll");
  ~D2xxLink() override { close(); }
  D2xxLink(const D2xxLink&) = delete;
  D2xxLink& operator=(const D2xxLink&) = delete;

  void open() override;
  void enterMpsse() override;
  void close() override;
  void write(std::span<const std::uint8_t> bytes) override;
  std::size_t read(std::span<std::uint8_t> bytes, std::chrono::milliseconds within) override;

 private:
  using Status = unsigned long;
  using Handle = void*;
  // D2XX's signatures: stdcall, DWORD (32-bit) counts, FT_STATUS results (0: FT_OK).
  using CreateDeviceInfoListFn = Status(__stdcall*)(unsigned long* count);
  using GetDeviceInfoDetailFn = Status(__stdcall*)(unsigned long index, unsigned long* flags,
                                                   unsigned long* type, unsigned long* id,
                                                   unsigned long* location, char* serial,
                                                   char* description, Handle* handle);
  using OpenExFn = Status(__stdcall*)(void* what, unsigned long how, Handle* handle);
  using HandleFn = Status(__stdcall*)(Handle handle);
  using SetUsbParametersFn = Status(__stdcall*)(Handle handle, unsigned long in, unsigned long out);
  using SetLatencyTimerFn = Status(__stdcall*)(Handle handle, unsigned char ms);
  using SetBitModeFn = Status(__stdcall*)(Handle handle, unsigned char mask, unsigned char mode);
  using SetTimeoutsFn = Status(__stdcall*)(Handle handle, unsigned long read, unsigned long write);
  using TransferFn = Status(__stdcall*)(Handle handle, void* buffer, unsigned long size,
                                        unsigned long* done);
  using PurgeFn = Status(__stdcall*)(Handle handle, unsigned long mask);

  void openAdapter();
  void requireOpen() const;

  DllBinding dll_;
  std::string wanted_;
  Handle handle_ = nullptr;
  CreateDeviceInfoListFn list_ = nullptr;
  GetDeviceInfoDetailFn detail_ = nullptr;
  OpenExFn openEx_ = nullptr;
  HandleFn close_ = nullptr;
  SetUsbParametersFn usbParameters_ = nullptr;
  SetLatencyTimerFn latency_ = nullptr;
  SetBitModeFn bitMode_ = nullptr;
  SetTimeoutsFn timeouts_ = nullptr;
  TransferFn write_ = nullptr, read_ = nullptr;
  PurgeFn purge_ = nullptr;
};

}  // namespace vx
