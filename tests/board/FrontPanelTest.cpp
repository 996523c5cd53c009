#include "board/FrontPanel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "port/SimulatedBoard.h"
#include "support/FakePortLibrary.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::SizeIs;

// A full refresh as the trace shows it, for a control register that reads `control` and a
// given control word, AuxWord bit 0 and flag byte.
std::vector<std::string> refreshTrace(int control, int controlWord, bool standby, bool first,
                                      int flags) {
  const int x = control & 0xC0;
  const auto hex = [](int v) { return fmt::format("0x{:02X}", v); };
  const std::string in = "InByte 0x37A -> " + hex(control);
  const std::string c = "OutByte 0x37A " + hex(x | 0x0F);
  const auto data = [&](int v) { return "OutByte 0x378 " + hex(v); };
  const int s = standby ? 1 : 0;
  std::vector<std::string> t{in, c, data(controlWord), "OutByte 0x37A 0x0E", c};
  // Line 1, line 2, line 1, line 1; each low then high under control bit 1.
  int aux = first ? s : s | 0x06;
  for (int bit : {0x02, 0x04, 0x02, 0x02}) {
    t.insert(t.end(), {in, c, data(aux & ~bit), "OutByte 0x37A 0x0D", data(aux | bit), c});
    aux |= bit;
  }
  t.insert(t.end(), {in, "OutByte 0x37A " + hex(x | 0x2F), "OutByte 0x37A " + hex(x | 0x27),
                     "OutByte 0x37A " + hex(x | 0x2F), "OutByte 0x37A " + hex(x | 0x2B),
                     "InByte 0x378 -> " + hex(flags), "OutByte 0x37A " + hex(x | 0x0F)});
  return t;
}

class FrontPanelTest : public ::testing::Test {
 protected:
  void SetUp() override { rig.port().setPortBase(0x378); }

  test::FakePortLibrary fake;
  test::TracedPort rig{fake};
  FrontPanel panel{rig.port()};
};

TEST_F(FrontPanelTest, ReadBeforeAnyPickSendsAllZeroSettings) {
  fake.controlValue = 0xC4;
  fake.dataValue = 0x21;
  const auto reading = panel.cmdRead_Click();
  const auto trace = rig.take();
  EXPECT_THAT(trace, SizeIs(36));
  EXPECT_THAT(trace, ElementsAreArray(refreshTrace(0xC4, 0x00, false, true, 0x21)));
  EXPECT_THAT(reading.captions, ElementsAre("1", "0", "0", "0", "0", "1"));
  EXPECT_EQ(reading.decimal, "33");
}

TEST_F(FrontPanelTest, EachPickSendsTheControlWordAsItStandsAfterThePick) {
  panel.cboir_Click(5);    // 160mA External
  panel.cboFSEL_Click(1);  // Current Force/Voltage Clamp
  panel.cboMIO_Click(1);   // IM Amp
  panel.cboAC_Click(2);    // Cap 2 - 100pF
  EXPECT_EQ(panel.ControlWord().DataField(), 0xAD);
  std::vector<std::string> sent;
  for (const auto& line : rig.take())
    if (line.rfind("OutByte 0x378", 0) == 0) sent.push_back(line);
  // Every fifth data write carries the control word; the others carry AuxWord.
  ASSERT_THAT(sent, SizeIs(4 * 9));
  EXPECT_EQ(sent[0], "OutByte 0x378 0x05");
  EXPECT_EQ(sent[9], "OutByte 0x378 0x0D");
  EXPECT_EQ(sent[18], "OutByte 0x378 0x2D");
  EXPECT_EQ(sent[27], "OutByte 0x378 0xAD");
}

TEST_F(FrontPanelTest, RangeItemsMapToThreeBitCodesAndEveryPickAssignsAllThree) {
  for (int index = 6; index >= 0; --index) {
    panel.cboir_Click(index);
    EXPECT_EQ(panel.ControlWord().DataField(), index);
  }
}

TEST_F(FrontPanelTest, CapacitorItemsMapToBitsSixAndSeven) {
  const int expected[] = {0x00, 0x40, 0x80};
  for (int index : {2, 1, 0, 2}) {
    panel.cboAC_Click(index);
    EXPECT_EQ(panel.ControlWord().DataField(), expected[index]);
  }
}

TEST_F(FrontPanelTest, TwoItemListsSetAndClearTheirBit) {
  panel.cboFSEL_Click(1);
  panel.cboComp_Click(1);
  panel.cboMIO_Click(1);
  EXPECT_EQ(panel.ControlWord().DataField(), 0x38);
  panel.cboComp_Click(0);
  EXPECT_EQ(panel.ControlWord().DataField(), 0x28);
}

TEST_F(FrontPanelTest, StandbyRangeItemAndStandbyBoxAreSeparateLines) {
  panel.cboir_Click(6);
  EXPECT_EQ(panel.ControlWord().DataField(), 6);
  EXPECT_EQ(panel.AuxWord().Bit0(), 0);
  rig.take();
  panel.chkStandby_Click(1);
  EXPECT_EQ(panel.ControlWord().DataField(), 6);
  EXPECT_EQ(panel.AuxWord().Bit0(), -1);
  EXPECT_THAT(rig.take(), ElementsAreArray(refreshTrace(0x04, 0x06, true, false, 0x00)));
  for (int grayedOrUnchecked : {2, 0}) {
    panel.chkStandby_Click(1);
    panel.chkStandby_Click(grayedOrUnchecked);
    EXPECT_EQ(panel.AuxWord().Bit0(), 0);
  }
}

TEST_F(FrontPanelTest, AnIndexOutsideTheListChangesNoBitButStillRefreshes) {
  panel.cboir_Click(3);
  panel.cboFSEL_Click(1);
  panel.cboAC_Click(1);
  rig.take();
  for (int index : {-1, 7, 3}) {
    panel.cboAC_Click(index);
    panel.cboFSEL_Click(index == 3 ? -1 : index);
    panel.cboComp_Click(-1);
    panel.cboMIO_Click(2);
  }
  panel.cboir_Click(-1);
  panel.cboir_Click(7);
  EXPECT_EQ(panel.ControlWord().DataField(), 0x4B);
  EXPECT_THAT(rig.take(), SizeIs(14 * 36));
}

TEST_F(FrontPanelTest, ReadTwiceRepeatsTheWholeCycle) {
  panel.cboir_Click(2);
  rig.take();
  panel.cmdRead_Click();
  const auto first = rig.take();
  panel.cmdRead_Click();
  EXPECT_EQ(rig.take(), first);
  EXPECT_EQ(first, refreshTrace(0x04, 0x02, false, false, 0x00));
}

TEST_F(FrontPanelTest, CaptionsShowBitsZeroToFiveOnly) {
  fake.dataValue = 0xC5;
  const auto reading = panel.cmdRead_Click();
  EXPECT_THAT(reading.captions, ElementsAre("1", "0", "1", "0", "0", "0"));
  EXPECT_EQ(reading.decimal, "197");
  EXPECT_EQ(reading.flagByte, 0xC5);
}

TEST(FrontPanelOnTheSimulatedBoard, AFullRunKeepsTheProtocolAndStepsEachLine) {
  SimulatedBoard board;
  Port port(board);
  port.setPortBase(0x378);
  FrontPanel panel(port);
  auto reading = panel.cboir_Click(0);
  EXPECT_EQ(reading.flagByte, 0x06);  // clamped at 4 uA: CHL-DET, and 0.04 V is below CPOL's edge
  reading = panel.chkStandby_Click(1);
  EXPECT_EQ(reading.flagByte, 0x00);
  reading = panel.cboComp_Click(1);
  EXPECT_EQ(reading.flagByte, 0x10);  // output off, QM4 reads back the comparator bit
  EXPECT_TRUE(board.violations().empty());
  EXPECT_EQ(board.latchedControlWord(), 0x10);
  // Three refreshes: line 1 rises three times in each, line 2 once.
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux1), 9);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux2), 3);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kStandby), 1);
}

}  // namespace
}  // namespace vx
