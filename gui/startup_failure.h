#pragma once

#include <QString>

namespace vr512b::gui {

// The exit status when the window cannot be shown at all.
inline constexpr int kExitNoWindow = 3;

// Tells the operator that the toolkit could not start the window, and why in
// the operator's terms (no display on Linux, a missing platform plugin on
// Windows), then ends the program with kExitNoWindow.
[[noreturn]] void ReportWindowCannotStart(const QString& toolkitMessage);

// For work without a window (the test report): where no display was chosen,
// the toolkit draws off screen rather than wanting one. Windows needs no
// display for it.
void PreferHeadlessPlatform();

}  // namespace vr512b::gui
