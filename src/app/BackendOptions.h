#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "port/LineRecorder.h"
#include "port/Output.h"
#include "port/PortLibrary.h"
#include "port/SimulatedBoard.h"
#include "port/TracingPortLibrary.h"
#include "port/VcdWriter.h"

namespace vx {

// The options both programs share: which board to talk to, and where the trace goes.
struct BackendOptions {
  bool simulate = false;
  SimulatedBoardOptions sim;
  std::string tracePath;     // empty: no trace; "-": standard output
  std::string vcdPath;       // empty: no waveform
  bool recordLines = false;  // draw the lines for a listener besides the waveform (the web panel)
  std::string port;          // a real port other than the default, as the platform names it
  std::string portLibrary;   // the platform's port library, where it has a choice
};

// Input the user gave that the program cannot use, such as a file it cannot write. Nothing has
// reached the port when it is thrown; the programs exit with kExitBadInput.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Adds the real port's options, which each platform defines (--port, and on Windows
// --port-library); simulate is the --simulate flag they may exclude.
using PortOptions = std::function<void(CLI::App&, BackendOptions&, CLI::Option* simulate)>;

// Adds --simulate, --sim-load, --sim-flags, --sim-no-board, --trace, --vcd and the platform's
// port options to a parser.
void addBackendOptions(CLI::App& app, BackendOptions& options, const PortOptions& portOptions);

// Parses the arguments after the program name, in the way both programs share: --help and
// --version print to out, and a mistake prints one line to err naming the option and what it
// accepts. Returns the exit code when the program should stop now (0, or 2 for bad input).
std::optional<int> parseArguments(CLI::App& app, const std::vector<std::string>& arguments,
                                  std::ostream& out, std::ostream& err);

// Whether an argument that is not an option asks for the status message ("/SS").
bool isStatusSwitch(const std::string& argument);

// The port library stack a program runs on: the chosen backend, the line recorder over it (for
// the waveform and the web panel), and the trace over both. A recorder whose file cannot be
// written stops, and says so once; the board goes on.
class Backend {
 public:
  // Opens the trace and waveform files with open before anything reaches the port; throws
  // InputError when it can't. real is the platform's backend, used without --simulate; program
  // names the program in the waveform's header.
  Backend(const BackendOptions& options, std::ostream& standardOutput, const OpenSink& open,
          std::unique_ptr<PortLibrary> real, const std::string& program);
  ~Backend();
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;

  PortLibrary& library();
  // The simulated board, when the program runs on one.
  SimulatedBoard* simulatedBoard() { return simulated_; }
  // The port's lines, when the waveform or recordLines asked for them.
  LineRecorder* lines() { return lines_.get(); }

  // Calls report with each recorder's failure so far, then with each later one, as it happens;
  // nullptr stops it. "the trace could not be written to t.trace: No space left on device"
  void onFailure(std::function<void(const std::string&)> report);
  const std::vector<std::string>& failures() const { return failures_; }
  // Ends the waveform and closes the recorders' files, checked; every failure there was.
  const std::vector<std::string>& finish();

 private:
  // A recorder's file and the stream its writer writes to.
  struct Recorder {
    CheckedOutput buffer;
    std::ostream stream{&buffer};
    Recorder(std::unique_ptr<Sink> sink, std::string failing)
        : buffer(std::move(sink), std::move(failing)) {}
  };
  std::unique_ptr<Recorder> record(const char* what, const std::string& path,
                                   std::unique_ptr<Sink> sink);

  std::unique_ptr<PortLibrary> backend_;
  SimulatedBoard* simulated_ = nullptr;
  std::unique_ptr<Recorder> trace_;
  std::unique_ptr<Recorder> vcdFile_;
  std::unique_ptr<LineRecorder> lines_;
  std::unique_ptr<VcdWriter> vcd_;
  std::unique_ptr<TracingPortLibrary> tracer_;
  std::vector<std::string> failures_;
  std::function<void(const std::string&)> report_;
};

}  // namespace vx
