#pragma once

#include <QComboBox>
#include <QStringList>

namespace vx {

// One of the front panel's drop-down lists: a combo box with a text field that the user cannot
// type into. Until the first pick it shows its first item's text with no item selected (list
// index -1).
//
// picked(index) is emitted once for each pick: a click on an item of the open list, one arrow
// key step, or one wheel step while the list has keyboard focus. Nothing else picks: typed
// characters, Backspace, Delete and pastes are dropped, and Qt's own line-edit handling, which
// would select the item matching the text on focus-out or Return, is cut off. A wheel step over
// a list without keyboard focus leaves it alone, so a stray scroll cannot switch the chip's mode.
class SelectionList : public QComboBox {
  Q_OBJECT

 public:
  explicit SelectionList(QWidget* parent = nullptr);

  // Replaces the items and returns to the unpicked state.
  void setItems(const QStringList& items);

 signals:
  void picked(int index);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  // Moves one item up (-1) or down (+1) and reports the pick; does nothing at either end.
  void step(int direction);
  void cutLineEditConnections();

  int wheelRemainder_ = 0;
};

}  // namespace vx
