// Message boxes: what start-up and the window say, as the user sees it.
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "ui/QtMessages.h"

using namespace vx;
using namespace vx::test;

class MessagesTest : public QObject {
  Q_OBJECT

  static QLabel* textLabel(QMessageBox& box) { return box.findChild<QLabel*>("qt_msgbox_label"); }

 private slots:
  void statusTextShowsOnTwoLines() {
    // The status text exactly as start-up builds it: its lines joined by a lone CR.
    const std::string status = statusText("Windows 98", 0x378);
    QVERIFY(status.find('\r') != std::string::npos);
    auto box = makeMessageBox({status, "Show Status", MessageIcon::Information, {}});
    QCOMPARE(box->text(), QString("Windows Version:Windows 98\nPort Address:0x378"));
    box->show();
    QVERIFY(QTest::qWaitForWindowExposed(box.get()));
    QLabel* label = textLabel(*box);
    QVERIFY(label);
    const int lineHeight = label->fontMetrics().height();
    QVERIFY2(
        label->height() >= 2 * lineHeight && label->height() < 3 * lineHeight,
        qPrintable(QString("label %1 px high, line %2 px").arg(label->height()).arg(lineHeight)));
  }

  void lineBreaksForDisplay() {
    QCOMPARE(displayText("a\rb"), QString("a\nb"));
    QCOMPARE(displayText("a\r\nb"), QString("a\nb"));
    QCOMPARE(displayText("a\nb\r"), QString("a\nb\n"));
    QCOMPARE(displayText("plain"), QString("plain"));
  }

  void titleIconAndDetails() {
    auto plain = makeMessageBox({"claim parallel port failed", "", MessageIcon::None, {}});
    QCOMPARE(plain->windowTitle(), QString("VX3340"));
    QCOMPARE(plain->icon(), QMessageBox::NoIcon);
    QVERIFY(plain->detailedText().isEmpty());
    QCOMPARE(plain->standardButtons(), QMessageBox::Ok);

    auto warning = makeMessageBox({"This PC does not appear to have a Printer Port",
                                   "GetPortAddress Error", MessageIcon::Exclamation,
                                   "No parallel port was found.\nRun with --simulate."});
    QCOMPARE(warning->windowTitle(), QString("GetPortAddress Error"));
    QCOMPARE(warning->icon(), QMessageBox::Warning);
    QCOMPARE(warning->text(), QString("This PC does not appear to have a Printer Port"));
    QCOMPARE(warning->detailedText(), QString("No parallel port was found.\nRun with --simulate."));

    QCOMPARE(makeMessageBox({"x", "Show Status", MessageIcon::Information, {}})->icon(),
             QMessageBox::Information);
    QCOMPARE(makeMessageBox({"x", "VX3340", MessageIcon::Critical, {}})->icon(),
             QMessageBox::Critical);
    // Text is shown as it is, never as markup.
    QCOMPARE(makeMessageBox({"<b>x</b>", "", MessageIcon::None, {}})->textFormat(), Qt::PlainText);
  }

  void showIsModalAndReturnsOnOk() {
    QtMessages messages;
    QString seenText;
    bool modal = false;
    whenModalOpens([&](QWidget* w) {
      auto* box = qobject_cast<QMessageBox*>(w);
      QVERIFY(box);
      seenText = box->text();
      modal = box->isModal();
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    messages.show({"claim parallel port failed", "VX3340", MessageIcon::None, {}});
    QCOMPARE(seenText, QString("claim parallel port failed"));
    QVERIFY(modal);
  }
};

QTEST_MAIN(MessagesTest)
#include "test_messages.moc"
