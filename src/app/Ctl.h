#pragma once

#include <chrono>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/BackendOptions.h"
#include "app/ExitCodes.h"
#include "net/Announcer.h"
#include "startup/OsServices.h"

namespace vx {

namespace vxi11 {
class Portmapper;
}

// What vx3340ctl needs from its surroundings; main supplies the real ones, tests their own.
struct CtlEnvironment {
  std::string program;  // the program's name, which main gives: each line on err starts with it
  std::ostream& out;
  std::ostream& err;
  std::istream& in;  // a SCPI session's commands with --serve -
  // The operating system's services for start-up, given the arguments after the program name.
  std::function<std::unique_ptr<OsServices>(const std::vector<std::string>&)> os{};
  // The real port backend, used without --simulate, and the options that choose it.
  std::function<std::unique_ptr<PortLibrary>(const BackendOptions&)> realPort{};
  PortOptions portOptions{};
  std::function<void(std::chrono::milliseconds)> sleep{};
  std::function<std::chrono::system_clock::time_point()> now{};
  // Opens the trace's and the waveform's files.
  OpenSink openFile{};
  // The system's mDNS responder, for announcing the sessions that listen beyond loopback.
  net::MakeAnnouncer announcer{};
  // The host's portmapper, where --vxi11 registers (not on Windows).
  std::function<std::unique_ptr<vxi11::Portmapper>()> portmapper{};
};

// Reports the simulated board's protocol violations on err, each line after the program's name;
// the exit code they call for.
int reportViolations(const SimulatedBoard& board, std::ostream& err, const std::string& program);

// Runs vx3340ctl with the arguments after the program name; returns the exit code. What it cannot
// write (the trace, the waveform, standard output) it reports on err, and the run ends with 5.
int runCtl(const std::vector<std::string>& arguments, CtlEnvironment& env);

}  // namespace vx
