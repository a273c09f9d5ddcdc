#include "diag_session.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QScreen>

#include "build_info.h"
#include "console_session.h"
#include "fm_bench.h"
#include "fm_main.h"
#include "session_history.h"
#include "termination_signals.h"
#include "usage_text.h"
#include "virtual_bench.h"

namespace vr512b::gui {

namespace {

// The exit status of a wrong command line, as the command-line runner uses it.
constexpr int kExitUsage = 64;

constexpr char kNoHistoryUsage[] =
    R"(История проверок в этой сборке не ведется: в ней нет SQLite и libpq.
)";

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine result;
  QCommandLineParser parser;
  parser.setApplicationDescription(QStringLiteral("Программа диагностики УПО VR512B"));
  const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                QStringLiteral("Показать эту справку и выйти."));
  const QCommandLineOption version(QStringLiteral("version"),
                                   QStringLiteral("Показать версию программы и выйти."));
  const QCommandLineOption simulate(
      QStringLiteral("simulate"),
      QStringLiteral("Работать с виртуальным стендом вместо настоящих УПО."));
  const QCommandLineOption settings(
      QStringLiteral("settings"),
      QStringLiteral("Файл параметров тестирования (формат .reg) вместо файла по умолчанию."),
      QStringLiteral("FILE"));
  const QCommandLineOption trace(
      QStringLiteral("trace"),
      QStringLiteral("Записывать обмен с УПО в файл pcapng для Wireshark."),
      QStringLiteral("FILE"));
  const QCommandLineOption historyUrl(
      QStringLiteral("history"),
      QStringLiteral("Где история проверок: файл SQLite, postgresql://... или none."),
      QStringLiteral("URL"));
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(simulate);
  parser.addOption(settings);
  parser.addOption(trace);
  if (HistoryBuilt())
    parser.addOption(historyUrl);

  const auto usageError = [&result](const QString& what) {
    result.exitCode = kExitUsage;
    result.error = QStringLiteral("vr512b-diag: %1\nСправка: vr512b-diag --help\n").arg(what);
    return result;
  };
  if (!parser.parse(arguments)) {
    if (!parser.unknownOptionNames().isEmpty()) {
      const QString name = parser.unknownOptionNames().constFirst();
      return usageError(
          QStringLiteral("неизвестный параметр %1%2")
              .arg(name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--"), name));
    }
    // The parser's own texts are English; the ones a technician meets are
    // an option without its value.
    if (parser.errorText().startsWith(QStringLiteral("Missing value"))) {
      if (parser.errorText().contains(QStringLiteral("history")))
        return usageError(QStringLiteral("--history: не указан адрес истории"));
      const QString option = parser.errorText().contains(QStringLiteral("trace"))
                                 ? QStringLiteral("--trace")
                                 : QStringLiteral("--settings");
      return usageError(QStringLiteral("%1: не указан файл").arg(option));
    }
    return usageError(QStringLiteral("неверный параметр (%1)").arg(parser.errorText()));
  }
  if (!parser.positionalArguments().isEmpty()) {
    return usageError(
        QStringLiteral("лишний аргумент: %1").arg(parser.positionalArguments().constFirst()));
  }
  if (parser.isSet(help)) {
    result.exitCode = 0;
    result.output =
        QString::fromUtf8(kUsageHead) + QString::fromUtf8(HistoryBuilt() ? kHistoryUsage : "") +
        QString::fromUtf8(kUsageTail) + QString::fromUtf8(HistoryBuilt() ? "" : kNoHistoryUsage);
    return result;
  }
  if (parser.isSet(version)) {
    result.exitCode = 0;
    result.output = QStringLiteral("vr512b-diag %1\n").arg(QStringLiteral(VR512B_FILE_VERSION));
    return result;
  }
  result.options.simulate = parser.isSet(simulate);
  if (parser.isSet(settings)) {
    if (parser.value(settings).isEmpty())
      return usageError(QStringLiteral("--settings: не указан файл"));
    result.options.settingsPath = parser.value(settings).toStdString();
  }
  if (parser.isSet(trace))
    result.options.tracePath = parser.value(trace).toStdString();
  if (HistoryBuilt() && parser.isSet(historyUrl))
    result.options.historyUrl = parser.value(historyUrl).toStdString();
  return result;
}

DiagSession::DiagSession(Key) {}

DiagSession::~DiagSession() = default;

sim::VirtualBench* DiagSession::Bench() const {
  return console_->Bench();
}

std::unique_ptr<DiagSession> DiagSession::Start(const StartOptions& options) {
  auto session = std::make_unique<DiagSession>(Key());
  // Before anything that a signal should not cut short: seeding the virtual
  // bench's parameters, the start-up error box.
  session->signals_ = std::make_unique<TerminationSignals>();
  SessionOptions sessionOptions;
  sessionOptions.simulate = options.simulate;
  sessionOptions.virtualTime = options.virtualTime;
  sessionOptions.settingsPath = options.settingsPath;
  session->console_ = std::make_unique<ConsoleSession>(sessionOptions);
  DiagSession& s = *session;
  s.window_ = std::make_unique<TFmMain>(s.console_->clock(), s.console_->SettingsPath());
  QObject::connect(s.signals_.get(), &TerminationSignals::received, s.window_.get(),
                   &TFmMain::Terminate);
  if (!s.console_->SeedError().empty())
    s.window_->ShowErrorBox(QString::fromStdString(s.console_->SeedError()));
  const bool started = s.window_->FormCreate([&s](std::string& error) -> HidLibrary* {
    const ConsoleSession::HidStart start = s.console_->StartHid();
    error = start.error;
    return start.hid;
  });
  if (!started)
    return nullptr;
  s.console_->Attach(*s.window_->Console());
  s.window_->SetTraceControl(s.console_.get());
  // A trace that cannot be written is said in the error box; the console
  // works on, and the menu can start one in another file.
  if (options.tracePath)
    s.window_->StartTrace(QString::fromStdString(*options.tracePath));

  if (sim::VirtualBench* bench = s.console_->Bench()) {
    s.benchWindow_ = std::make_unique<TFmBench>(*bench, *s.console_->Technician());
    TFmBench* benchWindow = s.benchWindow_.get();
    s.window_->SetStandIn(benchWindow);
    s.window_->SetPumpObserver([benchWindow] { benchWindow->Refresh(); });
    // The console ends with its main window.
    QObject::connect(s.window_.get(), &TFmMain::Closed, benchWindow, &QWidget::close);
  }
  s.history_ = AttachHistory(*s.window_, options);
  if (options.showWindows) {
    s.PlaceWindows();
    s.window_->show();
    if (s.benchWindow_)
      s.benchWindow_->show();
  }
  return session;
}

void DiagSession::PlaceWindows() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr)
    return;
  const QRect free = screen->availableGeometry();
  window_->adjustSize();
  const QSize main = window_->size();
  QPoint mainAt = free.center() - QPoint(main.width() / 2, main.height() / 2);
  if (benchWindow_) {
    constexpr int kGap = 8;
    benchWindow_->adjustSize();
    const QSize bench = benchWindow_->size();
    // Beside the centred main window when there is room; otherwise the pair
    // is centred together.
    if (mainAt.x() + main.width() + kGap + bench.width() > free.right()) {
      const int pairWidth = main.width() + kGap + bench.width();
      mainAt.setX(std::max(free.left(), free.center().x() - pairWidth / 2));
    }
    benchWindow_->move(mainAt.x() + main.width() + kGap, mainAt.y());
  }
  window_->move(mainAt);
}

}  // namespace vr512b::gui
