// The port's address guard and widths, and the trace's fixed form.
#include "port/Port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "port/FatalError.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(Port, OnlyThePortsThreeRegistersReachTheLibrary) {
  test::FakePortLibrary fake;
  fake.controlValue = 0x1CC;
  test::TracedPort rig(fake);
  Port& port = rig.port();
  // No port yet: nothing at all, and reads float high.
  port.PortOut(port.dataRegister(), 0xC0);
  port.OutByte(2, 0x12);
  EXPECT_EQ(port.PortIn(port.controlRegister()), 0xFF);
  EXPECT_THAT(rig.take(), IsEmpty());

  port.setPortBase(0x278);
  for (std::int32_t address : {0x277, 0x27B, 0x378, 0x278, 0x279, 0x27A})
    port.PortOut(address, static_cast<std::int16_t>(address & 0xFF));
  EXPECT_EQ(port.PortIn(0x27B), 0xFF);
  EXPECT_EQ(port.PortIn(0x27A), 0xCC);  // only the low byte
  port.PortOut(0x278, -1);              // widened with its sign; the trace shows the low byte
  EXPECT_THAT(rig.take(),
              ElementsAre("OutByte 0x278 0x78", "OutByte 0x279 0x79", "OutByte 0x27A 0x7A",
                          "InByte 0x27A -> 0x1CC", "OutByte 0x278 0xFF"));
  EXPECT_EQ(fake.outValues.back(), -1);

  // Addresses near the top of the range do not wrap into the port.
  port.setPortBase(0x7FFFFFF0);
  port.OutByte(-0x7FFFFFFF, 1);
  port.OutByte(0x7FFFFFF2, 2);
  EXPECT_EQ(fake.outValues.back(), 2);
  EXPECT_EQ(fake.outValues.size(), 5u);
}

TEST(Port, AddressSumsAndNarrowingRaiseTheOverflowError) {
  test::FakePortLibrary fake;
  Port port(fake);
  port.setPortBase(0x7FFFFFFD);
  EXPECT_EQ(port.controlRegister(), 0x7FFFFFFF);
  port.setPortBase(0x7FFFFFFE);
  EXPECT_THROW(port.controlRegister(), FatalError);
  EXPECT_EQ(checkedAdd(-5, 2), -3);
  EXPECT_THROW(checkedAdd(-0x7FFFFFFF, -2), FatalError);
  EXPECT_EQ(checkedNarrow(0x7FFF), 0x7FFF);
  EXPECT_EQ(checkedNarrow(-0x8000), -0x8000);
  EXPECT_THROW(checkedNarrow(0x8000), FatalError);
  EXPECT_THROW(checkedNarrow(-0x8001), FatalError);
}

}  // namespace
}  // namespace vx
