#pragma once

// Windows only: the front panel window on the Win32 API.

#include <windows.h>

#include <array>
#include <exception>
#include <functional>
#include <memory>
#include <string>

#include "app/GuiApp.h"
#include "board/Selections.h"
#include "sysinfo/SysInfo.h"
#include "windows/FormWindows.h"

namespace vx {
class FrontPanel;
struct FlagReading;
}  // namespace vx

namespace vx::win {

// Menu command ids.
enum MenuId : int { kMnuExit = 1, kMnuLpt1, kMnuLpt2, kMnuPrn, kMnuAbout };

// The front panel window. It drives the board only through the FrontPanel: every pick, the
// Standby box and the Read button run one handler of the panel inside the same message, and the
// reading it returns goes into the six flag displays and Text1.
//
// The five lists keep list index -1 until the first pick, and their text fields take no typing:
// characters, Backspace, Delete, cut and paste are dropped. A pick is a click on an item of the
// open list, one arrow-key step, or one wheel notch while the list has the focus.
//
// Exit, the close box or a run-time error inside a handler end the program at once: no handler
// runs after them. run() then returns, or throws the error for main to report.
class MainForm : public PanelWindow, public Form {
 public:
  // Creates the window, hidden and centred. quit ends the message loop; the default posts
  // WM_QUIT.
  MainForm(FrontPanel& panel, AboutServices about, const std::string& caption,
           std::function<void()> quit = {});
  ~MainForm() override;

  PortMenu& portMenu() override { return menu_; }
  int run() override;

  // Calls shown once, when run() has shown the window and drawn it with all its controls.
  void onShown(std::function<void()> shown) { shown_ = std::move(shown); }
  std::exception_ptr pendingError() const { return pendingError_; }

  // Takes the keys the window's own loop handles before dispatch: Tab and Shift+Tab move the
  // focus in the designed order, Enter presses a focused button. True when msg was one.
  bool translateKey(MSG& msg) override;

  // The handlers, as the window's messages run them.
  void cboir_Click();
  void cboAC_Click();
  void cboFSEL_Click();
  void cboMIO_Click();
  void cboComp_Click();
  void chkStandby_Click();
  void cmdRead_Click();
  void MnuExit_Click();
  void MnuAbout_Click();

 private:
  struct List;
  class Menu : public PortMenu {
   public:
    HMENU bar = nullptr;
    void setEnabled(PortMenuItem item, bool enabled) override;
  };

  static LRESULT CALLBACK listProc(HWND, UINT, WPARAM, LPARAM);
  bool done() const override { return ended_; }
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam) override;
  void command(HWND from, int id, int code);
  List& list(SelectionId id);
  void listCommand(List& list, int code);
  void pick(List& list, int index);
  void clicked(List& list);
  void step(List& list, int direction);
  void wheel(List& list, int delta);
  void refresh(const std::function<FlagReading()>& work);
  void showReading(const FlagReading& reading);
  void end();

  FrontPanel& panel_;
  AboutServices about_;
  std::function<void()> quit_;
  std::function<void()> shown_;
  // By selection; none for the Standby box. Each puts back its list's own procedures when it
  // goes, before the window does.
  std::array<std::unique_ptr<List>, kSelectionCount> lists_;
  Menu menu_;
  HWND lastFocus_ = nullptr;
  bool ended_ = false;
  std::exception_ptr pendingError_;
};

}  // namespace vx::win
