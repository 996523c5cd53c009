#include "qt/SelectionList.h"

#include <QApplication>
#include <QItemDelegate>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QPainter>
#include <QStyleOptionFrame>
#include <QWheelEvent>
#include <algorithm>

namespace vx {

namespace {

// One notch of a classic mouse wheel, in eighths of a degree.
constexpr int kWheelStep = 120;

// Keys that would edit text. The field is read-only; the ones it passes on to the list are
// dropped here, as the list's key-press hook cancels every typed character.
bool editsText(const QKeyEvent& key) {
  if (key.matches(QKeySequence::Paste) || key.matches(QKeySequence::Cut) ||
      key.matches(QKeySequence::Undo) || key.matches(QKeySequence::Redo) ||
      key.matches(QKeySequence::Delete) || key.matches(QKeySequence::Backspace) ||
      key.matches(QKeySequence::DeleteStartOfWord) || key.matches(QKeySequence::DeleteEndOfWord) ||
      key.matches(QKeySequence::DeleteEndOfLine) || key.matches(QKeySequence::DeleteCompleteLine))
    return true;
  switch (key.key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
      return false;  // focus moves and dialog keys stay with Qt
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return true;
    default:
      return !key.text().isEmpty();  // a character
  }
}

// The list's read-only text field. It draws its text through the style, as labels and frame
// captions are drawn, so that bold panel text is overstruck where the panel font has no bold
// face. The text sits where QLineEdit puts it: in the contents rectangle, 2 pixels in from the
// left, centred vertically. The field never scrolls: every item fits.
class Field : public QLineEdit {
 public:
  using QLineEdit::QLineEdit;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    QStyleOptionFrame panel;
    initStyleOption(&panel);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &panel, &painter, this);
    const QRect contents = style()
                               ->subElementRect(QStyle::SE_LineEditContents, &panel, this)
                               .marginsRemoved(textMargins());
    const QFontMetrics metrics = fontMetrics();
    const int height = std::max(metrics.height(), metrics.boundingRect(text()).height());
    const QRect line(contents.x() + 2, contents.y() + (contents.height() - height + 1) / 2,
                     contents.width() - 4, height);
    painter.setClipRect(contents);
    const auto draw = [&](QPalette::ColorRole role) {
      style()->drawItemText(&painter, line, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                            palette(), isEnabled(), text(), role);
    };
    draw(QPalette::Text);
    if (!hasSelectedText()) return;
    const int from = metrics.horizontalAdvance(text().left(selectionStart()));
    const QRect selected(line.x() + from, line.y(), metrics.horizontalAdvance(selectedText()) + 1,
                         height);
    painter.fillRect(selected, palette().highlight());
    painter.setClipRect(selected & contents);
    draw(QPalette::HighlightedText);
  }
};

// The open list's items, their text drawn through the style like the field's.
class Items : public QItemDelegate {
 public:
  using QItemDelegate::QItemDelegate;

 protected:
  void drawDisplay(QPainter* painter, const QStyleOptionViewItem& option, const QRect& rect,
                   const QString& text) const override {
    QItemDelegate::drawDisplay(painter, option, rect, {});  // the selection's background
    const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
    const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, option.widget) + 1;
    painter->save();
    painter->setFont(option.font);
    style->drawItemText(
        painter, rect.adjusted(margin, 0, -margin, 0),
        static_cast<int>(option.displayAlignment | Qt::TextSingleLine), option.palette,
        option.state & QStyle::State_Enabled, text,
        option.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text);
    painter->restore();
  }
};

}  // namespace

SelectionList::SelectionList(QWidget* parent) : QComboBox(parent) {
  auto* field = new Field(this);
  field->setPalette(palette());
  setLineEdit(field);
  setItemDelegate(new Items(this));
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  // Click and Tab focus only: with wheel focus, a scroll over the list would first give it focus
  // and then count as a pick.
  setFocusPolicy(Qt::StrongFocus);
  field->setReadOnly(true);
  field->setFocusPolicy(Qt::StrongFocus);
  field->setAcceptDrops(false);
  cutLineEditConnections();
  connect(this, &QComboBox::activated, this, &SelectionList::picked);
}

void SelectionList::cutLineEditConnections() {
  // QComboBox selects the item that matches the field's text, and reports it as activated, when
  // the field finishes editing (focus-out, hide) or sees Return. Before the first pick the text
  // matches item 0 while nothing is selected, so those paths would make a pick of their own.
  QLineEdit* field = lineEdit();
  disconnect(field, &QLineEdit::editingFinished, this, nullptr);
  disconnect(field, &QLineEdit::returnPressed, this, nullptr);
}

void SelectionList::setItems(const QStringList& items) {
  clear();
  addItems(items);
  setCurrentIndex(-1);
  lineEdit()->setText(items.value(0));
  wheelRemainder_ = 0;
}

void SelectionList::keyPressEvent(QKeyEvent* event) {
  const bool alt = event->modifiers() & Qt::AltModifier;
  switch (event->key()) {
    case Qt::Key_Up:
      if (alt) {
        showPopup();
      } else {
        step(-1);
      }
      event->accept();
      return;
    case Qt::Key_Down:
      if (alt) {
        showPopup();
      } else {
        step(+1);
      }
      event->accept();
      return;
    case Qt::Key_F4:
      showPopup();
      event->accept();
      return;
    default:
      if (editsText(*event)) {
        event->accept();
        return;
      }
      QComboBox::keyPressEvent(event);
  }
}

void SelectionList::wheelEvent(QWheelEvent* event) {
  if (!hasFocus()) {
    wheelRemainder_ = 0;
    event->ignore();
    return;
  }
  wheelRemainder_ += event->angleDelta().y();
  while (wheelRemainder_ >= kWheelStep) {
    wheelRemainder_ -= kWheelStep;
    step(-1);
  }
  while (wheelRemainder_ <= -kWheelStep) {
    wheelRemainder_ += kWheelStep;
    step(+1);
  }
  event->accept();
}

void SelectionList::step(int direction) {
  const int next = currentIndex() + direction;
  if (next < 0 || next >= count() || next == currentIndex()) return;
  setCurrentIndex(next);
  emit picked(next);
}

}  // namespace vx
