// Start-up: the version text, the port's selection and claim, the menu, the control register's
// clean-up, the status box and the idle lines.
#include "startup/Startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fmt/format.h>

#include "port/FatalError.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

TEST(WindowsVersion, TextForEachRecord) {
  struct Case {
    std::uint32_t platform, major, minor;
    const char* text;
  };
  const Case cases[] = {
      {1, 4, 0, "Windows 95"},
      {1, 4, 10, "Windows 98"},
      {1, 4, 90, ""},
      {1, 0, 10, "Windows 98"},
      {2, 3, 51, "Windows NT 3.51"},
      {2, 4, 0, "Windows NT 4.0"},
      {2, 5, 0, "Windows 2000"},
      {2, 5, 1, "Windows 2000"},
      {2, 5, 2, "Windows 2000"},
      {2, 6, 1, ""},
      {2, 10, 0, ""},
      {0, 5, 0, "Failed"},
      {3, 10, 0, "Failed"},
  };
  for (const Case& c : cases) {
    test::FakeOs os(c.platform, c.major, c.minor);
    EXPECT_EQ(GetWindowsVersion(os), c.text) << c.platform << " " << c.major << "." << c.minor;
  }
  test::FakeOs os(2, 5, 0);
  os.fails = true;
  EXPECT_EQ(GetWindowsVersion(os), "Failed");
  EXPECT_EQ(os.seen.dwOSVersionInfoSize, 148u);
  EXPECT_EQ(os.seen.dwPlatformId, 0u);
  EXPECT_EQ(std::string(os.seen.szCSDVersion, 128), std::string(128, ' '));
}

TEST(StatusSwitch, MatchesAnywhereInAnyCaseAndBuildsTwoLines) {
  for (const char* yes : {"/SS", "-x /ss", "a/Ssb"}) EXPECT_TRUE(asksForStatus(yes)) << yes;
  for (const char* no : {"/S S", "", "SS /"}) EXPECT_FALSE(asksForStatus(no)) << no;
  EXPECT_EQ(statusText("Windows 98", 0x378), "Windows Version:Windows 98\rPort Address:0x378");
  EXPECT_EQ(statusText("", 0), "Windows Version:\rPort Address:0x0");
  EXPECT_EQ(statusText("Failed", 0xD010), "Windows Version:Failed\rPort Address:0xD010");
}

// One start-up: what the system and the library answer, and what start-up then does.
struct Scenario {
  const char* name;
  test::FakeOs os;
  std::int16_t claim, info;
  std::int32_t base, control;
  std::vector<std::string> traffic;
  std::vector<std::string> boxes;  // "TITLE: TEXT"
  bool lpt1, lpt2, prn;
  std::int32_t portBase;
};

const std::vector<std::string> kLibraryPath{"GetParallelPortCount -> 1",
                                            "ClaimParallelPort 1 -1 -> 1"};

std::vector<std::string> operator+(std::vector<std::string> a, std::vector<std::string> b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Startup, EachPathGivesItsTrafficBoxesAndMenu) {
  const auto info = [](const char* base) {
    return std::vector<std::string>{std::string("GetParallelPortInfo 1 -> 1 base=") + base};
  };
  const auto tail = [](std::int32_t base, const char* v, const char* cleaned) {
    return std::vector<std::string>{fmt::format("InByte 0x{:03X} -> {}", base + 2, v),
                                    fmt::format("OutByte 0x{:03X} {}", base + 2, cleaned),
                                    fmt::format("OutByte 0x{:03X} 0xC0", base),
                                    fmt::format("OutByte 0x{:03X} 0x04", base + 2)};
  };
  const std::vector<Scenario> scenarios{
      {"Windows 2000",
       {2, 5, 0},
       1,
       1,
       0x378,
       0xCC,
       kLibraryPath + info("0x378") + tail(0x378, "0xCC", "0xC4"),
       {},
       true,
       false,
       false,
       0x378},
      {"Windows 95",
       {1, 4, 0},
       1,
       1,
       0x278,
       0xFF,
       tail(0x378, "0xFF", "0xD4"),
       {},
       true,
       true,
       true,
       0x378},
      {"Windows 98",
       {1, 4, 10},
       1,
       1,
       0x278,
       0x0B,
       tail(0x378, "0x0B", "0x00"),
       {},
       true,
       true,
       true,
       0x378},
      {"9x minor 90",
       {1, 4, 90},
       1,
       1,
       0x278,
       0x04,
       kLibraryPath + info("0x278") + tail(0x278, "0x04", "0x04"),
       {},
       false,
       true,
       false,
       0x278},
      {"NT 6",
       {2, 6, 0},
       1,
       1,
       0x3BC,
       0x04,
       kLibraryPath + info("0x3BC") + tail(0x3BC, "0x04", "0x04"),
       {},
       false,
       false,
       true,
       0x3BC},
      {"PCIe card",
       {0, 0, 0},
       1,
       1,
       0xD010,
       0x04,
       kLibraryPath + info("0xD010") + tail(0xD010, "0x04", "0x04"),
       {},
       true,
       true,
       true,
       0xD010},
      {"next to PRN",
       {0, 0, 0},
       1,
       1,
       0x3BD,
       0x04,
       kLibraryPath + info("0x3BD") + tail(0x3BD, "0x04", "0x04"),
       {},
       true,
       true,
       true,
       0x3BD},
      {"claim refused",
       {2, 4, 0},
       0,
       1,
       0x3BC,
       0x04,
       std::vector<std::string>{"GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 0"} +
           info("0x3BC") + tail(0x3BC, "0x04", "0x04"),
       {"VX3340: claim parallel port failed"},
       false,
       false,
       true,
       0x3BC},
      {"no port",
       {2, 5, 0},
       0,
       0,
       0x378,
       0x04,
       {"GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 0", "GetParallelPortInfo 1 -> 0"},
       {"VX3340: claim parallel port failed",
        "GetPortAddress Error: This PC does not appear to have a Printer Port"},
       true,
       true,
       true,
       0},
  };
  for (Scenario s : scenarios) {
    SCOPED_TRACE(s.name);
    test::FakePortLibrary fake;
    fake.claimResult = s.claim;
    fake.infoResult = s.info;
    fake.baseAddress = s.base;
    fake.controlValue = s.control;
    test::TracedPort rig(fake);
    test::RecordingMessages messages;
    PortMenuFlags menu;
    const StartupResult result = Startup(rig.port(), s.os, messages, menu).Main();
    EXPECT_EQ(result.WinVersion, GetWindowsVersion(s.os));
    EXPECT_THAT(rig.take(), ElementsAreArray(s.traffic));
    std::vector<std::string> boxes;
    for (const Message& m : messages.shown) boxes.push_back(m.title + ": " + m.text);
    EXPECT_THAT(boxes, ElementsAreArray(s.boxes));
    EXPECT_EQ(rig.port().PortBase(), s.portBase);
    EXPECT_EQ(menu.lpt1, s.lpt1);
    EXPECT_EQ(menu.lpt2, s.lpt2);
    EXPECT_EQ(menu.prn, s.prn);
  }
}

TEST(Startup, BoxesComeInOrderWithTheirIconsAndTheStatusBoxBeforeTheIdleLines) {
  test::FakePortLibrary fake;
  fake.claimResult = 0;
  fake.infoResult = 0;
  fake.reason = "the lp driver holds the port";
  test::TracedPort rig(fake);
  test::FakeOs os(1, 4, 10);
  os.line = "-x /ss";
  struct Boxes : Messages {
    test::TracedPort* rig;
    std::vector<Message> shown;
    std::vector<std::string> trafficBeforeStatus;
    void show(const Message& m) override {
      shown.push_back(m);
      if (m.title == "Show Status") trafficBeforeStatus = rig->take();
    }
  } boxes;
  boxes.rig = &rig;
  PortMenuFlags menu;
  Startup(rig.port(), os, boxes, menu).Main();
  EXPECT_THAT(boxes.shown,
              ElementsAreArray({Message{"Windows Version:Windows 98\rPort Address:0x378",
                                        "Show Status", MessageIcon::Information, ""}}));
  EXPECT_THAT(boxes.trafficBeforeStatus,
              ElementsAreArray({"InByte 0x37A -> 0x04", "OutByte 0x37A 0x04"}));
  EXPECT_THAT(rig.take(), ElementsAreArray({"OutByte 0x378 0xC0", "OutByte 0x37A 0x04"}));

  os = test::FakeOs(2, 5, 0);
  os.line = "/SS";
  boxes.shown.clear();
  test::TracedPort noPort(fake);
  boxes.rig = &noPort;
  Startup(noPort.port(), os, boxes, menu).Main();
  EXPECT_THAT(boxes.shown,
              ElementsAreArray(
                  {Message{"claim parallel port failed", "VX3340", MessageIcon::None,
                           "the lp driver holds the port"},
                   Message{"This PC does not appear to have a Printer Port", "GetPortAddress Error",
                           MessageIcon::Exclamation, "the lp driver holds the port"},
                   Message{"Windows Version:Windows 2000\rPort Address:0x0", "Show Status",
                           MessageIcon::Information, ""}}));
}

TEST(Startup, AControlReadBeyondSixteenBitsIsAnOverflow) {
  test::FakePortLibrary fake;
  fake.controlValue = 0x10000;
  Port port(fake);
  test::FakeOs os;
  test::RecordingMessages messages;
  PortMenuFlags menu;
  EXPECT_THROW(Startup(port, os, messages, menu).Main(), FatalError);
  EXPECT_THAT(fake.outValues, IsEmpty());
}

}  // namespace
}  // namespace vx
