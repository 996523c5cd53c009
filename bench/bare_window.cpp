// The yardstick for vx3340's start-up: a bare Qt window of the same size, which prints the
// wall-clock time of its first paint ("first-paint NANOSECONDS") and ends.
#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <chrono>
#include <iostream>

namespace {

class FirstPaint : public QObject {
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
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle("bare");
  window.resize(485, 336);
  FirstPaint probe;
  window.installEventFilter(&probe);
  window.show();
  return app.exec();
}
