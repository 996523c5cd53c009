#include "windows/WinMessageBox.h"

#include <windows.h>

namespace vx {

unsigned messageBoxStyle(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation:
      return MB_OK | MB_ICONEXCLAMATION;
    case MessageIcon::Information:
      return MB_OK | MB_ICONINFORMATION;
    case MessageIcon::Critical:
      return MB_OK | MB_ICONSTOP;
    case MessageIcon::None:
      break;
  }
  return MB_OK;
}

std::string messageBoxText(const Message& message) {
  if (message.details.empty()) return message.text;
  return message.text + "\r\n\r\n" + message.details;
}

void WinMessageBox::show(const Message& message) {
  // Without an owner the box is modal for the whole program, as the window's own boxes are.
  const UINT modality = owner_ ? MB_APPLMODAL : MB_TASKMODAL;
  MessageBoxA(static_cast<HWND>(owner_), messageBoxText(message).c_str(), message.title.c_str(),
              messageBoxStyle(message.icon) | modality | MB_SETFOREGROUND);
}

}  // namespace vx
