#include "board/Link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakePortLibrary.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { rig.port().setPortBase(0x378); }

  test::FakePortLibrary fake;
  test::TracedPort rig{fake};
  Register controlWord;
  Register auxWord;
  Link link{rig.port(), controlWord, auxWord};
};

TEST_F(LinkTest, SendControlWordStrobesTheByteIn) {
  controlWord.setDataField(0x5A);
  fake.controlValue = 0x04;
  link.SendControlWord();
  EXPECT_THAT(rig.take(),
              ElementsAre("InByte 0x37A -> 0x04", "OutByte 0x37A 0x0F", "OutByte 0x378 0x5A",
                          "OutByte 0x37A 0x0E", "OutByte 0x37A 0x0F"));
}

TEST_F(LinkTest, ControlBitsSixAndSevenAreKeptExceptInTheStrobes) {
  fake.controlValue = 0xFF;  // x = 0xC0
  link.SendControlWord();
  link.PulseAuxBit1();
  EXPECT_THAT(rig.take(),
              ElementsAre("InByte 0x37A -> 0xFF", "OutByte 0x37A 0xCF", "OutByte 0x378 0x00",
                          "OutByte 0x37A 0x0E", "OutByte 0x37A 0xCF", "InByte 0x37A -> 0xFF",
                          "OutByte 0x37A 0xCF", "OutByte 0x378 0x00", "OutByte 0x37A 0x0D",
                          "OutByte 0x378 0x02", "OutByte 0x37A 0xCF"));
}

TEST_F(LinkTest, ReadFlagByteTurnsTheLinesAroundAndBack) {
  fake.controlValue = 0xC4;
  fake.dataValue = 0xC5;
  EXPECT_EQ(link.ReadFlagByte(), 0xC5);
  EXPECT_THAT(rig.take(),
              ElementsAre("InByte 0x37A -> 0xC4", "OutByte 0x37A 0xEF", "OutByte 0x37A 0xE7",
                          "OutByte 0x37A 0xEF", "OutByte 0x37A 0xEB", "InByte 0x378 -> 0xC5",
                          "OutByte 0x37A 0xCF"));
}

TEST_F(LinkTest, FirstPulsesAfterStartUpStepFromZero) {
  link.PulseAuxBit1();
  link.PulseAuxBit2();
  EXPECT_THAT(fake.outValues, ElementsAre(0x0F, 0x00, 0x0D, 0x02, 0x0F,  //
                                          0x0F, 0x02, 0x0D, 0x06, 0x0F));
  EXPECT_EQ(auxWord.DataField(), 0x06);
}

TEST_F(LinkTest, PulsesCarryTheStandbyBitAndTheOtherLine) {
  auxWord.setDataField(0x07);
  link.PulseAuxBit1();
  link.PulseAuxBit2();
  EXPECT_THAT(fake.outValues, ElementsAre(0x0F, 0x05, 0x0D, 0x07, 0x0F,  //
                                          0x0F, 0x03, 0x0D, 0x07, 0x0F));
}

TEST_F(LinkTest, NothingReachesTheLibraryWithoutAPort) {
  rig.port().setPortBase(0);
  link.SendControlWord();
  link.PulseAuxBit1();
  EXPECT_EQ(link.ReadFlagByte(), 0xFF);
  EXPECT_THAT(rig.take(), IsEmpty());
}

}  // namespace
}  // namespace vx
