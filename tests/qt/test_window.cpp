// The Qt window, its lists, the About dialog, message boxes and the panel font, offscreen, on the
// simulated board with every port access traced.
#include <QtTest>
#include <QtWidgets>

#include "forms/Forms.h"
#include "qt/MainForm.h"
#include "qt/PanelFont.h"
#include "qt/QtMessages.h"
#include "qt/SelectionList.h"
#include "qt/frmAbout.h"
#include "support/Support.h"

using namespace vx;

class WindowTest : public QObject {
  Q_OBJECT

  // The window, after start-up, over a port that reads flag byte 0x21, CPOH and QM5.
  test::WindowRig rig;
  std::optional<MainForm> window;  // made once the panel font is in use

  static QString q(std::string_view text) { return QString::fromUtf8(text); }
  static std::string s(const QString& text) { return text.toStdString(); }
  MainForm& form() { return *window; }
  template <class T = QWidget>
  T* child(std::string_view name) {  // "RdVal(0)" is the widget RdVal_0
    return form().findChild<T*>(q(name).replace('(', '_').remove(')'));
  }
  void key(Qt::Key k, QWidget* to = nullptr, Qt::KeyboardModifiers m = {}) {
    QTest::keyClick(to ? to : QApplication::focusWidget(), k, m);
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

  // A session's transcript: after each step, the port accesses it made, and for each refresh
  // among them the control word and the data of its first pulse (the standby bit is 0x01),
  // the flag captions and Text1, each list's index and text, the focus, the quits, and a note.
  QStringList transcript;
  std::string note;
  void step(const char* what, const std::function<void()>& act) {
    act();
    QApplication::processEvents();
    const auto trace = rig.traced.take();
    std::string line = fmt::format("{}: {} accesses", what, trace.size());
    for (std::size_t i = 0; i + 7 < trace.size(); i += 36)
      line += " " + trace[i + 2].substr(14) + "/" + trace[i + 7].substr(14);
    for (int i = 0; QLabel* flag = form().RdVal(i); ++i)  // RdVal(0) to RdVal(5), then none
      line += (i ? " " : " | flags ") + s(flag->text());
    line += " Text1 " + s(form().Text1()->text()) + " |";
    for (auto* l : form().findChildren<SelectionList*>())
      line += fmt::format(" {}:{}", l->currentIndex(), s(l->currentText()));
    QWidget* focus = QApplication::focusWidget();  // a list's text field stands for its list
    if (focus && qobject_cast<QComboBox*>(focus->parentWidget())) focus = focus->parentWidget();
    transcript << q(fmt::format("{} | focus {} | quits {}{} {}", line,
                                focus ? s(focus->objectName()) : "none", rig.quits,
                                form().pendingError() ? " error" : "", std::exchange(note, {})));
  }
  // Notes the message box that opens next (title, text, details, icon, and whether it shows text
  // plain and is modal), then closes it with OK.
  void answerNextBox() {
    QTimer::singleShot(0, [this] {
      auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      note += fmt::format("[{}] [{}] [{}] icon {}{}{}", s(b->windowTitle()),
                          s(b->text().replace('\n', "\\n")), s(b->detailedText()), int(b->icon()),
                          b->textFormat() == Qt::PlainText ? " plain" : "",
                          b->isModal() ? " modal" : "");
      QTest::mouseClick(b->button(QMessageBox::Ok), Qt::LeftButton);
    });
  }
  // The dark pixels of a picture of text: how many, the first and last rows they fill, and the
  // first and last columns.
  static std::array<int, 5> ink(const QImage& image) {
    std::array<int, 5> found{0, -1, -1, image.width(), -1};
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        if (qGray(image.pixel(x, y)) < 128)
          found = {found[0] + 1, found[1] < 0 ? y : found[1], y, std::min(found[3], x),
                   std::max(found[4], x)};
    return found;
  }

 private slots:
  void initTestCase() {
    usePanelFont();  // as the program does
    window.emplace(rig.panel, rig.about, [this] { ++rig.quits; });
    rig.startUp(form().portMenu());
    form().show();
    QVERIFY(QTest::qWaitForWindowActive(&form()));
  }

  void designedForm() {
    QCOMPARE(form().centralWidget()->size(), QSize(485, 315));
    QVERIFY(form().minimumSize() == form().maximumSize() && !form().windowIcon().isNull());
    for (const forms::Control& c : forms::kMainForm) {
      if (c.kind == forms::Kind::Line) continue;
      QWidget* w = child(c.name);
      const auto px = [](int twips) { return forms::pixels(twips, 96); };
      QCOMPARE(
          std::tuple(w->geometry(), w->parentWidget(), w->font().bold(), w->font().pointSizeF()),
          std::tuple(QRect(px(c.left), px(c.top), px(c.width), px(c.height)),
                     c.container.empty() ? form().centralWidget() : child(c.container), c.bold,
                     8.25));
      if (auto* label = qobject_cast<QLabel*>(w)) QCOMPARE(label->text(), q(c.text));
      if (auto* frame = qobject_cast<QGroupBox*>(w)) QCOMPARE(frame->title(), q(c.text));
    }
    QCOMPARE(form().cboir()->itemText(6) + form().cboAC()->itemText(2), "StandbyCap 2 - 100pF");
    // What lies over a frame stays on top of it; Text1 lies below Frame1's visible area.
    QCOMPARE(form().centralWidget()->childAt(60, 220), child("cmdRead"));
    QVERIFY(!child("Frame1")->rect().intersects(form().Text1()->geometry()));
  }

  // Focus order, menus, and what sends: picks by arrow, wheel with focus and click, Read and
  // Standby do; typing, pasting, focus, hiding, the port menu, About and message boxes do not;
  // an error ends the program and, like Exit, everything that goes to the port.
  void session() {
    step("start", [] {});
    for (int i = 0; i < 7; ++i) step("Tab", [&] { key(Qt::Key_Tab); });
    step("menus", [&] {  // titles, and each item's text, "(off)" where it is greyed
      for (QAction* top : form().menuBar()->actions()) {
        note += s(top->text()) + (top->isEnabled() ? " [" : "(off) [");
        for (QAction* a : top->menu()->actions())
          note += s(a->text()) + (a->isEnabled() ? ";" : "(off);");
        note += "] ";
      }
    });
    step("LPT1", [&] { child<QAction>("MnuLpt1")->trigger(); });
    QApplication::clipboard()->setText("400uA");
    for (SelectionList* list : {form().cboir(), form().cboFSEL()}) {
      step("edit", [&] {
        list->setFocus();
        QTest::keyClicks(list->lineEdit(), "9a x");
        for (const char* keys :
             {"Backspace,Del,Home,Del", "Return,Enter,Ctrl+V,Ctrl+X", "Shift+Ins"})
          QTest::keySequence(list->lineEdit(), QKeySequence(keys));
      });
      step("hide/show", [&] { list->hide(), list->show(); });
      step("focus Text1", [&] { form().Text1()->setFocus(); });
      step("wheel", [&] { wheel(list, -120); });  // no focus: the wheel leaves the list alone
    }
    step("Read", [&] { QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton); });
    step("click item 2", [&] {
      form().cboir()->showPopup();
      QAbstractItemView* view = form().cboir()->view();
      QVERIFY(QTest::qWaitForWindowExposed(view->window()));
      QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                        view->visualRect(view->model()->index(2, 0)).center());
    });
    step("focus cboAC", [&] { form().cboAC()->setFocus(); });
    for (Qt::Key k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down})
      step(k == Qt::Key_Up ? "Up" : "Down", [&] { key(k, form().cboAC()->lineEdit()); });
    for (int angle : {120, 60, 60}) step("wheel", [&] { wheel(form().cboAC(), angle); });
    step("Standby", [&] { QTest::mouseClick(child<QCheckBox>("chkStandby"), Qt::LeftButton); });
    // The handlers by their own names, the Standby box's greyed (which counts as off).
    child<QCheckBox>("chkStandby")->setCheckState(Qt::PartiallyChecked);
    for (auto click : {&MainForm::chkStandby_Click, &MainForm::cboir_Click, &MainForm::cboAC_Click,
                       &MainForm::cboFSEL_Click, &MainForm::cboMIO_Click, &MainForm::cboComp_Click})
      step("handler", [&] { (form().*click)(); });
    step("Alt+F X", [&] {
      key(Qt::Key_F, &form(), Qt::AltModifier);
      QVERIFY(QTest::qWaitFor([&] { return child<QMenu>("MnuFile")->isVisible(); }));
      key(Qt::Key_X, child<QMenu>("MnuFile"));
    });
    // The About dialog, centred at each load, with OK the default and focused, its labels
    // ("plain" unless bold and centred), and what System Info shows.
    step("About", [&] {
      QTimer::singleShot(0, [&] {  // once the dialog is open
        auto* about = qobject_cast<frmAbout*>(QApplication::activeModalWidget());
        about->move(3, 4), about->Form_Load();  // each load centres it
        const QPoint off =
            about->frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
        QWidget* focus = about->focusWidget();
        note = fmt::format("[{}] {}x{} fixed {} owned {} centred {} focus {} default {}",
                           s(about->windowTitle()), about->width(), about->height(),
                           about->minimumSize() == about->maximumSize(), !!about->parentWidget(),
                           std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1, s(focus->objectName()),
                           focus->property("default").toBool());
        for (QLabel* l : about->findChildren<QLabel*>())
          note += fmt::format(" [{}]{}", s(l->text()),
                              l->font().bold() && l->alignment() & Qt::AlignHCenter ? "" : "plain");
        auto* sysInfo = about->findChild<QPushButton*>("cmdSysInfo");
        QTest::mouseClick(sysInfo, Qt::LeftButton);
        const Message& m = rig.messages.shown.back();
        note += fmt::format(" {}: [{}] [{}] {} [{}]", s(sysInfo->text()), m.text, m.title,
                            int(m.icon), m.details);
        key(Qt::Key_Return, about);
      });
      child<QAction>("MnuAbout")->trigger();
    });
    // Message boxes, shown modal: lines joined by CR LF or a lone CR show as lines; markup shows
    // as typed.
    step("boxes", [&] {
      for (const Message& m : {Message{"a\r\nb\r<b>x</b>", "", MessageIcon::Critical, "Load it."},
                               Message{"a", "Show Status", MessageIcon::Information, {}}}) {
        answerNextBox();
        QtMessages().show(m);
      }
    });
    // A USB adapter pulled out: a warning, the window goes on, and the next pick claims the port
    // again before its refresh.
    rig.panel.onReconnect([&] { reclaimPort(rig.traced.port()); });
    rig.library.gone = true;
    step("gone Down", [&] { answerNextBox(), key(Qt::Key_Down, form().cboComp()->lineEdit()); });
    rig.library.gone = false;
    step("Down", [&] { key(Qt::Key_Down, form().cboComp()->lineEdit()); });
    rig.library.failing = true;
    step("failing Down", [&] { key(Qt::Key_Down, form().cboMIO()->lineEdit()); });
    rig.library.failing = false;
    step("Read", [&] { QTest::mouseClick(child<QPushButton>("cmdRead"), Qt::LeftButton); });
    step("Exit", [&] { child<QAction>("MnuExit")->trigger(); });
    step("close", [&] { form().close(); });
    QStringList expected;
    for (const std::string& line : test::expected("qt-window.expected")) expected << q(line);
    QCOMPARE(transcript, expected);
  }

  // Bold text is drawn bold, judged from the pixels: the same text in a bold control and in a
  // regular one of the same kind has clearly more ink, over the same rows. On the bitmap panel
  // font, which has no bold face, the extra ink comes from overstriking.
  void boldTextIsDrawnBold() {
    if (QFile::exists(kWinePanelFontFile))
      QVERIFY(panelFontFamily() == kPanelFontFamily && panelFontLacksBold());
    const auto field = [](SelectionList* list) {
      list->lineEdit()->setText("4uA");
      return list->lineEdit()->grab().toImage();
    };
    const auto item = [](SelectionList* list) {
      list->setItemText(1, "Cap 0 - 3000pF");  // an item that is not the current one
      list->showPopup();
      QAbstractItemView* view = list->view();
      if (!QTest::qWaitForWindowExposed(view->window())) return QImage();
      return view->viewport()->grab(view->visualRect(view->model()->index(1, 0))).toImage();
    };
    const auto label = [](bool bold) {
      QLabel label("Force/Sense Current Range");
      label.setFont(QFont(kPanelFontFamily, 8, bold ? QFont::Bold : QFont::Normal));
      label.resize(200, 20);  // room on the right for the overstrike
      return label.grab().toImage();
    };
    const std::array<QImage, 2> cases[] = {{field(form().cboir()), field(form().cboFSEL())},
                                           {item(form().cboAC()), item(form().cboFSEL())},
                                           {label(true), label(false)}};
    for (const auto& [bold, regular] : cases) {
      const auto more = ink(bold), plain = ink(regular);
      QVERIFY(plain[0] > 0 && more[0] > plain[0] * 5 / 4 && more[1] == plain[1] &&
              more[2] == plain[2]);
      // Overstruck, the text is drawn again one pixel to the right.
      if (panelFontLacksBold()) QVERIFY(more[3] == plain[3] && more[4] == plain[4] + 1);
    }
  }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
