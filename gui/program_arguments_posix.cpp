#include "gui/program_arguments.h"

namespace vr512b::gui {

QStringList ProgramArguments(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  return arguments;
}

}  // namespace vr512b::gui
