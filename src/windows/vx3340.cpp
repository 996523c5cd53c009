// vx3340.exe: the front panel window on Windows. The composition root: picks the backend from
// the command line, wires the Win32 window to it and to the system's services, and runs.
#include <windows.h>

#include <cstdlib>
#include <sstream>

#include "app/GuiApp.h"
#include "app/Platform.h"
#include "startup/Startup.h"
#include "windows/FirstPaint.h"
#include "windows/MainForm.h"
#include "windows/WinMessageBox.h"
#include "windows/WinSysServices.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const std::vector<std::string> arguments(__argv + 1, __argv + __argc);
  vx::WinMessageBox messages;
  // A window program has no console: what the command line's parser says goes into a box.
  std::ostringstream out, err;
  const vx::GuiArguments parsed =
      vx::parseGuiArguments(arguments, vx::addPlatformPortOptions, out, err);
  if (parsed.exitNow) {
    const bool mistake = *parsed.exitNow != 0;
    messages.show({mistake ? err.str() : out.str(),
                   std::string(vx::kAppTitle),
                   mistake ? vx::MessageIcon::Exclamation : vx::MessageIcon::Information,
                   {}});
    return *parsed.exitNow;
  }
  vx::WinRegistry registry;
  vx::WinFileTest files;
  vx::WinLauncher launcher;
  vx::GuiEnvironment env{
      out,
      err,
      messages,
      vx::makePlatformOs,
      vx::makeRealPortLibrary,
      [&](vx::FrontPanel& panel, const std::string& caption) {
        auto form = std::make_unique<vx::win::MainForm>(
            panel, vx::AboutServices{registry, files, launcher, messages}, caption);
        // With VX3340_EXIT_ON_FIRST_PAINT set, the program ends once its window is drawn
        // (bench/win-startup).
        if (std::getenv("VX3340_EXIT_ON_FIRST_PAINT"))
          form->onShown([] {
            vx::win::printFirstPaint();
            PostQuitMessage(0);
          });
        return form;
      },
      vx::openFileSink,
  };
  return vx::runGui(arguments, parsed.backend, env);
}
