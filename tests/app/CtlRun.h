#pragma once

// runCtl in-process with captured streams, a recorded sleep and a fixed clock. The real port is
// a fake library by default; openPort stands in for another backend. Its one option is --port.

#include <chrono>
#include <functional>
#include <sstream>

#include "app/Ctl.h"
#include "startup/NoVersionOsServices.h"
#include "support/Support.h"

namespace vx::test {

// A platform whose real port is chosen with --port NAME, which --simulate excludes.
inline void portOption(CLI::App& app, BackendOptions& options, CLI::Option* simulate) {
  app.add_option("--port", options.port, "The port")->excludes(simulate);
}

struct CtlRun {
  std::ostringstream out, err;
  std::istringstream in;
  int osCreated = 0, realPortsOpened = 0;
  std::string portDevice;
  std::vector<long> sleeps;
  FakePortLibrary realPort;
  PortOptions portOptions = portOption;
  std::function<std::unique_ptr<PortLibrary>(const BackendOptions&)> openPort =
      [this](const BackendOptions&) { return std::make_unique<FakePortLibrary>(realPort); };

  int operator()(const std::vector<std::string>& args) {
    CtlEnvironment env{
        out,
        err,
        in,
        [this](const std::vector<std::string>& a) {
          ++osCreated;
          return std::make_unique<NoVersionOsServices>(a);
        },
        [this](const BackendOptions& options) {
          ++realPortsOpened;
          portDevice = options.port;
          return openPort(options);
        },
        portOptions,
        [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); },
        [] {
          return std::chrono::system_clock::time_point(std::chrono::milliseconds(1765051200123));
        }};
    return runCtl(args, env);
  }
};

}  // namespace vx::test
