#include "gui/fm_main.h"
#include "gui/session_history.h"

namespace vr512b::gui {

bool HistoryBuilt() {
  return false;
}

std::unique_ptr<SessionHistory> AttachHistory(TFmMain& window, const StartOptions&) {
  window.ShowHistoryPlace(QStringLiteral("История не ведется"),
                          QStringLiteral("В этой сборке нет истории проверок: нет SQLite и libpq"));
  return nullptr;
}

}  // namespace vr512b::gui
