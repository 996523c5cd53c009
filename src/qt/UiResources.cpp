#include "qt/UiResources.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "forms/Forms.h"

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

void centreOnScreen(QWidget* window) {
  QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  // The platform window knows its frame, which the outer size includes, once it exists.
  (void)window->winId();
  const QRect frame = window->frameGeometry();
  const QRect area = screen->geometry();
  const forms::Position place =
      forms::centred(area.width(), area.height(), frame.width(), frame.height());
  window->move(area.x() + place.left, area.y() + place.top);
}

}  // namespace vx
