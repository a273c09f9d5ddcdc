#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <exception>
#include <memory>

#include "common/url_password.h"
#include "generated/build_info.h"
#include "gui/diag_session.h"
#include "gui/fm_main.h"
#include "gui/program_arguments.h"
#include "gui/startup_failure.h"
#include "gui/test_report.h"
#include "gui/toolkit_translations.h"

namespace {

// Stands in for the toolkit's message handler while the application object
// starts: when the platform plugin fails, the toolkit would end the program
// with abort() and a hint to reinstall it; the operator is told what is
// missing instead.
void ReportWindowStartFailure(QtMsgType type, const QMessageLogContext& context,
                              const QString& message) {
  if (type == QtFatalMsg)
    vr512b::gui::ReportWindowCannotStart(message);
  std::fputs(qFormatLogMessage(type, context, message).toUtf8().append('\n').constData(), stderr);
}

}  // namespace

int main(int argc, char** argv) {
  // Options are read before the toolkit starts, so --help and --version work
  // without a display.
  const vr512b::gui::CommandLine commandLine =
      vr512b::gui::ParseCommandLine(vr512b::gui::ProgramArguments(argc, argv));
  if (commandLine.exitCode) {
    std::fputs(commandLine.output.toUtf8().constData(), stdout);
    std::fputs(commandLine.error.toUtf8().constData(), stderr);
    return *commandLine.exitCode;
  }

  vr512b::HidePasswordsInArguments(argc, argv);
  // A report is written without a window, and needs no display for it.
  if (commandLine.options.testReportRun)
    vr512b::gui::PreferHeadlessPlatform();
  const QtMessageHandler toolkitHandler = qInstallMessageHandler(ReportWindowStartFailure);
  QApplication application(argc, argv);
  qInstallMessageHandler(toolkitHandler);
  QApplication::setApplicationName(QStringLiteral("vr512b-diag"));
  QApplication::setApplicationVersion(QStringLiteral(VR512B_FILE_VERSION));
  QGuiApplication::setDesktopFileName(QStringLiteral("vr512b-diag"));
  vr512b::gui::LoadToolkitTranslations(application);
  if (commandLine.options.testReportRun) {
    return vr512b::gui::WriteTestReportOfRun(commandLine.options,
                                             *commandLine.options.testReportRun,
                                             commandLine.options.testReportPath);
  }
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
