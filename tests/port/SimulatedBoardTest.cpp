// The simulated port, the board on it, its protocol checker and the demonstration chip model.
#include "port/SimulatedBoard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

TEST(SimulatedBoard, PortRegistersLatchesAndChecker) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = 0xC5, .noBoard = false});
  PortInfoRecord record;
  EXPECT_EQ(board.ClaimParallelPort(2, -1) + board.GetParallelPortInfo(2, record), 0);
  EXPECT_NE(board.ClaimParallelPort(1, -1) * board.GetParallelPortInfo(1, record), 0);
  EXPECT_EQ(record.baseAddress, 0x378);
  // Strobe falls: the data lines latch as the control word, once per falling edge.
  EXPECT_EQ(test::accesses(board, "R37A R379 W37A=0F W378=AD R378 W37A=0E W378=11 W37A=0E"),
            "CC 78 AD");
  EXPECT_EQ(board.latchedControlWord(), 0xAD);
  // Auto feed low: the aux latch follows data bits 0..2 and counts each rising step.
  test::accesses(board, "W37A=0F W378=07 W37A=0D W378=05 W378=07 W37A=0F W378=00");
  EXPECT_EQ(board.auxLatch(), 0x07);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kStandby), 1);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux1), 2);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux2), 1);
  // Select in falls on input: capture; initialise low: the board drives the flags.
  EXPECT_EQ(test::accesses(board, "W37A=2F W37A=27 W37A=2F R378 W37A=2B R378 R37A"), "FF C5 EB");
  EXPECT_TRUE(board.violations().empty());
  test::accesses(board, "W378=12 W37A=2E W3BC=00 R000");
  EXPECT_THAT(board.violations(),
              ElementsAre(HasSubstr("data write 0x12"), HasSubstr("latched while the data"),
                          HasSubstr("write outside the port's registers at 0x3BC"),
                          HasSubstr("read outside the port's registers at 0x000")));
  SimulatedBoard none({.loadOhms = 10e3, .fixedFlags = 0x21, .noBoard = true});
  EXPECT_EQ(test::accesses(none, "W37A=0F W37A=0E W37A=0D W37A=2F W37A=27 W37A=2B R378"), "FF");
  EXPECT_FALSE(none.latchedControlWord());
  EXPECT_EQ(none.auxLatch(), 0);
}

// Flags: CPOH 01, CPOL 02, CHL-DET 04, CLL_DET 08, QM4 10, QM5 20. Control word: range code in
// bits 0..2, current force 08, compare current 10, IM amp 20.
struct ModelCase {
  std::uint8_t controlWord;
  bool standby;
  double ohms;
  std::uint8_t flags;
};

TEST(ChipModel, FlagsForEachOperatingPoint) {
  const ModelCase cases[] = {
      {0x00, false, 10e3, 0x06},  // 2 V wants 200 uA: clamped at 4 uA, 0.04 V is below
      {0x10, false, 10e3, 0x15},  // the same, compared on the current: at the clamp, above
      {0x02, false, 10e3, 0x00},  // 200 uA is half of 400 uA: within both windows
      {0x12, false, 10e3, 0x10},
      {0x15, false, 10e3, 0x12},  // 200 uA is below 10 % of 160 mA
      {0x04, false, 10e3, 0x00},
      {0x0B, false, 10e3, 0x05},    // half of 4 mA into 10k wants 20 V: clamped at 5 V
      {0x08, false, 10e3, 0x02},    // half of 4 uA into 10k is 0.02 V
      {0x03, false, 100, 0x06},     // 2 V into 100 ohms: clamped at 4 mA, 0.4 V
      {0x10, false, 1e6, 0x10},     // 2 uA is half of 4 uA
      {0x0D, false, 1e3, 0x05},     // 80 mA into 1k clamps at 5 V, above the window
      {0x0B, false, 2.2e3, 0x00},   // half of full scale: 4.4 V, just inside the window
      {0x0A, false, 2.75e3, 0x00},  // and 0.55 V, just inside at the bottom
      {0x00, true, 10e3, 0x00},     // standby: output off
      {0x30, true, 10e3, 0x30},
      {0x26, false, 10e3, 0x20},  // range codes 6 and 7: output off
  };
  for (const auto& c : cases)
    EXPECT_EQ(modelFlags(c.controlWord, c.standby, c.ohms), c.flags)
        << std::hex << int(c.controlWord) << " standby " << c.standby << " load " << c.ohms;
}

TEST(ChipModel, LoadOptionTakesNumbersAndSuffixes) {
  EXPECT_EQ(parseOhms("470"), 470.0);
  EXPECT_EQ(parseOhms("10k"), 10e3);
  EXPECT_EQ(parseOhms("4.7K"), 4.7e3);
  EXPECT_EQ(parseOhms("2.2M"), 2.2e6);
  for (const char* bad : {"", "k", "0", "-5", "10m", "1e999", "10 k", "abc", "nan"})
    EXPECT_FALSE(parseOhms(bad)) << bad;
}

}  // namespace
}  // namespace vx
