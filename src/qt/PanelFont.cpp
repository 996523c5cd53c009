#include "qt/PanelFont.h"

#include <algorithm>

#include <QApplication>
#include <QFontDatabase>
#include <QFontInfo>
#include <QPainter>
#include <QWidget>

namespace vx {

QString loadPanelFont(const QStringList& fontFiles) {
  if (!QFontDatabase::hasFamily(kPanelFontFamily)) {
    for (const QString& file : fontFiles) {
      const int id = QFontDatabase::addApplicationFont(file);
      if (id >= 0 && QFontDatabase::applicationFontFamilies(id).contains(kPanelFontFamily)) break;
    }
  }
  return panelFontFamily();
}

QString panelFontFamily() {
  return QFontDatabase::hasFamily(kPanelFontFamily) ? QString(kPanelFontFamily)
                                                    : QApplication::font().family();
}

void applyPanelFonts(QWidget* root) {
  const QString family = panelFontFamily();
  QList<QWidget*> widgets = root->findChildren<QWidget*>();
  widgets.prepend(root);
  for (QWidget* widget : widgets) {
    if (!widget->testAttribute(Qt::WA_SetFont)) continue;
    QFont font = widget->font();
    font.setFamilies({family});
    font.setPointSizeF(kPanelFontPoints);
    widget->setFont(font);
  }
}

bool panelFontLacksBold() {
#ifdef Q_OS_WIN
  return false;
#else
  if (!QFontDatabase::hasFamily(kPanelFontFamily) ||
      QFontDatabase::isSmoothlyScalable(kPanelFontFamily))
    return false;
  const QStringList styles = QFontDatabase::styles(kPanelFontFamily);
  return std::none_of(styles.begin(), styles.end(), [](const QString& style) {
    return QFontDatabase::weight(kPanelFontFamily, style) >= QFont::Bold;
  });
#endif
}

void usePanelFont() {
  loadPanelFont();
  if (panelFontLacksBold()) QApplication::setStyle(new OverstrikeBoldStyle);
}

void OverstrikeBoldStyle::drawItemText(QPainter* painter, const QRect& rect, int flags,
                                       const QPalette& palette, bool enabled, const QString& text,
                                       QPalette::ColorRole textRole) const {
  QProxyStyle::drawItemText(painter, rect, flags, palette, enabled, text, textRole);
  const QFont& font = painter->font();
  if (font.bold() && QFontInfo(font).family() == kPanelFontFamily)
    QProxyStyle::drawItemText(painter, rect.translated(1, 0), flags, palette, enabled, text,
                              textRole);
}

}  // namespace vx
