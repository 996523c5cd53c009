#include "windows/D2xxLink.h"

#include <windows.h>

#include <fmt/format.h>

#include <algorithm>
#include <vector>

#include "port/FatalError.h"

namespace vx {

namespace {

constexpr unsigned long kOk = 0, kDeviceNotFound = 2, kDeviceNotOpened = 3;
constexpr unsigned long kFlagOpened = 1;                              // FT_FLAGS_OPENED
constexpr unsigned long kFt232h = 0x04036014, kFt2232h = 0x04036010;  // vendor << 16 | product
constexpr unsigned long kOpenBySerial = 1;                            // FT_OPEN_BY_SERIAL_NUMBER
constexpr unsigned long kPurgeBoth = 3;                               // FT_PURGE_RX | FT_PURGE_TX
constexpr unsigned char kReset = 0x00, kMpsse = 0x02;                 // FT_SetBitMode's modes

constexpr const char* kDriver =
    "ftd2xx.dll comes with FTDI's D2XX driver: Windows Update installs it when an FT232H is "
    "plugged in, or download the D2XX driver's setup from ftdichip.com (Drivers, D2XX) and run "
    "it. Then start the program again.";

struct Adapter {
  std::string serial;
  bool opened;
};

}  // namespace

D2xxLink::D2xxLink(std::string serial, std::string libraryName)
    : dll_(libraryName, libraryName + " of FTDI's D2XX driver", kDriver),
      serial_(std::move(serial)) {}

void D2xxLink::open() {
  close();
  try {
    openAdapter();
  } catch (const FatalError& e) {  // the DLL or one of its functions is missing
    throw UsbError(UsbFailure::Library, e.what());
  } catch (const UsbError&) {
    close();
    throw;
  }
}

void D2xxLink::openAdapter() {
  unsigned long count = 0;
  if (dll_.function("FT_CreateDeviceInfoList", list_)(&count) != kOk)
    throw UsbError(UsbFailure::Library, "ftd2xx.dll could not list the USB devices");
  std::vector<Adapter> adapters;
  for (unsigned long i = 0; i < count; ++i) {
    unsigned long flags = 0, type = 0, id = 0, location = 0;
    char serial[16] = {}, description[64] = {};
    Handle handle = nullptr;
    if (dll_.function("FT_GetDeviceInfoDetail", detail_)(i, &flags, &type, &id, &location, serial,
                                                         description, &handle) != kOk)
      continue;
    const std::string s = serial;
    // An FT2232H shows as two devices, its channels' serials ending in A and B.
    if (id == kFt232h || (id == kFt2232h && !s.empty() && s.back() == 'A'))
      if (serial_.empty() || s == serial_) adapters.push_back({s, (flags & kFlagOpened) != 0});
  }
  std::vector<std::string> serials;
  for (const Adapter& a : adapters) serials.push_back(a.serial);
  requireOneAdapter(serials, serial_);
  if (adapters.front().opened) throw adapterInUse();
  std::string serial = adapters.front().serial;
  const Status opened = dll_.function("FT_OpenEx", openEx_)(serial.data(), kOpenBySerial, &handle_);
  if (opened == kDeviceNotOpened) throw adapterInUse();
  if (opened != kOk)
    throw UsbError(opened == kDeviceNotFound ? UsbFailure::NotFound : UsbFailure::Library,
                   fmt::format("ftd2xx.dll could not open the USB adapter (FT_STATUS {}). Unplug "
                               "it, plug it in again, and try again.",
                               opened));
  if (dll_.function("FT_ResetDevice", reset_)(handle_) != kOk ||
      dll_.function("FT_SetUSBParameters", usbParameters_)(handle_, 65536, 65536) != kOk ||
      dll_.function("FT_SetLatencyTimer", latency_)(handle_, 1) != kOk ||
      dll_.function("FT_SetBitMode", bitMode_)(handle_, 0, kReset) != kOk ||
      dll_.function("FT_SetBitMode", bitMode_)(handle_, 0, kMpsse) != kOk ||
      dll_.function("FT_Purge", purge_)(handle_, kPurgeBoth) != kOk)
    throw UsbError(UsbFailure::NotInSync,
                   "The USB adapter would not enter MPSSE mode. Unplug it, plug it in again, and "
                   "try again.");
}

void D2xxLink::close() {
  if (handle_ != nullptr) dll_.function("FT_Close", close_)(handle_);
  handle_ = nullptr;
}

void D2xxLink::write(std::span<const std::uint8_t> bytes) {
  if (handle_ == nullptr) throw UsbError(UsbFailure::Gone, "the adapter is not open");
  unsigned long done = 0;
  const Status s =
      dll_.function("FT_Write", write_)(handle_, const_cast<std::uint8_t*>(bytes.data()),
                                        static_cast<unsigned long>(bytes.size()), &done);
  if (s != kOk || done != bytes.size())
    throw UsbError(UsbFailure::Gone, fmt::format("FT_Write failed, FT_STATUS {}", s));
}

// Waits for the answer with FT_GetQueueStatus, then reads exactly what is there.
void D2xxLink::read(std::span<std::uint8_t> bytes) {
  if (handle_ == nullptr) throw UsbError(UsbFailure::Gone, "the adapter is not open");
  const DWORD start = GetTickCount();
  std::size_t got = 0;
  while (got < bytes.size()) {
    unsigned long waiting = 0;
    Status s = dll_.function("FT_GetQueueStatus", queue_)(handle_, &waiting);
    if (s != kOk)
      throw UsbError(UsbFailure::Gone, fmt::format("FT_GetQueueStatus failed, FT_STATUS {}", s));
    if (waiting == 0) {
      if (GetTickCount() - start > kReadDeadlineMs)
        throw UsbError(UsbFailure::Gone, fmt::format("no answer within {} ms", kReadDeadlineMs));
      Sleep(0);
      continue;
    }
    unsigned long done = 0;
    const auto want =
        static_cast<unsigned long>(std::min<std::size_t>(waiting, bytes.size() - got));
    s = dll_.function("FT_Read", read_)(handle_, bytes.data() + got, want, &done);
    if (s != kOk) throw UsbError(UsbFailure::Gone, fmt::format("FT_Read failed, FT_STATUS {}", s));
    got += done;
  }
}

}  // namespace vx
