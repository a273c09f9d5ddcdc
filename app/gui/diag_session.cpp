#include "diag_session.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QScreen>

#include "build_info.h"
#include "clock.h"
#include "fm_bench.h"
#include "fm_main.h"
#include "hid_loader.h"
#include "settings.h"
#include "virtual_bench.h"

namespace vr512b::gui {

namespace {

// The exit status of a wrong command line, as the command-line runner uses it.
constexpr int kExitUsage = 64;

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
  parser.addOption(help);
  parser.addOption(version);
  parser.addOption(simulate);
  parser.addOption(settings);

  const auto usageError = [&result](const QString& what) {
    result.exitCode = kExitUsage;
    result.error = QStringLiteral("vr512b-diag: %1\nСправка: vr512b-diag --help\n").arg(what);
    return result;
  };
  if (!parser.parse(arguments))
    return usageError(parser.errorText());
  if (!parser.positionalArguments().isEmpty()) {
    return usageError(
        QStringLiteral("лишний аргумент: %1").arg(parser.positionalArguments().constFirst()));
  }
  if (parser.isSet(help)) {
    result.exitCode = 0;
    // Without an application object the parser cannot know the program's name.
    result.output = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                              QStringLiteral("vr512b-diag"));
    return result;
  }
  if (parser.isSet(version)) {
    result.exitCode = 0;
    result.output = QStringLiteral("vr512b-diag %1\n").arg(QStringLiteral(VR512B_FILE_VERSION));
    return result;
  }
  result.options.simulate = parser.isSet(simulate);
  if (parser.isSet(settings))
    result.options.settingsPath = parser.value(settings).toStdString();
  return result;
}

DiagSession::DiagSession(Key) {}

DiagSession::~DiagSession() = default;

std::unique_ptr<DiagSession> DiagSession::Start(const StartOptions& options) {
  auto session = std::make_unique<DiagSession>(Key());
  if (options.virtualTime) {
    session->clock_ = std::make_unique<VirtualClock>();
  } else {
    session->clock_ = std::make_unique<RealClock>();
  }

  std::string settingsPath;
  if (options.settingsPath) {
    settingsPath = *options.settingsPath;
  } else {
    settingsPath = options.simulate ? DefaultSimulatorSettingsPath() : DefaultSettingsPath();
  }
  // The bench's units only match parameters made for them.
  if (options.simulate)
    SeedSimulatorSettings(settingsPath);

  session->window_ = std::make_unique<TFmMain>(*session->clock_, settingsPath);
  DiagSession& s = *session;
  const bool started = s.window_->FormCreate([&s, &options](std::string& error) -> HidLibrary* {
    if (options.simulate) {
      s.bench_ = std::make_unique<sim::VirtualBench>(*s.clock_, sim::DefaultBenchConfig());
      s.technician_ = std::make_unique<sim::VirtualTechnician>(*s.bench_);
      return &s.bench_->hid();
    }
    HidLoadResult loaded = LoadPlatformHidLibrary();
    error = loaded.error;
    s.platformHid_ = std::move(loaded.library);
    return s.platformHid_.get();
  });
  if (!started)
    return nullptr;

  if (s.bench_) {
    s.benchWindow_ = std::make_unique<TFmBench>(*s.bench_, *s.technician_);
    TFmBench* bench = s.benchWindow_.get();
    s.window_->SetStandIn(bench);
    s.window_->SetPumpObserver([bench] { bench->Refresh(); });
    // The console ends with its main window.
    QObject::connect(s.window_.get(), &TFmMain::Closed, bench, &QWidget::close);
  }
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
