#include "qt/frmAbout.h"

#include "Version.h"
#include "forms/Forms.h"
#include "qt/PanelFont.h"
#include "qt/UiResources.h"
#include "ui_frmAbout.h"

namespace vx {

frmAbout::frmAbout(AboutServices services, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::frmAbout>()), services_(services) {
  ensureUiResources();
  ui_->setupUi(this);
  applyPanelFonts(this);
  // A fixed dialog border; no minimise or maximise buttons. The close box acts as OK.
  setFixedSize(381, 206);
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  connect(ui_->cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
  connect(ui_->cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
  ui_->cmdOK->setFocus();
  Form_Load();
}

frmAbout::~frmAbout() = default;

void frmAbout::Form_Load() {
  ui_->lblVersion->setText(
      QString::fromStdString(forms::versionLabel(kVersionMajor, kVersionMinor, kVersionRevision)));
  centreOnScreen(this);
}

// Esc and the close box end up here too, through QDialog::reject.
void frmAbout::cmdOK_Click() {
  accept();
}

void frmAbout::cmdSysInfo_Click() {
  StartSysInfo(services_.registry, services_.files, services_.launcher, services_.messages);
}

}  // namespace vx
