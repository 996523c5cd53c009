#pragma once

#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "port/PortLibrary.h"
#include "usb/FtdiLink.h"

namespace vx {

// A PC parallel port at 0x378, emulated on an FT232H's MPSSE pins:
//
//   ACBUS0..7  D0..D7         ADBUS4  nSTROBE    ADBUS6  nINIT
//                             ADBUS5  nAUTOFD    ADBUS7  nSELECTIN
//
// The registers behave as a standard port's: the control register powers up as 0xCC and reads
// bits 6 and 7 as 1; the data register reads back what was written while the direction bit is
// output, and the lines while it is input (ACBUS then high impedance); nSTROBE, nAUTOFD and
// nSELECTIN are inverted from their control bits, nINIT is not.
//
// Each write becomes MPSSE steps, each followed by one cycle of the adapter's 1 MHz clock, so that
// every pin state holds at least 1 us, as on an ISA port. The steps are queued and sent in one USB
// write when a value must come back (a data read while input) or at flush; control and output
// data reads come from the bridge's own copy. A refresh costs at most 2 writes and 1 read.
//
// ClaimParallelPort opens the adapter and checks that MPSSE is in step; a failure leaves the port
// unclaimed with failureReason saying what to do. No line is let go: an adapter still in MPSSE
// mode from an earlier run is not reset, and its lines keep their levels until start-up's own
// writes change them (the register images start from the power-up state, so the bytes written
// are the same either way); a cold one enters MPSSE, where every pin starts as an input, and the
// same USB write drives the port's power-up levels, before any USB read. An adapter that goes
// away later raises PortGoneError; the next claim opens it again.
class UsbBridge : public PortLibrary {
 public:
  static constexpr std::int32_t kBase = 0x378;
  // Queued steps beyond this are sent at once, whatever else waits: well inside the chip's buffer.
  static constexpr std::size_t kQueueLimit = 3072;

  // library: the platform's USB library, which the bridge's link runs on.
  explicit UsbBridge(std::unique_ptr<FtdiLibrary> library) : link_(std::move(library)) {}

  std::int16_t ClaimParallelPort(std::int32_t port, std::int32_t mode) override;
  std::int32_t GetParallelPortCount() override { return 1; }
  std::int16_t GetParallelPortInfo(std::int32_t port, PortInfoRecord& info) override;
  std::int32_t InByte(std::int32_t address) override;
  void OutByte(std::int32_t address, std::int32_t value) override;
  void flush() override;
  std::string failureReason() const override { return failure_; }
  std::string adapter() const override { return "the USB adapter"; }

 private:
  static constexpr std::uint8_t kPowerUpControl = 0xCC;

  void open();
  bool answered(std::uint8_t bogus, std::chrono::milliseconds within);
  void queueLines(bool directionChanged);
  void queue(std::initializer_list<std::uint8_t> bytes);
  void send();
  std::uint8_t receive();
  [[noreturn]] void gone(const UsbError& e);
  bool input() const;

  FtdiLink link_;
  bool open_ = false;
  std::uint8_t control_ = kPowerUpControl;
  std::uint8_t data_ = 0;
  std::vector<std::uint8_t> queue_;
  std::string failure_;
};

// The adapter asked for when a --port value names the bridge: "" for "ft232h" (the one
// attached), "SERIAL" or "usb:LOCATION" for "ft232h:SERIAL" or "ft232h:usb:LOCATION"; nothing
// for any other port.
std::optional<std::string> bridgeAdapter(std::string_view port);

}  // namespace vx
