#pragma once

// What the window tests share: a board with a trace to count its traffic, and recorders for the
// window's services.

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "board/FrontPanel.h"
#include "port/FatalError.h"
#include "port/Port.h"
#include "port/SimulatedBoard.h"
#include "port/TracingPortLibrary.h"
#include "startup/Messages.h"
#include "startup/PosixOsServices.h"
#include "startup/Startup.h"
#include "ui/MainForm.h"
#include "ui/SysInfo.h"

namespace vx::test {

struct RecordingMessages : Messages {
  void show(const Message& message) override { shown.push_back(message); }
  std::vector<Message> shown;
};

struct NoFiles : FileTest {
  bool exists(const std::string&) override { return false; }
};
struct NoLaunch : Launcher {
  bool launch(const std::string&) override { return false; }
};

// A port library that passes calls through until it is armed, then fails every byte access
// with the run-time error that ends the program.
class FailingLibrary : public PortLibrary {
 public:
  explicit FailingLibrary(PortLibrary& inner) : inner_(inner) {}
  bool armed = false;
  std::int16_t ClaimParallelPort(std::int32_t p, std::int32_t m) override {
    return inner_.ClaimParallelPort(p, m);
  }
  std::int32_t GetParallelPortCount() override { return inner_.GetParallelPortCount(); }
  std::int16_t GetParallelPortInfo(std::int32_t p, PortInfoRecord& r) override {
    return inner_.GetParallelPortInfo(p, r);
  }
  std::int32_t InByte(std::int32_t a) override {
    if (armed) throw FatalError("port read failed");
    return inner_.InByte(a);
  }
  void OutByte(std::int32_t a, std::int32_t v) override {
    if (armed) throw FatalError("port write failed");
    inner_.OutByte(a, v);
  }

 private:
  PortLibrary& inner_;
};

// The lines of a trace that match a prefix, such as "InByte 0x378 " (one per refresh).
inline int countLines(const std::string& trace, const std::string& prefix) {
  std::istringstream lines(trace);
  int n = 0;
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(prefix, 0) == 0) ++n;
  return n;
}

// Runs check on the modal widget that the next action opens, then lets the action go on.
inline void whenModalOpens(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal);
    check(modal);
  });
}

inline QString itemText(const QWidget* w) {
  return w ? w->objectName() : QString("(none)");
}

}  // namespace vx::test
