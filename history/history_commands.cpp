#include "history/history_commands.h"

#include "common/utf8.h"
#include "history/history_format.h"

namespace vr512b::history {

CommandOutput ListRunsCommand(RunHistory& history, const RunQuery& query, ListFormat format) {
  const auto rows = history.ListTestRuns(query);
  if (!rows.ok())
    return {{}, rows.error, rows.notice, CommandOutput::Failure::Unreadable};
  return {
      format == ListFormat::Json ? FormatJson(rows.value) : FormatCsv(rows.value), {}, rows.notice};
}

CommandOutput ShowRunCommand(RunHistory& history, std::string_view runId) {
  if (!CanonicalRunId(runId)) {
    return {{},
            "\"" + ValidUtf8(runId) +
                "\" не идентификатор запуска: ожидается UUID вида "
                "5f0c2d4e-8a1b-4c3d-9e7f-0a1b2c3d4e5f, как его показывает --list-runs",
            {},
            CommandOutput::Failure::BadRunId};
  }
  const auto found = history.FindRun(runId);
  if (!found.ok())
    return {{}, found.error, found.notice, CommandOutput::Failure::Unreadable};
  if (!found.value) {
    return {{},
            "запуска " + ValidUtf8(runId) + " нет в истории \"" + ValidUtf8(history.Where()) + "\"",
            found.notice,
            CommandOutput::Failure::NoSuchRun};
  }
  return {found.value->log, {}, found.notice};
}

}  // namespace vr512b::history
