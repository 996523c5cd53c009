// A table of the port's address guard, widths and arithmetic, the registry resource lists' ranges
// and the simulated board's model; the simulated board and its protocol checker; the waveform.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iomanip>

#include "board/FrontPanel.h"
#include "port/ResourceList.h"
#include "port/VcdWriter.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

// tests/data/port-values.table, each line's result as the code gives it.
std::string result(std::istringstream in) {
  std::string kind, text;
  std::int32_t a = 0, b = 0;
  unsigned word = 0;
  in >> kind;
  try {
    if (kind == "port") {  // a script of accesses on a port at a base address
      test::FakePortLibrary fake;
      fake.controlValue = 0x1CC;
      test::TracedPort traced(fake);
      traced.port().setPortBase((in >> std::hex >> a, a));
      std::vector<std::int16_t> reads;
      for (std::string step; in >> step;) {
        std::istringstream access(step.substr(1));
        access >> std::hex >> a;
        access.ignore() >> b;  // the value after "="
        if (step[0] == 'R') reads.push_back(traced.port().PortIn(a));
        if (step[0] == 'C') reads.push_back(traced.port().PortIn(traced.port().controlRegister()));
        if (step[0] == 'W') traced.port().PortOut(a, static_cast<std::int16_t>(b));
        if (step[0] == 'O') traced.port().OutByte(a, b);
      }
      return fmt::format("[{:X}] [{}] [{:X}]", fmt::join(reads, " "),
                         fmt::join(traced.take(), ", "), fmt::join(fake.outValues, " "));
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
  EXPECT_EQ(cases, 50u) << "a table cut short would pass unseen";
}

// The simulated port, the board on it and its protocol checker.
TEST(SimulatedBoard, PortRegistersLatchesAndChecker) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = 0xC5, .noBoard = false});
  PortInfoRecord record;
  EXPECT_EQ(board.ClaimParallelPort(2, -1) + board.GetParallelPortInfo(2, record), 0);
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

// The port's lines as a Value Change Dump, line by line: every line at every step of start-up
// and one refresh on the simulated board, whose control register reads bits 6 and 7 high
// (x = 0xC0), drawn one microsecond per access (tests/data/refresh.vcd); then real time stamps
// (one per distinct time), and a file without accesses (tests/data/times.vcd).
TEST(Vcd, LineByLine) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = 0xA5, .noBoard = false});
  std::ostringstream out, times;
  {
    LineRecorder lines(board, fixedStepClock());
    VcdWriter vcd(lines, out, "vx3340ctl 1.2.0.0", "today");
    Port port(lines);
    test::FakeOs os;
    test::RecordingMessages messages;
    PortMenuFlags menu;
    Startup(port, os, messages, menu).Main();
    FrontPanel(port).cboir_Click(5);
  }
  EXPECT_THAT(test::lines(out.str()), ElementsAreArray(test::expected("refresh.vcd")));
  test::FakePortLibrary fake;
  {
    std::vector<std::int64_t> stamps{0, 1500, 1500, 4000, 9000};
    LineRecorder lines(fake, [&stamps, i = 0]() mutable { return stamps.at(i++); });
    VcdWriter vcd(lines, times, "p", "d");
    // The base address from the first access; the status register is not drawn; input: the
    // lines are unknown until read, a data write while input too.
    test::accesses(lines, "W378=01 W379=FF W37A=20 W378=02 R378");
  }
  {
    LineRecorder lines(fake, steadyClock());
    VcdWriter vcd(lines, times, "p", "d");
  }
  EXPECT_THAT(test::lines(times.str()), ElementsAreArray(test::expected("times.vcd")));
}

}  // namespace
}  // namespace vx
