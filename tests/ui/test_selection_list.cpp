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

#include "ui/SelectionList.h"

using vx::SelectionList;

class SelectionListTest : public QObject {
  Q_OBJECT

  QWidget* window = nullptr;
  SelectionList* list = nullptr;
  QLineEdit* other = nullptr;
  std::unique_ptr<QSignalSpy> picks;

  // A wheel step as the window system delivers it: spontaneous, to the text field under the
  // pointer, so that Qt's focus-on-wheel rules apply.
  void wheel(int angle) {
    QWidget* target = list->lineEdit();
    const QPointF local(5, 5);
    QWheelEvent event(local, target->mapToGlobal(local), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&event);
    QApplication::instance()->notify(target, &event);  // as delivered, with propagation
  }

 private slots:
  void init() {
    window = new QWidget;
    auto* layout = new QVBoxLayout(window);
    list = new SelectionList;
    other = new QLineEdit;
    layout->addWidget(list);
    layout->addWidget(other);
    list->setItems({"4uA", "40uA", "400uA"});
    picks = std::make_unique<QSignalSpy>(list, &SelectionList::picked);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
  }
  void cleanup() {
    picks.reset();
    delete window;
  }

  void startsWithFirstTextAndNoSelection() {
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->currentText(), QString("4uA"));
    QVERIFY(list->lineEdit()->isReadOnly());
    QCOMPARE(list->insertPolicy(), QComboBox::NoInsert);
  }

  void unpickedStateSurvivesFocusReturnAndHiding() {
    list->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return list->hasFocus(); }));
    other->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return other->hasFocus(); }));
    list->setFocus();
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    QTest::keyClick(list->lineEdit(), Qt::Key_Enter);
    list->hide();
    list->show();
    window->hide();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    other->setFocus();
    QApplication::processEvents();
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(list->currentText(), QString("4uA"));
    QCOMPARE(picks->count(), 0);
  }

  void eachArrowStepIsOnePick() {
    list->setFocus();
    QTest::keyClick(list->lineEdit(), Qt::Key_Up);  // nothing above "no selection"
    QCOMPARE(picks->count(), 0);
    QTest::keyClick(list->lineEdit(), Qt::Key_Down);
    QTest::keyClick(list->lineEdit(), Qt::Key_Down);
    QTest::keyClick(list->lineEdit(), Qt::Key_Down);
    QTest::keyClick(list->lineEdit(), Qt::Key_Down);  // already at the last item
    QTest::keyClick(list->lineEdit(), Qt::Key_Up);
    QCOMPARE(picks->count(), 4);
    const QList<int> indexes{picks->at(0).at(0).toInt(), picks->at(1).at(0).toInt(),
                             picks->at(2).at(0).toInt(), picks->at(3).at(0).toInt()};
    QCOMPARE(indexes, (QList<int>{0, 1, 2, 1}));
    QCOMPARE(list->currentIndex(), 1);
    QCOMPARE(list->currentText(), QString("40uA"));
  }

  void typingDeletingAndPastingChangeNothing() {
    list->setFocus();
    QApplication::clipboard()->setText("400uA");
    QTest::keyClicks(list->lineEdit(), "40mA x9");
    QTest::keyClick(list->lineEdit(), Qt::Key_Backspace);
    QTest::keyClick(list->lineEdit(), Qt::Key_Delete);
    QTest::keyClick(list->lineEdit(), Qt::Key_Home);
    QTest::keyClick(list->lineEdit(), Qt::Key_Delete);
    QTest::keySequence(list->lineEdit(), QKeySequence::Paste);
    QTest::keySequence(list->lineEdit(), QKeySequence::Cut);
    QTest::keyClick(list->lineEdit(), Qt::Key_Insert, Qt::ShiftModifier);
    other->setFocus();
    QApplication::processEvents();
    QCOMPARE(list->currentText(), QString("4uA"));
    QCOMPARE(list->currentIndex(), -1);
    QCOMPARE(picks->count(), 0);
  }

  void mousePickInTheOpenListIsOnePick() {
    list->showPopup();
    QAbstractItemView* view = list->view();
    QVERIFY(QTest::qWaitForWindowExposed(view->window()));
    const QRect item = view->visualRect(view->model()->index(2, 0));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, item.center());
    QVERIFY(QTest::qWaitFor([&] { return !view->isVisible(); }));
    QCOMPARE(picks->count(), 1);
    QCOMPARE(picks->at(0).at(0).toInt(), 2);
    QCOMPARE(list->currentText(), QString("400uA"));
  }

  void wheelWithoutFocusLeavesTheListAlone() {
    other->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return other->hasFocus(); }));
    wheel(-120);
    wheel(-120);
    QCOMPARE(picks->count(), 0);
    QCOMPARE(list->currentIndex(), -1);
    QVERIFY(other->hasFocus());  // the scroll did not move the focus either
  }

  void wheelWithFocusPicksOneItemPerNotch() {
    list->setFocus();
    QVERIFY(QTest::qWaitFor([&] { return list->hasFocus(); }));
    wheel(-120);  // one notch towards the user: next item
    QCOMPARE(picks->count(), 1);
    QCOMPARE(list->currentIndex(), 0);
    wheel(-60);  // half a notch, as fine-grained wheels send it
    QCOMPARE(picks->count(), 1);
    wheel(-60);
    QCOMPARE(picks->count(), 2);
    QCOMPARE(list->currentIndex(), 1);
    wheel(120);
    QCOMPARE(picks->count(), 3);
    QCOMPARE(list->currentIndex(), 0);
  }
};

QTEST_MAIN(SelectionListTest)
#include "test_selection_list.moc"
