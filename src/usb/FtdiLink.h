#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
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

// What each platform's USB library does for the link (libftdi1 on Linux, ftd2xx.dll on Windows):
// the calls themselves and their own words for a failure. The rules around them are FtdiLink's,
// which calls the bit mode, purge, error, write and read only while the adapter is open.
class FtdiLibrary {
 public:
  FtdiLibrary() = default;
  virtual ~FtdiLibrary() = default;
  FtdiLibrary(const FtdiLibrary&) = delete;
  FtdiLibrary& operator=(const FtdiLibrary&) = delete;
  // Finds the adapter (by serial number or location when one was chosen), opens it, refuses any
  // chip but an FT232H or FT2232H, sets its latency and write timeout and empties its buffers,
  // leaving the bit mode and the lines as they are. Every failure is a UsbError.
  virtual void open() = 0;
  // Lets go of whatever open took, also after a failed open; nothing when it took nothing.
  virtual void close() = 0;
  // Sets the bit mode (mpsse::kBitModeReset, kBitModeMpsse), every pin's mask 0; empties both
  // buffers. Each is false where the library refused.
  virtual bool setBitMode(std::uint8_t mode) = 0;
  virtual bool purge() = 0;
  // The library's words for its last refusal; empty where it keeps none.
  virtual std::string error() const = 0;
  // One USB write, all of it, or a UsbError.
  virtual void write(std::span<const std::uint8_t> bytes) = 0;
  // Reads what comes, up to bytes.size(), waiting at most `within`: how many came (none when the
  // library gave up early), or nothing once the wait ran out with none. A failure is a UsbError.
  virtual std::optional<std::size_t> read(std::span<std::uint8_t> bytes,
                                          std::chrono::milliseconds within) = 0;
};

// The USB link to one FT232H (or an FT2232H's channel A), over a platform's library: the same
// open, MPSSE start, deadline and refusals whichever library lies beneath. Every failure is a
// UsbError. The adapter is closed when the link goes.
class FtdiLink {
 public:
  explicit FtdiLink(std::unique_ptr<FtdiLibrary> library) : library_(std::move(library)) {}
  ~FtdiLink() { close(); }
  FtdiLink(const FtdiLink&) = delete;
  FtdiLink& operator=(const FtdiLink&) = delete;

  // Opens the adapter (FtdiLibrary::open), first closing it if it was open; a failure leaves it
  // closed.
  void open();
  // Resets the bit mode and enters MPSSE mode, with the buffers empty: every pin is an input
  // until the next write drives it.
  void enterMpsse();
  void close();
  // One USB write of MPSSE commands.
  void write(std::span<const std::uint8_t> bytes);
  // Reads up to bytes.size() answer bytes, waiting for them at most `within`: how many came.
  std::size_t read(std::span<std::uint8_t> bytes, std::chrono::milliseconds within);

 private:
  void requireOpen() const;

  std::unique_ptr<FtdiLibrary> library_;
  bool open_ = false;
};

}  // namespace vx
