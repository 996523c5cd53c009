// Bold panel text on a bitmap panel font without a bold face: drawn twice, one pixel apart.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTest>

#include "qt/PanelFont.h"

using namespace vx;

namespace {

// How many pixels of a label's picture are darker than mid-grey.
int inkOf(QLabel& label) {
  const QImage image = label.grab().toImage();
  int ink = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
  return ink;
}

QFont panelFont(bool bold) {
  QFont font(kPanelFontFamily);
  font.setPointSizeF(kPanelFontPoints);
  font.setBold(bold);
  return font;
}

}  // namespace

class PanelFontTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    if (!QFile::exists(kWinePanelFontFile)) QSKIP("fonts-wine is not installed");
    QCOMPARE(loadPanelFont(), QString(kPanelFontFamily));
  }

  void theWineCopyHasNoBoldFace() { QVERIFY(panelFontLacksBold()); }

  void boldTextGetsOnePixelMoreInkPerStroke() {
    OverstrikeBoldStyle style;
    for (bool bold : {false, true}) {
      QLabel plain("Force/Sense Current Range");
      plain.setFont(panelFont(bold));
      plain.resize(200, 20);
      QLabel struck("Force/Sense Current Range");
      struck.setFont(panelFont(bold));
      struck.resize(200, 20);
      struck.setStyle(&style);
      const int before = inkOf(plain);
      const int after = inkOf(struck);
      QVERIFY(before > 0);
      if (bold)
        QVERIFY2(after > before * 5 / 4, qPrintable(QString("%1 -> %2").arg(before).arg(after)));
      else
        QCOMPARE(after, before);
    }
  }
};

QTEST_MAIN(PanelFontTest)
#include "test_panel_font.moc"
