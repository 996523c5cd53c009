#pragma once

#include <QRect>

class QWidget;

namespace vx {

// The program icon's resource path.
inline constexpr const char* kProgramIcon = ":/vx3340/vx3340.png";

// Registers the window resources (the program icon) once; the forms call it before they load.
void ensureUiResources();

// Moves a window so that its outer frame is centred on its screen.
void centreOnScreen(QWidget* window);

}  // namespace vx
