#pragma once

// An FTDI chip at its USB interface, with the simulated board on its pins: the vendor requests
// (SIO_*), bulk writes of MPSSE commands (FTDI AN_108; an unknown opcode answers 0xFA and the
// opcode) and the answers for bulk reads. The umockdev testbed (tests/posix) and the ftd2xx.dll
// double (tests/windows) put it beneath the real program.
//
// The chip model: a bit-mode change (the reset to mode 0 too) lets every line go, and MPSSE mode
// starts with every pin an input; SIO_RESET keeps the bit mode and the lines. A cold adapter's
// pins are its UART's, as at power-up. The record keeps, in order, each request and transfer,
// the pins at each clocked hold and each sample (0x83), and each fault: a line let go, a read
// while a line floats (in MPSSE mode, not yet driven), or ACBUS and the board driving D0..D7
// together (the board drives them while nINIT is low).
//
// The scene, for both: "none", or adapters separated by commas, each CHIP[/WORD...] with CHIP
// ft232h, ft2232h or ft2232d (the two-channel chips carry the board on channel A) and each WORD
// a flag or else the serial number (none by default): warm (still in MPSSE mode from an earlier
// run, its lines driven), busy (another program holds it), denied (may not be opened), garbled
// (answers a bad command with 64 bytes of 0x00, never 0xFA), empty (the first read brings no
// data), split (one answer byte a packet), unplug=N (pulled out at the Nth bulk transfer).

#include <deque>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "port/SimulatedBoard.h"

namespace vx::test {

// Each chip as the host sees it: its word in a scene, its channels, whether it is a high-speed one
// (the H series: 512-byte packets, the MPSSE clock commands), bcdDevice, idProduct and D2XX's
// device type (FT_DEVICE_232H, FT_DEVICE_2232H, FT_DEVICE_2232C).
struct Chip {
  std::string_view name;
  int channels;
  bool highSpeed;
  int bcd, product, d2xxType;
};
inline constexpr Chip kChips[] = {{"ft232h", 1, true, 9, 0x6014, 8},
                                  {"ft2232h", 2, true, 7, 0x6010, 6},
                                  {"ft2232d", 2, false, 5, 0x6010, 4}};

struct Adapter {
  Chip chip = kChips[0];
  std::string serial;
  bool warm = false, busy = false, denied = false, garbled = false, empty = false, split = false;
  int unplugAt = 0;
};

std::vector<Adapter> parseScene(std::string_view scene);

class Ft232hModel {
 public:
  explicit Ft232hModel(Adapter adapter);

  // A vendor request to the chip (bmRequestType 0x40): SIO_RESET, SIO_SET_BITMODE and the rest.
  void control(std::uint8_t request, std::uint16_t value);
  // A bulk write; false once the adapter has been pulled out (it is, at the unplug transfer).
  bool write(std::span<const std::uint8_t> bytes);
  // A bulk read: the answer bytes the next packet of at most `room` carries (none when there are
  // none; one at most when split; none the first time when empty). False once pulled out.
  bool read(std::vector<std::uint8_t>& packet, std::size_t room);
  // Whether a bulk read would bring data now: the chip otherwise holds it until it has some.
  bool answering() const;
  bool pulledOut() const { return pulledOut_; }
  // Plugged in again: a cold chip, the same board on its pins.
  void plugIn();

  const Adapter adapter;
  SimulatedBoard board;
  std::vector<std::string> record;

 private:
  bool transfer();  // counts a bulk transfer; false once pulled out
  void setBitMode(std::uint8_t mode);
  void setLow(std::uint8_t value, std::uint8_t direction);
  void setHigh(std::uint8_t value, std::uint8_t direction);
  void hold(double ns);
  void contention();

  bool pulledOut_ = false, mpsse_ = false, dataSet_ = false, readYet_ = false, contending_ = false;
  int transfers_ = 0;
  std::uint8_t lowDirection_ = 0, highDirection_ = 0;
  std::uint8_t control_ = 0x0C, data_ = 0;  // the port registers the pins stand for (bits 0..5)
  std::optional<std::uint8_t> sampled_;
  std::uint16_t divisor_ = 0;
  bool divideBy5_ = true;
  std::deque<std::uint8_t> answers_;
};

}  // namespace vx::test
