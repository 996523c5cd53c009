#include "qt/MainForm.h"

#include <QApplication>
#include <QLayout>
#include <QMessageBox>

#include "board/FrontPanel.h"
#include "board/Selections.h"
#include "port/FatalError.h"
#include "qt/PanelFont.h"
#include "qt/UiResources.h"
#include "qt/frmAbout.h"
#include "startup/Startup.h"
#include "ui_MainForm.h"

namespace vx {

namespace {

QString text(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

// The Standby box's value as the panel counts it: 0 unchecked, 1 checked, 2 greyed. Qt numbers
// the last two the other way round.
int boxValue(Qt::CheckState state) {
  switch (state) {
    case Qt::Checked:
      return kChecked;
    case Qt::PartiallyChecked:
      return kGrayed;
    case Qt::Unchecked:
      break;
  }
  return kUnchecked;
}

}  // namespace

MainForm::MainForm(FrontPanel& panel, AboutServices about, std::function<void()> quit,
                   QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::MainForm>()),
      panel_(panel),
      about_(about),
      quit_(quit ? std::move(quit) : [] { QCoreApplication::exit(0); }),
      portMenu_(*ui_) {
  ensureUiResources();
  ui_->setupUi(this);
  applyPanelFonts(this);

  // Each list of the selection table gets its items, and its picks its selection's handler.
  for (const Selection& s : kSelections) {
    if (s.checkBox) continue;
    SelectionList* list = findChild<SelectionList*>(text(s.control));
    QStringList items;
    for (const Choice& choice : s.choices) items << text(choice.item);
    list->setItems(items);
    connect(list, &SelectionList::picked, this, [this, id = s.id] { listClick(id); });
  }

  // Fixed border: the client area keeps its designed size and the window fits it and the menu
  // bar. The maximise button goes; minimising stays.
  ui_->centralwidget->setFixedSize(485, 315);
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  setWindowFlag(Qt::WindowMaximizeButtonHint, false);

  ui_->MnuWave->menuAction()->setEnabled(false);

  connect(ui_->chkStandby, &QCheckBox::clicked, this, &MainForm::chkStandby_Click);
  connect(ui_->cmdRead, &QPushButton::clicked, this, &MainForm::cmdRead_Click);
  connect(ui_->MnuExit, &QAction::triggered, this, &MainForm::MnuExit_Click);
  connect(ui_->MnuAbout, &QAction::triggered, this, &MainForm::MnuAbout_Click);

  ui_->cboir->setFocus();
  adjustSize();
  centreOnScreen(this);
}

MainForm::~MainForm() = default;

QLabel* MainForm::RdVal(int i) const {
  QLabel* const displays[] = {ui_->RdVal_0, ui_->RdVal_1, ui_->RdVal_2,
                              ui_->RdVal_3, ui_->RdVal_4, ui_->RdVal_5};
  return i >= 0 && i < 6 ? displays[i] : nullptr;
}

QLineEdit* MainForm::Text1() const {
  return ui_->Text1;
}
SelectionList* MainForm::cboir() const {
  return ui_->cboir;
}
SelectionList* MainForm::cboAC() const {
  return ui_->cboAC;
}
SelectionList* MainForm::cboFSEL() const {
  return ui_->cboFSEL;
}
SelectionList* MainForm::cboMIO() const {
  return ui_->cboMIO;
}
SelectionList* MainForm::cboComp() const {
  return ui_->cboComp;
}

// A list's click handler: its bits from the list index, then a refresh.
void MainForm::listClick(SelectionId id) {
  const auto* list = findChild<SelectionList*>(text(selection(id).control));
  refresh([this, id, list] { return panel_.select(id, list->currentIndex()); });
}

void MainForm::cboir_Click() {
  listClick(SelectionId::Range);
}
void MainForm::cboAC_Click() {
  listClick(SelectionId::Capacitor);
}
void MainForm::cboFSEL_Click() {
  listClick(SelectionId::Force);
}
void MainForm::cboMIO_Click() {
  listClick(SelectionId::Measure);
}
void MainForm::cboComp_Click() {
  listClick(SelectionId::Comparator);
}
void MainForm::chkStandby_Click() {
  refresh([this] { return panel_.chkStandby_Click(boxValue(ui_->chkStandby->checkState())); });
}
void MainForm::cmdRead_Click() {
  refresh([this] { return panel_.cmdRead_Click(); });
}

int MainForm::run() {
  show();
  const int code = QApplication::exec();
  if (pendingError_) std::rethrow_exception(pendingError_);
  return code;
}

void MainForm::MnuExit_Click() {
  quit_();
}

void MainForm::MnuAbout_Click() {
  frmAbout dialog(about_);
  dialog.exec();
}

void MainForm::refresh(const std::function<FlagReading()>& work) {
  if (pendingError_) return;  // the program is ending; nothing more goes to the port
  try {
    showReading(work());
  } catch (const PortGoneError& e) {
    // The board went away (a USB adapter pulled out): say so; the next pick tries again.
    QMessageBox::warning(
        this, QString::fromLatin1(kAppTitle.data(), kAppTitle.size()),
        QString::fromStdString(std::string(e.what()) + ".\n\nPick again to reconnect."));
  } catch (...) {
    // Exceptions must not cross Qt's event dispatch: keep it for main, and end the loop.
    pendingError_ = std::current_exception();
    quit_();
  }
}

void MainForm::showReading(const FlagReading& reading) {
  for (int a = 0; a < 6; ++a) {
    const std::string_view caption = reading.captions[static_cast<std::size_t>(a)];
    RdVal(a)->setText(QString::fromLatin1(caption.data(), static_cast<qsizetype>(caption.size())));
  }
  ui_->Text1->setText(QString::fromStdString(reading.decimal));
}

void MainForm::Menu::setEnabled(PortMenuItem item, bool enabled) {
  switch (item) {
    case PortMenuItem::Lpt1:
      ui_.MnuLpt1->setEnabled(enabled);
      break;
    case PortMenuItem::Lpt2:
      ui_.MnuLpt2->setEnabled(enabled);
      break;
    case PortMenuItem::Prn:
      ui_.MnuPrn->setEnabled(enabled);
      break;
  }
}

}  // namespace vx
