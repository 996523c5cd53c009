// vx3340: the front panel window. The composition root: picks the backend from the command
// line, wires the window to it and to the operating system's services, and runs.
#include <QApplication>
#include <QEvent>
#include <chrono>
#include <iostream>

#include "app/GuiApp.h"
#include "startup/PosixOsServices.h"
#include "ui/PanelFont.h"
#include "ui/PosixSysServices.h"
#include "ui/QtMessages.h"

namespace {

// With VX3340_EXIT_ON_FIRST_PAINT set, the program prints the wall-clock time of the main
// window's first paint ("first-paint NANOSECONDS") and ends: the start-up benchmark uses it.
class FirstPaintProbe : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      const auto now = std::chrono::system_clock::now().time_since_epoch();
      std::cout << "first-paint " << std::chrono::nanoseconds(now).count() << std::endl;
      QCoreApplication::exit(0);
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  // Parsed before Qt starts, so that --help and mistakes need no display.
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const vx::GuiArguments parsed = vx::parseGuiArguments(arguments, std::cout, std::cerr);
  if (parsed.exitNow) return *parsed.exitNow;

  QApplication app(argc, argv);
  vx::loadPanelFont();
  vx::QtMessages messages;
  // There is no registry off Windows, so System Info reports the tool unavailable.
  vx::NoRegistry registry;
  vx::PosixFileTest files;
  vx::PosixLauncher launcher;
  FirstPaintProbe probe;

  vx::GuiEnvironment env{
      std::cout,
      std::cerr,
      messages,
      {registry, files, launcher, messages},
      [](const std::vector<std::string>& args) {
        return std::make_unique<vx::PosixOsServices>(args);
      },
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
