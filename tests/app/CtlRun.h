#pragma once

// runCtl and runGui in-process with captured streams; for vx3340ctl a recorded sleep and a fixed
// clock, for the window program a window that only records. The real port is a fake library by
// default; openPort stands in for another backend. The platform's one option is --port.

#include <chrono>
#include <csignal>
#include <functional>

#include "app/Ctl.h"
#include "app/GuiApp.h"
#include "app/Platform.h"
#include "startup/NoVersionOsServices.h"
#include "support/Support.h"

namespace vx::test {

// Opens files as the platform does, but "full:N" on a FillingSink with room for N bytes, whose
// text goes to full.
inline OpenSink openFiles(std::shared_ptr<std::string>& full) {
  return [&full](const std::string& path, std::error_code& error) -> std::unique_ptr<Sink> {
    if (!path.starts_with("full:")) return openFileSink(path, error);
    auto sink = std::make_unique<FillingSink>();
    sink->room = std::stoul(path.substr(5));
    full = sink->text;
    return sink;
  };
}

// What a run of either program records, and the real port it is given.
struct ProgramRun {
  std::ostringstream out, err;
  std::shared_ptr<std::string> full;  // a full:N file's text
  FakePortLibrary realPort;
  // A platform whose real port is chosen with --port NAME, which --simulate excludes.
  PortOptions portOptions = [](CLI::App& app, BackendOptions& options, CLI::Option* simulate) {
    app.add_option("--port", options.port, "The port")->excludes(simulate);
  };
};

struct CtlRun : ProgramRun {
  std::istringstream in;
  int osCreated = 0, realPortsOpened = 0;
  std::string portDevice;
  std::vector<long> sleeps;
  std::function<std::unique_ptr<PortLibrary>(const BackendOptions&)> openPort =
      [this](const BackendOptions&) { return std::make_unique<FakePortLibrary>(realPort); };
  net::MakeAnnouncer announcer;  // none: no mDNS responder
  bool stopAtStartUp = false;    // a TCP session is stopped as it starts, as by SIGTERM

  int operator()(const std::vector<std::string>& args) {
    // What is left out stays empty: no portmapper, as these runs take no --vxi11.
    CtlEnvironment env{.program = "vx3340ctl", .out = out, .err = err, .in = in};
    env.os = [this](const std::vector<std::string>& a) {
      ++osCreated;
      if (stopAtStartUp) std::raise(SIGTERM);  // the loop takes it when it runs
      return std::make_unique<NoVersionOsServices>(a);
    };
    env.realPort = [this](const BackendOptions& options) {
      ++realPortsOpened;
      portDevice = options.port;
      return openPort(options);
    };
    env.portOptions = portOptions;
    env.sleep = [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); };
    env.now = [] {
      return std::chrono::system_clock::time_point(std::chrono::milliseconds(1765051200123));
    };
    env.openFile = openFiles(full);
    env.announcer = announcer;
    return runCtl(args, env);
  }
};

// The window program, with a window that records its caption, start-up's boxes before it runs,
// and its port menu. failInRun makes it fail as a handler can.
struct GuiRun : ProgramRun {
  RecordingMessages messages;
  std::string caption;
  PortMenuFlags menu;
  std::optional<std::size_t> boxesBeforeRun;  // set when the window ran
  bool failInRun = false;

  int operator()(const std::vector<std::string>& args) {
    const GuiArguments parsed = parseGuiArguments(args, portOptions, out, err);
    if (parsed.exitNow) return *parsed.exitNow;
    struct Window : PanelWindow {
      GuiRun& gui;
      explicit Window(GuiRun& g) : gui(g) {}
      PortMenu& portMenu() override { return gui.menu; }
      int run() override {
        gui.boxesBeforeRun = gui.messages.shown.size();
        if (gui.failInRun) throw FatalError("the port stopped answering");
        return 0;
      }
    };
    GuiEnvironment env{
        out,
        err,
        messages,
        [](const std::vector<std::string>& a) { return std::make_unique<NoVersionOsServices>(a); },
        [this](const BackendOptions&) { return std::make_unique<FakePortLibrary>(realPort); },
        [this](FrontPanel&, const std::string& c) {
          caption = c;
          return std::make_unique<Window>(*this);
        },
        openFiles(full)};
    return runGui(args, parsed.backend, env);
  }
};

}  // namespace vx::test
