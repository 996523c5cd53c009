#include "port/Port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "port/FatalError.h"
#include "support/FakePortLibrary.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(PortGuard, NothingReachesTheLibraryWhileNoPortIsKnown) {
  test::FakePortLibrary fake;
  test::TracedPort rig(fake);
  Port& port = rig.port();

  port.PortOut(port.dataRegister(), 0xC0);
  port.PortOut(port.controlRegister(), 0x04);
  port.OutByte(0, 0x12);
  EXPECT_EQ(port.PortIn(port.controlRegister()), 0xFF);  // a floating bus
  EXPECT_EQ(port.InByte(1), 0xFF);
  EXPECT_THAT(rig.take(), IsEmpty());
}

TEST(PortGuard, OnlyThePortsThreeRegistersAreReached) {
  test::FakePortLibrary fake;
  test::TracedPort rig(fake);
  Port& port = rig.port();
  port.setPortBase(0x278);

  port.PortOut(0x277, 1);
  port.PortOut(0x27B, 2);
  port.PortOut(0x378, 3);
  EXPECT_EQ(port.PortIn(0x27B), 0xFF);
  port.PortOut(0x278, 4);
  port.PortOut(0x279, 5);
  port.PortOut(0x27A, 6);
  EXPECT_THAT(rig.take(),
              ElementsAre("OutByte 0x278 0x04", "OutByte 0x279 0x05", "OutByte 0x27A 0x06"));
}

TEST(PortGuard, AddressesNearTheTopOfTheRangeDoNotWrapIntoThePort) {
  test::FakePortLibrary fake;
  Port port(fake);
  port.setPortBase(0x7FFFFFF0);
  port.OutByte(-0x7FFFFFFF, 1);  // would land inside the port if the offset wrapped
  port.OutByte(0x7FFFFFF2, 2);
  EXPECT_THAT(fake.outValues, ElementsAre(2));
}

TEST(PortAccess, WritesWidenTheValueWithItsSign) {
  test::FakePortLibrary fake;
  Port port(fake);
  port.setPortBase(0x378);
  port.PortOut(0x378, -1);
  port.PortOut(0x378, 0xAD);
  EXPECT_THAT(fake.outValues, ElementsAre(-1, 0xAD));
}

TEST(PortAccess, ReadsKeepOnlyTheLowByte) {
  test::FakePortLibrary fake;
  Port port(fake);
  port.setPortBase(0x378);
  fake.dataValue = 0x1A5;
  EXPECT_EQ(port.PortIn(0x378), 0xA5);
}

TEST(PortAccess, TheControlRegisterSumOverflowsLikeAnyAddressSum) {
  test::FakePortLibrary fake;
  Port port(fake);
  port.setPortBase(0x7FFFFFFE);
  EXPECT_THROW(port.controlRegister(), FatalError);
  port.setPortBase(0x7FFFFFFD);
  EXPECT_EQ(port.controlRegister(), 0x7FFFFFFF);
}

TEST(PortAccess, NarrowingOverflowsOutsideSixteenBits) {
  EXPECT_EQ(checkedNarrow(0x7FFF), 0x7FFF);
  EXPECT_EQ(checkedNarrow(-0x8000), -0x8000);
  EXPECT_THROW(checkedNarrow(0x8000), FatalError);
  EXPECT_THROW(checkedNarrow(-0x8001), FatalError);
}

}  // namespace
}  // namespace vx
