#pragma once

// Windows only: the About dialog on the Win32 API.

#include <windows.h>

#include "sysinfo/SysInfo.h"
#include "windows/FormWindows.h"

namespace vx::win {

// The About dialog: program, version and maker, and the System Info button. Each opening is a
// new dialog, so the version text and the centring are set afresh every time. OK is the default
// button and the cancel button; the close box acts as OK.
class frmAbout : public Form {
 public:
  // Creates the dialog, hidden, and runs its load step.
  explicit frmAbout(AboutServices services);

  bool isOpen() const { return hwnd() != nullptr; }

  // The load step: the version text, then centring on the screen.
  void Form_Load();
  // Shows the dialog and handles its messages until it is unloaded. The program's other window,
  // blocked, takes no input meanwhile. A WM_QUIT that arrives is left for the caller's loop.
  void showModal(HWND blocked);
  // Handles the dialog keys of one message: Tab, Enter, Esc and access keys. True when taken.
  bool translateKey(MSG& msg) override;

  void cmdOK_Click();
  void cmdSysInfo_Click();

 private:
  bool done() const override { return !isOpen(); }
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;

  AboutServices services_;
};

}  // namespace vx::win
