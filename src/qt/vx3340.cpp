// vx3340: the front panel window on Linux. The composition root: picks the backend from the
// command line, wires the Qt window to it and to the system's services, and runs.
#include <QApplication>
#include <iostream>

#include "app/GuiApp.h"
#include "app/Platform.h"
#include "posix/PosixSysServices.h"
#include "qt/FirstPaintProbe.h"
#include "qt/MainForm.h"
#include "qt/PanelFont.h"
#include "qt/QtMessages.h"

int main(int argc, char** argv) {
  // Parsed before Qt starts, so that --help and mistakes need no display.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const vx::GuiArguments parsed =
      vx::parseGuiArguments(arguments, vx::addPlatformPortOptions, std::cout, std::cerr);
  if (parsed.exitNow) return *parsed.exitNow;

  QApplication app(argc, argv);
  vx::usePanelFont();
  vx::QtMessages messages;
  // There is no registry off Windows, so System Info reports the tool unavailable.
  vx::NoRegistry registry;
  vx::PosixFileTest files;
  vx::PosixLauncher launcher;
  // With VX3340_EXIT_ON_FIRST_PAINT set, the program ends at its first paint (bench/gui-startup).
  vx::FirstPaintProbe probe;

  // Standard output (a trace with --trace -), written checked.
  vx::CheckedOutput checkedOut(vx::standardOutputSink(), "standard output could not be written");
  std::ostream out(&checkedOut);
  vx::GuiEnvironment env{
      out,
      std::cerr,
      messages,
      vx::makePlatformOs,
      vx::makeRealPortLibrary,
      [&](vx::FrontPanel& panel, const std::string& caption) {
        auto form = std::make_unique<vx::MainForm>(
            panel, vx::AboutServices{registry, files, launcher, messages});
        form->setWindowTitle(QString::fromStdString(caption));
        if (qEnvironmentVariableIsSet("VX3340_EXIT_ON_FIRST_PAINT"))
          form->installEventFilter(&probe);
        return form;
      },
      vx::openFileSink,
  };
  return vx::runGui(arguments, parsed.backend, env);
}
