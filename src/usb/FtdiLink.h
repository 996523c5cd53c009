#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx {

// Why an FTDI adapter cannot be used, or stopped being usable.
enum class UsbFailure {
  NotFound,    // no FT232H or FT2232H attached (or none with the serial asked for)
  Permission,  // the user may not open it
  InUse,       // another program holds it
  Several,     // more than one attached, and no serial number chosen
  NotInSync,   // MPSSE did not answer as it should
  Library,     // the USB library is missing or failed in another way
  Gone,        // it went away during the run
};

// A failure of the USB link; what() says what to do about it.
class UsbError : public std::runtime_error {
 public:
  UsbError(UsbFailure failure, const std::string& what)
      : std::runtime_error(what), failure_(failure) {}
  UsbFailure failure() const { return failure_; }

 private:
  UsbFailure failure_;
};

// The adapters found that have the serial number asked for (any, when none was) must be exactly
// one; else a UsbError that says what to plug in and how to wire it, or which serial numbers to
// choose from.
void requireOneAdapter(const std::vector<std::string>& serials, const std::string& wanted);
// Another program holds the adapter.
UsbError adapterInUse();

// The USB link to one FT232H (or an FT2232H's channel A): what each platform's library gives the
// bridge (libftdi1 on Linux, ftd2xx.dll on Windows), and what the tests' FT232H model stands in
// for. Every failure is a UsbError.
class FtdiLink {
 public:
  virtual ~FtdiLink() = default;
  // Finds the adapter (by serial number when one was chosen), opens it, resets it and puts it
  // into MPSSE mode with its buffers empty.
  virtual void open() = 0;
  virtual void close() = 0;
  // One USB write of MPSSE commands.
  virtual void write(std::span<const std::uint8_t> bytes) = 0;
  // Reads exactly bytes.size() answer bytes, within a deadline.
  virtual void read(std::span<std::uint8_t> bytes) = 0;
};

}  // namespace vx
