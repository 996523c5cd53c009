// CPU time from a pick in the window to the flags shown, on a port that does no I/O, so that
// only the program's own work counts: key event, handler, refresh cycle, captions, repaint.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <ctime>
#include <iostream>

#include "NullPort.h"
#include "board/FrontPanel.h"
#include "port/Port.h"
#include "qt/MainForm.h"
#include "qt/SelectionList.h"
#include "startup/PortMenu.h"

namespace {

struct Nothing : vx::FileTest, vx::Launcher, vx::Messages {
  bool exists(const std::string&) override { return false; }
  bool launch(const std::string&) override { return false; }
  void show(const vx::Message&) override {}
};

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  vx::bench::NullPort library;
  vx::Port port(library);
  port.setPortBase(0x378);
  vx::FrontPanel panel(port);
  vx::NoRegistry registry;
  Nothing nothing;
  vx::MainForm form(panel, {registry, nothing, nothing, nothing});
  form.show();
  QCoreApplication::processEvents();
  QWidget* field = form.cboir()->lineEdit();
  form.cboir()->setFocus();

  constexpr int kPicks = 2000;
  int refreshes = 0;
  QObject::connect(form.cboir(), &vx::SelectionList::picked, [&refreshes] { ++refreshes; });
  const double start = cpuSeconds();
  for (int i = 0; i < kPicks; ++i) {
    // Down, Up, Down, ...: every key press is one pick.
    const int key = i % 2 == 0 ? Qt::Key_Down : Qt::Key_Up;
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(field, &press);
    QCoreApplication::processEvents();  // the repaint of the changed captions
  }
  const double perPick = (cpuSeconds() - start) / kPicks;
  if (refreshes != kPicks) std::cerr << "warning: " << refreshes << " picks registered\n";
  std::cout << "pick-to-flags-cpu-us " << perPick * 1e6 << std::endl;
  return 0;
}
