// Register images, the four link operations and the front panel's selection maps and refresh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "board/FrontPanel.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

// A Read before any pick is the whole refresh table (tests/data/refresh-first.trace). Then a run
// of picks, each "LIST:INDEX" (ir, FSEL, Comp, MIO, AC, or SB for the Standby box's value), and
// the control word each refresh latched and the standby bit it left. An index outside the list
// changes no bit; every pick refreshes once.
TEST(FrontPanel, ReadsAndSelectionMapsSetOnlyTheirBits) {
  test::FakePortLibrary fake;
  fake.dataValue = 0x21;
  test::TracedPort rig{fake};
  rig.port().setPortBase(0x378);
  FrontPanel panel{rig.port()};
  panel.cmdRead_Click();
  EXPECT_THAT(rig.take(), ElementsAreArray(test::expected("refresh-first.trace")));
  const std::map<std::string, FlagReading (FrontPanel::*)(int)> handlers{
      {"ir", &FrontPanel::cboir_Click},     {"FSEL", &FrontPanel::cboFSEL_Click},
      {"Comp", &FrontPanel::cboComp_Click}, {"MIO", &FrontPanel::cboMIO_Click},
      {"AC", &FrontPanel::cboAC_Click},     {"SB", &FrontPanel::chkStandby_Click}};
  std::istringstream picks(
      "ir:5 FSEL:1 MIO:1 AC:2 SB:1 ir:6 SB:2 Comp:1 AC:1 ir:-1 ir:7 AC:3 AC:-1 FSEL:2 Comp:-1 "
      "MIO:0 Comp:0 FSEL:0 ir:0 AC:0 SB:1 SB:0 ir:3");
  std::string sent;
  for (std::string pick; picks >> pick;) {
    const auto colon = pick.find(':');
    (panel.*handlers.at(pick.substr(0, colon)))(std::stoi(pick.substr(colon + 1)));
    const auto trace = rig.take();
    ASSERT_EQ(trace.size(), 36u);
    sent += trace[2].substr(16) + (panel.AuxWord().Bit0() == kTrue ? "s " : " ");
  }
  EXPECT_EQ(sent, "05 0D 2D AD ADs AEs AE BE 7E 7E 7E 7E 7E 7E 7E 5E 4E 46 40 00 00s 00 03 ");
}

}  // namespace
}  // namespace vx
