#include "gui/screen_fit.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace vr512b::gui {

namespace {

// What the window manager adds around the client area before the window has
// been shown and its frame is known.
constexpr int kFrameWidth = 16;
constexpr int kFrameHeight = 40;

}  // namespace

void FitOnScreen(QWidget& window, QSize wanted) {
  const QScreen* screen = window.screen();
  if (screen == nullptr)
    screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) {
    window.resize(wanted);
    return;
  }
  const QRect free = screen->availableGeometry();
  const QSize room(free.width() - kFrameWidth, free.height() - kFrameHeight);
  const QSize size = wanted.boundedTo(room).expandedTo(window.minimumSizeHint().boundedTo(room));
  window.resize(size);
  const QRect frame(window.pos(), size + QSize(kFrameWidth, kFrameHeight));
  const int x = std::clamp(frame.left(), free.left(), free.right() + 1 - frame.width());
  const int y = std::clamp(frame.top(), free.top(), free.bottom() + 1 - frame.height());
  window.move(std::max(x, free.left()), std::max(y, free.top()));
}

}  // namespace vr512b::gui
