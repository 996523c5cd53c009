#include "ui/PanelFont.h"

#include <QApplication>
#include <QFontDatabase>
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

}  // namespace vx
