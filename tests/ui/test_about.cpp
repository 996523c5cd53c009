// The About dialog: its texts, placement, buttons and the System Info button.
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/frmAbout.h"

using namespace vx;
using namespace vx::test;

class AboutTest : public QObject {
  Q_OBJECT

  RecordingMessages messages;
  NoRegistry registry;
  NoFiles files;
  NoLaunch launcher;
  AboutServices services{registry, files, launcher, messages};

  static QString label(frmAbout& dialog, const char* name) {
    return dialog.findChild<QLabel*>(name)->text();
  }
  static QPoint screenCentre() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    return {screen.x() + screen.width() / 2, screen.y() + screen.height() / 2};
  }
  static void verifyCentred(QWidget& dialog) {
    const QRect frame = dialog.frameGeometry();
    const QPoint offset = frame.center() - screenCentre();
    QVERIFY2(std::abs(offset.x()) <= 1 && std::abs(offset.y()) <= 1,
             qPrintable(QString("off centre by %1,%2").arg(offset.x()).arg(offset.y())));
  }

 private slots:
  void init() { messages.shown.clear(); }

  void textsAndVersion() {
    frmAbout dialog(services);
    QCOMPARE(dialog.windowTitle(), QString("About VX3340 Evaluation Software"));
    QCOMPARE(label(dialog, "lblTitle"), QString("VX3340 Evaluation Board Software"));
    QCOMPARE(label(dialog, "lblVersion"), QString("Version 1.2.0"));
    QCOMPARE(label(dialog, "lblDescription"), QString("Hardware and Software designed by the"));
    QCOMPARE(label(dialog, "Label1"), QString("Tovern Applications Group"));
    QCOMPARE(label(dialog, "Label2"), QString("The Latest version of all Quendrel Software"));
    QCOMPARE(label(dialog, "Label3"), QString("is available from our website"));
    QVERIFY(!label(dialog, "Label4").isEmpty());
    for (QLabel* l : dialog.findChildren<QLabel*>()) {
      if (l->objectName() == "picIcon") continue;
      QVERIFY(l->alignment() & Qt::AlignHCenter);
      QVERIFY(l->font().bold());
    }
    QCOMPARE(dialog.findChild<QPushButton*>("cmdSysInfo")->text(), QString("&System Info..."));
    QCOMPARE(dialog.size(), QSize(381, 206));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
  }

  void centredAtEveryLoad() {
    for (int opening = 0; opening < 2; ++opening) {
      frmAbout dialog(services);
      dialog.show();
      QVERIFY(QTest::qWaitForWindowExposed(&dialog));
      verifyCentred(dialog);
      dialog.move(3, 4);  // the user drags it away; the next load centres it again
      QApplication::processEvents();
    }
  }

  void okIsDefaultCancelAndFocused() {
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
      frmAbout dialog(services);
      auto* ok = dialog.findChild<QPushButton*>("cmdOK");
      QVERIFY(ok->isDefault());
      dialog.show();
      QVERIFY(QTest::qWaitForWindowActive(&dialog));
      QCOMPARE(QApplication::focusWidget(), ok);
      QTest::keyClick(&dialog, key);
      QVERIFY(!dialog.isVisible());
    }
  }

  void systemInfoWithoutRegistryIsUnavailable() {
    frmAbout dialog(services);
    dialog.show();
    QTest::mouseClick(dialog.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    QCOMPARE(messages.shown.size(), std::size_t{1});
    QCOMPARE(messages.shown[0].text, std::string("System Information Is Unavailable At This Time"));
    QCOMPARE(messages.shown[0].title, std::string("VX3340"));
    QVERIFY(messages.shown[0].icon == MessageIcon::None);
    QVERIFY(dialog.isVisible());  // the dialog stays open
  }
};

QTEST_MAIN(AboutTest)
#include "test_about.moc"
