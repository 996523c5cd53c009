#include "port/SimulatedBoard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace vx {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;

constexpr std::int32_t kData = 0x378;
constexpr std::int32_t kControl = 0x37A;

// Flag bits.
constexpr std::uint8_t CPOH = 0x01, CPOL = 0x02, CHL = 0x04, CLL = 0x08, QM4 = 0x10, QM5 = 0x20;

// Control words: range code in bits 0..2, current force bit 3, compare current bit 4.
constexpr std::uint8_t kCurrentForce = 0x08;
constexpr std::uint8_t kCompareCurrent = 0x10;

TEST(SimulatedPort, NumbersOnePortAt0x378) {
  SimulatedBoard board;
  PortInfoRecord record;
  EXPECT_EQ(board.GetParallelPortCount(), 1);
  EXPECT_NE(board.ClaimParallelPort(1, -1), 0);
  EXPECT_NE(board.GetParallelPortInfo(1, record), 0);
  EXPECT_EQ(record.baseAddress, 0x378);
  EXPECT_EQ(board.ClaimParallelPort(2, -1), 0);
  EXPECT_EQ(board.GetParallelPortInfo(2, record), 0);
}

TEST(SimulatedPort, ControlRegisterKeepsBitsSixAndSevenHigh) {
  SimulatedBoard board;
  EXPECT_EQ(board.InByte(kControl), 0xCC);
  board.OutByte(kControl, 0x04);
  EXPECT_EQ(board.InByte(kControl), 0xC4);
  board.OutByte(kControl, 0x3F);
  EXPECT_EQ(board.InByte(kControl), 0xFF);
}

TEST(SimulatedPort, DataRegisterReadsBackOutputAndFloatsOnInput) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = std::nullopt, .noBoard = true});
  board.OutByte(kControl, 0x04);
  board.OutByte(kData, 0x5A);
  EXPECT_EQ(board.InByte(kData), 0x5A);
  board.OutByte(kControl, 0x20);  // input; nothing drives the lines
  EXPECT_EQ(board.InByte(kData), 0xFF);
}

TEST(SimulatedBoardInterface, LatchesTheControlWordWhenStrobeFalls) {
  SimulatedBoard board;
  board.OutByte(kControl, 0x0F);
  board.OutByte(kData, 0xAD);
  EXPECT_FALSE(board.latchedControlWord());
  board.OutByte(kControl, 0x0E);
  EXPECT_EQ(board.latchedControlWord(), 0xAD);
  board.OutByte(kData, 0x11);  // strobe stays low: no new latch without a new falling edge
  board.OutByte(kControl, 0x0E);
  EXPECT_EQ(board.latchedControlWord(), 0xAD);
}

TEST(SimulatedBoardInterface, AuxLatchFollowsTheDataWhileAutoFeedIsLowAndCountsRisingSteps) {
  SimulatedBoard board;
  board.OutByte(kControl, 0x0F);
  board.OutByte(kData, 0x07);  // auto feed high: latch holds
  EXPECT_EQ(board.auxLatch(), 0);
  board.OutByte(kControl, 0x0D);
  EXPECT_EQ(board.auxLatch(), 0x07);
  board.OutByte(kData, 0x05);
  board.OutByte(kData, 0x07);
  board.OutByte(kControl, 0x0F);
  board.OutByte(kData, 0x00);  // latched again: no change
  EXPECT_EQ(board.auxLatch(), 0x07);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kStandby), 1);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux1), 2);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux2), 1);
}

TEST(SimulatedBoardInterface, DrivesCapturedFlagsOnlyWhileInitialiseIsLowOnInput) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = 0xC5, .noBoard = false});
  board.OutByte(kControl, 0x2F);
  board.OutByte(kControl, 0x27);  // select in falls: capture
  board.OutByte(kControl, 0x2F);
  EXPECT_EQ(board.InByte(kData), 0xFF);  // captured, but not driven yet
  board.OutByte(kControl, 0x2B);
  EXPECT_EQ(board.InByte(kData), 0xC5);
  EXPECT_THAT(board.violations(), IsEmpty());
}

TEST(SimulatedBoardInterface, NoBoardLeavesTheLinesUndriven) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = 0x21, .noBoard = true});
  board.OutByte(kControl, 0x2F);
  board.OutByte(kControl, 0x27);
  board.OutByte(kControl, 0x2B);
  EXPECT_EQ(board.InByte(kData), 0xFF);
}

TEST(SimulatedBoardChecker, RecordsEveryProtocolViolation) {
  SimulatedBoard board;
  board.OutByte(kControl, 0x2F);
  board.OutByte(kData, 0x12);     // data written while input
  board.OutByte(kControl, 0x2E);  // control word latched while input
  board.OutByte(0x3BC, 0);        // outside the port
  board.InByte(0x000);
  ASSERT_THAT(board.violations(), SizeIs(4));
  EXPECT_THAT(board.violations()[0], HasSubstr("data write"));
  EXPECT_THAT(board.violations()[1], HasSubstr("latched"));
  EXPECT_THAT(board.violations()[2], HasSubstr("0x3BC"));
  EXPECT_THAT(board.violations()[3], HasSubstr("0x000"));
}

TEST(ChipModel, VoltageForceOnTheSmallestRangeClampsHigh) {
  // 2 V into 10 kOhm wants 200 uA; the 4 uA range clamps it, leaving 0.04 V.
  EXPECT_EQ(modelFlags(0x00, false, 10e3), CHL | CPOL);
  EXPECT_EQ(modelFlags(0x00 | kCompareCurrent, false, 10e3), CHL | CPOH | QM4);
}

TEST(ChipModel, VoltageForceWithinRangeComparesTheForcedVoltage) {
  // 2 V into 10 kOhm is 200 uA: inside the 400 uA range at 50% of full scale.
  EXPECT_EQ(modelFlags(0x02, false, 10e3), 0);
  EXPECT_EQ(modelFlags(0x02 | kCompareCurrent, false, 10e3), QM4);
  // On the 160 mA range 200 uA is below 10% of full scale.
  EXPECT_EQ(modelFlags(0x05 | kCompareCurrent, false, 10e3), CPOL | QM4);
}

TEST(ChipModel, CurrentForceClampsTheVoltageAtFiveVolts) {
  // Half of 4 mA into 10 kOhm wants 20 V.
  EXPECT_EQ(modelFlags(0x03 | kCurrentForce, false, 10e3), CHL | CPOH);
  // Half of 400 uA into 10 kOhm is 2 V, and half of full scale is in the current window.
  EXPECT_EQ(modelFlags(0x02 | kCurrentForce, false, 10e3), 0);
  EXPECT_EQ(modelFlags(0x02 | kCurrentForce | kCompareCurrent, false, 10e3), QM4);
  // Half of 4 uA into 10 kOhm is 0.02 V: below the voltage window.
  EXPECT_EQ(modelFlags(0x00 | kCurrentForce, false, 10e3), CPOL);
}

TEST(ChipModel, OutputOffForStandbyAndRangeCodesSixAndSeven) {
  EXPECT_EQ(modelFlags(0x00, true, 10e3), 0);
  EXPECT_EQ(modelFlags(0x06 | 0x20, false, 10e3), QM5);
  EXPECT_EQ(modelFlags(0x07 | 0x30, false, 10e3), QM4 | QM5);
  EXPECT_EQ(modelFlags(0x00 | 0x30, true, 10e3), QM4 | QM5);
}

TEST(ChipModel, FlagBitsSixAndSevenStayLow) {
  for (int cw = 0; cw < 256; ++cw)
    EXPECT_EQ(modelFlags(static_cast<std::uint8_t>(cw), false, 1.0) & 0xC0, 0);
}

TEST(ChipModel, TheLoadChangesTheOutcome) {
  // 2 V into 100 Ohm wants 20 mA: the 4 mA range clamps it, leaving 0.4 V.
  EXPECT_EQ(modelFlags(0x03, false, 100), CHL | CPOL);
  // 2 V into 1 MOhm is 2 uA: within the 4 uA range at 50%.
  EXPECT_EQ(modelFlags(0x00 | kCompareCurrent, false, 1e6), QM4);
}

TEST(LoadOption, AcceptsPlainNumbersAndSuffixes) {
  EXPECT_EQ(parseOhms("470"), 470.0);
  EXPECT_EQ(parseOhms("10k"), 10e3);
  EXPECT_EQ(parseOhms("4.7K"), 4.7e3);
  EXPECT_EQ(parseOhms("2.2M"), 2.2e6);
  for (const char* bad : {"", "k", "0", "-5", "10m", "1e999", "10 k", "abc", "nan"})
    EXPECT_FALSE(parseOhms(bad)) << bad;
}

}  // namespace
}  // namespace vx
