#include "gui/program_arguments.h"

#include "common/windows_api.h"

#include <shellapi.h>

#include <memory>

namespace vr512b::gui {

QStringList ProgramArguments(int argc, char** argv) {
  int count = 0;
  const std::unique_ptr<LPWSTR, decltype(&::LocalFree)> wide(
      ::CommandLineToArgvW(::GetCommandLineW(), &count), &::LocalFree);
  QStringList arguments;
  if (!wide) {
    for (int i = 0; i < argc; ++i)
      arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
  }
  for (int i = 0; i < count; ++i)
    arguments << QString::fromWCharArray(wide.get()[i]);
  return arguments;
}

}  // namespace vr512b::gui
