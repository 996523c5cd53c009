// The main window against the simulated board, with every port access traced.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "UiTestSupport.h"
#include "ui/SelectionList.h"
#include "ui/frmAbout.h"

using namespace vx;
using namespace vx::test;

namespace {

// The board answers with flag byte 0x21: CPOH and QM5 set.
constexpr std::uint8_t kFlags = 0x21;

struct Bench {
  explicit Bench(std::uint8_t flags) : board(SimulatedBoardOptions{10e3, flags, false}) {}
  SimulatedBoard board;
  std::ostringstream trace;
  TracingPortLibrary tracer{board, trace};
  FailingLibrary library{tracer};
  Port port{library};
  FrontPanel panel{port};
  RecordingMessages messages;
  NoRegistry registry;
  NoFiles files;
  NoLaunch launcher;
  int quits = 0;
  MainForm form{panel, {registry, files, launcher, messages}, [this] { ++quits; }};

  void startUp() {
    PosixOsServices os({});
    Startup(port, os, messages, form.portMenu()).Main();
  }
  int refreshes() const { return countLines(trace.str(), "InByte 0x378 "); }
  std::string traffic() const { return trace.str(); }
};

QWidget* focusOwner() {
  QWidget* w = QApplication::focusWidget();
  // A list's text field stands for its list.
  if (w && qobject_cast<QComboBox*>(w->parentWidget())) return w->parentWidget();
  return w;
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Bench> bench;
  MainForm& form() { return bench->form; }
  template <class T>
  T* child(const char* name) {
    T* found = form().findChild<T*>(name);
    if (!found) qFatal("no child %s", name);
    return found;
  }
  QStringList captions() {
    QStringList shown;
    for (int i = 0; i < 6; ++i) shown << form().RdVal(i)->text();
    return shown;
  }

 private slots:
  void init() {
    bench = std::make_unique<Bench>(kFlags);
    bench->startUp();
    form().show();
    QVERIFY(QTest::qWaitForWindowExposed(&form()));
    form().activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
    bench->trace.str("");  // start-up's own traffic is tested elsewhere
  }
  void cleanup() { bench.reset(); }

  void designedWindow() {
    QCOMPARE(form().windowTitle(), QString(" VX3340 Evaluation Software"));
    QCOMPARE(form().centralWidget()->size(), QSize(485, 315));
    QCOMPARE(form().minimumSize(), form().maximumSize());  // fixed border
    QVERIFY(!form().windowIcon().isNull());
    // Controls that lie over a frame belong to the window and stay on top of it.
    QCOMPARE(form().cboAC()->parentWidget(), form().centralWidget());
    QCOMPARE(form().cboAC()->geometry(), QRect(24, 136, 153, 21));
    QCOMPARE(child<QCheckBox>("chkStandby")->geometry(), QRect(272, 264, 77, 17));
    QCOMPARE(child<QPushButton>("cmdRead")->geometry(), QRect(56, 216, 81, 25));
    QCOMPARE(form().cboFSEL()->geometry(), QRect(8, 40, 201, 21));
    QCOMPARE(form().RdVal(5)->geometry(), QRect(160, 88, 17, 17));
    QVERIFY(form().centralWidget()->childAt(60, 220) == child<QPushButton>("cmdRead"));
    // Text1 exists and takes focus, but lies wholly below Frame1's visible area.
    auto* frame1 = child<QGroupBox>("Frame1");
    QCOMPARE(form().Text1()->parentWidget(), frame1);
    QVERIFY(!frame1->rect().intersects(form().Text1()->geometry()));
    QVERIFY(form().Text1()->isEnabled());
    QVERIFY(form().Text1()->text().isEmpty());
  }

  void listsFlagsAndFonts() {
    QCOMPARE(form().cboir()->count(), 7);
    QCOMPARE(form().cboir()->itemText(6), QString("Standby"));
    QCOMPARE(form().cboAC()->itemText(2), QString("Cap 2 - 100pF"));
    for (SelectionList* list :
         {form().cboir(), form().cboAC(), form().cboFSEL(), form().cboMIO(), form().cboComp()}) {
      QCOMPARE(list->currentIndex(), -1);
      QCOMPARE(list->currentText(), list->itemText(0));
    }
    QCOMPARE(captions(), QStringList({"0", "0", "0", "0", "0", "0"}));
    QCOMPARE(child<QLabel>("Label4_0")->text(), QString("CPOH"));
    QCOMPARE(child<QLabel>("Label6_0")->text(), QString("CHL-DET"));
    QCOMPARE(child<QLabel>("Label4_1")->text(), QString("CLL_DET"));
    // Bold for the window, regular inside Frame1 and Frame2; 8.25 points throughout.
    QVERIFY(form().cboir()->font().bold());
    QVERIFY(child<QPushButton>("cmdRead")->font().bold());
    QVERIFY(!form().RdVal(0)->font().bold());
    QVERIFY(!form().cboMIO()->font().bold());
    QCOMPARE(form().cboMIO()->font().pointSizeF(), 8.25);
    QCOMPARE(form().cboir()->font().pointSizeF(), 8.25);
  }

  void tabOrderEndsInText1() {
    form().cboir()->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return focusOwner() == form().cboir(); }));
    QStringList order{focusOwner()->objectName()};
    for (int i = 0; i < 7; ++i) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
      order << focusOwner()->objectName();
    }
    QCOMPARE(order, QStringList({"cboir", "cboAC", "cboFSEL", "cboMIO", "cboComp", "chkStandby",
                                 "cmdRead", "Text1"}));
    QCOMPARE(bench->refreshes(), 0);  // moving the focus picks nothing
  }

  void pickRunsOneRefreshAndShowsTheFlags() {
    SelectionList* list = form().cboir();
    list->showPopup();
    QAbstractItemView* view = list->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(2, 0)).center());
    QCOMPARE(bench->refreshes(), 1);
    QCOMPARE(bench->board.latchedControlWord(), std::optional<std::uint8_t>(0x02));  // "400uA"
    QCOMPARE(captions(), QStringList({"1", "0", "0", "0", "0", "1"}));
    QCOMPARE(form().Text1()->text(), QString("33"));
  }

  void arrowStepsRefreshOncePerStep() {
    form().cboAC()->setFocus();
    // Each step sends the word as it stands after that step: Cap 0, 1, 2 in bits 7..6.
    const std::uint8_t expected[] = {0x00, 0x40, 0x80};
    for (int step = 0; step < 3; ++step) {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
      QCOMPARE(bench->refreshes(), step + 1);
      QCOMPARE(bench->board.latchedControlWord(), std::optional<std::uint8_t>(expected[step]));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Up);
    QCOMPARE(bench->refreshes(), 4);
    QCOMPARE(bench->board.latchedControlWord(), std::optional<std::uint8_t>(0x40));
  }

  void greyedStandbyBoxCountsAsOff() {
    auto* box = child<QCheckBox>("chkStandby");
    box->setTristate(true);
    box->setCheckState(Qt::Checked);
    form().chkStandby_Click();
    QCOMPARE(bench->board.auxLatch() & 1, 1);
    box->setCheckState(Qt::PartiallyChecked);
    form().chkStandby_Click();
    QCOMPARE(bench->board.auxLatch() & 1, 0);
  }

  void typedKeysRunNothing() {
    for (SelectionList* list : {form().cboir(), form().cboFSEL()}) {
      list->setFocus();
      QTest::keyClicks(QApplication::focusWidget(), "9a ");
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backspace);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      QCOMPARE(list->currentText(), list->itemText(0));
    }
    form().Text1()->setFocus();
    QApplication::processEvents();
    QCOMPARE(bench->traffic(), std::string());
    QCOMPARE(form().cboir()->currentIndex(), -1);
    QCOMPARE(form().cboFSEL()->currentIndex(), -1);
  }

  void readBeforeAnyPickSendsAllZeroSettings() {
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    QCOMPARE(bench->refreshes(), 1);
    QCOMPARE(bench->board.latchedControlWord(), std::optional<std::uint8_t>(0x00));
    QCOMPARE(bench->board.auxLatch() & 1, 0);
    QCOMPARE(captions(), QStringList({"1", "0", "0", "0", "0", "1"}));
    QCOMPARE(form().Text1()->text(), QString("33"));
  }

  void standbyBoxDrivesTheStandbyLine() {
    QTest::mouseClick(child<QCheckBox>("chkStandby"), Qt::LeftButton);
    QCOMPARE(bench->refreshes(), 1);
    QCOMPARE(bench->board.auxLatch() & 1, 1);
    QCOMPARE(bench->board.latchedControlWord(), std::optional<std::uint8_t>(0x00));
    QTest::mouseClick(child<QCheckBox>("chkStandby"), Qt::LeftButton);
    QCOMPARE(bench->refreshes(), 2);
    QCOMPARE(bench->board.auxLatch() & 1, 0);
  }

  void exitAndCloseSendNothingMore() {
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    const std::string before = bench->traffic();
    child<QAction>("MnuExit")->trigger();
    QCOMPARE(bench->quits, 1);
    form().close();
    QApplication::processEvents();
    QCOMPARE(bench->traffic(), before);
  }

  void portMenuShowsStartUpsChoiceAndDoesNothing() {
    // The simulated board's port is at 378h.
    QVERIFY(child<QAction>("MnuLpt1")->isEnabled());
    QVERIFY(!child<QAction>("MnuLpt2")->isEnabled());
    QVERIFY(!child<QAction>("MnuPrn")->isEnabled());
    child<QAction>("MnuLpt1")->trigger();
    QCOMPARE(bench->traffic(), std::string());
    QVERIFY(!child<QMenu>("MnuWave")->menuAction()->isEnabled());
  }

  void menusHaveTheirAccessKeys() {
    QStringList titles;
    for (QAction* action : form().menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, QStringList({"&File", "&Printer Port", "&Waveform", "&Help"}));
    QCOMPARE(child<QAction>("MnuExit")->text(), QString("E&xit"));
    QCOMPARE(child<QAction>("MnuLpt2")->text(), QString("LPT&2 (278h)"));
    QCOMPARE(child<QAction>("MnuPrn")->text(), QString("P&RN (3BCh)"));
    QCOMPARE(child<QAction>("MnuAbout")->text(), QString("&About"));
    // Alt+F opens the File menu.
    QTest::keyClick(&form(), Qt::Key_F, Qt::AltModifier);
    QVERIFY(QTest::qWaitFor([&] { return child<QMenu>("MnuFile")->isVisible(); }));
    QTest::keyClick(child<QMenu>("MnuFile"), Qt::Key_X);
    QVERIFY(QTest::qWaitFor([&] { return bench->quits == 1; }));
  }

  void aboutOpensModally() {
    QString seen;
    whenModalOpens([&seen](QWidget* modal) {
      seen = modal->windowTitle();
      QVERIFY(qobject_cast<frmAbout*>(modal));
      QVERIFY(modal->parentWidget() == nullptr);
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    child<QAction>("MnuAbout")->trigger();
    QCOMPARE(seen, QString("About VX3340 Evaluation Software"));
    QCOMPARE(bench->traffic(), std::string());
  }

  void runTimeErrorEndsTheLoopAndStopsTraffic() {
    bench->library.armed = true;
    form().cboMIO()->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
    QVERIFY(form().pendingError());
    QCOMPARE(bench->quits, 1);
    bench->library.armed = false;
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    QCOMPARE(bench->traffic(), std::string());
    QCOMPARE(captions(), QStringList({"0", "0", "0", "0", "0", "0"}));
  }
};

QTEST_MAIN(MainFormTest)
#include "test_main_form.moc"
