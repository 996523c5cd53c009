#pragma once

#include <QMessageBox>
#include <QString>
#include <memory>
#include <string_view>

#include "startup/Messages.h"

namespace vx {

// The text as the box shows it: a lone carriage return, which start-up's status message uses
// between its two lines, becomes a line feed. Qt's labels do not break lines at a lone CR.
QString displayText(std::string_view text);

// Builds the modal box for a message: its text, its title (the program title when it names
// none), its icon, an OK button, and the details as the box's detailed text.
std::unique_ptr<QMessageBox> makeMessageBox(const Message& message, QWidget* parent = nullptr);

// Messages as modal message boxes. Each show() returns when the user has pressed OK.
class QtMessages : public Messages {
 public:
  explicit QtMessages(QWidget* parent = nullptr) : parent_(parent) {}
  void show(const Message& message) override;

 private:
  QWidget* parent_;
};

}  // namespace vx
