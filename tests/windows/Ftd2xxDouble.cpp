// A stand-in for FTDI's ftd2xx.dll: the twelve D2XX functions the program binds, stdcall,
// exported under their plain names (the build links with --kill-at), over the FT232H model with
// the simulated board on its pins. VX_FT232H sets the model's scene (one, none, two, busy,
// outofstep, unplug=N).
#define VX_DOUBLE_LOG "FTD2XX_LOG"
#include <cstdio>

#include "DoubleSupport.h"
#include "support/Ft232hModel.h"

namespace {

using Status = unsigned long;
constexpr Status kOk = 0, kDeviceNotFound = 2, kIoError = 4;

// One adapter and board for the process, as a real one outlives each open.
vx::test::Ft232hModel& model() {
  static vx::test::Ft232hModel m(environment("VX_FT232H").c_str());
  return m;
}
unsigned long listed = 0;

// A transfer's status: all of it done, or the device went away.
Status transfer(bool done, unsigned long size, unsigned long* count) {
  *count = done ? size : 0;
  return done ? kOk : kIoError;
}

}  // namespace

#define VX_DOES_NOTHING(name, ...)                           \
  __declspec(dllexport) Status __stdcall name(__VA_ARGS__) { \
    return kOk;                                              \
  }

extern "C" {

VX_DOES_NOTHING(FT_ResetDevice, void*)
VX_DOES_NOTHING(FT_SetUSBParameters, void*, unsigned long, unsigned long)
VX_DOES_NOTHING(FT_SetLatencyTimer, void*, unsigned char)
VX_DOES_NOTHING(FT_SetBitMode, void*, unsigned char, unsigned char)
VX_DOES_NOTHING(FT_Purge, void*, unsigned long)
VX_DOES_NOTHING(FT_Close, void*)

__declspec(dllexport) Status __stdcall FT_CreateDeviceInfoList(unsigned long* count) {
  *count = listed = static_cast<unsigned long>(model().attached());
  return kOk;
}

using UL = unsigned long;
__declspec(dllexport) Status __stdcall FT_GetDeviceInfoDetail(UL index, UL* flags, UL* type, UL* id,
                                                              UL*, char* serial, char*, void**) {
  *flags = model().scene == "busy" ? 1 : 0;  // FT_FLAGS_OPENED: another program has it
  *type = 8;                                 // FT_DEVICE_232H
  *id = 0x04036014;
  std::sprintf(serial, "FT%lu", index + 1);
  return index < listed ? kOk : kDeviceNotFound;
}

__declspec(dllexport) Status __stdcall FT_OpenEx(void*, unsigned long, void** handle) {
  model().open();
  *handle = &model();
  return kOk;
}

__declspec(dllexport) Status
    __stdcall FT_Write(void*, void* buffer, unsigned long size, unsigned long* done) {
  return transfer(model().put({static_cast<const std::uint8_t*>(buffer), size}), size, done);
}

// The model answers at once: what the program reads is all there, a byte at a time.
__declspec(dllexport) Status __stdcall FT_GetQueueStatus(void*, unsigned long* waiting) {
  *waiting = 1;
  return kOk;
}

__declspec(dllexport) Status
    __stdcall FT_Read(void*, void* buffer, unsigned long size, unsigned long* done) {
  return transfer(model().take({static_cast<std::uint8_t*>(buffer), size}), size, done);
}

}  // extern "C"
