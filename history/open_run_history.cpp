#if VR512B_HISTORY_POSTGRES
#include "history/postgres_history.h"
#endif
#include "history/run_history.h"
#include "history/sqlite_history.h"

namespace vr512b::history {

std::unique_ptr<RunHistory> OpenRunHistory(const HistoryLocation& location, HistoryWaits waits) {
  switch (location.kind) {
    case HistoryKind::None:
      return nullptr;
    case HistoryKind::SqliteFile:
      return std::make_unique<SqliteHistory>(location.target, location.isDefault, waits);
    case HistoryKind::Postgres:
#if VR512B_HISTORY_POSTGRES
      return std::make_unique<PostgresHistory>(location.target, location.spoolPath, waits);
#else
      // A build without libpq: ParseHistoryUrl refuses every server address.
      return nullptr;
#endif
  }
  return nullptr;
}

}  // namespace vr512b::history
