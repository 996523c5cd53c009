#include "qt/QtMessages.h"

#include "qt/UiResources.h"
#include "startup/Startup.h"

namespace vx {

namespace {

QMessageBox::Icon boxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation:
      return QMessageBox::Warning;
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Critical:
      return QMessageBox::Critical;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

QString displayText(std::string_view text) {
  QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return shown;
}

std::unique_ptr<QMessageBox> makeMessageBox(const Message& message, QWidget* parent) {
  ensureUiResources();
  const std::string_view title = message.title.empty() ? kAppTitle : message.title;
  auto box = std::make_unique<QMessageBox>(boxIcon(message.icon), displayText(title),
                                           displayText(message.text), QMessageBox::Ok, parent);
  box->setTextFormat(Qt::PlainText);
  box->setWindowIcon(QIcon(kProgramIcon));
  if (!message.details.empty()) box->setDetailedText(displayText(message.details));
  return box;
}

void QtMessages::show(const Message& message) {
  makeMessageBox(message, parent_)->exec();
}

}  // namespace vx
