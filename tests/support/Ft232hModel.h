#pragma once

// An FT232H in MPSSE mode at the seam where the bridge meets its USB library: it runs the MPSSE
// commands the bridge uses (FTDI AN_108; an unknown opcode answers 0xFA and the opcode), with
// the simulated board on its pins. It records the pins at each clocked hold and each sample, and
// counts the USB transfers.
//
// Its scene, for the stand-in USB libraries too: "one" (serial FT1), "none", "two" (FT1, FT2),
// "denied" (may not be opened), "busy" (in use), "outofstep" (a garbled sync answer), or
// "unplug=N": pulled out at the Nth write, found again at the second search after that. No scene
// is "one".

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "port/SimulatedBoard.h"
#include "usb/FtdiLink.h"

namespace vx::test {

class Ft232hModel : public FtdiLink {
 public:
  explicit Ft232hModel(const char* scene = nullptr);

  // How many adapters a search finds now.
  int attached();
  void open() override;
  void close() override {}
  void write(std::span<const std::uint8_t> bytes) override { done(put(bytes)); }
  void read(std::span<std::uint8_t> bytes) override { done(take(bytes)); }
  // The transfers as the stand-in C libraries make them: false once the adapter went away.
  bool put(std::span<const std::uint8_t> bytes);
  bool take(std::span<std::uint8_t> bytes);

  const std::string scene;
  SimulatedBoard board;
  // The pins at each clocked hold and each sample (0x83): their 13 levels as the VCD draws the
  // port's lines, then how long a hold kept them in ns (0 for a sample).
  std::vector<std::string> history;
  int writes = 0, reads = 0;

 private:
  static void done(bool transferred);  // throws Gone unless it was
  void setLow(std::uint8_t value);
  void setHigh(std::uint8_t value, std::uint8_t direction);
  void record(double heldNs);

  int unplugAt_ = 0, searchesAway_ = 0;
  bool pulledOut_ = false;
  std::uint8_t control_ = 0x0C, data_ = 0;  // the port registers the pins stand for (bits 0..5)
  std::optional<std::uint8_t> sampled_;
  std::uint16_t divisor_ = 0;
  bool divideBy5_ = true;
  std::deque<std::uint8_t> answers_;
};

}  // namespace vx::test
