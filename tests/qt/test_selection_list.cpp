// The drop-down list's rules on its own: what picks, and what must not.
#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QVBoxLayout>
#include <QWheelEvent>

#include "qt/SelectionList.h"

using vx::SelectionList;

class SelectionListTest : public QObject {
  Q_OBJECT

  std::unique_ptr<QWidget> window;
  SelectionList* list = nullptr;
  QLineEdit* other = nullptr;
  std::unique_ptr<QSignalSpy> picks;

  QList<int> picked() {
    QList<int> indexes;
    for (const auto& args : *picks) indexes << args.at(0).toInt();
    return indexes;
  }
  void focus(QWidget* w) {
    w->setFocus();
    QVERIFY(QTest::qWaitFor([w] { return w->hasFocus(); }));
  }
  // A wheel step as the window system delivers it: spontaneous, to the text field under the
  // pointer, so that Qt's focus-on-wheel rules apply.
  void wheel(int angle) {
    QWidget* target = list->lineEdit();
    const QPointF local(5, 5);
    QWheelEvent event(local, target->mapToGlobal(local), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);
  }

 private slots:
  void init() {
    window = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(list = new SelectionList);
    layout->addWidget(other = new QLineEdit);
    list->setItems({"4uA", "40uA", "400uA"});
    picks = std::make_unique<QSignalSpy>(list, &SelectionList::picked);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
  }
  void cleanup() {
    picks.reset();
    window.reset();
  }

  void nothingButAPickPicks() {
    QVERIFY(list->lineEdit()->isReadOnly());
    focus(list);
    focus(other);
    focus(list);
    QApplication::clipboard()->setText("400uA");
    QTest::keyClicks(list->lineEdit(), "40mA x9");
    for (Qt::Key key : {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Home, Qt::Key_Delete,
                        Qt::Key_Return, Qt::Key_Enter})
      QTest::keyClick(list->lineEdit(), key);
    QTest::keySequence(list->lineEdit(), QKeySequence::Paste);
    QTest::keySequence(list->lineEdit(), QKeySequence::Cut);
    QTest::keyClick(list->lineEdit(), Qt::Key_Insert, Qt::ShiftModifier);
    list->hide();
    list->show();
    focus(other);
    wheel(-120);  // without focus the wheel leaves the list alone, and moves no focus
    QVERIFY(other->hasFocus());
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->currentText(), QString("4uA"));
    QCOMPARE(picks->count(), 0);
  }

  void arrowsAndWheelPickOneItemPerStep() {
    focus(list);
    for (Qt::Key key :
         {Qt::Key_Up, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up})
      QTest::keyClick(list->lineEdit(), key);
    QCOMPARE(picked(), (QList<int>{0, 1, 2, 1}));  // nothing beyond either end
    QCOMPARE(list->currentText(), QString("40uA"));
    for (int angle : {120, -60, -60, -120}) wheel(angle);  // half notches add up
    QCOMPARE(picked(), (QList<int>{0, 1, 2, 1, 0, 1, 2}));
  }

  void mousePickInTheOpenListIsOnePick() {
    list->showPopup();
    QAbstractItemView* view = list->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(view->model()->index(2, 0)).center());
    QVERIFY(QTest::qWaitFor([&] { return !view->isVisible(); }));
    QCOMPARE(picked(), QList<int>{2});
    QCOMPARE(list->currentText(), QString("400uA"));
  }
};

QTEST_MAIN(SelectionListTest)
#include "test_selection_list.moc"
