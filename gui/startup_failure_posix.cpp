#include "gui/startup_failure.h"

#include <cstdio>
#include <cstdlib>

namespace vr512b::gui {

// Without a display the platform plugin fails; that is what the operator can
// mend, so it is said instead of the toolkit's hint to reinstall it.
void ReportWindowCannotStart(const QString&) {
  std::fputs(
      "vr512b-diag: нет дисплея: окно программы негде показать (не задан или недоступен\n"
      "DISPLAY или WAYLAND_DISPLAY). Тесты без окна запускает vr512b-diag-cli.\n",
      stderr);
  std::fflush(stderr);
  std::_Exit(kExitNoWindow);
}

}  // namespace vr512b::gui

namespace vr512b::gui {

void PreferHeadlessPlatform() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
}

}  // namespace vr512b::gui
