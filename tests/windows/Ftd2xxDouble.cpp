// A stand-in for FTDI's ftd2xx.dll: the D2XX functions the program binds, stdcall, exported
// under their plain names (the build links with --kill-at), over the FT232H model with the
// simulated board on its pins. VX_FT232H sets the model's scene (tests/support/Ft232hModel.h):
// each adapter is listed as D2XX lists it (a two-channel chip as two devices, serial numbers
// ending in A and B, one that another program holds without its details) at location 0x21,
// 0x31, ... (channel B one more). At each FT_Close, the model's record without the pins goes to
// the log (FTD2XX_LOG).
#define VX_DOUBLE_LOG "FTD2XX_LOG"
#include <algorithm>
#include <cstring>
#include <deque>

#include "DoubleSupport.h"
#include "support/Ft232hModel.h"

namespace {

using Status = unsigned long;
using UL = unsigned long;
constexpr Status kOk = 0, kDeviceNotFound = 2, kDeviceNotOpened = 3, kIoError = 4;

// The adapters, each with its board, for the whole process, as real ones outlive each open.
std::deque<vx::test::Ft232hModel>& adapters() {
  static const auto scene = vx::test::parseScene(environment("VX_FT232H"));
  static std::deque<vx::test::Ft232hModel> all(scene.begin(), scene.end());
  return all;
}

// The devices D2XX lists: an adapter and its channel (0 for A).
std::vector<std::pair<vx::test::Ft232hModel*, int>> listed() {
  std::vector<std::pair<vx::test::Ft232hModel*, int>> devices;
  for (auto& a : adapters())
    for (int channel = 0; channel < a.adapter.chip.channels; ++channel)
      if (!a.pulledOut()) devices.emplace_back(&a, channel);
  return devices;
}

UL location(const vx::test::Ft232hModel& a, int channel) {
  return static_cast<UL>((&a - &adapters().front() + 2) << 4 | (channel + 1));
}

vx::test::Ft232hModel& model(void* handle) {
  return *static_cast<vx::test::Ft232hModel*>(handle);
}

}  // namespace

VX_EXPORT Status __stdcall FT_CreateDeviceInfoList(UL* count) {
  *count = static_cast<UL>(listed().size());
  return kOk;
}

// D2XX leaves a device that another program holds without its ID, type, location or serial.
VX_EXPORT Status __stdcall FT_GetDeviceInfoDetail(UL index, UL* flags, UL* type, UL* id, UL* loc,
                                                  char* serial, char* description, void**) {
  const auto devices = listed();
  if (index >= devices.size()) return kDeviceNotFound;
  const auto [a, channel] = devices[index];
  const vx::test::Adapter& chip = a->adapter;
  const std::string ab = chip.chip.channels == 1 ? "" : channel ? "B" : "A";  // the channel
  const std::string name = chip.serial + (chip.serial.empty() ? "" : ab);
  *flags = chip.busy ? 1 : 0;  // FT_FLAGS_OPENED
  *type = chip.busy ? 0 : static_cast<UL>(chip.chip.d2xxType);
  *id = chip.busy ? 0 : 0x04030000 | static_cast<UL>(chip.chip.product);
  *loc = chip.busy ? 0 : location(*a, channel);
  const std::string text = ab.empty() ? "Single RS232-HS" : "Dual RS232-HS " + ab;
  std::strcpy(serial, chip.busy ? "" : name.c_str());
  std::strcpy(description, chip.busy ? "" : text.c_str());
  return kOk;
}

VX_EXPORT Status __stdcall FT_OpenEx(void* where, UL, void** handle) {
  for (const auto& [a, channel] : listed())
    if (location(*a, channel) == reinterpret_cast<std::uintptr_t>(where)) {
      if (a->adapter.busy) return kDeviceNotOpened;
      *handle = a;
      return kOk;
    }
  return kDeviceNotFound;
}

VX_EXPORT Status __stdcall FT_SetUSBParameters(void*, UL, UL) {
  return kOk;
}
VX_EXPORT Status __stdcall FT_SetTimeouts(void*, UL, UL) {
  return kOk;
}
VX_EXPORT Status __stdcall FT_SetLatencyTimer(void* h, unsigned char ms) {
  model(h).control(0x09, ms);
  return kOk;
}
VX_EXPORT Status __stdcall FT_SetBitMode(void* h, unsigned char mask, unsigned char mode) {
  model(h).control(0x0B, static_cast<std::uint16_t>(mode << 8 | mask));
  return kOk;
}
VX_EXPORT Status __stdcall FT_Purge(void* h, UL mask) {
  if (mask & 1) model(h).control(0, 1);  // FT_PURGE_RX
  if (mask & 2) model(h).control(0, 2);  // FT_PURGE_TX
  return kOk;
}

VX_EXPORT Status __stdcall FT_Write(void* h, void* buffer, UL size, UL* done) {
  const bool written = model(h).write({static_cast<const std::uint8_t*>(buffer), size});
  *done = written ? size : 0;
  return written ? kOk : kIoError;
}

// What has come, a packet at a time, up to the size: the read timeout passes at once.
VX_EXPORT Status __stdcall FT_Read(void* h, void* buffer, UL size, UL* done) {
  std::vector<std::uint8_t> packet;
  for (*done = 0; *done < size && model(h).answering(); *done += static_cast<UL>(packet.size())) {
    if (!model(h).read(packet, size - *done)) return kIoError;
    std::ranges::copy(packet, static_cast<std::uint8_t*>(buffer) + *done);
  }
  return kOk;
}

VX_EXPORT Status __stdcall FT_Close(void* h) {
  for (const std::string& line : model(h).record)
    if (!line.starts_with("pins")) log("{}", line);
  for (const std::string& v : model(h).board.violations()) log("board: {}", v);
  model(h).record.clear();
  return kOk;
}
