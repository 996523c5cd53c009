#include "windows/D2xxLink.h"

#include <windows.h>

#include <fmt/format.h>

#include <vector>

#include "port/FatalError.h"
#include "windows/DllBinding.h"

namespace vx {

namespace {

constexpr unsigned long kOk = 0, kDeviceNotOpened = 3;
constexpr unsigned long kFlagOpened = 1;                              // FT_FLAGS_OPENED
constexpr unsigned long kFt232h = 0x04036014, kFt2232h = 0x04036010;  // vendor << 16 | product
constexpr unsigned long kType232h = 8, kType2232h = 6;                // FT_DEVICE_232H, _2232H
constexpr unsigned long kOpenByLocation = 4;                          // FT_OPEN_BY_LOCATION
constexpr unsigned long kPurgeBoth = 3;                               // FT_PURGE_RX | FT_PURGE_TX
// D2XX's device types (FT_DEVICE), by name.
constexpr const char* kChips[] = {"FT232BM",   "FT8U232AM", "FT8U100AX", "unknown FTDI chip",
                                  "FT2232C/D", "FT232R",    "FT2232H",   "FT4232H",
                                  "FT232H",    "FT-X"};
// No USB write waits longer.
constexpr unsigned long kWriteTimeoutMs = 1000;

// In plain words: the original program never had this DLL.
std::string driverMessage(const DllFault& f) {
  switch (f.kind) {
    case DllFault::Kind::NotFound:
      return fmt::format(
          "{} was not found. ftd2xx.dll comes with FTDI's D2XX driver: Windows Update installs it "
          "when an FT232H is plugged in, or download the D2XX driver's setup from ftdichip.com "
          "(Drivers, D2XX) and run it. Then start the program again.",
          f.dll);
    case DllFault::Kind::NotLoaded:
      return fmt::format(
          "{} could not be loaded ({}). Put the {} of FTDI's D2XX driver beside the program and "
          "start it again.",
          f.dll, f.error, f.dll);
    case DllFault::Kind::NoFunction:
      break;
  }
  return fmt::format(
      "{} lacks the function {}: the {} found at {} is not the one this program needs. Put the {} "
      "of FTDI's D2XX driver beside the program.",
      f.dll, f.function, f.dll, f.path, f.dll);
}

class D2xx final : public FtdiLibrary {
 public:
  explicit D2xx(std::string wanted) : wanted_(std::move(wanted)) {}
  ~D2xx() override { close(); }

  void open() override {
    try {
      openAdapter();
    } catch (const FatalError& e) {  // the DLL or one of its functions is missing
      throw UsbError(e.what());
    }
  }

  void close() override {
    if (handle_ != nullptr) dll_.function("FT_Close", close_)(handle_);
    handle_ = nullptr;
  }

  bool setBitMode(std::uint8_t mode) override {
    return dll_.function("FT_SetBitMode", bitMode_)(handle_, 0, mode) == kOk;
  }
  bool purge() override { return dll_.function("FT_Purge", purge_)(handle_, kPurgeBoth) == kOk; }
  std::string error() const override { return {}; }  // D2XX gives a status, not words

  void write(std::span<const std::uint8_t> bytes) override {
    unsigned long done = 0;
    const Status s =
        dll_.function("FT_Write", write_)(handle_, const_cast<std::uint8_t*>(bytes.data()),
                                          static_cast<unsigned long>(bytes.size()), &done);
    if (s != kOk || done != bytes.size())
      throw UsbError(fmt::format("FT_Write failed, FT_STATUS {}", s));
  }

  // FT_Read waits in the driver, up to the read timeout, for all the bytes asked for: none means
  // the wait ran out.
  std::optional<std::size_t> read(std::span<std::uint8_t> bytes,
                                  std::chrono::milliseconds within) override {
    unsigned long done = 0;
    Status s = dll_.function("FT_SetTimeouts", timeouts_)(
        handle_, static_cast<unsigned long>(within.count()), kWriteTimeoutMs);
    if (s == kOk)
      s = dll_.function("FT_Read", read_)(handle_, bytes.data(),
                                          static_cast<unsigned long>(bytes.size()), &done);
    if (s != kOk) throw UsbError(fmt::format("FT_Read failed, FT_STATUS {}", s));
    if (done == 0) return std::nullopt;
    return done;
  }

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

  DllBinding dll_{"ftd2xx.dll", driverMessage};
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

void D2xx::openAdapter() {
  unsigned long count = 0;
  if (dll_.function("FT_CreateDeviceInfoList", list_)(&count) != kOk)
    throw UsbError("ftd2xx.dll could not list the USB devices");
  std::vector<FoundAdapter> found;
  std::vector<unsigned long> locations, types;
  bool held = false;
  for (unsigned long i = 0; i < count; ++i) {
    unsigned long flags = 0, type = 0, id = 0, location = 0;
    char serial[16] = {}, description[64] = {};
    Handle handle = nullptr;
    if (dll_.function("FT_GetDeviceInfoDetail", detail_)(i, &flags, &type, &id, &location, serial,
                                                         description, &handle) != kOk)
      continue;
    // D2XX leaves a device that another program holds without its ID, type or serial number.
    held = held || ((flags & kFlagOpened) != 0 && id == 0);
    // A two-channel chip shows as two devices, channel A's serial number (or, without one, its
    // description) ending in A.
    const std::string s = serial, d = description;
    const bool channelA = s.empty() ? d.ends_with(" A") : s.ends_with('A');
    if (id == kFt232h || (id == kFt2232h && channelA)) {
      found.push_back({s, fmt::format("usb:0x{:X}", location)});
      locations.push_back(location);
      types.push_back(type);
    }
  }
  const std::size_t chosen = chooseAdapter(found, wanted_, held);
  if (types[chosen] != kType232h && types[chosen] != kType2232h)
    throw unsupportedChip(
        fmt::format("an {} at {}",
                    types[chosen] < std::size(kChips) ? kChips[types[chosen]] : "unknown FTDI chip",
                    found[chosen].location));
  const Status opened = dll_.function("FT_OpenEx", openEx_)(
      reinterpret_cast<void*>(static_cast<std::uintptr_t>(locations[chosen])), kOpenByLocation,
      &handle_);
  if (opened == kDeviceNotOpened) throw adapterInUse();
  if (opened != kOk)
    throw UsbError(
        fmt::format("ftd2xx.dll could not open the USB adapter at {} (FT_STATUS {}). "
                    "Unplug it, plug it in again, and try again.",
                    found[chosen].location, opened));
  if (dll_.function("FT_SetUSBParameters", usbParameters_)(handle_, 65536, 65536) != kOk ||
      dll_.function("FT_SetLatencyTimer", latency_)(handle_, 1) != kOk ||
      dll_.function("FT_SetTimeouts", timeouts_)(handle_, kWriteTimeoutMs, kWriteTimeoutMs) !=
          kOk ||
      !purge())
    throw UsbError("the USB adapter did not take its settings");
}

}  // namespace

std::unique_ptr<FtdiLibrary> makeD2xx(std::string wanted) {
  return std::make_unique<D2xx>(std::move(wanted));
}

}  // namespace vx
