#pragma once

#include <chrono>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx {

// A failure of the USB link; what() says what to do about it.
class UsbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// An adapter that a search found: its serial number (empty when it has none) and where it is
// plugged in, as --port takes it: "usb:1-2" (bus, ports) on Linux, "usb:0x21" (D2XX's location
// ID) on Windows.
struct FoundAdapter {
  std::string serial;
  std::string location;
};

// The adapter to open: the one attached when none was asked for, else the one whose serial
// number or location is `wanted`. Anything else is a UsbError that says what to plug in and how
// to wire it, or which adapters there are to choose from, each by its serial number where that
// names it alone and by its location where not. heldUnseen: the library listed an adapter that
// another program holds, without its details; when no adapter found is the one wanted, that may
// be it, and the error says the adapter is in use.
std::size_t chooseAdapter(const std::vector<FoundAdapter>& found, const std::string& wanted,
                          bool heldUnseen = false);
// Another program holds the adapter.
UsbError adapterInUse();
// The adapter is another FTDI chip; `found` names it ("an FT2232C/D at usb:1-2").
UsbError unsupportedChip(const std::string& found);

// The USB link to one FT232H (or an FT2232H's channel A): the primitives each platform's library
// gives the bridge (libftdi1 on Linux, ftd2xx.dll on Windows). Every failure is a UsbError.
class FtdiLink {
 public:
  virtual ~FtdiLink() = default;
  // Finds the adapter (by serial number or location when one was chosen), opens it, refuses any
  // chip but an FT232H or FT2232H, and empties its buffers. The bit mode and the lines stay as
  // they are.
  virtual void open() = 0;
  // Resets the bit mode and enters MPSSE mode, with the buffers empty: every pin is an input
  // until the next write drives it.
  virtual void enterMpsse() = 0;
  virtual void close() = 0;
  // One USB write of MPSSE commands.
  virtual void write(std::span<const std::uint8_t> bytes) = 0;
  // Reads up to bytes.size() answer bytes, waiting for them at most `within`: how many came.
  virtual std::size_t read(std::span<std::uint8_t> bytes, std::chrono::milliseconds within) = 0;
};

}  // namespace vx
