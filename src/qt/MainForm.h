#pragma once

#include <QMainWindow>
#include <exception>
#include <functional>
#include <memory>

#include "app/GuiApp.h"
#include "board/Selections.h"
#include "startup/Messages.h"
#include "startup/PortMenu.h"
#include "sysinfo/SysInfo.h"

class QLabel;
class QLineEdit;
class QAction;

namespace Ui {
class MainForm;
}

namespace vx {

class FrontPanel;
struct FlagReading;
class SelectionList;

// The front panel window. It drives the board only through the FrontPanel: every pick, the
// Standby box and the Read button run one handler of the panel inside the same event, and the
// reading it returns goes into the six flag displays and Text1.
//
// A run-time error inside a handler ends the handler and the event loop; pendingError() then
// holds it, and run() throws it for main to report.
class MainForm : public QMainWindow, public PanelWindow {
  Q_OBJECT

 public:
  // quit ends the event loop at once; the default asks the application to exit.
  MainForm(FrontPanel& panel, AboutServices about, std::function<void()> quit = {},
           QWidget* parent = nullptr);
  ~MainForm() override;

  // The flag display for flag bit i, 0..5.
  QLabel* RdVal(int i) const;
  QLineEdit* Text1() const;
  SelectionList* cboir() const;
  SelectionList* cboAC() const;
  SelectionList* cboFSEL() const;
  SelectionList* cboMIO() const;
  SelectionList* cboComp() const;

  // The Printer Port menu's items, for start-up.
  PortMenu& portMenu() override { return portMenu_; }
  // Shows the window and runs the application's event loop.
  int run() override;

  // The error that ended a handler, if one did.
  std::exception_ptr pendingError() const { return pendingError_; }

  // The handlers, as the window's events run them.
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
  class Menu : public PortMenu {
   public:
    explicit Menu(Ui::MainForm& ui) : ui_(ui) {}
    void setEnabled(PortMenuItem item, bool enabled) override;

   private:
    Ui::MainForm& ui_;
  };

  void listClick(SelectionId id);
  // Runs one handler's board work and shows its reading; an error ends the event loop.
  void refresh(const std::function<FlagReading()>& work);
  void showReading(const FlagReading& reading);

  std::unique_ptr<Ui::MainForm> ui_;
  FrontPanel& panel_;
  AboutServices about_;
  std::function<void()> quit_;
  Menu portMenu_;
  std::exception_ptr pendingError_;
};

}  // namespace vx
