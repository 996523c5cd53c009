#include "app/Ctl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "startup/PosixOsServices.h"
#include "support/FakePortLibrary.h"

namespace vx {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::SizeIs;
using ::testing::StartsWith;

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// runCtl with captured streams, a fake real port, a recorded sleep and a fixed clock.
class Ctl : public ::testing::Test {
 protected:
  int run(std::vector<std::string> args) {
    CtlEnvironment env{
        out,
        err,
        [this](const std::vector<std::string>& a) {
          ++osCreated;
          return std::make_unique<PosixOsServices>(a);
        },
        [this](const BackendOptions& options) -> std::unique_ptr<PortLibrary> {
          ++realPortsOpened;
          portDevice = options.portDevice;
          auto lib = std::make_unique<test::FakePortLibrary>(realPort);
          return lib;
        },
        [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); },
        [] {
          return std::chrono::system_clock::time_point(std::chrono::milliseconds(1765051200123));
        },
    };
    return runCtl(args, env);
  }

  std::ostringstream out;
  std::ostringstream err;
  int osCreated = 0;
  int realPortsOpened = 0;
  std::string portDevice;
  std::vector<long> sleeps;
  test::FakePortLibrary realPort;
};

TEST_F(Ctl, WithNoSelectionItReadsOnceAndPrintsTheFlags) {
  EXPECT_EQ(run({"--simulate"}), kExitOk);
  EXPECT_EQ(out.str(), "CPOH=0 CPOL=1 CHL-DET=1 CLL_DET=0 QM4=0 QM5=0 byte=0x06 decimal=6\n");
  EXPECT_EQ(err.str(), "");
  EXPECT_EQ(realPortsOpened, 0);
}

TEST_F(Ctl, SelectionsAreCaseInsensitiveAndEachOneRefreshes) {
  const auto traceFile = std::filesystem::temp_directory_path() / "vx3340ctl-test-trace.txt";
  EXPECT_EQ(run({"--simulate", "--trace", traceFile.string(), "--standby", "On", "--range", "160MA",
                 "--cap", "2", "--measure", "IM", "--force", "Current", "--compare", "VOLTAGE"}),
            kExitOk);
  std::stringstream text;
  {
    std::ifstream in(traceFile);
    text << in.rdbuf();
  }
  std::vector<std::string> controlWords;
  for (const auto& line : lines(text.str())) controlWords.push_back(line);
  std::filesystem::remove(traceFile);
  // Start-up takes 7 lines, each refresh 36; the control word is the 3rd line of a refresh.
  ASSERT_THAT(controlWords, SizeIs(7 + 6 * 36));
  std::vector<std::string> sent;
  for (int i = 0; i < 6; ++i) sent.push_back(controlWords[7 + 36 * i + 2]);
  // Order: range, force, compare, measure, cap, standby.
  EXPECT_THAT(sent, ElementsAre("OutByte 0x378 0x05", "OutByte 0x378 0x0D", "OutByte 0x378 0x0D",
                                "OutByte 0x378 0x2D", "OutByte 0x378 0xAD", "OutByte 0x378 0xAD"));
  // Standby goes out last, on the auxiliary lines.
  EXPECT_EQ(controlWords[7 + 36 * 5 + 7], "OutByte 0x378 0x05");
  EXPECT_THAT(out.str(), HasSubstr("byte=0x20 decimal=32"));  // output off: only QM5 reads back
}

TEST_F(Ctl, TraceToStandardOutputComesBeforeTheResult) {
  EXPECT_EQ(run({"--simulate", "--trace", "-"}), kExitOk);
  const auto output = lines(out.str());
  ASSERT_THAT(output, SizeIs(7 + 36 + 1));
  EXPECT_EQ(output[0], "GetParallelPortCount -> 1");
  EXPECT_EQ(output[4], "OutByte 0x37A 0xC4");
  EXPECT_THAT(output.back(), StartsWith("CPOH="));
}

TEST_F(Ctl, JsonGivesOneObjectPerRead) {
  EXPECT_EQ(
      run({"--simulate", "--sim-flags", "0xC5", "--json", "--count", "2", "--interval", "250"}),
      kExitOk);
  const auto output = lines(out.str());
  ASSERT_THAT(output, SizeIs(2));
  for (const auto& line : output) {
    const auto j = nlohmann::json::parse(line);
    EXPECT_EQ(j["time"], "2025-12-06T20:00:00.123Z");
    EXPECT_EQ(j["CPOH"], 1);
    EXPECT_EQ(j["CPOL"], 0);
    EXPECT_EQ(j["CHL-DET"], 1);
    EXPECT_EQ(j["CLL_DET"], 0);
    EXPECT_EQ(j["QM4"], 0);
    EXPECT_EQ(j["QM5"], 0);
    EXPECT_EQ(j["hex"], "0xC5");
    EXPECT_EQ(j["decimal"], 197);
  }
  EXPECT_THAT(sleeps, ElementsAre(250));
}

TEST_F(Ctl, CountRepeatsTheReadWithATimestampOnEachLine) {
  EXPECT_EQ(run({"--simulate", "--sim-load", "1k", "--count", "3"}), kExitOk);
  const auto output = lines(out.str());
  ASSERT_THAT(output, SizeIs(3));
  for (const auto& line : output)
    EXPECT_THAT(line, StartsWith("2025-12-06T20:00:00.123Z CPOH=0 CPOL=1 CHL-DET=1"));
  EXPECT_THAT(sleeps, ElementsAre(1000, 1000));
}

TEST_F(Ctl, BadInputNamesTheOptionAndSendsNothing) {
  const auto traceFile = std::filesystem::temp_directory_path() / "vx3340ctl-bad-input.txt";
  std::filesystem::remove(traceFile);
  const std::vector<std::vector<std::string>> cases{
      {"--range", "10mA"},
      {"--force", "power"},
      {"--cap", "3"},
      {"--standby", "maybe"},
      {"--count", "0"},
      {"--count", "2", "--interval", "-1"},
      {"--interval", "10"},
      {"--sim-load", "1k"},
      {"--simulate", "--sim-load", "0"},
      {"--simulate", "--sim-flags", "256"},
      {"--simulate", "--sim-flags", "0xZZ"},
      {"--bogus"},
      {"stray"},
  };
  for (auto args : cases) {
    err.str({});
    args.insert(args.end(), {"--trace", traceFile.string()});
    EXPECT_EQ(run(args), kExitBadInput) << args[0];
    const auto message = lines(err.str());
    ASSERT_THAT(message, SizeIs(1)) << args[0];
    EXPECT_THAT(message[0], StartsWith("vx3340ctl: ")) << args[0];
  }
  EXPECT_FALSE(std::filesystem::exists(traceFile));
  EXPECT_EQ(realPortsOpened, 0);
  EXPECT_EQ(osCreated, 0);
  EXPECT_EQ(out.str(), "");
}

TEST_F(Ctl, BadValueMessagesListTheAcceptedValues) {
  run({"--simulate", "--range", "10mA"});
  EXPECT_THAT(err.str(), AllOf(HasSubstr("--range"), HasSubstr("4uA"), HasSubstr("160mA"),
                               HasSubstr("standby")));
}

TEST_F(Ctl, AnUnwritableTraceIsBadInput) {
  EXPECT_EQ(run({"--simulate", "--trace", "/nonexistent-dir/trace.txt"}), kExitBadInput);
  EXPECT_THAT(err.str(), HasSubstr("--trace"));
  EXPECT_EQ(out.str(), "");
}

TEST_F(Ctl, StatusSwitchShowsTheStatusMessageOnStderr) {
  EXPECT_EQ(run({"--simulate", "/ss"}), kExitOk);
  EXPECT_EQ(err.str(), "Show Status: Windows Version:Failed\n             Port Address:0x378\n");
}

TEST_F(Ctl, NoPortAddressEndsWithExitThreeAndNoTraffic) {
  realPort.claimResult = 0;
  realPort.infoResult = 0;
  realPort.reason = "No parallel port device.";
  EXPECT_EQ(run({"--range", "4mA"}), kExitNoPort);
  EXPECT_EQ(realPortsOpened, 1);
  EXPECT_THAT(err.str(),
              AllOf(HasSubstr("VX3340: claim parallel port failed"),
                    HasSubstr("GetPortAddress Error: This PC does not appear"),
                    HasSubstr("No parallel port device."), HasSubstr("no parallel-port address")));
  EXPECT_EQ(out.str(), "");
}

TEST_F(Ctl, ARealPortIsUsedWithoutSimulate) {
  realPort.dataValue = 0x21;
  EXPECT_EQ(run({"--trace", "-"}), kExitOk);
  EXPECT_EQ(realPortsOpened, 1);
  EXPECT_THAT(lines(out.str()).back(), HasSubstr("byte=0x21 decimal=33"));
}

TEST_F(Ctl, ARunTimeErrorEndsWithExitFive) {
  realPort.controlValue = 0x12345;  // does not fit the 16-bit read at start-up
  EXPECT_EQ(run({}), kExitRuntimeError);
  EXPECT_THAT(err.str(), HasSubstr("Overflow"));
}

TEST_F(Ctl, HelpAndVersionSendNothing) {
  EXPECT_EQ(run({"--help"}), kExitOk);
  EXPECT_THAT(out.str(),
              AllOf(HasSubstr("--range"), HasSubstr("--simulate"), HasSubstr("Examples")));
  out.str({});
  EXPECT_EQ(run({"--version"}), kExitOk);
  EXPECT_EQ(out.str(), "1.2.0.0\n");
  EXPECT_EQ(osCreated, 0);
}

TEST_F(Ctl, PortChoosesTheRealDeviceWhereThereIsAChoice) {
#ifdef _WIN32
  // parllio.dll chooses the port on Windows: there is no option for it.
  EXPECT_EQ(run({"--port", "LPT2"}), kExitBadInput);
  EXPECT_EQ(realPortsOpened, 0);
#else
  EXPECT_EQ(run({"--simulate", "--port", "/dev/parport1"}), kExitBadInput);
  EXPECT_EQ(realPortsOpened, 0);
  EXPECT_EQ(run({"--port", "/dev/parport1"}), kExitOk);
  EXPECT_EQ(portDevice, "/dev/parport1");
#endif
}

TEST(CtlViolations, AreReportedWithExitFour) {
  SimulatedBoard board;
  std::ostringstream err;
  EXPECT_EQ(reportViolations(board, err), kExitOk);
  EXPECT_EQ(err.str(), "");
  board.OutByte(0x37A, 0x20);
  board.OutByte(0x378, 0x00);
  EXPECT_EQ(reportViolations(board, err), kExitProtocolViolation);
  EXPECT_THAT(err.str(), StartsWith("vx3340ctl: protocol violation: data write"));
}

}  // namespace
}  // namespace vx
