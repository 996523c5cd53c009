// The simulated port, the board on it and its protocol checker (its chip model is tabled in
// tests/data/port-values.table).
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

}  // namespace
}  // namespace vx
