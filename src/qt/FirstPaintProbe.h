#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <chrono>
#include <iostream>

namespace vx {

// Installed on a window, prints the wall-clock time of its first paint ("first-paint
// NANOSECONDS") and ends the event loop. The start-up benchmark reads it.
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

}  // namespace vx
