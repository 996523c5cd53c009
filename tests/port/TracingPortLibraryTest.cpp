#include "port/TracingPortLibrary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/FakePortLibrary.h"

namespace vx {
namespace {

using ::testing::ElementsAre;

TEST(Trace, WritesOneLineForEachCallInTheFixedForm) {
  test::FakePortLibrary fake;
  fake.controlValue = 0xCC;
  test::TracedPort rig(fake);
  PortLibrary& lib = rig.library();

  EXPECT_EQ(lib.GetParallelPortCount(), 1);
  EXPECT_EQ(lib.ClaimParallelPort(1, -1), 1);
  PortInfoRecord record;
  EXPECT_EQ(lib.GetParallelPortInfo(1, record), 1);
  EXPECT_EQ(record.baseAddress, 0x378);
  EXPECT_EQ(lib.InByte(0x37A), 0xCC);
  lib.OutByte(0x37A, 0xC4);

  EXPECT_THAT(rig.take(), ElementsAre("GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 1",
                                      "GetParallelPortInfo 1 -> 1 base=0x378",
                                      "InByte 0x37A -> 0xCC", "OutByte 0x37A 0xC4"));
}

TEST(Trace, PadsShortAddressesAndKeepsLongOnes) {
  test::FakePortLibrary fake;
  fake.controlValue = 0x05;
  test::TracedPort rig(fake);
  rig.library().OutByte(0x2, 0x0A);
  rig.library().InByte(0xD012);
  EXPECT_THAT(rig.take(), ElementsAre("OutByte 0x002 0x0A", "InByte 0xD012 -> 0x05"));
}

TEST(Trace, AFailedCallShowsItsResultAndNoAddress) {
  test::FakePortLibrary fake;
  fake.claimResult = 0;
  fake.infoResult = 0;
  test::TracedPort rig(fake);
  PortInfoRecord record;
  rig.library().ClaimParallelPort(1, -1);
  rig.library().GetParallelPortInfo(1, record);
  EXPECT_THAT(rig.take(), ElementsAre("ClaimParallelPort 1 -1 -> 0", "GetParallelPortInfo 1 -> 0"));
}

TEST(Trace, ForwardsTheFailureReason) {
  test::FakePortLibrary fake;
  fake.reason = "load ppdev";
  test::TracedPort rig(fake);
  EXPECT_EQ(rig.library().failureReason(), "load ppdev");
}

}  // namespace
}  // namespace vx
