#pragma once

#include <QStringList>

namespace vr512b::gui {

// The program's arguments as the user typed them, before the toolkit starts.
// On Windows they are taken from the wide command line, so that a Cyrillic
// path survives whatever the ANSI code page.
QStringList ProgramArguments(int argc, char** argv);

}  // namespace vr512b::gui
