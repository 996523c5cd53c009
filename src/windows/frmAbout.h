#pragma once

// Windows only: the About dialog on the Win32 API.

#include <windows.h>

#include <memory>

#include "sysinfo/SysInfo.h"
#include "windows/FormWindows.h"

namespace vx::win {

// The About dialog: program, version and maker, and the System Info button. Each opening is a
// new dialog, so the version text and the centring are set afresh every time. OK is the default
// button and the cancel button; the close box acts as OK.
class frmAbout {
 public:
  // Creates the dialog, hidden, and runs its load step.
  explicit frmAbout(AboutServices services);
  ~frmAbout();
  frmAbout(const frmAbout&) = delete;
  frmAbout& operator=(const frmAbout&) = delete;

  HWND hwnd() const { return hwnd_; }
  HWND control(std::string_view name) const { return (*controls_)[name]; }
  bool isOpen() const { return hwnd_ != nullptr; }

  // The load step: the version text, then centring on the screen.
  void Form_Load();
  // Shows the dialog and handles its messages until it is unloaded. The program's other window,
  // blocked, takes no input meanwhile. A WM_QUIT that arrives is left for the caller's loop.
  void showModal(HWND blocked);
  // Handles the dialog keys of one message: Tab, Enter, Esc and access keys. True when taken.
  bool translateKey(MSG& msg);

  void cmdOK_Click();
  void cmdSysInfo_Click();

 private:
  static LRESULT CALLBACK windowProc(HWND, UINT, WPARAM, LPARAM);

  AboutServices services_;
  int dpi_;
  PanelFonts fonts_;
  HWND hwnd_ = nullptr;
  std::unique_ptr<FormWindows> controls_;
};

}  // namespace vx::win
