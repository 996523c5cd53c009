#include "board/Register.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(Register, StartsAtZero) {
  Register r;
  EXPECT_EQ(r.DataField(), 0);
  for (int n = 0; n < 8; ++n) EXPECT_EQ(r.bit(n), 0);
}

TEST(Register, BuildsTheByteFromItsBits) {
  Register r;
  r.setBit6(kTrue);
  EXPECT_EQ(r.DataField(), 64);
  r.setBit7(kTrue);
  EXPECT_EQ(r.DataField(), 192);
  r.setBit6(kFalse);
  EXPECT_EQ(r.DataField(), 128);
}

TEST(Register, AnyNonZeroValueCountsAsSetAndIsKeptAsGiven) {
  Register r;
  r.setBit3(1);
  EXPECT_EQ(r.DataField(), 8);
  EXPECT_EQ(r.Bit3(), 1);
  r.setBit0(2);
  EXPECT_EQ(r.Bit0(), 2);
  EXPECT_EQ(r.DataField(), 9);
}

TEST(Register, AssigningTheByteSetsEachBitAndDropsHigherBits) {
  Register r;
  r.setDataField(0x1A5);
  const std::int16_t expected[8] = {-1, 0, -1, 0, 0, -1, 0, -1};
  for (int n = 0; n < 8; ++n) EXPECT_EQ(r.bit(n), expected[n]) << "bit " << n;
  EXPECT_EQ(r.DataField(), 0xA5);
}

}  // namespace
}  // namespace vx
