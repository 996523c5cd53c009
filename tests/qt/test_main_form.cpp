// The Qt main window against the simulated board, with every port access traced.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include "UiTestSupport.h"
#include "board/FrontPanel.h"
#include "forms/Forms.h"
#include "port/SimulatedBoard.h"
#include "qt/MainForm.h"
#include "qt/SelectionList.h"
#include "qt/frmAbout.h"
#include "startup/Startup.h"

using namespace vx;

namespace {

// A board that answers flag byte 0x21, CPOH and QM5, traced; the window over it after start-up.
struct Bench {
  SimulatedBoard board{SimulatedBoardOptions{10e3, 0x21, false}};
  std::ostringstream trace;
  TracingPortLibrary tracer{board, trace};
  test::FailingLibrary library{tracer};
  Port port{library};
  FrontPanel panel{port};
  test::RecordingMessages messages;
  NoRegistry registry;
  test::NoTools tools;
  int quits = 0;
  MainForm form{panel, {registry, tools, tools, messages}, [this] { ++quits; }};

  Bench() {
    test::FakeOs os;
    Startup(port, os, messages, form.portMenu()).Main();
    trace.str("");
  }
  // Refreshes so far: each reads the data register once.
  int refreshes() const {
    const auto all = test::lines(trace.str());
    return static_cast<int>(std::count_if(all.begin(), all.end(), [](const std::string& l) {
      return l.rfind("InByte 0x378 ", 0) == 0;
    }));
  }
  std::uint8_t latched() const { return board.latchedControlWord().value_or(0xEE); }
};

QString q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
// "RdVal(0)" is the widget RdVal_0.
QString qtName(std::string_view name) {
  return q(name).replace('(', '_').remove(')');
}

}  // namespace

class MainFormTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Bench> bench;
  MainForm& form() { return bench->form; }
  template <class T = QWidget>
  T* child(std::string_view name) {
    T* found = form().findChild<T*>(qtName(name));
    if (!found) qFatal("no child %s", qPrintable(qtName(name)));
    return found;
  }
  QStringList captions() {
    QStringList shown;
    for (int i = 0; i < 6; ++i) shown << form().RdVal(i)->text();
    return shown;
  }
  QWidget* focusOwner() {
    QWidget* w = QApplication::focusWidget();
    // A list's text field stands for its list.
    return w && qobject_cast<QComboBox*>(w->parentWidget()) ? w->parentWidget() : w;
  }
  void key(Qt::Key k, Qt::KeyboardModifiers m = {}) {
    QTest::keyClick(QApplication::focusWidget(), k, m);
  }

 private slots:
  void init() {
    bench = std::make_unique<Bench>();
    form().show();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
  }
  void cleanup() { bench.reset(); }

  void designedForm() {
    QCOMPARE(form().centralWidget()->size(), QSize(485, 315));
    QCOMPARE(form().minimumSize(), form().maximumSize());  // fixed border
    QVERIFY(!form().windowIcon().isNull());
    for (const forms::Control& c : forms::kMainForm) {
      if (c.kind == forms::Kind::Line) continue;
      QWidget* w = child(c.name);
      const QRect designed(forms::pixels(c.left, 96), forms::pixels(c.top, 96),
                           forms::pixels(c.width, 96), forms::pixels(c.height, 96));
      QCOMPARE(w->geometry(), designed);
      QCOMPARE(w->parentWidget()->objectName(),
               c.container.empty() ? QString("centralwidget") : qtName(c.container));
      QCOMPARE(w->font().bold(), c.bold);
      QCOMPARE(w->font().pointSizeF(), 8.25);
      if (auto* label = qobject_cast<QLabel*>(w)) QCOMPARE(label->text(), q(c.text));
      if (auto* frame = qobject_cast<QGroupBox*>(w)) QCOMPARE(frame->title(), q(c.text));
      if (auto* list = qobject_cast<SelectionList*>(w)) {
        QCOMPARE(list->currentText(), q(c.text));
        QCOMPARE(list->currentIndex(), -1);
      }
    }
    QCOMPARE(form().cboir()->count(), 7);
    QCOMPARE(form().cboAC()->itemText(2), QString("Cap 2 - 100pF"));
    // Controls that lie over a frame stay on top of it; Text1 lies below Frame1's visible area.
    QCOMPARE(form().centralWidget()->childAt(60, 220), child("cmdRead"));
    QVERIFY(!child("Frame1")->rect().intersects(form().Text1()->geometry()));
  }

  void focusOrderAndMenus() {
    QStringList order{focusOwner()->objectName()};
    for (int i = 0; i < 7; ++i) {
      key(Qt::Key_Tab);
      order << focusOwner()->objectName();
    }
    QCOMPARE(order, QStringList({"cboir", "cboAC", "cboFSEL", "cboMIO", "cboComp", "chkStandby",
                                 "cmdRead", "Text1"}));
    QStringList titles;
    for (QAction* action : form().menuBar()->actions()) titles << action->text();
    QCOMPARE(titles, QStringList({"&File", "&Printer Port", "&Waveform", "&Help"}));
    QCOMPARE(form().findChild<QAction*>("MnuExit")->text(), QString("E&xit"));
    QCOMPARE(form().findChild<QAction*>("MnuPrn")->text(), QString("P&RN (3BCh)"));
    QCOMPARE(form().findChild<QAction*>("MnuAbout")->text(), QString("&About"));
    // The simulated port is at 378h. Its item does nothing; Waveform is switched off.
    QVERIFY(form().findChild<QAction*>("MnuLpt1")->isEnabled());
    QVERIFY(!form().findChild<QAction*>("MnuLpt2")->isEnabled());
    QVERIFY(!form().findChild<QAction*>("MnuPrn")->isEnabled());
    form().findChild<QAction*>("MnuLpt1")->trigger();
    QVERIFY(!form().findChild<QMenu*>("MnuWave")->menuAction()->isEnabled());
    QCOMPARE(bench->trace.str(), std::string());
    // Alt+F, then X: Exit.
    QTest::keyClick(&form(), Qt::Key_F, Qt::AltModifier);
    QVERIFY(QTest::qWaitFor([&] { return form().findChild<QMenu*>("MnuFile")->isVisible(); }));
    QTest::keyClick(form().findChild<QMenu*>("MnuFile"), Qt::Key_X);
    QVERIFY(QTest::qWaitFor([&] { return bench->quits == 1; }));
  }

  void picksAndReadRefreshOnce() {
    // Read before any pick sends the all-zero settings and shows the flags.
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    QCOMPARE(bench->refreshes(), 1);
    QCOMPARE(bench->latched(), 0x00);
    QCOMPARE(captions(), QStringList({"1", "0", "0", "0", "0", "1"}));
    QCOMPARE(form().Text1()->text(), QString("33"));
    // A mouse pick in the open list.
    SelectionList* list = form().cboir();
    list->showPopup();
    QAbstractItemView* view = list->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(2, 0)).center());
    QCOMPARE(bench->refreshes(), 2);
    QCOMPARE(bench->latched(), 0x02);
    // Arrow steps: one refresh each, the word as it stands after each step.
    form().cboAC()->setFocus();
    for (std::uint8_t expected : {0x02, 0x42, 0x82}) {
      key(Qt::Key_Down);
      QCOMPARE(bench->latched(), expected);
    }
    key(Qt::Key_Up);
    QCOMPARE(bench->refreshes(), 6);
    QCOMPARE(bench->latched(), 0x42);
    // The Standby box drives the standby line; greyed counts as off.
    QTest::mouseClick(child<QCheckBox>("chkStandby"), Qt::LeftButton);
    QCOMPARE(bench->board.auxLatch() & 1, 1);
    child<QCheckBox>("chkStandby")->setCheckState(Qt::PartiallyChecked);
    form().chkStandby_Click();
    QCOMPARE(bench->board.auxLatch() & 1, 0);
    QCOMPARE(bench->refreshes(), 8);
    QCOMPARE(bench->latched(), 0x42);
  }

  void typedKeysRunNothing() {
    for (SelectionList* list : {form().cboir(), form().cboFSEL()}) {
      list->setFocus();
      QTest::keyClicks(QApplication::focusWidget(), "9a ");
      for (Qt::Key k : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return}) key(k);
      QCOMPARE(list->currentText(), list->itemText(0));
      QCOMPARE(list->currentIndex(), -1);
    }
    form().Text1()->setFocus();
    QApplication::processEvents();
    QCOMPARE(bench->trace.str(), std::string());
  }

  void exitAboutAndErrorsSendNothingMore() {
    QString seen;
    test::whenModalOpens([&seen](QWidget* modal) {
      seen = modal->windowTitle();
      QVERIFY(qobject_cast<frmAbout*>(modal) && !modal->parentWidget());
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    form().findChild<QAction*>("MnuAbout")->trigger();
    QCOMPARE(seen, QString("About VX3340 Evaluation Software"));
    QCOMPARE(bench->trace.str(), std::string());

    bench->library.armed = true;
    QTest::keyClick(form().cboMIO()->lineEdit(), Qt::Key_Down);
    QVERIFY(form().pendingError());
    QCOMPARE(bench->quits, 1);
    bench->library.armed = false;
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    form().findChild<QAction*>("MnuExit")->trigger();
    form().close();
    QApplication::processEvents();
    QCOMPARE(bench->trace.str(), std::string());
    QCOMPARE(captions(), QStringList({"0", "0", "0", "0", "0", "0"}));
    QCOMPARE(bench->quits, 2);
  }
};

QTEST_MAIN(MainFormTest)
#include "test_main_form.moc"
