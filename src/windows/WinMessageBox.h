#pragma once

// Windows only: message boxes through MessageBoxA, without Qt.

#include <string>

#include "startup/Messages.h"

namespace vx {

// The MessageBoxA style for a message: an OK button and the message's icon.
unsigned messageBoxStyle(MessageIcon icon);
// The text a box shows: the message's own text, then its details after a blank line.
std::string messageBoxText(const Message& message);

// Modal Windows message boxes with an OK button, with the same texts, titles and icons as
// everywhere else. The owner window (an HWND) may be null.
class WinMessageBox : public Messages {
 public:
  explicit WinMessageBox(void* owner = nullptr) : owner_(owner) {}
  void show(const Message& message) override;

 private:
  void* owner_;
};

}  // namespace vx
