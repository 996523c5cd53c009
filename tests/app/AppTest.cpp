// Both programs run in-process: output, exit codes, traffic, boxes, and bad input that sends
// nothing; the window program with a window that only records; and both programs' --help.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>

#include "app/CtlRun.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

// Whole runs of both programs, one a line of tests/data/ctl.runs, each written as its command
// line, standard output, standard error (marked "!"), the boxes shown and the exit code; for
// vx3340ctl the sleeps, whether the OS services or a real port were asked for, the device --port
// named and whether a trace file was written; for the window program its caption, port menu and
// the boxes before the window ran (or that it did not run); and a full:N file's lines. The
// transcript is checked against tests/data/ctl.expected.
TEST(Programs, RunLineForLine) {
  const auto file = (std::filesystem::temp_directory_path() / "vx3340ctl-trace.txt").string();
  const char* icons[] = {"none", "exclamation", "information", "critical"};
  std::string transcript;
  for (const std::string& line : test::expected("ctl.runs")) {
    if (line[0] == '#') continue;
    test::CtlRun ctl;
    test::GuiRun gui;
    const auto input = line.find(" <<< ");  // standard input follows, its lines split at "|"
    if (input != std::string::npos)
      ctl.in.str(std::regex_replace(line.substr(input + 5) + "|", std::regex("\\|"), "\n"));
    std::vector<std::string> args =
        test::lines(std::regex_replace(line.substr(0, input), std::regex(" "), "\n"));
    test::ProgramRun& run = args[0] == "vx3340" ? static_cast<test::ProgramRun&>(gui) : ctl;
    args.erase(args.begin());
    if (args[0] == "realfail") run.realPort.claimResult = run.realPort.infoResult = 0;
    if (args[0] == "overflow") run.realPort.controlValue = 0x12345;
    if (args[0] == "prn") run.realPort.baseAddress = 0x3BC;
    gui.failInRun = args[0] == "handlerfail";
    if (std::regex_match(args[0], std::regex("realfail|overflow|prn|handlerfail")))
      args.erase(args.begin());
    if (&run == &ctl && line.find("--trace") == std::string::npos)
      args.insert(args.end(), {"--trace", file});
    std::filesystem::remove(file);
    const int exit = &run == &ctl ? ctl(args) : gui(args);
    transcript += "$ " + line + "\n" + run.out.str();
    for (const auto& l : test::lines(run.err.str())) transcript += "! " + l + "\n";
    for (const Message& m : gui.messages.shown)
      transcript += fmt::format("box {} {}: {}\n", icons[static_cast<int>(m.icon)], m.title,
                                std::regex_replace(m.text, std::regex("\r"), "\\r"));
    if (&run == &ctl)
      transcript += fmt::format("exit {}, sleeps {}, os {}, real port {}{}, trace file {}\n", exit,
                                fmt::join(ctl.sleeps, " "), ctl.osCreated, ctl.realPortsOpened,
                                ctl.portDevice.empty() ? "" : " " + ctl.portDevice,
                                std::filesystem::exists(file));
    else
      transcript += fmt::format(
          "exit {}, caption \"{}\", LPT1 {:d} LPT2 {:d} PRN {:d}, {}\n", exit, gui.caption,
          gui.menu.lpt1, gui.menu.lpt2, gui.menu.prn,
          gui.boxesBeforeRun ? fmt::format("{} boxes before the window ran", *gui.boxesBeforeRun)
                             : "no window ran");
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
    test::CtlRun run;
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
  test::accesses(board, "W37A=20 W378=00");
  EXPECT_EQ(reportViolations(board, err, "vx3340ctl"), kExitProtocolViolation);
  EXPECT_EQ(err.str(),
            "vx3340ctl: protocol violation: data write 0x00 while the data lines are input\n");
}

// The data-register writes in a trace's last refresh: the control word, then each pulse's aux word.
std::vector<std::string> dataWrites(const std::vector<std::string>& trace) {
  std::vector<std::string> writes;
  for (const auto& line : trace)
    if (line.starts_with("OutByte 0x378 ")) writes.push_back(line.substr(14));
  return {writes.end() - std::min<std::ptrdiff_t>(9, std::ssize(writes)), writes.end()};
}

// Every value of every selection in the table, picked on a fresh board by each face that walks
// the table: the front panel, a SCPI line in each spelling, and vx3340ctl's option. All must send
// the same words.
TEST(Ctl, EveryFacePicksTheSameBits) {
  for (const Selection& s : kSelections) {
    for (int i = 0; i < std::ssize(s.choices); ++i) {
      const Choice& c = s.choices[static_cast<std::size_t>(i)];
      test::BoardRig panel;
      panel.panel.select(s.id, i);
      const auto picked = dataWrites(panel.traced.take());
      ASSERT_EQ(picked.size(), 9u);  // the control word and eight pulses' aux words
      for (std::string_view spelling : {c.scpi, c.scpiAlias}) {
        if (spelling.empty()) continue;
        test::BoardRig rig;
        ScpiClient client;
        const auto line = fmt::format("CONF:{} {}", s.scpiNode, spelling);
        rig.instrument.execute(line, client);
        EXPECT_EQ(dataWrites(rig.traced.take()), picked) << line;
        EXPECT_EQ(client.queued(), 0u) << line;
      }
      test::CtlRun run;
      run({"--simulate", "--trace", "-", std::string(s.option), std::string(c.cli)});
      EXPECT_EQ(dataWrites(test::lines(run.out.str())), picked) << s.option << " " << c.cli;
    }
  }
}

// Both programs' --help with this platform's port options: each option once, its value named once
// and nothing else beside it in the left column, and no line wider than 80 characters.
TEST(Help, NamesEachOptionAndValueOnceWithinEightyColumns) {
  test::CtlRun ctl;
  ctl.portOptions = addPlatformPortOptions;
  ASSERT_EQ(ctl({"--help"}), kExitOk);
  std::ostringstream gui, err;
  ASSERT_EQ(parseGuiArguments({"--help"}, addPlatformPortOptions, gui, err).exitNow, kExitOk);
  const std::regex option("  (-h,)?(--[a-z0-9-]+)( \\S+)?"), word("[A-Za-z0-9]+");
  for (const std::string& help : {ctl.out.str(), gui.str()}) {
    std::set<std::string> options;
    for (const std::string& line : test::lines(help)) {
      EXPECT_LE(line.size(), 80u) << line;
      if (line.rfind("  -", 0) != 0) continue;
      const std::string left = line.substr(0, line.find("  ", 2));  // up to the description
      std::smatch parts;
      EXPECT_TRUE(std::regex_match(left, parts, option)) << line;
      EXPECT_TRUE(options.insert(parts[2]).second) << line;
      std::set<std::string> words;
      for (std::sregex_iterator w(left.begin(), left.end(), word), end; w != end; ++w)
        EXPECT_TRUE(words.insert(w->str()).second) << line;
    }
    EXPECT_GT(options.size(), 6u);
  }
}

}  // namespace
}  // namespace vx
