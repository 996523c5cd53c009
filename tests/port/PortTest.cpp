// The port's address guard and widths, the trace's fixed form, and a table of the port's
// arithmetic, the registry resource lists' ranges and the simulated board's model.
#include "port/Port.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iomanip>

#include "port/ResourceList.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
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

// tests/data/port-values.table, each line's result as the code gives it.
std::string result(std::istringstream in) {
  std::string kind, text;
  std::int32_t a = 0, b = 0;
  unsigned word = 0;
  in >> kind;
  try {
    if (kind == "control") {
      in >> text >> text >> std::hex >> a;
      test::FakePortLibrary fake;
      Port port(fake);
      port.setPortBase(a);
      return fmt::format("{:X}", port.controlRegister());
    }
    if (kind == "add") return std::to_string((in >> a >> b, checkedAdd(a, b)));
    if (kind == "narrow") return std::to_string((in >> a, checkedNarrow(a)));
    if (kind == "resources") {
      std::ifstream file(std::string(VX_TEST_DATA) + "/fuzz/resources/" + (in >> text, text),
                         std::ios::binary);
      const std::vector<std::uint8_t> bytes(std::istreambuf_iterator<char>(file), {});
      const auto layout = bytes.at(0) & 1 ? ResourceLayout::Windows64 : ResourceLayout::Windows32;
      const auto ranges = ioPortRanges(std::span(bytes).subspan(1), layout);
      text = !ranges ? " malformed" : ranges->empty() ? " none" : "";
      for (const auto& range : ranges.value_or(std::vector<IoRange>{}))
        text += fmt::format(" {:X}+{}", range.start, range.length);
      return text.substr(1);
    }
    if (kind == "load") {
      const auto ohms = parseOhms((in >> std::quoted(text), text));
      return ohms ? fmt::format("{}", *ohms) : "refused";
    }
    double ohms = 0;
    in >> std::hex >> word >> text >> std::dec >> ohms;
    return fmt::format("{:02X}", modelFlags(word, text == "standby", ohms));
  } catch (const FatalError&) {
    return "overflow";
  }
}

TEST(PortValues, AsTabled) {
  std::vector<std::string> computed;
  std::size_t cases = 0;
  for (const auto& line : test::expected("port-values.table")) {
    const auto input = line.substr(0, line.find(" -> "));
    computed.push_back(line[0] == '#' ? line : input + " -> " + result(std::istringstream(input)));
    cases += line[0] != '#';
  }
  EXPECT_THAT(computed, ElementsAreArray(test::expected("port-values.table")));
  EXPECT_EQ(cases, 46u) << "a table cut short would pass unseen";
}

}  // namespace
}  // namespace vx
