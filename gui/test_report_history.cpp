#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTimeZone>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "common/atomic_file.h"
#include "gui/ask_file_to_write.h"
#include "gui/diag_session.h"
#include "gui/gui_fonts.h"
#include "gui/test_report.h"
#include "history/history_location.h"
#include "history/recorded_run.h"
#include "history/run_history.h"

namespace vr512b::gui {

namespace {

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString Escaped(std::string_view text) {
  return FromUtf8(text).toHtmlEscaped();
}

QDateTime LocalTime(history::TimeMs time) {
  return QDateTime::fromMSecsSinceEpoch(time.time_since_epoch().count(), Qt::LocalTime);
}

// "09.12.2026 11:40:05 (UTC+03:00)"
QString WithOffset(const QDateTime& local) {
  const int offset = local.offsetFromUtc();
  const int minutes = (offset < 0 ? -offset : offset) / 60;
  return QStringLiteral("%1 (UTC%2%3:%4)")
      .arg(local.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss")), offset < 0 ? "-" : "+")
      .arg(minutes / 60, 2, 10, QLatin1Char('0'))
      .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString UnitText(const std::optional<history::UnitIdentity>& unit) {
  if (!unit)
    return QStringLiteral("не опрашивалось");
  return QStringLiteral("серийный номер %1, версия %2.%3")
      .arg(unit->serial)
      .arg(unit->version >> 8)
      .arg(unit->version & 0xFF);
}

bool IsCloseLine(const std::string& line) {
  return line == "Проверяемое устройство закрыто" || line == "Эталонное устройство закрыто";
}

QString Row(const QString& name, const QString& value) {
  return QStringLiteral("<tr><td>%1</td><td>%2</td></tr>").arg(name.toHtmlEscaped(), value);
}

}  // namespace

QString BenchCaption(const std::optional<history::Bench>& bench) {
  if (!bench)
    return {};
  return *bench == history::Bench::Virtual ? QStringLiteral("виртуальный")
                                           : QStringLiteral("настоящий");
}

QString FailingLine(const history::RecordedTest& test) {
  if (test.verdict == Verdict::Ok)
    return {};
  for (auto line = test.log.rbegin(); line != test.log.rend(); ++line) {
    if (!line->empty() && !IsCloseLine(*line))
      return FromUtf8(*line);
  }
  return {};
}

QString TestReportHtml(const history::RecordedRun& run) {
  QString html = QStringLiteral(
      "<html><head><style>"
      "h1 { font-size: 16pt; } h2 { font-size: 12pt; margin-top: 12px; }"
      "td { padding: 1px 8px 1px 0; vertical-align: top; }"
      "th { text-align: left; padding: 1px 8px 1px 0; }"
      "pre { font-size: 8pt; white-space: pre-wrap; }"
      "</style></head><body>");
  html += QStringLiteral("<h1>Протокол испытаний</h1>");
  html += QStringLiteral("<p>Диагностика УПО VR512B</p><table>");
  html += Row(QStringLiteral("Станция:"), Escaped(run.station));
  // A run of the virtual bench must never pass for one of real units.
  if (run.bench)
    html += Row(QStringLiteral("Стенд:"), BenchCaption(run.bench));
  html += Row(QStringLiteral("Начало:"), WithOffset(LocalTime(run.started)));
  html += Row(QStringLiteral("Окончание:"), WithOffset(LocalTime(run.finished)));
  html += Row(QStringLiteral("Программа:"),
              Escaped(run.program) + QStringLiteral(", версия ") + Escaped(run.programVersion));
  html += Row(QStringLiteral("Запуск:"), Escaped(run.runId));
  html += Row(QStringLiteral("Проверяемое УПО:"), UnitText(run.unitUnderTest));
  html += Row(QStringLiteral("Эталонное УПО:"), UnitText(run.referenceUnit));
  html += QStringLiteral("</table>");

  html += QStringLiteral("<h2>Результаты</h2><table>");
  html += QStringLiteral("<tr><th>Тест</th><th>Итог</th><th>Причина</th></tr>");
  for (const history::RecordedTest& test : run.tests) {
    const QString verdict =
        test.verdict ? Escaped(VerdictText(*test.verdict)) : QStringLiteral("Сбой");
    html += QStringLiteral("<tr><td>%1</td><td>%2</td><td>%3</td></tr>")
                .arg(Escaped(test.caption), verdict, FailingLine(test).toHtmlEscaped());
  }
  html += QStringLiteral("</table>");

  html += QStringLiteral("<h2>Параметры</h2><table>");
  for (const history::RunParameter& parameter : run.parameters)
    html += Row(FromUtf8(parameter.name) + QStringLiteral(":"), Escaped(parameter.value));
  html += QStringLiteral("</table>");

  html += QStringLiteral("<h2>Протокол проверки</h2><pre>");
  // The log as the run printed it, CR LF or LF; a blank line stays one.
  QString log = FromUtf8(run.log);
  log.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  if (log.endsWith(QLatin1Char('\n')))
    log.chop(1);
  html += log.toHtmlEscaped();
  html += QStringLiteral("</pre></body></html>");
  return html;
}

QString WriteTestReport(const history::RecordedRun& run, const QString& path) {
  QBuffer pdf;
  pdf.open(QIODevice::WriteOnly);
  {
    QPdfWriter writer(&pdf);
    writer.setTitle(QStringLiteral("Протокол испытаний УПО VR512B"));
    writer.setCreator(FromUtf8(run.program) + QLatin1Char(' ') + FromUtf8(run.programVersion));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
    QTextDocument document;
    QFont font = WindowFont();
    font.setPointSizeF(10);
    // No shaping: no "ff" or "fi" ligature that a reader of the file would
    // get back as one character.
    font.setStyleStrategy(QFont::PreferNoShaping);
    document.setDefaultFont(font);
    document.setHtml(TestReportHtml(run));
    document.print(&writer);
  }
  AtomicFileWriter file(QFile::encodeName(path).toStdString());
  file.Write(std::string_view(pdf.data().constData(), static_cast<std::size_t>(pdf.size())));
  return QString::fromStdString(file.Commit());
}

QString ProposedTestReportName(const history::RecordedRun& run) {
  const QDateTime started = LocalTime(run.started);
  const QString date = started.toString(QStringLiteral("yyyy-MM-dd"));
  const QString tail = run.unitUnderTest ? QString::number(run.unitUnderTest->serial)
                                         : started.toString(QStringLiteral("HH-mm-ss"));
  return QStringLiteral("протокол-испытаний-%1-%2.pdf").arg(date, tail);
}

void SaveTestReport(QWidget* parent, const history::RecordedRun& run, QString& folder) {
  const QString path = AskFileToWrite(
      parent,
      {QStringLiteral("Сохранить протокол испытаний"), QStringLiteral("TestReportDialog"),
       QStringLiteral("ReplaceTestReportBox"), QStringLiteral("Документы PDF (*.pdf)"),
       QStringLiteral("pdf"), QStringLiteral("Сохранить"), ProposedTestReportName(run)},
      folder);
  if (path.isEmpty())
    return;
  const QString error = WriteTestReport(run, path);
  if (!error.isEmpty()) {
    throw std::runtime_error(QStringLiteral("Не удалось сохранить протокол испытаний в %1: %2")
                                 .arg(QDir::toNativeSeparators(path), error)
                                 .toStdString());
  }
}

int WriteTestReportOfRun(const StartOptions& options, const std::string& runId,
                         const QString& path) {
  auto fail = [](const QString& text, int status) {
    std::fputs((QStringLiteral("vr512b-diag: ") + text + QLatin1Char('\n')).toUtf8().constData(),
               stderr);
    return status;
  };
  const history::LocateOutcome located = history::LocateHistory(
      options.historyUrl, history::HistoryEnvironment::FromProcess(), options.simulate);
  if (!located.error.empty())
    return fail(FromUtf8(located.error), 64);
  const std::unique_ptr<history::RunHistory> history = history::OpenRunHistory(located.location);
  if (!history)
    return fail(QStringLiteral("история проверок не ведется"), 3);
  const std::optional<std::string> canonical = history::CanonicalRunId(runId);
  if (!canonical)
    return fail(QStringLiteral("неверный идентификатор запуска: %1").arg(FromUtf8(runId)), 64);
  const auto found = history->FindRun(*canonical);
  if (!found.error.empty())
    return fail(FromUtf8(found.error), 3);
  if (!found.value)
    return fail(QStringLiteral("запуск %1 не найден в истории").arg(FromUtf8(*canonical)), 1);
  const QString error = WriteTestReport(*found.value, path);
  if (!error.isEmpty())
    return fail(QStringLiteral("не удалось сохранить протокол испытаний в %1: %2").arg(path, error),
                4);
  return 0;
}

}  // namespace vr512b::gui
