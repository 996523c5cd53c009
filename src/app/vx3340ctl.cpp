// vx3340ctl: the headless front panel for bench scripts.
#include <iostream>
#include <thread>

#include "app/Ctl.h"
#ifdef _WIN32
#include "startup/WinOsServices.h"
#else
#include "startup/PosixOsServices.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  vx::CtlEnvironment env{
      std::cout,
      std::cerr,
      [](const std::vector<std::string>& args) -> std::unique_ptr<vx::OsServices> {
#ifdef _WIN32
        (void)args;  // Windows hands over the whole command line itself
        return std::make_unique<vx::WinOsServices>();
#else
        return std::make_unique<vx::PosixOsServices>(args);
#endif
      },
      [](const vx::BackendOptions& options) { return vx::makeRealPortLibrary(options); },
      [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); },
      [] { return std::chrono::system_clock::now(); },
  };
  return vx::runCtl(arguments, env);
}
