#pragma once

#include <memory>

namespace vr512b::gui {

struct StartOptions;
class TFmMain;

// Whether this build keeps a run history (it needs SQLite and libpq).
bool HistoryBuilt();

// The run history of one session of the window: every run recorded on a
// thread of its own, "История проверок..." in the menu, and the status bar
// saying where runs go and what went wrong when one was not recorded. It
// must go before the window does; going, it waits until every run handed to
// it is recorded.
class SessionHistory {
 public:
  virtual ~SessionHistory() = default;
};

// Finds the history the options and the environment name, and joins it to
// `window`. A history that cannot be used is said in the status bar, and
// the console runs on without one.
std::unique_ptr<SessionHistory> AttachHistory(TFmMain& window, const StartOptions& options);

}  // namespace vr512b::gui
