#pragma once

// Where the run history lives: the URL rules of --history and VR512B_HISTORY,
// and the default files.
//
//   none                      no history
//   sqlite:PATH               a SQLite file, PATH as written
//   postgresql://... or postgres://...
//                             a PostgreSQL server (a libpq connection URI)
//   anything else             a SQLite file path (use ./none for a file named "none")
//
// Other "scheme://" texts, a "postgresql:" without "//" and an empty URL are
// errors; so is a server in a build without libpq. The defaults are
// $XDG_DATA_HOME/Korvex/vr512b-history.sqlite (~/.local/share/Korvex/...), on
// Windows %LOCALAPPDATA%\Korvex\vr512b-history.sqlite, and, for the virtual
// bench, so that simulated runs never mix with real ones,
// vr512b-history-sim.sqlite beside it.

#include <optional>
#include <string>
#include <string_view>

namespace vr512b::history {

enum class HistoryKind { None, SqliteFile, Postgres };

struct HistoryLocation {
  HistoryKind kind = HistoryKind::None;
  std::string target;  // the file path, or the connection URI
  // For a server: the local file that keeps the runs it did not take, beside
  // the default history file; empty when there is no home folder to keep it in.
  std::string spoolPath;
  bool isDefault = false;  // the default file: its folder is made when needed
  friend bool operator==(const HistoryLocation&, const HistoryLocation&) = default;
};

// The environment the defaults come from. On Windows only `history` and
// `localAppData` are filled in; on other systems `localAppData` stays empty.
struct HistoryEnvironment {
  std::optional<std::string> history;      // VR512B_HISTORY
  std::optional<std::string> xdgDataHome;  // XDG_DATA_HOME
  std::optional<std::string> home;         // HOME
  // The user's local application data folder (FOLDERID_LocalAppData, UTF-8).
  std::optional<std::string> localAppData;
  static HistoryEnvironment FromProcess();  // history_environment_{posix,win32}.cpp
};

struct LocateOutcome {
  HistoryLocation location;
  std::string error;  // empty on success
};

// `url` by the rules above. The error text names the URL and what is wrong.
LocateOutcome ParseHistoryUrl(std::string_view url, const HistoryEnvironment& env,
                              bool virtualBench);

// The history a run uses: --history URL when given, else VR512B_HISTORY when
// set and not empty, else the default file. An error text starts with the
// option or variable the URL came from.
LocateOutcome LocateHistory(const std::optional<std::string>& commandLineUrl,
                            const HistoryEnvironment& env, bool virtualBench);

// The default history file, empty when neither the local application data
// folder, nor XDG_DATA_HOME (absolute), nor HOME says where the user's data
// goes.
std::string DefaultHistoryPath(const HistoryEnvironment& env, bool virtualBench);

// A server's runs waiting to be sent are kept here.
std::string DefaultSpoolPath(const HistoryEnvironment& env, bool virtualBench);

}  // namespace vr512b::history
