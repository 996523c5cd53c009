#include "startup/Startup.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "port/FatalError.h"
#include "support/FakePortLibrary.h"

namespace vx {
namespace {

using ::testing::_;
using ::testing::ElementsAre;
using ::testing::InSequence;
using ::testing::IsEmpty;
using ::testing::Return;

class FakeOs : public OsServices {
 public:
  OsVersionRecord answer;
  bool fails = false;
  std::string line;
  OsVersionRecord seen;  // the record as the query received it

  void queryVersion(OsVersionRecord& record) override {
    seen = record;
    if (fails) return;
    const auto size = record.dwOSVersionInfoSize;
    std::memcpy(&record, &answer, sizeof record);
    record.dwOSVersionInfoSize = size;
  }
  std::string commandLine() override { return line; }

  void set(std::uint32_t platform, std::uint32_t major, std::uint32_t minor) {
    answer.dwPlatformId = platform;
    answer.dwMajorVersion = major;
    answer.dwMinorVersion = minor;
  }
};

class MockMessages : public Messages {
 public:
  MOCK_METHOD(void, show, (const Message&), (override));
};

struct VersionCase {
  std::uint32_t platform, major, minor;
  const char* text;
};

class VersionTable : public ::testing::TestWithParam<VersionCase> {};

TEST_P(VersionTable, GivesTheTextForTheRecord) {
  const auto& c = GetParam();
  FakeOs os;
  os.set(c.platform, c.major, c.minor);
  EXPECT_EQ(GetWindowsVersion(os), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Windows, VersionTable,
    ::testing::Values(VersionCase{1, 4, 0, "Windows 95"}, VersionCase{1, 4, 10, "Windows 98"},
                      VersionCase{1, 4, 90, ""}, VersionCase{1, 0, 10, "Windows 98"},
                      VersionCase{2, 3, 51, "Windows NT 3.51"},
                      VersionCase{2, 4, 0, "Windows NT 4.0"}, VersionCase{2, 5, 0, "Windows 2000"},
                      VersionCase{2, 5, 1, "Windows 2000"}, VersionCase{2, 5, 2, "Windows 2000"},
                      VersionCase{2, 6, 1, ""}, VersionCase{2, 10, 0, ""},
                      VersionCase{0, 5, 0, "Failed"}, VersionCase{3, 10, 0, "Failed"}));

TEST(WindowsVersion, PreparesTheRecordBeforeTheQuery) {
  FakeOs os;
  os.set(2, 5, 0);
  GetWindowsVersion(os);
  EXPECT_EQ(os.seen.dwOSVersionInfoSize, 148u);
  EXPECT_EQ(os.seen.dwPlatformId, 0u);
  EXPECT_EQ(std::string(os.seen.szCSDVersion, 128), std::string(128, ' '));
}

TEST(WindowsVersion, AFailedQueryReadsAsFailed) {
  FakeOs os;
  os.fails = true;
  EXPECT_EQ(GetWindowsVersion(os), "Failed");
}

TEST(StatusSwitch, MatchesInAnyCaseAnywhereEvenInsideAWord) {
  EXPECT_TRUE(asksForStatus("/SS"));
  EXPECT_TRUE(asksForStatus("-x /ss"));
  EXPECT_TRUE(asksForStatus("a/Ssb"));
  EXPECT_FALSE(asksForStatus("/S S"));
  EXPECT_FALSE(asksForStatus(""));
  EXPECT_FALSE(asksForStatus("SS /"));
}

TEST(StatusSwitch, TextJoinsItsTwoLinesWithALoneCarriageReturn) {
  EXPECT_EQ(statusText("Windows 98", 0x378), "Windows Version:Windows 98\rPort Address:0x378");
  EXPECT_EQ(statusText("", 0), "Windows Version:\rPort Address:0x0");
  EXPECT_EQ(statusText("Failed", 0xD010), "Windows Version:Failed\rPort Address:0xD010");
}

// Start-up over a fake library, with its traffic traced.
class StartupRun : public ::testing::Test {
 protected:
  StartupResult run() { return Startup(rig.port(), os, messages, menu).Main(); }

  test::FakePortLibrary fake;
  test::TracedPort rig{fake};
  FakeOs os;
  ::testing::NiceMock<MockMessages> messages;
  PortMenuFlags menu;
};

TEST_F(StartupRun, LibraryPathClaimsQueriesCleansUpAndIdlesTheLines) {
  os.set(2, 5, 0);
  fake.controlValue = 0xCC;
  const auto result = run();
  EXPECT_EQ(result.WinVersion, "Windows 2000");
  EXPECT_EQ(rig.port().PortBase(), 0x378);
  EXPECT_THAT(rig.take(),
              ElementsAre("GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 1",
                          "GetParallelPortInfo 1 -> 1 base=0x378", "InByte 0x37A -> 0xCC",
                          "OutByte 0x37A 0xC4", "OutByte 0x378 0xC0", "OutByte 0x37A 0x04"));
}

TEST_F(StartupRun, NinetyFiveAndNinetyEightUse0x378WithoutTheLibrary) {
  for (std::uint32_t minor : {0u, 10u}) {
    test::FakePortLibrary lib;
    lib.baseAddress = 0x278;  // would be wrong if it were asked
    lib.controlValue = 0xFF;
    test::TracedPort traced(lib);
    PortMenuFlags flags;
    os.set(1, 4, minor);
    Startup(traced.port(), os, messages, flags).Main();
    EXPECT_EQ(traced.port().PortBase(), 0x378);
    EXPECT_TRUE(flags.lpt1 && flags.lpt2 && flags.prn);
    EXPECT_THAT(traced.take(), ElementsAre("InByte 0x37A -> 0xFF", "OutByte 0x37A 0xD4",
                                           "OutByte 0x378 0xC0", "OutByte 0x37A 0x04"));
  }
}

TEST_F(StartupRun, UnknownNineXAndNewerNtAndFailedAllTakeTheLibraryPath) {
  for (auto [platform, major, minor] : {std::tuple{1u, 4u, 90u}, {2u, 6u, 0u}, {0u, 0u, 0u}}) {
    os.set(platform, major, minor);
    run();
    const auto lines = rig.take();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "GetParallelPortCount -> 1");
  }
}

TEST_F(StartupRun, CleanUpClearsStrobeAutoFeedSelectInAndDirection) {
  fake.controlValue = 0x0B;
  run();
  EXPECT_THAT(rig.take(), ::testing::Contains("OutByte 0x37A 0x00"));
}

TEST_F(StartupRun, AControlReadBeyondSixteenBitsIsAnOverflow) {
  fake.controlValue = 0x10000;
  EXPECT_THROW(run(), FatalError);
}

struct MenuCase {
  std::int32_t address;
  bool lpt1, lpt2, prn;
};

class PortMenuTable : public StartupRun, public ::testing::WithParamInterface<MenuCase> {};

TEST_P(PortMenuTable, LeavesOnlyTheItemThatNamesTheAddress) {
  fake.baseAddress = GetParam().address;
  run();
  EXPECT_EQ(rig.port().PortBase(), GetParam().address);
  EXPECT_EQ(menu.lpt1, GetParam().lpt1);
  EXPECT_EQ(menu.lpt2, GetParam().lpt2);
  EXPECT_EQ(menu.prn, GetParam().prn);
}

INSTANTIATE_TEST_SUITE_P(Addresses, PortMenuTable,
                         ::testing::Values(MenuCase{0x278, false, true, false},
                                           MenuCase{0x378, true, false, false},
                                           MenuCase{0x3BC, false, false, true},
                                           MenuCase{0xD010, true, true, true},
                                           MenuCase{0x3BD, true, true, true}));

TEST_F(StartupRun, RefusedClaimIsReportedAndThePortIsStillUsed) {
  fake.claimResult = 0;
  fake.baseAddress = 0x3BC;
  fake.reason = "the lp driver holds the port";
  EXPECT_CALL(messages, show(Message{"claim parallel port failed", "VX3340", MessageIcon::None,
                                     "the lp driver holds the port"}));
  run();
  EXPECT_EQ(rig.port().PortBase(), 0x3BC);
  EXPECT_FALSE(menu.lpt1);
  EXPECT_TRUE(menu.prn);
}

TEST_F(StartupRun, MessagesComeInTheirFixedOrderAndNoPortMeansNoTraffic) {
  fake.claimResult = 0;
  fake.infoResult = 0;
  os.line = "-x /ss";
  {
    InSequence order;
    EXPECT_CALL(messages,
                show(Message{"claim parallel port failed", "VX3340", MessageIcon::None, ""}));
    EXPECT_CALL(messages, show(Message{"This PC does not appear to have a Printer Port",
                                       "GetPortAddress Error", MessageIcon::Exclamation, ""}));
    EXPECT_CALL(messages, show(Message{"Windows Version:Failed\rPort Address:0x0", "Show Status",
                                       MessageIcon::Information, ""}));
  }
  run();
  EXPECT_EQ(rig.port().PortBase(), 0);
  EXPECT_TRUE(menu.lpt1 && menu.lpt2 && menu.prn);
  EXPECT_THAT(rig.take(), ElementsAre("GetParallelPortCount -> 1", "ClaimParallelPort 1 -1 -> 0",
                                      "GetParallelPortInfo 1 -> 0"));
}

TEST_F(StartupRun, StatusBoxComesAfterTheCleanUpAndBeforeTheIdleWrites) {
  os.set(1, 4, 10);
  os.line = "/SS";
  EXPECT_CALL(messages, show(Message{"Windows Version:Windows 98\rPort Address:0x378",
                                     "Show Status", MessageIcon::Information, ""}))
      .WillOnce([this](const Message&) {
        EXPECT_THAT(rig.take(), ElementsAre("InByte 0x37A -> 0x04", "OutByte 0x37A 0x04"));
      });
  run();
  EXPECT_THAT(rig.take(), ElementsAre("OutByte 0x378 0xC0", "OutByte 0x37A 0x04"));
}

}  // namespace
}  // namespace vx
