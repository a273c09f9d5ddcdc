#include "gui/startup_failure.h"

#include "common/windows_api.h"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace vr512b::gui {

// A Windows session always has a desktop: what fails here is the platform
// plugin (platforms\qwindows.dll beside the program) or a DLL it needs. A
// window program has no console, so the operator is told in a message box;
// the text also goes to stderr for scripts that catch it.
void ReportWindowCannotStart(const QString& toolkitMessage) {
  const QString text = QStringLiteral(
                           "Не удалось запустить окно программы: не загружается модуль платформы "
                           "Qt (platforms\\qwindows.dll рядом с vr512b-diag.exe) или нужная ему "
                           "библиотека. Переустановите программу.\n\n%1")
                           .arg(toolkitMessage);
  std::fputs(("vr512b-diag: " + text.toStdString() + "\n").c_str(), stderr);
  std::fflush(stderr);
  const std::wstring wide = text.toStdWString();
  ::MessageBoxW(nullptr, wide.c_str(), L"vr512b-diag", MB_OK | MB_ICONERROR);
  std::_Exit(kExitNoWindow);
}

}  // namespace vr512b::gui

namespace vr512b::gui {

void PreferHeadlessPlatform() {}

}  // namespace vr512b::gui
