#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>

#include "build_info.h"
#include "diag_session.h"
#include "fm_main.h"

namespace {

// The exit status when there is no display to show the window on.
constexpr int kExitNoDisplay = 3;

// Stands in for the toolkit's message handler while the application object
// starts. Without a display the platform plugin fails, and the toolkit would
// end the program with abort() and a hint to reinstall it; the operator is
// told what is missing instead.
void ReportMissingDisplay(QtMsgType type, const QMessageLogContext& context,
                          const QString& message) {
  if (type != QtFatalMsg) {
    std::fputs(qFormatLogMessage(type, context, message).toLocal8Bit().append('\n').constData(),
               stderr);
    return;
  }
  std::fputs(
      "vr512b-diag: нет дисплея: окно программы негде показать (не задан или недоступен\n"
      "DISPLAY или WAYLAND_DISPLAY). Тесты без окна запускает vr512b-diag-cli.\n",
      stderr);
  std::fflush(stderr);
  std::_Exit(kExitNoDisplay);
}

}  // namespace

int main(int argc, char** argv) {
  // Options are read before the toolkit starts, so --help and --version work
  // without a display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i)
    arguments << QString::fromLocal8Bit(argv[i]);
  const vr512b::gui::CommandLine commandLine = vr512b::gui::ParseCommandLine(arguments);
  if (commandLine.exitCode) {
    std::fputs(commandLine.output.toLocal8Bit().constData(), stdout);
    std::fputs(commandLine.error.toLocal8Bit().constData(), stderr);
    return *commandLine.exitCode;
  }

  const QtMessageHandler toolkitHandler = qInstallMessageHandler(ReportMissingDisplay);
  QApplication application(argc, argv);
  qInstallMessageHandler(toolkitHandler);
  QApplication::setApplicationName(QStringLiteral("vr512b-diag"));
  QApplication::setApplicationVersion(QStringLiteral(VR512B_FILE_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("vr512b-diag"));
  try {
    const std::unique_ptr<vr512b::gui::DiagSession> session =
        vr512b::gui::DiagSession::Start(commandLine.options);
    if (!session)
      return 1;
    // The start-up benchmark asks to be told when the windows are up.
    if (qEnvironmentVariableIsSet("VR512B_REPORT_SHOWN")) {
      QTimer::singleShot(0, [] {
        std::puts("shown");
        std::fflush(stdout);
        QApplication::quit();
      });
    }
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QString::fromUtf8(vr512b::gui::kAppTitle),
                          QString::fromUtf8(e.what()));
    return 1;
  }
}
