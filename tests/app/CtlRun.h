#pragma once

// runCtl in-process with captured streams, a recorded sleep and a fixed clock. The real port is
// a fake library by default; openPort stands in for another backend.

#include <chrono>
#include <functional>
#include <sstream>

#include "app/Ctl.h"
#include "startup/PosixOsServices.h"
#include "support/Support.h"

namespace vx::test {

struct CtlRun {
  std::ostringstream out, err;
  std::istringstream in;
  int osCreated = 0, realPortsOpened = 0;
  std::string portDevice;
  std::vector<long> sleeps;
  FakePortLibrary realPort;
  std::function<std::unique_ptr<PortLibrary>(const BackendOptions&)> openPort =
      [this](const BackendOptions&) { return std::make_unique<FakePortLibrary>(realPort); };

  int operator()(const std::vector<std::string>& args) {
    CtlEnvironment env{
        out,
        err,
        in,
        [this](const std::vector<std::string>& a) {
          ++osCreated;
          return std::make_unique<PosixOsServices>(a);
        },
        [this](const BackendOptions& options) {
          ++realPortsOpened;
          portDevice = options.portDevice;
          return openPort(options);
        },
        [this](std::chrono::milliseconds ms) { sleeps.push_back(ms.count()); },
        [] {
          return std::chrono::system_clock::time_point(std::chrono::milliseconds(1765051200123));
        }};
    return runCtl(args, env);
  }
};

}  // namespace vx::test
