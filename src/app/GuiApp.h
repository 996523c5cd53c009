#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/BackendOptions.h"
#include "app/ExitCodes.h"
#include "startup/Messages.h"
#include "startup/OsServices.h"
#include "startup/PortMenu.h"

namespace vx {

class FrontPanel;

// The main window's caption: exactly the designed one on a real port, marked on the simulated
// board so that nobody takes simulated flags for the chip's.
std::string windowCaption(bool simulated);

// The command line, parsed with the same backend options as vx3340ctl. Arguments it does not
// know (such as "/SS", which start-up finds on its own) are left alone.
struct GuiArguments {
  BackendOptions backend;
  std::optional<int> exitNow;  // set for --help, --version and bad input, after printing
};
GuiArguments parseGuiArguments(const std::vector<std::string>& arguments,
                               const PortOptions& portOptions, std::ostream& out,
                               std::ostream& err);

// The front panel window, whatever draws it: the Qt window on Linux, the Win32 one on Windows.
class PanelWindow {
 public:
  virtual ~PanelWindow() = default;
  // The Printer Port menu's items, for start-up.
  virtual PortMenu& portMenu() = 0;
  // Shows the window and handles its events until the program ends; returns the exit code. A
  // run-time error inside a handler ends the program and is thrown from here.
  virtual int run() = 0;
};

// What the window program needs from its surroundings; main supplies the real ones.
struct GuiEnvironment {
  std::ostream& out;
  std::ostream& err;
  Messages& messages;
  // The operating system's services for start-up, given the arguments after the program name.
  std::function<std::unique_ptr<OsServices>(const std::vector<std::string>&)> os;
  // The real port backend, used without --simulate.
  std::function<std::unique_ptr<PortLibrary>(const BackendOptions&)> realPort;
  // Creates the window over the front panel, with its caption, not yet shown.
  std::function<std::unique_ptr<PanelWindow>(FrontPanel&, const std::string& caption)> window;
  // Opens the trace's and the waveform's files.
  OpenSink openFile;
};

// Builds the backend, the board and the window, runs start-up, then the window. A run-time
// error that ends the program is shown in a critical message box; the result is the exit code.
// A recorder whose file cannot be written stops, shown in one box once its refresh is done; the
// window goes on, and the program ends with 5.
int runGui(const std::vector<std::string>& arguments, const BackendOptions& options,
           GuiEnvironment& env);

}  // namespace vx
