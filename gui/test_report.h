#pragma once

#include <QString>

#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace vr512b::history {
struct RecordedRun;
struct RecordedTest;
enum class Bench;
}  // namespace vr512b::history

namespace vr512b::gui {

struct StartOptions;

// "Протокол испытаний": one run of the history as a printable A4 PDF — the
// station, the date and local time with its offset from UTC, the program's
// version, both units' serial numbers and versions, the parameters, each
// test's verdict with the line that failed it, and the whole log.

// The line of a test's log that tells why it did not end "OK": the last
// line the test wrote before it closed its units. Empty for a test that
// passed or wrote nothing of its own.
QString FailingLine(const history::RecordedTest& test);

// The bench a run ran on, as the history window and the report show it;
// empty for a run recorded before the history kept it.
QString BenchCaption(const std::optional<history::Bench>& bench);

// The report as the rich text the PDF is printed from.
QString TestReportHtml(const history::RecordedRun& run);

// Writes the report of `run` to `path` in one step: a file that was there
// stays as it was when that fails. Returns an error text, empty on success.
QString WriteTestReport(const history::RecordedRun& run, const QString& path);

// The name a save proposes: the date and the serial number of the unit under
// test, or the date and time without one.
QString ProposedTestReportName(const history::RecordedRun& run);

// Asks for the file (the save dialog, then whether to replace one that is
// there), starting in `folder`, and writes the report of `run`; a failure is
// thrown with its text for the error box.
void SaveTestReport(QWidget* parent, const history::RecordedRun& run, QString& folder);

// `vr512b-diag --test-report RUN_ID FILE.pdf`: the report of a run of the
// history that `options` locate, without a window. Says what went wrong on
// stderr; returns the exit status, as the runner's history commands have
// them: 0 written, 1 no such run, 3 the history cannot be read, 4 the file
// could not be written, 64 a history address or run id that does not parse.
int WriteTestReportOfRun(const StartOptions& options, const std::string& runId,
                         const QString& path);

}  // namespace vr512b::gui
