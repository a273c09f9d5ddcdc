#pragma once

#include <QSize>

class QWidget;

namespace vr512b::gui {

// Gives a top-level window the size it asks for, or less where its screen
// has less room, and moves it wholly onto the screen's free area (a title
// bar and frame of the usual size included).
void FitOnScreen(QWidget& window, QSize wanted);

}  // namespace vr512b::gui
