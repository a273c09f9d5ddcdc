#include "gui/session_history.h"

#include <QFileInfo>

#include "gui/diag_session.h"
#include "gui/fm_history.h"
#include "gui/fm_main.h"
#include "history/console/background_recorder.h"
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
    window_.SetRunSink([this](RunRecord record) { recorder_.Record(std::move(record)); });
    window_.AddHistoryBrowser([this] {
      TFmHistory browser(location_, &window_);
      browser.exec();
    });
    recorder_.Prepare();
  }

  ~RecordingHistory() override {
    window_.SetRunSink(nullptr);
    window_.AddHistoryBrowser(nullptr);
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
