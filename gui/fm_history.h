#pragma once

#include <QDialog>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/history_location.h"
#include "history/run_history.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

namespace vr512b::history {
class HistoryWorker;
}

namespace vr512b::gui {

class LogView;
class TestRunTable;

// "История проверок": the history's test runs in a table, newest first,
// filtered by the serial number of the unit under test and by the verdict;
// the log of the selected run below; the rows shown saved as CSV. It reads
// on a thread of its own, with a history object of its own, so that a server
// that does not answer never freezes the window.
class TFmHistory final : public QDialog {
  Q_OBJECT

 public:
  explicit TFmHistory(const history::HistoryLocation& location, QWidget* parent = nullptr);
  ~TFmHistory() override;

  // At most this many rows are shown, the newest.
  static constexpr std::size_t kRowLimit = 1000;

  // The rows shown, newest first.
  const std::vector<history::TestRunRow>& Rows() const;
  // The run whose log is shown, empty for none.
  const std::string& ShownRunId() const { return shownRunId_; }
  // Writes the rows shown as --list-runs prints them (CSV) to `path` in one
  // step: the old file stays as it was when that fails. Returns an error
  // text, empty on success.
  QString ExportCsv(const QString& path) const;

 signals:
  // A list has come in, or its failure.
  void RowsShown();
  // The selected run's log has come in, or its failure.
  void LogShown();

 private:
  using RowsOutcome = history::ReadOutcome<std::vector<history::TestRunRow>>;
  using RunOutcome = history::ReadOutcome<std::optional<history::RecordedRun>>;

  void BuildControls();
  void Refresh();
  void ShowRows(std::uint64_t generation, const RowsOutcome& rows);
  void ShowSelectedRun();
  void ShowRun(std::uint64_t generation, const RunOutcome& run);
  void ScrollToSelectedTest();
  void ExportCsvClick();
  void SaveTestReportClick();
  void SetStatus(const QString& text, bool problem);

  std::unique_ptr<history::HistoryWorker> worker_;
  TestRunTable* table_ = nullptr;
  QLineEdit* EdUnitSerial = nullptr;
  QComboBox* CBVerdict = nullptr;
  QPushButton* BtFind = nullptr;
  QPushButton* BtExportCsv = nullptr;
  QPushButton* BtSaveTestReport = nullptr;
  QTableView* TvRuns = nullptr;
  LogView* MmRunLog = nullptr;
  QLabel* LbStatus = nullptr;
  // Answers to requests that a newer one has overtaken are dropped.
  std::uint64_t listGeneration_ = 0;
  std::uint64_t runGeneration_ = 0;
  std::string shownRunId_;
  std::optional<history::RecordedRun> shownRun_;
  QString exportFolder_;
  QString reportFolder_;
};

}  // namespace vr512b::gui
