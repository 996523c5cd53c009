// Register images, the four link operations and the front panel's selection maps and refresh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "board/FrontPanel.h"
#include "port/SimulatedBoard.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

TEST(Register, BitsAndTheWholeByte) {
  Register r;
  EXPECT_EQ(r.DataField(), 0);
  r.setBit6(kTrue);
  EXPECT_EQ(r.DataField(), 64);
  r.setBit7(kTrue);
  EXPECT_EQ(r.DataField(), 192);
  r.setBit3(1);  // any non-zero value counts, and is kept as given
  EXPECT_EQ(r.Bit3(), 1);
  EXPECT_EQ(r.DataField(), 200);
  r.setDataField(0x1A5);
  EXPECT_THAT(
      (std::array{r.Bit0(), r.Bit1(), r.Bit2(), r.Bit3(), r.Bit4(), r.Bit5(), r.Bit6(), r.Bit7()}),
      ElementsAre(-1, 0, -1, 0, 0, -1, 0, -1));
  EXPECT_EQ(r.DataField(), 0xA5);
}

class BoardTest : public ::testing::Test {
 protected:
  void SetUp() override { rig.port().setPortBase(0x378); }

  test::FakePortLibrary fake;
  test::TracedPort rig{fake};
  FrontPanel panel{rig.port()};
  Link link{rig.port(), panel.ControlWord(), panel.AuxWord()};
};

TEST_F(BoardTest, LinkOperationsWriteTheirSequences) {
  panel.ControlWord().setDataField(0x5A);
  link.SendControlWord();
  // The first pulses after start-up step from zero; AuxWord bit 0 goes out with them.
  link.PulseAuxBit1();
  link.PulseAuxBit2();
  panel.AuxWord().setBit0(kTrue);
  link.PulseAuxBit1();
  link.PulseAuxBit2();
  EXPECT_THAT(fake.outValues, ElementsAre(0x0F, 0x5A, 0x0E, 0x0F,        //
                                          0x0F, 0x00, 0x0D, 0x02, 0x0F,  //
                                          0x0F, 0x02, 0x0D, 0x06, 0x0F,  //
                                          0x0F, 0x05, 0x0D, 0x07, 0x0F,  //
                                          0x0F, 0x03, 0x0D, 0x07, 0x0F));
  // Control bits 6 and 7 are kept, except in the strobes.
  fake.controlValue = 0xFF;
  fake.dataValue = 0xC5;
  rig.take();
  link.SendControlWord();
  EXPECT_EQ(link.ReadFlagByte(), 0xC5);
  EXPECT_THAT(rig.take(),
              ElementsAre("InByte 0x37A -> 0xFF", "OutByte 0x37A 0xCF", "OutByte 0x378 0x5A",
                          "OutByte 0x37A 0x0E", "OutByte 0x37A 0xCF", "InByte 0x37A -> 0xFF",
                          "OutByte 0x37A 0xEF", "OutByte 0x37A 0xE7", "OutByte 0x37A 0xEF",
                          "OutByte 0x37A 0xEB", "InByte 0x378 -> 0xC5", "OutByte 0x37A 0xCF"));
  rig.port().setPortBase(0);
  link.SendControlWord();
  EXPECT_EQ(link.ReadFlagByte(), 0xFF);
  EXPECT_THAT(rig.take(), IsEmpty());
}

TEST_F(BoardTest, ReadBeforeAnyPickIsTheWholeRefreshTable) {
  fake.dataValue = 0x21;
  const FlagReading reading = panel.cmdRead_Click();
  EXPECT_THAT(rig.take(), ElementsAreArray(test::expected("refresh-first.trace")));
  EXPECT_THAT(reading.captions, ElementsAre("1", "0", "0", "0", "0", "1"));
  EXPECT_EQ(reading.decimal, "33");
  fake.dataValue = 0xC5;
  const FlagReading next = panel.cmdRead_Click();
  EXPECT_THAT(next.captions, ElementsAre("1", "0", "1", "0", "0", "0"));
  EXPECT_EQ(next.decimal, "197");
  EXPECT_EQ(next.flagByte, 0xC5);
}

// Each pick: the handler, the index, and the control word and standby bit after it. An index
// outside the list changes no bit; every pick refreshes once.
TEST_F(BoardTest, SelectionMapsSetOnlyTheirBits) {
  using Handler = FlagReading (FrontPanel::*)(int);
  struct Pick {
    Handler handler;
    int index;
    int controlWord;
    bool standby;
  };
  const Pick picks[] = {
      {&FrontPanel::cboir_Click, 5, 0x05, false},
      {&FrontPanel::cboFSEL_Click, 1, 0x0D, false},
      {&FrontPanel::cboMIO_Click, 1, 0x2D, false},
      {&FrontPanel::cboAC_Click, 2, 0xAD, false},
      {&FrontPanel::chkStandby_Click, 1, 0xAD, true},
      {&FrontPanel::cboir_Click, 6, 0xAE, true},
      {&FrontPanel::chkStandby_Click, 2, 0xAE, false},
      {&FrontPanel::cboComp_Click, 1, 0xBE, false},
      {&FrontPanel::cboAC_Click, 1, 0x7E, false},
      {&FrontPanel::cboir_Click, -1, 0x7E, false},
      {&FrontPanel::cboir_Click, 7, 0x7E, false},
      {&FrontPanel::cboAC_Click, 3, 0x7E, false},
      {&FrontPanel::cboAC_Click, -1, 0x7E, false},
      {&FrontPanel::cboFSEL_Click, 2, 0x7E, false},
      {&FrontPanel::cboComp_Click, -1, 0x7E, false},
      {&FrontPanel::cboMIO_Click, 0, 0x5E, false},
      {&FrontPanel::cboComp_Click, 0, 0x4E, false},
      {&FrontPanel::cboFSEL_Click, 0, 0x46, false},
      {&FrontPanel::cboir_Click, 0, 0x40, false},
      {&FrontPanel::cboAC_Click, 0, 0x00, false},
      {&FrontPanel::chkStandby_Click, 1, 0x00, true},
      {&FrontPanel::chkStandby_Click, 0, 0x00, false},
      {&FrontPanel::cboir_Click, 3, 0x03, false},
  };
  for (const Pick& pick : picks) {
    (panel.*pick.handler)(pick.index);
    const auto trace = rig.take();
    ASSERT_EQ(trace.size(), 36u);
    EXPECT_EQ(trace[2], fmt::format("OutByte 0x378 0x{:02X}", pick.controlWord));
    EXPECT_EQ(panel.AuxWord().Bit0(), truth(pick.standby)) << pick.controlWord;
  }
}

TEST(FrontPanelOnTheSimulatedBoard, KeepsTheProtocolAndStepsEachLine) {
  SimulatedBoard board;
  Port port(board);
  port.setPortBase(0x378);
  FrontPanel panel(port);
  EXPECT_EQ(panel.cboir_Click(0).flagByte, 0x06);
  EXPECT_EQ(panel.chkStandby_Click(1).flagByte, 0x00);
  EXPECT_EQ(panel.cboComp_Click(1).flagByte, 0x10);
  EXPECT_TRUE(board.violations().empty());
  EXPECT_EQ(board.latchedControlWord(), 0x10);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux1), 9);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kAux2), 3);
  EXPECT_EQ(board.risingSteps(SimulatedBoard::kStandby), 1);
}

}  // namespace
}  // namespace vx
