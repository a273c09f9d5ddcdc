#include "gui/session_history.h"

#include <QFileInfo>
#include <QPointer>

#include "gui/diag_session.h"
#include "gui/fm_history.h"
#include "gui/fm_main.h"
#include "gui/test_report.h"
#include "history/console/background_recorder.h"
#include "history/console/run_record_to_history.h"
#include "history/history_location.h"
#include "history/pg_connection.h"

namespace vr512b::gui {

namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromStdString(text);
}

class RecordingHistory final : public SessionHistory {
 public:
  RecordingHistory(TFmMain& window, history::HistoryLocation location, history::Bench bench)
      : window_(window),
        location_(std::move(location)),
        recorder_(history::OpenRunHistory(location_), "vr512b-diag", bench,
                  [this](const history::BackgroundRecorder::News& news) { Tell(news); }) {
    window_.SetRunSink([this, bench](RunRecord record) {
      // The report of the last run is made from what the history stores of it.
      RunRecord kept = record;
      const std::string runId = recorder_.Record(std::move(record));
      lastRun_ = history::ToRecordedRun(std::move(kept), "vr512b-diag", bench, runId);
    });
    window_.AddTestReport([this] { return lastRun_.has_value(); },
                          [this] { SaveTestReport(&window_, *lastRun_, reportFolder_); });
    // A window of its own beside the main one: it can be read while a test
    // runs, which it neither waits for nor holds up.
    window_.AddHistoryBrowser([this] {
      if (browser_ == nullptr) {
        browser_ = new TFmHistory(location_, &window_);
        browser_->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(browser_, &QDialog::finished, browser_, &QWidget::close);
      }
      browser_->show();
      browser_->raise();
      browser_->activateWindow();
    });
    recorder_.Prepare();
  }

  ~RecordingHistory() override {
    window_.SetRunSink(nullptr);
    window_.AddHistoryBrowser(nullptr);
    window_.AddTestReport(nullptr, nullptr);
    // recorder_ goes now, after the runs handed to it are recorded.
  }

 private:
  // On the recorder's thread: the window hears it on its own.
  void Tell(const history::BackgroundRecorder::News& news) {
    TFmMain* window = &window_;
    QMetaObject::invokeMethod(
        window, [window, news] { Show(*window, news); }, Qt::QueuedConnection);
  }

  static void Show(TFmMain& window, const history::BackgroundRecorder::News& news) {
    if (news.prepare && news.message.empty())
      return;
    // A run stored without a word clears what was said before it.
    window.ShowHistoryMessage(FromUtf8(news.message), news.status != history::RecordStatus::Stored);
  }

  TFmMain& window_;
  history::HistoryLocation location_;
  // The browser while it is open; the main window owns it.
  QPointer<TFmHistory> browser_;
  std::optional<history::RecordedRun> lastRun_;
  QString reportFolder_;
  history::BackgroundRecorder recorder_;  // last: it goes first
};

}  // namespace

bool HistoryBuilt() {
  return true;
}

std::unique_ptr<SessionHistory> AttachHistory(TFmMain& window, const StartOptions& options) {
  const history::LocateOutcome located = history::LocateHistory(
      options.historyUrl, history::HistoryEnvironment::FromProcess(), options.simulate);
  if (!located.error.empty()) {
    window.ShowHistoryPlace(QStringLiteral("История не ведется"), FromUtf8(located.error));
    window.ShowHistoryMessage(FromUtf8(located.error), true);
    return nullptr;
  }
  const history::HistoryLocation& location = located.location;
  switch (location.kind) {
    case history::HistoryKind::None:
      window.ShowHistoryPlace(QStringLiteral("История не ведется"),
                              QStringLiteral("Запуски не записываются (история: none)"));
      return nullptr;
    case history::HistoryKind::SqliteFile:
      window.ShowHistoryPlace(
          QStringLiteral("История: %1").arg(QFileInfo(FromUtf8(location.target)).fileName()),
          FromUtf8(location.target));
      break;
    case history::HistoryKind::Postgres: {
      const QString server = FromUtf8(history::NameServer(location.target).display);
      window.ShowHistoryPlace(QStringLiteral("История: %1").arg(server), server);
      break;
    }
  }
  return std::make_unique<RecordingHistory>(
      window, location, options.simulate ? history::Bench::Virtual : history::Bench::Real);
}

}  // namespace vr512b::gui
