#pragma once

#include <QFont>
#include <QProxyStyle>
#include <QString>
#include <QStringList>

class QWidget;

namespace vx {

inline constexpr const char* kPanelFontFamily = "MS Sans Serif";
inline constexpr double kPanelFontPoints = 8.25;

// Where Debian's fonts-wine package puts its outline copy of the panel font.
inline constexpr const char* kWinePanelFontFile = "/usr/share/wine/fonts/ms_sans_serif.ttf";

// Makes the panel font available: when the system has no family of that name, loads the first
// of the files that provides one. Returns the family the forms will use: the panel font, or the
// application's default family when neither the system nor the files have it.
QString loadPanelFont(const QStringList& fontFiles = {kWinePanelFontFile});

// The family the forms use now: the panel font when it is installed or loaded, else the
// application's default family.
QString panelFontFamily();

// Gives every widget under root (root included) that sets a font of its own in its form the
// panel family at 8.25 points, keeping the weight the form gives it. Forms state family and
// weight; the fractional point size does not fit into a form file.
void applyPanelFonts(QWidget* root);

// Whether bold panel text would come out regular: the panel font is a bitmap font without a
// bold face (as the fonts-wine copy is), and the font engine does not embolden bitmaps. Windows'
// own engine emboldens such fonts itself, so there it is always false.
bool panelFontLacksBold();

// What the program does before it builds a form: loads the panel font, and installs
// OverstrikeBoldStyle as the application's style when the font lacks a bold face.
void usePanelFont();

// Draws bold panel-font text twice, one pixel apart, as Windows does for a bitmap font that has
// no bold face. Install it only when panelFontLacksBold(). Item texts go through the style:
// labels, frame captions, buttons, check boxes, and the lists' text fields and open lists.
class OverstrikeBoldStyle : public QProxyStyle {
 public:
  using QProxyStyle::QProxyStyle;
  void drawItemText(QPainter* painter, const QRect& rect, int flags, const QPalette& palette,
                    bool enabled, const QString& text,
                    QPalette::ColorRole textRole = QPalette::NoRole) const override;
};

}  // namespace vx
