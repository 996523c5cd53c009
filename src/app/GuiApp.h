#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/BackendOptions.h"
#include "startup/Messages.h"
#include "startup/OsServices.h"
#include "ui/MainForm.h"

namespace vx {

// Exit codes of vx3340.
enum GuiExit {
  kGuiExitOk = 0,
  kGuiExitBadInput = 2,
  kGuiExitRuntimeError = 5,
};

inline constexpr const char* kMainCaption = " VX3340 Evaluation Software";

// The main window's caption: exactly the designed one on a real port, marked on the simulated
// board so that nobody takes simulated flags for the chip's.
std::string windowCaption(bool simulated);

// The command line, parsed with the same backend options as vx3340ctl. Arguments it does not
// know (such as "/SS", which start-up finds on its own) are left alone.
struct GuiArguments {
  BackendOptions backend;
  std::optional<int> exitNow;  // set for --help and bad input, after printing
};
GuiArguments parseGuiArguments(const std::vector<std::string>& arguments, std::ostream& out,
                               std::ostream& err);

// What the window program needs from its surroundings; main supplies the real ones.
struct GuiEnvironment {
  std::ostream& out;
  std::ostream& err;
  Messages& messages;
  AboutServices about;
  // The operating system's services for start-up, given the arguments after the program name.
  std::function<std::unique_ptr<OsServices>(const std::vector<std::string>&)> os;
  // The real port backend, used without --simulate.
  std::function<std::unique_ptr<PortLibrary>(const BackendOptions&)> realPort;
  // Shows the window and runs the event loop; returns the loop's exit code.
  std::function<int(MainForm&)> run;
};

// Builds the backend, the board and the window, runs start-up, then the window. A run-time
// error that ends the program is shown in a critical message box; the result is the exit code.
int runGui(const std::vector<std::string>& arguments, const BackendOptions& options,
           GuiEnvironment& env);

}  // namespace vx
