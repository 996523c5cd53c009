// The window program's composition, with a window that only records: command line, caption,
// start-up's boxes and menu, and run-time errors.
#include "app/GuiApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "app/CtlRun.h"
#include "app/Platform.h"
#include "board/FrontPanel.h"
#include "port/FatalError.h"
#include "startup/NoVersionOsServices.h"
#include "support/Support.h"

namespace vx {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Gui {
  std::ostringstream out, err;
  test::RecordingMessages messages;
  test::FakePortLibrary realPort;
  std::string caption;
  PortMenuFlags menu;
  std::size_t boxesBeforeRun = 99;
  bool failInRun = false;

  int operator()(const std::vector<std::string>& args) {
    const GuiArguments parsed = parseGuiArguments(args, {}, out, err);
    if (parsed.exitNow) return *parsed.exitNow;
    struct Window : PanelWindow {
      Gui& gui;
      explicit Window(Gui& g) : gui(g) {}
      PortMenu& portMenu() override { return gui.menu; }
      int run() override {
        gui.boxesBeforeRun = gui.messages.shown.size();
        if (gui.failInRun) throw FatalError("the port stopped answering");  // from a handler
        return 0;
      }
    };
    GuiEnvironment env{
        out,
        err,
        messages,
        [](const std::vector<std::string>& a) { return std::make_unique<NoVersionOsServices>(a); },
        [this](const BackendOptions&) { return std::make_unique<test::FakePortLibrary>(realPort); },
        [this](FrontPanel&, const std::string& c) {
          caption = c;
          return std::make_unique<Window>(*this);
        }};
    return runGui(args, parsed.backend, env);
  }
};

TEST(GuiApp, CommandLineCaptionBoxesAndMenu) {
  Gui help, bad, trace, simulated, real;
  EXPECT_EQ(help({"--help"}), kExitOk);
  EXPECT_THAT(help.out.str(), HasSubstr("--sim-flags"));
  EXPECT_EQ(bad({"--sim-flags", "0x21"}), kExitBadInput);  // needs --simulate
  EXPECT_THAT(bad.err.str(), HasSubstr("--simulate"));
  EXPECT_EQ(trace({"--simulate", "--trace", "/nonexistent-dir/trace.log"}), kExitBadInput);
  EXPECT_EQ(trace.messages.shown.size(), 1u);
  EXPECT_EQ(trace.caption, "");                                  // no window
  EXPECT_EQ(simulated({"--simulate", "-x", "a/Ssb"}), kExitOk);  // unknown arguments stay
  EXPECT_EQ(simulated.caption, " VX3340 Evaluation Software (simulated board)");
  EXPECT_THAT(simulated.messages.shown,
              ElementsAre(Message{"Windows Version:Failed\rPort Address:0x378",
                                  "Show Status",
                                  MessageIcon::Information,
                                  {}}));
  EXPECT_EQ(simulated.boxesBeforeRun, 1u);
  EXPECT_TRUE(simulated.menu.lpt1 && !simulated.menu.prn);
  real.realPort.baseAddress = 0x3BC;
  EXPECT_EQ(real({}), kExitOk);
  EXPECT_EQ(real.caption, " VX3340 Evaluation Software");
  EXPECT_TRUE(!real.menu.lpt1 && !real.menu.lpt2 && real.menu.prn);
}

TEST(GuiApp, RunTimeErrorsEndInOneCriticalBox) {
  Gui startup, handler;
  startup.realPort.controlValue = 0x12345;  // start-up's 16-bit read overflows
  EXPECT_EQ(startup({}), kExitRuntimeError);
  EXPECT_EQ(startup.boxesBeforeRun, 99u);  // the window never ran
  handler.failInRun = true;
  EXPECT_EQ(handler({"--simulate"}), kExitRuntimeError);
  for (auto [gui, text] : {std::pair{&startup, "Run-time error '6': Overflow"},
                           std::pair{&handler, "the port stopped answering"}}) {
    EXPECT_THAT(gui->messages.shown,
                ElementsAre(Message{text, "VX3340", MessageIcon::Critical, {}}));
    EXPECT_EQ(gui->err.str(), std::string("vx3340: ") + text + "\n");
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
  const std::regex option("  (-h,)?(--[a-z-]+)( \\S+)?"), word("[A-Za-z0-9]+");
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
