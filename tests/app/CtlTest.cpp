// vx3340ctl run in-process: output, exit codes, traffic, and bad input that sends nothing.
#include "app/Ctl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "app/StreamMessages.h"
#include "startup/PosixOsServices.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// runCtl with captured streams, a fake real port, a recorded sleep and a fixed clock.
struct Ctl {
  std::ostringstream out, err;
  std::istringstream in;
  int osCreated = 0, realPortsOpened = 0;
  std::string portDevice;
  std::vector<long> sleeps;
  test::FakePortLibrary realPort;

  int operator()(const std::vector<std::string>& args) {
    CtlEnvironment env{
        out,
        err,
        in,
        [this](const std::vector<std::string>& a) {
          ++osCreated;
          return std::make_unique<PosixOsServices>(a);
        },
        [this](const BackendOptions& options) -> std::unique_ptr<PortLibrary> {
          ++realPortsOpened;
          portDevice = options.portDevice;
          return std::make_unique<test::FakePortLibrary>(realPort);
        },
        [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); },
        [] {
          return std::chrono::system_clock::time_point(std::chrono::milliseconds(1765051200123));
        },
    };
    return runCtl(args, env);
  }
};

// Whole runs on the simulated board, their standard output against the expected traffic.
TEST(Ctl, RunsOnTheSimulatedBoard) {
  struct Case {
    std::vector<std::string> args;
    const char* expected;
  };
  const Case cases[] = {
      // Start-up, then one refresh with control bits 6 and 7 reading high.
      {{"--simulate", "--trace", "-"}, "ctl-read.out"},
      // Picks in the fixed order, whatever the order given; each one refreshes.
      {{"--trace", "-", "--standby", "On", "--simulate", "--cap", "2", "--measure", "IM", "--force",
        "Current", "--range", "160MA"},
       "ctl-picks.out"},
  };
  for (const Case& c : cases) {
    Ctl run;
    EXPECT_EQ(run(c.args), kExitOk) << c.expected;
    EXPECT_THAT(test::lines(run.out.str()), ElementsAreArray(test::expected(c.expected)));
    EXPECT_EQ(run.err.str(), "");
    EXPECT_EQ(run.realPortsOpened, 0);
  }
}

TEST(Ctl, RepeatsWithTimestampsOrJson) {
  Ctl text;
  EXPECT_EQ(text({"--simulate", "--sim-load", "1k", "--count", "3"}), kExitOk);
  EXPECT_THAT(test::lines(text.out.str()),
              ElementsAreArray(std::vector<std::string>(
                  3,
                  "2025-12-06T20:00:00.123Z CPOH=0 CPOL=1 CHL-DET=1 CLL_DET=0 QM4=0 QM5=0 "
                  "byte=0x06 decimal=6")));
  EXPECT_EQ(text.sleeps, (std::vector<long>{1000, 1000}));

  Ctl json;
  EXPECT_EQ(
      json({"--simulate", "--sim-flags", "0xC5", "--json", "--count", "2", "--interval", "250"}),
      kExitOk);
  const auto objects = test::lines(json.out.str());
  ASSERT_EQ(objects.size(), 2u);
  EXPECT_EQ(nlohmann::json::parse(objects[1]),
            nlohmann::json::parse(R"({"time":"2025-12-06T20:00:00.123Z","CPOH":1,"CPOL":0,
              "CHL-DET":1,"CLL_DET":0,"QM4":0,"QM5":0,"hex":"0xC5","decimal":197})"));
  EXPECT_EQ(json.sleeps, (std::vector<long>{250}));
  Ctl once;
  once({"--simulate", "--json"});
  EXPECT_FALSE(nlohmann::json::parse(once.out.str()).contains("time"));
}

TEST(Ctl, BadInputNamesTheOptionAndSendsNothing) {
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
#ifdef _WIN32
      {"--port", "LPT2"},  // parllio.dll chooses the port on Windows
#else
      {"--simulate", "--port", "/dev/parport1"},
#endif
  };
  for (auto args : cases) {
    Ctl run;
    args.insert(args.end(), {"--trace", traceFile.string()});
    EXPECT_EQ(run(args), kExitBadInput) << args[0];
    EXPECT_THAT(run.err.str(),
                AllOf(StartsWith("vx3340ctl: "), HasSubstr(args[0] == "stray" ? "stray" : "-")))
        << args[0];
    EXPECT_EQ(test::lines(run.err.str()).size(), 1u) << run.err.str();
    EXPECT_EQ(run.realPortsOpened + run.osCreated, 0);
    EXPECT_EQ(run.out.str(), "");
  }
  EXPECT_FALSE(std::filesystem::exists(traceFile));
  Ctl range;
  range({"--simulate", "--range", "10mA"});
  EXPECT_THAT(range.err.str(), AllOf(HasSubstr("--range"), HasSubstr("4uA"), HasSubstr("standby")));
  Ctl trace;
  EXPECT_EQ(trace({"--simulate", "--trace", "/nonexistent-dir/trace.txt"}), kExitBadInput);
  EXPECT_THAT(trace.err.str(), HasSubstr("--trace"));
}

TEST(Ctl, HelpVersionStatusAndExitCodes) {
  Ctl help;
  EXPECT_EQ(help({"--help"}), kExitOk);
  EXPECT_THAT(help.out.str(),
              AllOf(HasSubstr("--range"), HasSubstr("--simulate"), HasSubstr("Examples")));
  Ctl version;
  EXPECT_EQ(version({"--version"}), kExitOk);
  EXPECT_EQ(version.out.str(), "1.2.0.0\n");
  EXPECT_EQ(help.osCreated + version.osCreated, 0);

  Ctl status;
  EXPECT_EQ(status({"--simulate", "/ss"}), kExitOk);
  EXPECT_EQ(status.err.str(),
            "Show Status: Windows Version:Failed\n             Port Address:0x378\n");

  Ctl real;
  real.realPort.dataValue = 0x21;
#ifdef _WIN32
  EXPECT_EQ(real({}), kExitOk);
#else
  EXPECT_EQ(real({"--port", "/dev/parport1"}), kExitOk);
  EXPECT_EQ(real.portDevice, "/dev/parport1");
#endif
  EXPECT_THAT(real.out.str(), HasSubstr("byte=0x21 decimal=33"));

  Ctl noPort;
  noPort.realPort.claimResult = noPort.realPort.infoResult = 0;
  noPort.realPort.reason = "No parallel port device.";
  EXPECT_EQ(noPort({"--range", "4mA"}), kExitNoPort);
  EXPECT_EQ(noPort.err.str(),
            "VX3340: claim parallel port failed\n"
            "        No parallel port device.\n"
            "GetPortAddress Error: This PC does not appear to have a Printer Port\n"
            "vx3340ctl: no parallel-port address was found; nothing was sent to the board\n");
  EXPECT_EQ(noPort.out.str(), "");

  Ctl fatal;
  fatal.realPort.controlValue = 0x12345;  // does not fit the 16-bit read at start-up
  EXPECT_EQ(fatal({}), kExitRuntimeError);
  EXPECT_EQ(fatal.err.str(), "vx3340ctl: Run-time error '6': Overflow\n");

  SimulatedBoard board;
  std::ostringstream err;
  EXPECT_EQ(reportViolations(board, err), kExitOk);
  board.OutByte(0x37A, 0x20);
  board.OutByte(0x378, 0x00);
  EXPECT_EQ(reportViolations(board, err), kExitProtocolViolation);
  EXPECT_EQ(err.str(),
            "vx3340ctl: protocol violation: data write 0x00 while the data lines are input\n");
}

TEST(StreamMessages, TitleTextAndReasonsWrittenOnceInARow) {
  std::ostringstream out;
  StreamMessages messages(out);
  messages.show({"first\rsecond", "A", MessageIcon::None, "no port\nload it"});
  messages.show({"x", "BB", MessageIcon::Exclamation, "no port\nload it"});
  messages.show({"y", "C", MessageIcon::None, ""});
  messages.show({"z", "D", MessageIcon::None, "no port\nload it"});
  EXPECT_EQ(
      out.str(),
      "A: first\n   second\n   no port\n   load it\nBB: x\nC: y\nD: z\n   no port\n   load it\n");
}

}  // namespace
}  // namespace vx
