// The yardstick for vx3340's start-up: a bare Qt window of the same size, which prints the
// wall-clock time of its first paint ("first-paint NANOSECONDS") and ends.
#include <QApplication>
#include <QWidget>

#include "qt/FirstPaintProbe.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("bare");
  window.resize(485, 336);
  vx::FirstPaintProbe probe;
  window.installEventFilter(&probe);
  window.show();
  return app.exec();
}
