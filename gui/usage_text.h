#pragma once

namespace vr512b::gui {

// The parts of the window's --help that each platform words for itself: where
// the parameters are kept, where the history is by default, and the libraries
// and ways of ending the program.
extern const char kSettingsUsage[];
extern const char kHistoryUsage[];
extern const char kUsageTail[];

}  // namespace vr512b::gui
