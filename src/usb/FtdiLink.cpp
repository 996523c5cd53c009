#include "usb/FtdiLink.h"

#include <fmt/format.h>

namespace vx {

namespace {

constexpr const char* kWiring =
    "Plug an FT232H breakout (or an FT2232H board, channel A) into a USB port and wire it to the "
    "board's DB-25: ACBUS0..7 to D0..D7 (pins 2..9) through 220 ohm resistors, ADBUS4 to nSTROBE "
    "(pin 1), ADBUS5 to nAUTOFD (14), ADBUS6 to nINIT (16), ADBUS7 to nSELECTIN (17), GND to "
    "pins 18..25. See the README's section on the USB bridge.";

}  // namespace

void requireOneAdapter(const std::vector<std::string>& serials, const std::string& wanted) {
  if (serials.empty())
    throw UsbError(UsbFailure::NotFound,
                   fmt::format("No FT232H USB adapter{} was found. {}",
                               wanted.empty() ? "" : " with serial number " + wanted, kWiring));
  if (serials.size() > 1)
    throw UsbError(UsbFailure::Several,
                   fmt::format("{} FT232H USB adapters are attached, with serial numbers {}. "
                               "Choose one with --port ft232h:SERIAL; nothing was sent to any.",
                               serials.size(), fmt::join(serials, ", ")));
}

UsbError adapterInUse() {
  return UsbError(UsbFailure::InUse,
                  "The USB adapter is in use by another program. Close that program (or unplug "
                  "the adapter and plug it in again) and try again.");
}

}  // namespace vx
