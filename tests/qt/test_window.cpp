// The Qt window, its lists, the About dialog, message boxes and the panel font, offscreen, on the
// simulated board with every port access traced.
#include <QAbstractItemView>
#include <QCheckBox>
#include <QClipboard>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "board/FrontPanel.h"
#include "forms/Forms.h"
#include "qt/MainForm.h"
#include "qt/PanelFont.h"
#include "qt/QtMessages.h"
#include "qt/SelectionList.h"
#include "qt/frmAbout.h"
#include "startup/Startup.h"
#include "support/Support.h"

using namespace vx;

namespace {

// Runs check on the modal widget that the next action opens, then lets the action go on.
void whenModalOpens(std::function<void(QWidget*)> check) {
  QTimer::singleShot(0, [check] {
    QWidget* modal = QApplication::activeModalWidget();
    QVERIFY(modal);
    check(modal);
  });
}

QString q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A port that reads flag byte 0x21, CPOH and QM5; the window over it after start-up.
struct Bench {
  test::FakePortLibrary library;
  test::TracedPort rig{library};
  FrontPanel panel{rig.port()};
  test::RecordingMessages messages;
  NoRegistry registry;
  test::NoTools tools;
  AboutServices about{registry, tools, tools, messages};
  int quits = 0;
  MainForm form{panel, about, [this] { ++quits; }};

  Bench() {
    library.dataValue = 0x21;
    test::FakeOs os;
    Startup(rig.port(), os, messages, form.portMenu()).Main();
    rig.take();
  }
};

// The dark pixels of a picture of text: how many, and the rows they span.
struct Ink {
  int pixels = 0, top = -1, bottom = -1;
};
Ink ink(const QImage& image) {
  Ink found;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      if (qGray(image.pixel(x, y)) >= 128) continue;
      ++found.pixels;
      if (found.top < 0) found.top = y;
      found.bottom = y;
    }
  return found;
}

}  // namespace

class WindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<Bench> bench;
  MainForm& form() { return bench->form; }
  template <class T = QWidget>
  T* child(std::string_view name) {  // "RdVal(0)" is the widget RdVal_0
    T* found = form().findChild<T*>(q(name).replace('(', '_').remove(')'));
    if (!found) qFatal("no child %s", name.data());
    return found;
  }
  QAction* action(const char* name) { return form().findChild<QAction*>(name); }
  QStringList captions() {
    QStringList shown;
    for (int i = 0; i < 6; ++i) shown << form().RdVal(i)->text();
    return shown;
  }
  void key(Qt::Key k, QWidget* to = nullptr) {
    QTest::keyClick(to ? to : QApplication::focusWidget(), k);
  }
  // A wheel step as the window system delivers it: spontaneous, to the text field under the
  // pointer, so that Qt's focus-on-wheel rules apply.
  void wheel(SelectionList* list, int angle) {
    QWidget* target = list->lineEdit();
    QWheelEvent event(QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, angle),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);
  }

 private slots:
  void initTestCase() { usePanelFont(); }  // as the program does
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
      QCOMPARE(w->geometry(), QRect(forms::pixels(c.left, 96), forms::pixels(c.top, 96),
                                    forms::pixels(c.width, 96), forms::pixels(c.height, 96)));
      QCOMPARE(w->parentWidget(),
               c.container.empty() ? form().centralWidget() : child(c.container));
      QCOMPARE(w->font().bold(), c.bold);
      QCOMPARE(w->font().pointSizeF(), 8.25);
      if (auto* label = qobject_cast<QLabel*>(w)) QCOMPARE(label->text(), q(c.text));
      if (auto* frame = qobject_cast<QGroupBox*>(w)) QCOMPARE(frame->title(), q(c.text));
      if (auto* list = qobject_cast<SelectionList*>(w)) {
        QCOMPARE(list->currentText(), q(c.text));
        QCOMPARE(list->currentIndex(), -1);
      }
    }
    QCOMPARE(form().cboir()->itemText(6), QString("Standby"));
    QCOMPARE(form().cboAC()->itemText(2), QString("Cap 2 - 100pF"));
    // What lies over a frame stays on top of it; Text1 lies below Frame1's visible area.
    QCOMPARE(form().centralWidget()->childAt(60, 220), child("cmdRead"));
    QVERIFY(!child("Frame1")->rect().intersects(form().Text1()->geometry()));
  }

  void focusOrderAndMenus() {
    QStringList order;
    for (int i = 0; i < 8; ++i, key(Qt::Key_Tab)) {
      QWidget* w = QApplication::focusWidget();  // a list's text field stands for its list
      order << (qobject_cast<QComboBox*>(w->parentWidget()) ? w->parentWidget() : w)->objectName();
    }
    QCOMPARE(order, QStringList({"cboir", "cboAC", "cboFSEL", "cboMIO", "cboComp", "chkStandby",
                                 "cmdRead", "Text1"}));
    QStringList titles;
    for (QAction* a : form().menuBar()->actions()) titles << a->text();
    QCOMPARE(titles, QStringList({"&File", "&Printer Port", "&Waveform", "&Help"}));
    QCOMPARE(action("MnuExit")->text() + action("MnuPrn")->text() + action("MnuAbout")->text(),
             QString("E&xitP&RN (3BCh)&About"));
    // The simulated port is at 378h. Its item does nothing; Waveform is switched off.
    QVERIFY(action("MnuLpt1")->isEnabled() && !action("MnuLpt2")->isEnabled());
    QVERIFY(!action("MnuPrn")->isEnabled() && !child<QMenu>("MnuWave")->menuAction()->isEnabled());
    action("MnuLpt1")->trigger();
    QVERIFY(bench->rig.take().empty());
    QTest::keyClick(&form(), Qt::Key_F, Qt::AltModifier);  // Alt+F, then X: Exit
    QVERIFY(QTest::qWaitFor([&] { return child<QMenu>("MnuFile")->isVisible(); }));
    QTest::keyClick(child<QMenu>("MnuFile"), Qt::Key_X);
    QVERIFY(QTest::qWaitFor([&] { return bench->quits == 1; }));
  }

  void onlyPicksRefresh() {
    // Typing, deleting, pasting, moving the focus and hiding pick nothing.
    QApplication::clipboard()->setText("400uA");
    for (SelectionList* list : {form().cboir(), form().cboFSEL()}) {
      list->setFocus();
      QTest::keyClicks(list->lineEdit(), "9a x");
      for (Qt::Key k : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Home, Qt::Key_Delete,
                        Qt::Key_Return, Qt::Key_Enter})
        key(k, list->lineEdit());
      QTest::keySequence(list->lineEdit(), QKeySequence::Paste);
      QTest::keySequence(list->lineEdit(), QKeySequence::Cut);
      QTest::keyClick(list->lineEdit(), Qt::Key_Insert, Qt::ShiftModifier);
      list->hide();
      list->show();
      form().Text1()->setFocus();
      wheel(list, -120);  // no focus: the wheel leaves the list alone
      QApplication::processEvents();
      QCOMPARE(list->currentText(), list->itemText(0));
      QCOMPARE(list->currentIndex(), -1);
    }
    QVERIFY(form().Text1()->hasFocus());
    QVERIFY(bench->rig.take().empty());

    // Read before any pick sends the all-zero settings and shows the flags.
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    QCOMPARE(captions(), QStringList({"1", "0", "0", "0", "0", "1"}));
    QCOMPARE(form().Text1()->text(), QString("33"));
    // A click on an item of the open list.
    SelectionList* list = form().cboir();
    list->showPopup();
    QAbstractItemView* view = list->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(2, 0)).center());
    // One refresh per arrow step and per wheel notch with focus; nothing beyond either end.
    form().cboAC()->setFocus();
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down})
      key(k, form().cboAC()->lineEdit());
    for (int angle : {120, 60, 60}) wheel(form().cboAC(), angle);
    // The Standby box drives the standby line; greyed counts as off.
    QTest::mouseClick(child<QCheckBox>("chkStandby"), Qt::LeftButton);
    child<QCheckBox>("chkStandby")->setCheckState(Qt::PartiallyChecked);
    form().chkStandby_Click();
    const std::vector<std::string> sent{"0x00", "0x02", "0x02", "0x42", "0x82",
                                        "0x42", "0x02", "0x02", "0x02"};
    // A refresh writes 29 bytes; its 6th is the first pulse's data, with the standby bit.
    const auto& out = bench->library.outValues;
    QCOMPARE(out.at(out.size() - 29 - 24), 0x05);
    QCOMPARE(out.at(out.size() - 24), 0x04);
    QVERIFY(bench->rig.latched() == sent);
  }

  void aboutErrorsAndExitEndTraffic() {
    QString seen;
    whenModalOpens([&seen](QWidget* modal) {
      seen = modal->windowTitle();
      QVERIFY(qobject_cast<frmAbout*>(modal) && !modal->parentWidget());
      QTest::keyClick(modal, Qt::Key_Escape);
    });
    action("MnuAbout")->trigger();
    QCOMPARE(seen, QString("About VX3340 Evaluation Software"));
    bench->library.failing = true;
    key(Qt::Key_Down, form().cboMIO()->lineEdit());
    QVERIFY(form().pendingError());
    QCOMPARE(bench->quits, 1);
    bench->library.failing = false;
    QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton);
    action("MnuExit")->trigger();
    form().close();
    QApplication::processEvents();
    QVERIFY(bench->rig.take().empty());
    QCOMPARE(captions(), QStringList({"0", "0", "0", "0", "0", "0"}));
    QCOMPARE(bench->quits, 2);
  }

  void aboutDialog() {
    frmAbout dialog(bench->about);
    QCOMPARE(dialog.windowTitle(), QString("About VX3340 Evaluation Software"));
    QCOMPARE(dialog.size(), QSize(381, 206));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    for (const forms::Control& c : forms::kAbout) {
      if (c.kind != forms::Kind::Label) continue;
      auto* label = dialog.findChild<QLabel*>(q(c.name));
      QVERIFY(label->font().bold() && (label->alignment() & Qt::AlignHCenter));
      QCOMPARE(label->text(), c.name == "lblVersion" ? QString("Version 1.2.0") : q(c.text));
    }
    QCOMPARE(dialog.findChild<QPushButton*>("cmdSysInfo")->text(), QString("&System Info..."));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.move(3, 4);
    dialog.Form_Load();  // each load centres it, wherever it was
    const QPoint off =
        dialog.frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
    QVERIFY(std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1);
    auto* ok = dialog.findChild<QPushButton*>("cmdOK");
    QVERIFY(ok->isDefault() && QApplication::focusWidget() == ok);
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QVERIFY(bench->messages.shown.back() ==
            (Message{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}}));
    ok->setFocus();
    QTest::keyClick(&dialog, Qt::Key_Return);
    QVERIFY(!dialog.isVisible());
  }

  void messageBoxes() {
    // The status text as start-up builds it, its lines joined by a lone CR, shows on two lines;
    // markup shows as typed.
    auto status = makeMessageBox(
        {statusText("Windows 98", 0x378), "Show Status", MessageIcon::Information, {}});
    QCOMPARE(status->text() + status->windowTitle(),
             QString("Windows Version:Windows 98\nPort Address:0x378Show Status"));
    QCOMPARE(status->icon(), QMessageBox::Information);
    auto plain = makeMessageBox({"<b>x</b>", "", MessageIcon::Critical, "Load it."});
    QCOMPARE(plain->windowTitle() + plain->detailedText(), QString("VX3340Load it."));
    QVERIFY(plain->textFormat() == Qt::PlainText && plain->icon() == QMessageBox::Critical);
    QString seen;
    whenModalOpens([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box && box->isModal());
      seen = box->text();
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    QtMessages().show({"a\r\nb\r", "VX3340", MessageIcon::None, {}});
    QCOMPARE(seen, QString("a\nb\n"));
  }

  // Bold text is drawn bold, judged from the pixels: the same text in a bold control and in a
  // regular one of the same kind has clearly more ink, over the same rows. On the bitmap panel
  // font, which has no bold face, the extra ink comes from overstriking.
  void boldTextIsDrawnBold() {
    if (QFile::exists(kWinePanelFontFile)) {
      QCOMPARE(panelFontFamily(), QString(kPanelFontFamily));
      QVERIFY(panelFontLacksBold());
    }
    const auto field = [](SelectionList* list, const QString& text) {
      list->lineEdit()->setText(text);
      return list->lineEdit()->grab().toImage();
    };
    const auto item = [](SelectionList* list, const QString& text) {
      list->setItemText(0, text);
      list->showPopup();
      QAbstractItemView* view = list->view();
      if (!QTest::qWaitForWindowExposed(view->window())) return QImage();
      const QImage image =
          view->viewport()->grab(view->visualRect(view->model()->index(0, 0))).toImage();
      list->hidePopup();
      return image;
    };
    const auto label = [](bool bold) {
      QLabel label("Force/Sense Current Range");
      label.setFont(QFont(kPanelFontFamily, 8, bold ? QFont::Bold : QFont::Normal));
      label.resize(200, 20);
      return label.grab().toImage();
    };
    SelectionList* regular = form().cboFSEL();
    const struct {
      const char* what;
      std::function<QImage()> bold, regular;
    } cases[] = {
        {"closed cboir", [&] { return field(form().cboir(), "4uA"); },
         [&] { return field(regular, "4uA"); }},
        {"open cboAC", [&] { return item(form().cboAC(), "Cap 0 - 3000pF"); },
         [&] { return item(regular, "Cap 0 - 3000pF"); }},
        {"label", [&] { return label(true); }, [&] { return label(false); }},
    };
    for (const auto& c : cases) {
      const Ink bold = ink(c.bold()), plain = ink(c.regular());
      QVERIFY2(plain.pixels > 0 && bold.pixels > plain.pixels * 5 / 4, c.what);
      QVERIFY2(bold.top == plain.top && bold.bottom == plain.bottom, c.what);
    }
  }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
