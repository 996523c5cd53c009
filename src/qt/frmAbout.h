#pragma once

#include <QDialog>
#include <memory>

#include "qt/MainForm.h"

namespace Ui {
class frmAbout;
}

namespace vx {

// The About dialog: program, version and maker, and the System Info button. Each opening is a
// new dialog, so the version text and the centring are set afresh every time.
class frmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit frmAbout(AboutServices services, QWidget* parent = nullptr);
  ~frmAbout() override;

  // The load step: the version text, then centring on the screen.
  void Form_Load();

  void cmdOK_Click();
  void cmdSysInfo_Click();

 private:
  std::unique_ptr<Ui::frmAbout> ui_;
  AboutServices services_;
};

}  // namespace vx
