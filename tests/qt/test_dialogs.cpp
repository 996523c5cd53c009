// The About dialog and the message boxes, as the user sees them.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "UiTestSupport.h"
#include "forms/Forms.h"
#include "qt/QtMessages.h"
#include "qt/frmAbout.h"
#include "startup/Startup.h"

using namespace vx;

class DialogsTest : public QObject {
  Q_OBJECT

  test::RecordingMessages messages;
  NoRegistry registry;
  test::NoTools tools;
  AboutServices services{registry, tools, tools, messages};

 private slots:
  void aboutTextsAndPlace() {
    for (int opening = 0; opening < 2; ++opening) {
      frmAbout dialog(services);
      QCOMPARE(dialog.windowTitle(), QString("About VX3340 Evaluation Software"));
      QCOMPARE(dialog.size(), QSize(381, 206));
      QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
      for (const forms::Control& c : forms::kAbout) {
        if (c.kind != forms::Kind::Label) continue;
        auto* label = dialog.findChild<QLabel*>(QString::fromUtf8(c.name.data(), c.name.size()));
        QVERIFY(label && label->font().bold() && (label->alignment() & Qt::AlignHCenter));
        if (c.name != "lblVersion")
          QCOMPARE(label->text(), QString::fromUtf8(c.text.data(), c.text.size()));
      }
      QCOMPARE(dialog.findChild<QLabel*>("lblVersion")->text(), QString("Version 1.2.0"));
      QCOMPARE(dialog.findChild<QPushButton*>("cmdSysInfo")->text(), QString("&System Info..."));
      // Centred at every load, wherever the user left it.
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      const QPoint off =
          dialog.frameGeometry().center() - QGuiApplication::primaryScreen()->geometry().center();
      QVERIFY2(std::abs(off.x()) <= 1 && std::abs(off.y()) <= 1, "not centred");
      dialog.move(3, 4);
    }
  }

  void aboutButtons() {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      frmAbout dialog(services);
      auto* ok = dialog.findChild<QPushButton*>("cmdOK");
      QVERIFY(ok->isDefault());
      dialog.show();
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QCOMPARE(QApplication::focusWidget(), ok);
      if (key == Qt::Key_Return) {
        QTest::mouseClick(dialog.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
        QVERIFY(messages.shown.at(0) ==
                (Message{kSysInfoUnavailable, "VX3340", MessageIcon::None, {}}));
        QVERIFY(dialog.isVisible());  // the dialog stays open
        ok->setFocus();
      }
      QTest::keyClick(&dialog, key);
      QVERIFY(!dialog.isVisible());
    }
  }

  void messageBoxes() {
    // The status text as start-up builds it, its lines joined by a lone CR, shows on two lines.
    auto status = makeMessageBox(
        {statusText("Windows 98", 0x378), "Show Status", MessageIcon::Information, {}});
    QCOMPARE(status->text(), QString("Windows Version:Windows 98\nPort Address:0x378"));
    QCOMPARE(status->icon(), QMessageBox::Information);
    QCOMPARE(displayText("a\r\nb\r"), QString("a\nb\n"));
    auto plain = makeMessageBox({"<b>claim parallel port failed</b>", "", MessageIcon::None, {}});
    QCOMPARE(plain->windowTitle(), QString("VX3340"));
    QCOMPARE(plain->icon(), QMessageBox::NoIcon);
    QCOMPARE(plain->textFormat(), Qt::PlainText);
    QCOMPARE(plain->standardButtons(), QMessageBox::Ok);
    auto warning = makeMessageBox({"This PC does not appear to have a Printer Port",
                                   "GetPortAddress Error", MessageIcon::Exclamation, "Load it."});
    QCOMPARE(warning->icon(), QMessageBox::Warning);
    QCOMPARE(warning->detailedText(), QString("Load it."));
    QCOMPARE(makeMessageBox({"x", "", MessageIcon::Critical, {}})->icon(), QMessageBox::Critical);

    QtMessages boxes;
    QString seen;
    test::whenModalOpens([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box && box->isModal());
      seen = box->text();
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    boxes.show({"claim parallel port failed", "VX3340", MessageIcon::None, {}});
    QCOMPARE(seen, QString("claim parallel port failed"));
  }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
