#include "gui/fm_history.h"

#include <QAbstractTableModel>
#include <QBrush>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>

#include "common/atomic_file.h"
#include "gui/ask_file_to_write.h"
#include "gui/fm_main.h"
#include "gui/gui_fonts.h"
#include "gui/log_view.h"
#include "gui/screen_fit.h"
#include "gui/test_report.h"
#include "history/console/history_worker.h"
#include "history/history_format.h"

namespace vr512b::gui {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString LocalTime(history::TimeMs time) {
  return QDateTime::fromMSecsSinceEpoch(time.time_since_epoch().count())
      .toLocalTime()
      .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Serial(const std::optional<std::int32_t>& serial) {
  return serial ? QString::number(*serial) : QString();
}

// The verdict filter: what the box shows, and what the query asks for (none:
// any verdict; empty: a test the run ended inside, which has none). "Ошибка"
// is what a failed test and an error of the console both show.
struct VerdictChoice {
  const char* caption;
  std::optional<std::vector<Verdict>> verdicts;
};
const VerdictChoice kVerdictChoices[] = {
    {"Все", std::nullopt},
    {"OK", std::vector{Verdict::Ok}},
    {"Ошибка", std::vector{Verdict::Failed, Verdict::Error}},
    {"Прервано", std::vector{Verdict::Aborted}},
    {"Без итога", std::vector<Verdict>()},
};

// A serial number as the units give it: a signed 32-bit decimal number.
std::optional<std::int32_t> ParseSerial(const QString& text) {
  bool ok = false;
  const qlonglong value = text.trimmed().toLongLong(&ok, 10);
  if (!ok || value < INT32_MIN || value > INT32_MAX)
    return std::nullopt;
  return static_cast<std::int32_t>(value);
}

}  // namespace

// The rows of a list, one test of one run each.
class TestRunTable final : public QAbstractTableModel {
 public:
  enum Column {
    Started,
    Finished,
    Station,
    Unit,
    Reference,
    Test,
    Result,
    BenchUsed,
    RunId,
    ColumnCount
  };

  explicit TestRunTable(QObject* parent) : QAbstractTableModel(parent) {}

  const std::vector<history::TestRunRow>& rows() const { return rows_; }
  void SetRows(std::vector<history::TestRunRow> rows) {
    beginResetModel();
    rows_ = std::move(rows);
    endResetModel();
  }

  int rowCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
  }
  int columnCount(const QModelIndex& parent) const override {
    return parent.isValid() ? 0 : ColumnCount;
  }

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
      return {};
    static const char* const kCaptions[] = {"Начало",        "Конец", "Станция", "Проверяемое УПО",
                                            "Эталонное УПО", "Тест",  "Итог",    "Стенд",
                                            "Запуск"};
    return section >= 0 && section < ColumnCount ? QString::fromUtf8(kCaptions[section])
                                                 : QVariant();
  }

  QVariant data(const QModelIndex& index, int role) const override {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
      return {};
    const history::TestRunRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (role == Qt::ForegroundRole && index.column() == Result && row.verdict &&
        IsFailure(*row.verdict))
      return QBrush(QColor(0xb0, 0x00, 0x00));
    if (role == Qt::ToolTipRole && index.column() == Test)
      return FromUtf8(row.test);
    if (role != Qt::DisplayRole)
      return {};
    switch (index.column()) {
      case Started:
        return LocalTime(row.started);
      case Finished:
        return row.finished ? LocalTime(*row.finished) : QString();
      case Station:
        return FromUtf8(row.station);
      case Unit:
        return Serial(row.unitSerial);
      case Reference:
        return Serial(row.referenceSerial);
      case Test:
        return FromUtf8(row.caption);
      case Result:
        return row.verdict ? FromUtf8(VerdictText(*row.verdict)) : QString();
      case BenchUsed:
        return BenchCaption(row.bench);
      case RunId:
        return FromUtf8(row.runId);
      default:
        return {};
    }
  }

 private:
  std::vector<history::TestRunRow> rows_;
};

TFmHistory::TFmHistory(const history::HistoryLocation& location, QWidget* parent)
    : QDialog(parent) {
  setObjectName("FmHistory");
  setWindowTitle(QStringLiteral("История проверок"));
  setFont(WindowFont());
  setSizeGripEnabled(true);
  BuildControls();
  FitOnScreen(*this, QSize(900, 600));
  if (std::unique_ptr<history::RunHistory> history = history::OpenRunHistory(location)) {
    worker_ = std::make_unique<history::HistoryWorker>(std::move(history));
    Refresh();
  } else {
    SetStatus(QStringLiteral("История проверок не ведется"), true);
  }
}

TFmHistory::~TFmHistory() {
  // Reads still waiting are wanted by nobody; the one under way is waited
  // for, and its answer, posted to this window, goes with it.
  if (worker_) {
    worker_->DropWaiting();
    worker_.reset();
  }
}

const std::vector<history::TestRunRow>& TFmHistory::Rows() const {
  return table_->rows();
}

void TFmHistory::BuildControls() {
  auto* layout = new QVBoxLayout(this);

  auto* filter = new QHBoxLayout;
  auto* unitLabel = new QLabel(QStringLiteral("Проверяемое &УПО:"), this);
  EdUnitSerial = new QLineEdit(this);
  EdUnitSerial->setObjectName("EdUnitSerial");
  EdUnitSerial->setPlaceholderText(QStringLiteral("серийный номер"));
  EdUnitSerial->setClearButtonEnabled(true);
  EdUnitSerial->setMaximumWidth(140);
  unitLabel->setBuddy(EdUnitSerial);
  auto* verdictLabel = new QLabel(QStringLiteral("&Итог:"), this);
  CBVerdict = new QComboBox(this);
  CBVerdict->setObjectName("CBVerdict");
  for (const VerdictChoice& choice : kVerdictChoices)
    CBVerdict->addItem(QString::fromUtf8(choice.caption));
  verdictLabel->setBuddy(CBVerdict);
  BtFind = new QPushButton(QStringLiteral("&Показать"), this);
  BtFind->setObjectName("BtFind");
  BtFind->setDefault(true);
  BtExportCsv = new QPushButton(QStringLiteral("Сохранить в &CSV..."), this);
  BtExportCsv->setObjectName("BtExportCsv");
  BtExportCsv->setAutoDefault(false);
  filter->addWidget(unitLabel);
  filter->addWidget(EdUnitSerial);
  filter->addSpacing(12);
  filter->addWidget(verdictLabel);
  filter->addWidget(CBVerdict);
  filter->addWidget(BtFind);
  filter->addStretch(1);
  filter->addWidget(BtExportCsv);
  layout->addLayout(filter);

  table_ = new TestRunTable(this);
  TvRuns = new QTableView(this);
  TvRuns->setObjectName("TvRuns");
  TvRuns->setModel(table_);
  TvRuns->setSelectionBehavior(QAbstractItemView::SelectRows);
  TvRuns->setSelectionMode(QAbstractItemView::SingleSelection);
  TvRuns->setEditTriggers(QAbstractItemView::NoEditTriggers);
  TvRuns->setAlternatingRowColors(true);
  TvRuns->setWordWrap(false);
  TvRuns->verticalHeader()->hide();
  TvRuns->verticalHeader()->setDefaultSectionSize(TvRuns->fontMetrics().height() + 6);
  TvRuns->horizontalHeader()->setStretchLastSection(true);
  TvRuns->horizontalHeader()->setHighlightSections(false);
  MmRunLog = new LogView(this);
  MmRunLog->setObjectName("MmRunLog");
  MmRunLog->setFont(LogFont());
  MmRunLog->setToolTip(QStringLiteral("Протокол выбранного запуска"));
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(TvRuns);
  split->addWidget(MmRunLog);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 2);
  split->setChildrenCollapsible(false);
  layout->addWidget(split, 1);

  auto* bottom = new QHBoxLayout;
  LbStatus = new QLabel(this);
  LbStatus->setObjectName("LbStatus");
  LbStatus->setTextFormat(Qt::PlainText);
  LbStatus->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  auto* close = new QPushButton(QStringLiteral("&Закрыть"), this);
  close->setObjectName("BtClose");
  close->setAutoDefault(false);
  BtSaveTestReport = new QPushButton(QStringLiteral("Сохранить протокол испытаний (PDF)..."), this);
  BtSaveTestReport->setObjectName("BtSaveTestReport");
  BtSaveTestReport->setAutoDefault(false);
  BtSaveTestReport->setEnabled(false);
  bottom->addWidget(LbStatus, 1);
  bottom->addWidget(BtSaveTestReport);
  bottom->addWidget(close);
  layout->addLayout(bottom);

  connect(BtFind, &QPushButton::clicked, this, [this] { Refresh(); });
  connect(EdUnitSerial, &QLineEdit::returnPressed, this, [this] { Refresh(); });
  connect(CBVerdict, &QComboBox::currentIndexChanged, this, [this] { Refresh(); });
  connect(BtExportCsv, &QPushButton::clicked, this, [this] { ExportCsvClick(); });
  connect(BtSaveTestReport, &QPushButton::clicked, this, [this] { SaveTestReportClick(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(TvRuns->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          [this] { ShowSelectedRun(); });
}

void TFmHistory::SetStatus(const QString& text, bool problem) {
  LbStatus->setText(text);
  LbStatus->setToolTip(text);
  LbStatus->setStyleSheet(problem ? QStringLiteral("color: #b00000;") : QString());
}

void TFmHistory::Refresh() {
  if (!worker_)
    return;
  history::RunQuery query;
  query.order = history::RowOrder::NewestFirst;
  query.limit = kRowLimit;
  const QString serialText = EdUnitSerial->text().trimmed();
  if (!serialText.isEmpty()) {
    query.unitSerial = ParseSerial(serialText);
    if (!query.unitSerial) {
      SetStatus(QStringLiteral("Серийный номер УПО - целое число, например 10002"), true);
      return;
    }
  }
  query.verdicts = kVerdictChoices[std::max(0, CBVerdict->currentIndex())].verdicts;

  const std::uint64_t generation = ++listGeneration_;
  SetStatus(QStringLiteral("Загрузка..."), false);
  worker_->Post([self = this, generation, query](history::RunHistory& history) {
    RowsOutcome rows = history.ListTestRuns(query);
    QMetaObject::invokeMethod(
        self, [self, generation, rows = std::move(rows)] { self->ShowRows(generation, rows); },
        Qt::QueuedConnection);
  });
}

void TFmHistory::ShowRows(std::uint64_t generation, const RowsOutcome& rows) {
  if (generation != listGeneration_)
    return;
  if (!rows.ok()) {
    table_->SetRows({});
    SetStatus(FromUtf8(rows.error), true);
    emit RowsShown();
    return;
  }
  table_->SetRows(rows.value);
  TvRuns->resizeColumnsToContents();
  QString status =
      rows.value.size() >= kRowLimit
          ? QStringLiteral("Показаны последние %1 строк; уточните отбор").arg(rows.value.size())
          : QStringLiteral("Строк: %1").arg(rows.value.size());
  if (!rows.notice.empty())
    status += QStringLiteral("; ") + FromUtf8(rows.notice);
  SetStatus(status, false);
  if (!rows.value.empty())
    TvRuns->selectRow(0);
  emit RowsShown();
}

void TFmHistory::ShowSelectedRun() {
  const QModelIndexList selected = TvRuns->selectionModel()->selectedRows();
  if (selected.isEmpty() || !worker_)
    return;
  const history::TestRunRow& row = table_->rows()[static_cast<std::size_t>(selected[0].row())];
  if (row.runId == shownRunId_ && shownRun_) {
    ScrollToSelectedTest();
    emit LogShown();
    return;
  }
  const std::uint64_t generation = ++runGeneration_;
  const std::string runId = row.runId;
  worker_->Post([self = this, generation, runId](history::RunHistory& history) {
    RunOutcome run = history.FindRun(runId);
    QMetaObject::invokeMethod(
        self, [self, generation, run = std::move(run)] { self->ShowRun(generation, run); },
        Qt::QueuedConnection);
  });
}

void TFmHistory::ShowRun(std::uint64_t generation, const RunOutcome& run) {
  if (generation != runGeneration_)
    return;
  MmRunLog->clear();
  shownRun_.reset();
  shownRunId_.clear();
  BtSaveTestReport->setEnabled(false);
  if (!run.ok() || !run.value) {
    SetStatus(run.ok() ? QStringLiteral("Запуска нет в истории") : FromUtf8(run.error), true);
    emit LogShown();
    return;
  }
  shownRun_ = run.value;
  shownRunId_ = run.value->runId;
  BtSaveTestReport->setEnabled(true);
  // The log as the run printed it: a line each, the last break ending the
  // last line rather than starting an empty one.
  std::string_view log = shownRun_->log;
  if (!log.empty() && log.back() == '\n')
    log.remove_suffix(1);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = log.find('\n', start);
    MmRunLog->appendLine(log.substr(start, end == std::string_view::npos ? end : end - start));
    if (end == std::string_view::npos)
      break;
    start = end + 1;
  }
  ScrollToSelectedTest();
  emit LogShown();
}

void TFmHistory::ScrollToSelectedTest() {
  const QModelIndexList selected = TvRuns->selectionModel()->selectedRows();
  if (selected.isEmpty() || !shownRun_)
    return;
  const history::TestRunRow& row = table_->rows()[static_cast<std::size_t>(selected[0].row())];
  // A run's log is its tests' logs one after another; the selected test's
  // banner is where the lines of the tests before it end.
  std::size_t line = 0;
  std::size_t total = 0;
  std::optional<std::size_t> at;
  for (const history::RecordedTest& test : shownRun_->tests) {
    if (!at && test.id == row.test && test.started == row.started)
      at = total;
    total += test.log.size();
  }
  if (at && total == static_cast<std::size_t>(MmRunLog->lineCount()))
    line = *at;
  MmRunLog->scrollToLine(static_cast<qsizetype>(line));
}

QString TFmHistory::ExportCsv(const QString& path) const {
  const std::string error =
      ReplaceFileAtomically(QFile::encodeName(path).toStdString(), history::FormatCsv(Rows()));
  return FromUtf8(error);
}

void TFmHistory::ExportCsvClick() {
  const QString unit = EdUnitSerial->text().trimmed();
  const QString path =
      AskFileToWrite(this,
                     {QStringLiteral("Сохранить в CSV"), QStringLiteral("ExportCsvDialog"),
                      QStringLiteral("ReplaceCsvBox"), QStringLiteral("Файлы CSV (*.csv)"),
                      QStringLiteral("csv"), QStringLiteral("Сохранить"),
                      QStringLiteral("история-%1%2.csv")
                          .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")),
                               unit.isEmpty() ? QString() : QStringLiteral("-") + unit)},
                     exportFolder_);
  if (path.isEmpty())
    return;
  const QString error = ExportCsv(path);
  if (!error.isEmpty()) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle),
                    QStringLiteral("Не удалось сохранить историю в %1: %2")
                        .arg(QDir::toNativeSeparators(path), error),
                    QMessageBox::Ok, this);
    box.setObjectName("ErrorBox");
    box.exec();
  }
}

void TFmHistory::SaveTestReportClick() {
  if (!shownRun_)
    return;
  try {
    SaveTestReport(this, *shownRun_, reportFolder_);
  } catch (const std::exception& e) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(kAppTitle),
                    QString::fromUtf8(e.what()), QMessageBox::Ok, this);
    box.setObjectName("ErrorBox");
    box.exec();
  }
}

}  // namespace vr512b::gui
