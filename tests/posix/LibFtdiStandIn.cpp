// A stand-in for Debian's libftdi1.so.2, loaded in its place with LD_LIBRARY_PATH: the functions
// the program's libftdi1 binding calls, over the FT232H model with the simulated board on its
// pins. VX_FT232H sets the model's scene (one, none, two, denied, busy, outofstep, unplug=N);
// VX_FT232H_PINS names a file that gets, at each close, the USB writes and reads so far, then
// the pins held, one state a line.
#include <ftdi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "support/Ft232hModel.h"

namespace {

// One adapter and board for the process, as a real one outlives each open.
vx::test::Ft232hModel& model() {
  static vx::test::Ft232hModel m(std::getenv("VX_FT232H"));
  return m;
}

}  // namespace

#define VX_DOES_NOTHING(name, ...) \
  int name(__VA_ARGS__) {          \
    return 0;                      \
  }

extern "C" {

VX_DOES_NOTHING(ftdi_set_interface, ftdi_context*, ftdi_interface)
VX_DOES_NOTHING(ftdi_usb_reset, ftdi_context*)
VX_DOES_NOTHING(ftdi_set_latency_timer, ftdi_context*, unsigned char)
VX_DOES_NOTHING(ftdi_set_bitmode, ftdi_context*, unsigned char, unsigned char)
VX_DOES_NOTHING(ftdi_tcioflush, ftdi_context*)

ftdi_context* ftdi_new() {
  return reinterpret_cast<ftdi_context*>(&model());
}
void ftdi_free(ftdi_context*) {}
const char* ftdi_get_error_string(ftdi_context*) {
  return "USB device unavailable";
}

int ftdi_usb_find_all(ftdi_context*, ftdi_device_list** list, int vendor, int product) {
  *list = nullptr;
  const int n = vendor == 0x0403 && product == 0x6014 ? model().attached() : 0;
  for (int i = n; i > 0; --i)
    *list = new ftdi_device_list{*list, reinterpret_cast<libusb_device*>(std::intptr_t{i})};
  return n;
}
void ftdi_list_free(ftdi_device_list** list) {
  while (*list) delete std::exchange(*list, (*list)->next);
}

int ftdi_usb_get_strings(ftdi_context*, libusb_device* dev, char*, int, char*, int, char* serial,
                         int) {
  std::snprintf(serial, 8, "FT%d", static_cast<int>(reinterpret_cast<std::intptr_t>(dev)));
  return model().scene == "denied" ? -4 : 0;
}

int ftdi_usb_open_dev(ftdi_context*, libusb_device*) {
  if (model().scene == "denied" || model().scene == "busy")
    return model().scene == "busy" ? -5 : -4;
  model().open();
  return 0;
}

// -666: libftdi1's error for a device that went away.
int ftdi_write_data(ftdi_context*, const unsigned char* buf, int size) {
  return model().put({buf, static_cast<std::size_t>(size)}) ? size : -666;
}
int ftdi_read_data(ftdi_context*, unsigned char* buf, int size) {
  return model().take({buf, static_cast<std::size_t>(size)}) ? size : -666;
}

int ftdi_usb_close(ftdi_context*) {
  if (const char* path = std::getenv("VX_FT232H_PINS")) {
    std::ofstream out(path);
    out << model().writes << ' ' << model().reads << '\n';
    for (const auto& pins : model().history) out << pins << '\n';
  }
  return 0;
}

}  // extern "C"
