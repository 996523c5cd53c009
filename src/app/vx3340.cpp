// vx3340: the front panel window. The composition root: picks the backend from the command
// line, wires the window to it and to the operating system's services, and runs.
#include <QApplication>
#include <chrono>
#include <iostream>

#include "app/FirstPaintProbe.h"
#include "app/GuiApp.h"
#include "app/PlatformOs.h"
#include "ui/PanelFont.h"
#include "ui/QtMessages.h"
#ifdef _WIN32
#include "ui/WinSysServices.h"
#else
#include "ui/PosixSysServices.h"
#endif

int main(int argc, char** argv) {
  // Parsed before Qt starts, so that --help and mistakes need no display.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const vx::GuiArguments parsed = vx::parseGuiArguments(arguments, std::cout, std::cerr);
  if (parsed.exitNow) return *parsed.exitNow;

  QApplication app(argc, argv);
  vx::loadPanelFont();
  if (vx::panelFontLacksBold()) QApplication::setStyle(new vx::OverstrikeBoldStyle);
  vx::QtMessages messages;
#ifdef _WIN32
  vx::WinRegistry registry;
  vx::WinFileTest files;
  vx::WinLauncher launcher;
#else
  // There is no registry off Windows, so System Info reports the tool unavailable.
  vx::NoRegistry registry;
  vx::PosixFileTest files;
  vx::PosixLauncher launcher;
#endif
  // With VX3340_EXIT_ON_FIRST_PAINT set, the program ends at its first paint (bench/gui-startup).
  vx::FirstPaintProbe probe;

  vx::GuiEnvironment env{
      std::cout,
      std::cerr,
      messages,
      {registry, files, launcher, messages},
      vx::makePlatformOs,
      [](const vx::BackendOptions& options) { return vx::makeRealPortLibrary(options); },
      [&app, &probe](vx::MainForm& form) {
        if (qEnvironmentVariableIsSet("VX3340_EXIT_ON_FIRST_PAINT"))
          form.installEventFilter(&probe);
        form.show();
        return app.exec();
      },
  };
  return vx::runGui(arguments, parsed.backend, env);
}
