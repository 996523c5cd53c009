#pragma once

// What the window tests share: recorders for the window's services, a library that fails on
// demand, and a hook for modal dialogs.

#include <QApplication>
#include <QTest>
#include <QTimer>
#include <functional>

#include "port/FatalError.h"
#include "support/Support.h"
#include "sysinfo/SysInfo.h"

namespace vx::test {

struct NoTools : FileTest, Launcher {
  bool exists(const std::string&) override { return false; }
  bool launch(const std::string&) override { return false; }
};

// Passes every call through until it is armed; then each byte access fails with the run-time
// error that ends the program.
class FailingLibrary : public PortLibrary {
 public:
  explicit FailingLibrary(PortLibrary& inner) : inner_(inner) {}
  FailingLibrary(const FailingLibrary&) = delete;  // wrapping one forwards to it instead
  bool armed = false;
  std::int16_t ClaimParallelPort(std::int32_t p, std::int32_t m) override {
    return inner_.ClaimParallelPort(p, m);
  }
  std::int32_t GetParallelPortCount() override { return inner_.GetParallelPortCount(); }
  std::int16_t GetParallelPortInfo(std::int32_t p, PortInfoRecord& r) override {
    return inner_.GetParallelPortInfo(p, r);
  }
  std::int32_t InByte(std::int32_t a) override {
    if (armed) throw FatalError("the port stopped answering");
    return inner_.InByte(a);
  }
  void OutByte(std::int32_t a, std::int32_t v) override {
    if (armed) throw FatalError("the port stopped answering");
    inner_.OutByte(a, v);
  }

 private:
  PortLibrary& inner_;
};

// Runs check on the modal widget that the next action opens, then lets the action go on.
inline void whenModalOpens(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal);
    check(modal);
  });
}

}  // namespace vx::test
