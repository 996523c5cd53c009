#include "ui/UiResources.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

// Q_INIT_RESOURCE declares its function where it is used, so this stays outside any namespace.
static int registerResources() {
  Q_INIT_RESOURCE(vx3340);
  return 0;
}

namespace vx {

void ensureUiResources() {
  static const int registered = registerResources();
  (void)registered;
}

QRect centredIn(const QRect& screen, const QSize& outerSize) {
  const float top = static_cast<float>(screen.height() - outerSize.height()) / 2.0f;
  const float left = static_cast<float>(screen.width() - outerSize.width()) / 2.0f;
  return {screen.x() + static_cast<int>(std::lround(left)),
          screen.y() + static_cast<int>(std::lround(top)), outerSize.width(), outerSize.height()};
}

void centreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  // The platform window knows its frame, which the outer size includes, once it exists.
  (void)window->winId();
  const QRect frame = window->frameGeometry();
  const QRect place = centredIn(screen->geometry(), frame.size());
  window->move(place.topLeft());
}

}  // namespace vx
