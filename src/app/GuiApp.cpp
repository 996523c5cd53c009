#include "app/GuiApp.h"

#include <fmt/format.h>
#include <fmt/ostream.h>
#include <CLI/CLI.hpp>
#include <cctype>
#include <utility>

#include "board/FrontPanel.h"
#include "forms/Forms.h"
#include "port/FatalError.h"
#include "port/Port.h"
#include "startup/Startup.h"

namespace vx {

namespace {

constexpr const char* kProgram = "vx3340";

}  // namespace

std::string windowCaption(bool simulated) {
  std::string caption(forms::kMainCaption);
  if (simulated) caption += " (simulated board)";
  return caption;
}

GuiArguments parseGuiArguments(const std::vector<std::string>& arguments,
                               const PortOptions& portOptions, std::ostream& out,
                               std::ostream& err) {
  GuiArguments parsed;
  CLI::App app{"The VX3340 evaluation board's front panel window.", kProgram};
  addBackendOptions(app, parsed.backend, portOptions);
  app.allow_extras();
  app.footer(
      "/SS anywhere on the command line shows the port status at start-up.\n"
      "\n"
      "Examples:\n"
      "  vx3340 --simulate                  the window on the simulated board\n"
      "  vx3340 --simulate --sim-flags 0x21 a board that always answers 0x21\n"
      "  vx3340 /SS --trace port.log        a real port, with every access logged");
  parsed.exitNow = parseArguments(app, arguments, out, err);
  return parsed;
}

int runGui(const std::vector<std::string>& arguments, const BackendOptions& options,
           GuiEnvironment& env) {
  const auto fatal = [&env](const std::string& what) {
    fmt::print(env.err, "{}: {}\n", kProgram, what);
    env.messages.show({what, std::string(kAppTitle), MessageIcon::Critical, {}});
    return kExitRuntimeError;
  };
  try {
    const auto backend =
        std::make_unique<Backend>(options, env.out, env.openFile,
                                  options.simulate ? nullptr : env.realPort(options), kProgram);
    Port port(backend->library());
    FrontPanel panel(port);
    // One box for each recorder that stops, after the refresh or start-up it stopped in.
    std::vector<std::string> unshown;
    backend->onFailure([&unshown](const std::string& failure) { unshown.push_back(failure); });
    const auto showStopped = [&] {
      for (std::string& failure : std::exchange(unshown, {})) {
        fmt::print(env.err, "{}: {}\n", kProgram, failure);
        failure[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(failure[0])));
        env.messages.show({failure + ".", std::string(kAppTitle), MessageIcon::Exclamation, {}});
      }
    };
    panel.onRefresh([&](const FlagReading&) { showStopped(); });
    panel.onReconnect([&port] { reclaimPort(port); });
    const auto window = env.window(panel, windowCaption(backend->simulatedBoard() != nullptr));
    auto os = env.os(arguments);
    Startup(port, *os, env.messages, window->portMenu()).Main();
    showStopped();
    const int code = window->run();
    const bool lost = !backend->finish().empty();
    showStopped();
    backend->onFailure(nullptr);
    return lost ? kExitRuntimeError : code;
  } catch (const InputError& e) {
    fmt::print(env.err, "{}: {}\n", kProgram, e.what());
    env.messages.show({e.what(), std::string(kAppTitle), MessageIcon::Exclamation, {}});
    return kExitBadInput;
  } catch (const std::exception& e) {
    return fatal(e.what());
  }
}

}  // namespace vx
