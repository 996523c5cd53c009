// The port's lines as a Value Change Dump: every line at every step of start-up and a refresh.
#include "port/VcdWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "board/FrontPanel.h"
#include "port/SimulatedBoard.h"
#include "startup/Startup.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

// Start-up and one refresh on the simulated board, whose control register reads bits 6 and 7
// high (x = 0xC0), drawn one microsecond per access.
TEST(Vcd, StartUpAndARefreshLineByLine) {
  SimulatedBoard board({.loadOhms = 10e3, .fixedFlags = 0xA5, .noBoard = false});
  std::ostringstream out;
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
}

// Real time stamps (one per distinct time), then a file without accesses, against
// tests/data/times.vcd.
TEST(Vcd, RealTimeStampsAndAFileWithoutAccesses) {
  test::FakePortLibrary fake;
  std::ostringstream out;
  {
    std::vector<std::int64_t> times{0, 1500, 1500, 9000};
    LineRecorder lines(fake, [&times, i = 0]() mutable { return times.at(i++); });
    VcdWriter vcd(lines, out, "p", "d");
    // The base address from the first access; the status register is not drawn; input: the
    // lines are unknown until read.
    test::accesses(lines, "W378=01 W379=FF W37A=20 R378");
  }
  {
    LineRecorder lines(fake, steadyClock());
    VcdWriter vcd(lines, out, "p", "d");
  }
  EXPECT_THAT(test::lines(out.str()), ElementsAreArray(test::expected("times.vcd")));
}

}  // namespace
}  // namespace vx
