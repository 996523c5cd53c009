// The window program's composition, with a window that only records: command line, caption,
// start-up's boxes and menu, and run-time errors; and both programs' --help.
#include "app/GuiApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "app/CtlRun.h"
#include "app/Platform.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAreArray;

// Whole runs of the window program, each written as its command line, its output, its boxes,
// exit code, and the caption, menu and number of boxes before the window ran (or that it did
// not run), for each line of tests/data/gui.runs; checked against tests/data/gui.expected.
TEST(GuiApp, RunsLineForLine) {
  const char* icons[] = {"none", "exclamation", "information", "critical"};
  std::string transcript;
  for (const std::string& line : test::expected("gui.runs")) {
    if (line[0] == '#') continue;
    test::GuiRun run;
    std::vector<std::string> args = test::lines(std::regex_replace(line, std::regex(" "), "\n"));
    if (args[0] == "realfail") run.realPort.controlValue = 0x12345;
    if (args[0] == "handlerfail") run.failInRun = true;
    if (args[0] == "prn") run.realPort.baseAddress = 0x3BC;
    if (!args[0].starts_with("--")) args.erase(args.begin());
    const int exit = run(args);
    transcript += "$ vx3340 " + line + "\n" + run.out.str();
    for (const auto& l : test::lines(run.err.str())) transcript += "! " + l + "\n";
    for (const Message& m : run.messages.shown)
      transcript += fmt::format("box {} {}: {}\n", icons[static_cast<int>(m.icon)], m.title,
                                std::regex_replace(m.text, std::regex("\r"), "\\r"));
    transcript += fmt::format("exit {}, caption \"{}\", LPT1 {:d} LPT2 {:d} PRN {:d}, ", exit,
                              run.caption, run.menu.lpt1, run.menu.lpt2, run.menu.prn);
    transcript += run.boxesBeforeRun
                      ? fmt::format("{} boxes before the window ran\n", *run.boxesBeforeRun)
                      : "no window ran\n";
  }
  EXPECT_THAT(test::lines(transcript), ElementsAreArray(test::expected("gui.expected")));
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
