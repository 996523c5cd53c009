// vx3340's composition: command line, caption, start-up's boxes and menu, fatal errors.
#include <QAction>
#include <QLineEdit>

#include "UiTestSupport.h"
#include "app/GuiApp.h"
#include "qt/MainForm.h"
#include "qt/SelectionList.h"
#include "startup/PosixOsServices.h"

using namespace vx;

namespace {

// Runs vx3340 with a fake real port at 0x3BC; inside runs in place of the event loop.
struct Run {
  std::ostringstream out, err;
  test::RecordingMessages messages;
  NoRegistry registry;
  test::NoTools tools;
  test::FakePortLibrary realPort;
  test::FailingLibrary failing{realPort};
  std::function<int(MainForm&)> inside = [](MainForm&) { return 0; };
  bool ran = false;

  struct Window : PanelWindow {
    MainForm form;
    std::function<int(MainForm&)> inside;
    Window(FrontPanel& panel, AboutServices about, std::function<int(MainForm&)> in)
        : form(panel, about, [] {}), inside(std::move(in)) {}
    PortMenu& portMenu() override { return form.portMenu(); }
    int run() override {
      const int code = inside(form);
      if (form.pendingError()) std::rethrow_exception(form.pendingError());
      return code;
    }
  };

  int operator()(const std::vector<std::string>& args) {
    realPort.baseAddress = 0x3BC;
    const GuiArguments parsed = parseGuiArguments(args, out, err);
    if (parsed.exitNow) return *parsed.exitNow;
    GuiEnvironment env{
        out,
        err,
        messages,
        [](const std::vector<std::string>& a) { return std::make_unique<PosixOsServices>(a); },
        [this](const BackendOptions&) {
          return std::make_unique<test::FailingLibrary>(static_cast<PortLibrary&>(failing));
        },
        [this](FrontPanel& panel, const std::string& caption) {
          auto window = std::make_unique<Window>(
              panel, AboutServices{registry, tools, tools, messages}, [this](MainForm& f) {
                ran = true;
                return inside(f);
              });
          window->form.setWindowTitle(QString::fromStdString(caption));
          return window;
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
  void helpAndBadInputRunNothing() {
    Run help, bad, trace;
    QCOMPARE(help({"--help"}), 0);
    QVERIFY(help.out.str().find("--sim-flags") != std::string::npos);
    QCOMPARE(bad({"--sim-flags", "0x21"}), 2);  // needs --simulate
    QVERIFY(bad.err.str().find("--simulate") != std::string::npos);
    QCOMPARE(trace({"--simulate", "--trace", "/nonexistent-dir/trace.log"}), 2);
    QCOMPARE(trace.messages.shown.size(), std::size_t{1});
    QVERIFY(!help.ran && !bad.ran && !trace.ran);
  }

  void captionAndMenuFollowTheBackend() {
    Run simulated, real;
    QString caption;
    bool lpt1 = false, prn = false;
    const auto look = [&](MainForm& form) {
      caption = form.windowTitle();
      lpt1 = enabled(form, "MnuLpt1");
      prn = enabled(form, "MnuPrn");
      return 0;
    };
    simulated.inside = look;
    QCOMPARE(simulated({"--simulate", "-x", "whatever"}), 0);  // unknown arguments are left alone
    QCOMPARE(caption, QString(" VX3340 Evaluation Software (simulated board)"));
    QVERIFY(lpt1 && !prn);
    real.inside = look;
    QCOMPARE(real({}), 0);
    QCOMPARE(caption, QString(" VX3340 Evaluation Software"));
    QVERIFY(!lpt1 && prn);
    QVERIFY(real.messages.shown.empty());
  }

  void statusBoxComesBeforeTheWindow() {
    Run run;
    std::size_t boxesWhenShown = 0;
    run.inside = [&](MainForm&) {
      boxesWhenShown = run.messages.shown.size();
      return 0;
    };
    QCOMPARE(run({"--simulate", "a/Ssb"}), 0);
    QCOMPARE(boxesWhenShown, std::size_t{1});
    QVERIFY(run.messages.shown.at(0) == (Message{"Windows Version:Failed\rPort Address:0x378",
                                                 "Show Status",
                                                 MessageIcon::Information,
                                                 {}}));
  }

  void fatalErrorsAreShownOnceAndEndWithFive() {
    Run startup;
    startup.realPort.controlValue = 0x12345;  // start-up's 16-bit read overflows
    QCOMPARE(startup({}), 5);
    QVERIFY(!startup.ran);

    Run handler;
    bool textAfterError = true;
    handler.inside = [&](MainForm& form) {
      handler.failing.armed = true;
      form.cboir()->setFocus();
      QTest::keyClick(form.cboir()->lineEdit(), Qt::Key_Down);
      handler.failing.armed = false;
      QTest::keyClick(form.cboir()->lineEdit(), Qt::Key_Down);
      textAfterError = !form.Text1()->text().isEmpty();
      return 0;
    };
    QCOMPARE(handler({}), 5);
    QVERIFY(!textAfterError);  // no handler ran after the error
    for (Run* run : {&startup, &handler}) {
      QCOMPARE(run->messages.shown.size(), std::size_t{1});
      QVERIFY(run->messages.shown[0].icon == MessageIcon::Critical);
      QCOMPARE(run->messages.shown[0].title, std::string("VX3340"));
      QVERIFY(!run->err.str().empty());
    }
    QCOMPARE(handler.messages.shown[0].text, std::string("the port stopped answering"));
  }
};

QTEST_MAIN(GuiAppTest)
#include "test_gui_app.moc"
