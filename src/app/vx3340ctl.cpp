// vx3340ctl: the headless front panel for bench scripts.
#include <iostream>
#include <thread>

#include "app/Ctl.h"
#include "app/Platform.h"
#ifdef VX_HAVE_VXI11
#include "vxi11/Portmapper.h"
#endif

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  // Standard output, written checked; what the program reads or prints never goes through cout.
  vx::CheckedOutput checkedOut(vx::standardOutputSink(), "standard output could not be written");
  std::ostream out(&checkedOut);
  vx::CtlEnvironment env{
      "vx3340ctl",
      out,
      std::cerr,
      std::cin,
      vx::makePlatformOs,
      [](const vx::BackendOptions& options) { return vx::makeRealPortLibrary(options); },
      vx::addPlatformPortOptions,
      [](std::chrono::milliseconds ms) { std::this_thread::sleep_for(ms); },
      [] { return std::chrono::system_clock::now(); },
      vx::openFileSink,
      vx::makeAnnouncer,
#ifdef VX_HAVE_VXI11
      vx::vxi11::makeSystemPortmapper,
#else
      {},
#endif
  };
  vx::raiseOpenFileLimit();
  return vx::runCtl(arguments, env);
}
