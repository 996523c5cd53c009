// vx3340ctl run in-process: output, exit codes, traffic, and bad input that sends nothing.
#include "app/Ctl.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "app/CtlRun.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

using Ctl = test::CtlRun;

// Whole runs, each written as its command line, standard output, standard error (marked "!"),
// exit code, sleeps, whether the OS services or a real port were asked for, and whether a trace
// file was written, and the device --port named, and a full:N file's lines, for each line of
// tests/data/ctl.runs; the transcript is checked against tests/data/ctl.expected.
TEST(Ctl, RunsLineForLine) {
  const auto file = (std::filesystem::temp_directory_path() / "vx3340ctl-trace.txt").string();
  std::string transcript;
  for (const std::string& line : test::expected("ctl.runs")) {
    if (line[0] == '#') continue;
    Ctl run;
    const auto input = line.find(" <<< ");  // standard input follows, its lines split at "|"
    if (input != std::string::npos)
      run.in.str(std::regex_replace(line.substr(input + 5) + "|", std::regex("\\|"), "\n"));
    std::vector<std::string> args =
        test::lines(std::regex_replace(line.substr(0, input), std::regex(" "), "\n"));
    if (args[0] == "realfail") run.realPort.claimResult = run.realPort.infoResult = 0;
    if (args[0] == "overflow") run.realPort.controlValue = 0x12345;
    if (args[0] == "realfail" || args[0] == "overflow") args.erase(args.begin());
    if (line.find("--trace") == std::string::npos) args.insert(args.end(), {"--trace", file});
    std::filesystem::remove(file);
    const int exit = run(args);
    transcript += "$ vx3340ctl " + line + "\n" + run.out.str();
    for (const auto& l : test::lines(run.err.str())) transcript += "! " + l + "\n";
    transcript += fmt::format("exit {}, sleeps {}, os {}, real port {}{}, trace file {}\n", exit,
                              fmt::join(run.sleeps, " "), run.osCreated, run.realPortsOpened,
                              run.portDevice.empty() ? "" : " " + run.portDevice,
                              std::filesystem::exists(file));
    if (run.full)
      transcript +=
          fmt::format("full file: {} lines, ends {}\n", std::ranges::count(*run.full, '\n'),
                      run.full->empty() || run.full->back() == '\n' ? "whole" : "torn");
  }
  std::filesystem::remove(file);
  EXPECT_THAT(test::lines(transcript), ElementsAreArray(test::expected("ctl.expected")));
}

// Which sessions are announced on the network, under the name given, and which not (loopback only,
// or told not to): what each session of tests/data/ctl-announce.table publishes through a
// recording responder, "-" where none is made. Runs only inside tests/support/netns-run
// (ctl_announce), where the network holds nothing but lo.
TEST(Ctl, AnnouncesOnlyWhatListensBeyondLoopback) {
  if (!std::getenv("VX_NETNS_INSIDE")) GTEST_SKIP() << "listens beyond loopback: see ctl_announce";
  struct Recording : net::Announcer {
    std::string& seen;
    explicit Recording(std::string& s) : seen(s) {}
    void publish(const std::vector<net::Service>& services) override {
      seen = services.empty() ? "nothing" : services[0].name + ":";
      for (const net::Service& s : services) seen += " " + s.type;
    }
  };
  std::vector<std::string> transcript;
  for (const std::string& row : test::expected("ctl-announce.table")) {
    const std::string options = row.substr(0, row.find(" -> "));
    Ctl run;
    run.stopAtStartUp = true;
    std::string seen = "-";
    run.announcer = [&seen](net::EventLoop&) { return std::make_unique<Recording>(seen); };
    const auto args =
        std::regex_replace("--simulate --announce-name B " + options, std::regex(" "), "\n");
    EXPECT_EQ(run(test::lines(args)), kExitOk) << options << ": " << run.err.str();
    transcript.push_back(options + " -> " + seen);
  }
  EXPECT_THAT(transcript, ElementsAreArray(test::expected("ctl-announce.table")));
  EXPECT_EQ(transcript.size(), 6u) << "a table cut short would pass unseen";
}

// A run on the simulated board reports what broke the link protocol, and fails for it.
TEST(Ctl, ReportsViolations) {
  SimulatedBoard board;
  std::ostringstream err;
  EXPECT_EQ(reportViolations(board, err, "vx3340ctl"), kExitOk);
  test::accesses(board, "W37A=20 W378=00");
  EXPECT_EQ(reportViolations(board, err, "vx3340ctl"), kExitProtocolViolation);
  EXPECT_EQ(err.str(),
            "vx3340ctl: protocol violation: data write 0x00 while the data lines are input\n");
}

// The data-register writes in a trace's last refresh: the control word, then each pulse's aux word.
std::vector<std::string> dataWrites(const std::string& trace) {
  std::vector<std::string> writes;
  for (const auto& line : test::lines(trace))
    if (line.rfind("OutByte 0x378 ", 0) == 0) writes.push_back(line.substr(14));
  return {writes.end() - std::min<std::ptrdiff_t>(9, std::ssize(writes)), writes.end()};
}

// Every value of every selection in the table, picked on a fresh board by each face that walks
// the table: the front panel, a SCPI line in each spelling, and vx3340ctl's option. All must send
// the same words.
TEST(Ctl, EveryFacePicksTheSameBits) {
  for (const Selection& s : kSelections) {
    for (int i = 0; i < std::ssize(s.choices); ++i) {
      const Choice& c = s.choices[static_cast<std::size_t>(i)];
      const auto viaPanel = [](const std::function<void(test::BoardRig&)>& pick) {
        test::BoardRig rig;
        pick(rig);
        return dataWrites(fmt::format("{}\n", fmt::join(rig.traced.take(), "\n")));
      };
      const auto picked = viaPanel([&](test::BoardRig& r) { r.panel.select(s.id, i); });
      for (std::string_view spelling : {c.scpi, c.scpiAlias}) {
        ScpiClient client;
        const auto line = fmt::format("CONF:{} {}", s.scpiNode, spelling);
        if (spelling.empty()) continue;
        EXPECT_EQ(viaPanel([&](test::BoardRig& r) { r.instrument.execute(line, client); }), picked)
            << line;
        EXPECT_EQ(client.queued(), 0u) << line;
      }
      Ctl run;
      run({"--simulate", "--trace", "-", std::string(s.option), std::string(c.cli)});
      EXPECT_EQ(dataWrites(run.out.str()), picked) << s.option << " " << c.cli;
    }
  }
}

}  // namespace
}  // namespace vx
