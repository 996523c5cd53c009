// vx3340's composition: command line, caption, start-up's boxes and menu, fatal errors.
#include <QAction>
#include <QLineEdit>
#include <QTest>
#include <sstream>

#include "UiTestSupport.h"
#include "app/GuiApp.h"
#include "ui/SelectionList.h"

using namespace vx;
using namespace vx::test;

namespace {

// A real port as the platform backend would report it, at a chosen address.
class FakeRealPort : public PortLibrary {
 public:
  FakeRealPort(std::int32_t base, const bool& failing) : base_(base), failing_(failing) {}
  std::int16_t ClaimParallelPort(std::int32_t, std::int32_t) override { return 1; }
  std::int32_t GetParallelPortCount() override { return 1; }
  std::int16_t GetParallelPortInfo(std::int32_t, PortInfoRecord& info) override {
    info.baseAddress = base_;
    return 1;
  }
  std::int32_t InByte(std::int32_t) override {
    if (failing_) throw FatalError("the port stopped answering");
    return 0xCC;
  }
  void OutByte(std::int32_t, std::int32_t) override {}

 private:
  std::int32_t base_;
  const bool& failing_;
};

struct Run {
  std::ostringstream out, err;
  RecordingMessages messages;
  NoRegistry registry;
  NoFiles files;
  NoLaunch launcher;
  std::int32_t realBase = 0x3BC;
  bool failing = false;
  std::function<int(MainForm&)> inside = [](MainForm&) { return 0; };
  bool ran = false;

  int operator()(const std::vector<std::string>& args) {
    const GuiArguments parsed = parseGuiArguments(args, out, err);
    if (parsed.exitNow) return *parsed.exitNow;
    GuiEnvironment env{
        out,
        err,
        messages,
        {registry, files, launcher, messages},
        [](const std::vector<std::string>& a) { return std::make_unique<PosixOsServices>(a); },
        [this](const BackendOptions&) { return std::make_unique<FakeRealPort>(realBase, failing); },
        [this](MainForm& form) {
          ran = true;
          return inside(form);
        },
    };
    return runGui(args, parsed.backend, env);
  }
};

bool enabled(MainForm& form, const char* item) {
  return form.findChild<QAction*>(item)->isEnabled();
}

}  // namespace

class GuiAppTest : public QObject {
  Q_OBJECT

 private slots:
  void helpAndBadInput() {
    Run help;
    QCOMPARE(help({"--help"}), 0);
    QVERIFY(help.out.str().find("--simulate") != std::string::npos);
    QVERIFY(help.out.str().find("--sim-flags") != std::string::npos);
    QVERIFY(!help.ran);

    Run bad;
    QCOMPARE(bad({"--sim-flags", "0x21"}), 2);  // needs --simulate
    QVERIFY(bad.err.str().find("--simulate") != std::string::npos);
    Run worse;
    QCOMPARE(worse({"--simulate", "--sim-flags", "300"}), 2);
    QVERIFY(!bad.ran && !worse.ran);
  }

  void unwritableTraceIsBadInput() {
    Run run;
    QCOMPARE(run({"--simulate", "--trace", "/nonexistent-dir/trace.log"}), 2);
    QVERIFY(!run.ran);
    QCOMPARE(run.messages.shown.size(), std::size_t{1});
  }

  void simulatedBoardIsMarkedInTheCaption() {
    Run run;
    run.inside = [](MainForm& form) {
      [&] {
        QCOMPARE(form.windowTitle(), QString(" VX3340 Evaluation Software (simulated board)"));
        QVERIFY(enabled(form, "MnuLpt1"));
        QVERIFY(!enabled(form, "MnuLpt2"));
        QVERIFY(!enabled(form, "MnuPrn"));
      }();
      return 0;
    };
    // Unknown arguments are left alone.
    QCOMPARE(run({"--simulate", "-x", "whatever"}), 0);
    QVERIFY(run.ran);
    QVERIFY(run.messages.shown.empty());
  }

  void realPortKeepsTheDesignedCaption() {
    Run run;
    run.inside = [](MainForm& form) {
      [&] {
        QCOMPARE(form.windowTitle(), QString(" VX3340 Evaluation Software"));
        QVERIFY(!enabled(form, "MnuLpt1"));
        QVERIFY(!enabled(form, "MnuLpt2"));
        QVERIFY(enabled(form, "MnuPrn"));
      }();
      return 0;
    };
    QCOMPARE(run({}), 0);
    QVERIFY(run.ran);
  }

  void statusSwitchShowsTheStatusBoxBeforeTheWindow() {
    Run run;
    std::size_t boxesWhenShown = 0;
    run.inside = [&](MainForm&) {
      boxesWhenShown = run.messages.shown.size();
      return 0;
    };
    QCOMPARE(run({"--simulate", "a/Ssb"}), 0);
    QCOMPARE(boxesWhenShown, std::size_t{1});
    const Message& box = run.messages.shown.at(0);
    QCOMPARE(box.text, std::string("Windows Version:Failed\rPort Address:0x378"));
    QCOMPARE(box.title, std::string("Show Status"));
    QVERIFY(box.icon == MessageIcon::Information);
  }

  void fatalErrorInStartUpIsShownOnce() {
    Run run;
    run.realBase = 0x7FFFFFFF;  // PortBase + 2 overflows
    QCOMPARE(run({}), 5);
    QVERIFY(!run.ran);
    QCOMPARE(run.messages.shown.size(), std::size_t{1});
    QVERIFY(run.messages.shown[0].icon == MessageIcon::Critical);
    QCOMPARE(run.messages.shown[0].title, std::string("VX3340"));
    QVERIFY(!run.err.str().empty());
  }

  void fatalErrorInAHandlerEndsTheProgram() {
    Run run;
    int picksAfterError = 0;
    run.inside = [&](MainForm& form) {
      run.failing = true;  // the port fails after start-up
      form.cboir()->setFocus();
      QTest::keyClick(form.cboir()->lineEdit(), Qt::Key_Down);
      run.failing = false;
      QTest::keyClick(form.cboir()->lineEdit(), Qt::Key_Down);
      picksAfterError = form.Text1()->text().isEmpty() ? 0 : 1;
      return 0;
    };
    QCOMPARE(run({}), 5);
    QCOMPARE(picksAfterError, 0);  // no handler ran after the error
    QCOMPARE(run.messages.shown.size(), std::size_t{1});
    QCOMPARE(run.messages.shown[0].text, std::string("the port stopped answering"));
    QVERIFY(run.messages.shown[0].icon == MessageIcon::Critical);
  }
};

QTEST_MAIN(GuiAppTest)
#include "test_gui_app.moc"
