#pragma once

#include <QRect>

class QWidget;

namespace vx {

// The program icon's resource path.
inline constexpr const char* kProgramIcon = ":/vx3340/vx3340.png";

// Registers the window resources (the program icon) once; the forms call it before they load.
void ensureUiResources();

// Where a window of the given outer size goes so that it is centred in the screen area:
// top = (screen height - window height) / 2, left = (screen width - window width) / 2.
QRect centredIn(const QRect& screen, const QSize& outerSize);

// Moves a window so that its outer frame is centred on its screen.
void centreOnScreen(QWidget* window);

}  // namespace vx
