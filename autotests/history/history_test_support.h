#pragma once

// What the history tests share: sample runs, child processes, SQLite
// statements, and the PostgreSQL server CTest started for them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "autotests/support/test_support.h"
#include "history/recorded_run.h"

namespace vr512b::history::testing {

// A run of the functioning test and the indication test, with both units
// read, as a bench would record it; `minute` shifts its times so that runs
// made in a row have distinct, increasing starts.
RecordedRun SampleRun(std::int32_t unitSerial, int minute = 0);

// The names of the entries of a folder.
std::set<std::string> FolderListing(const std::string& folder);

// Private folders and file bytes, as every suite has them.
using vr512b::testing::FileExists;
using vr512b::testing::ReadFile;
using vr512b::testing::TempDir;
using vr512b::testing::WriteFile;

// Runs `work(i)` for i = 0 .. count-1, each in a child process of its own,
// all released at the same moment (on Windows, each on a thread of its own).
// Returns the children's exit statuses (-1 for a child that did not exit
// normally).
std::vector<int> RunInChildren(int count, const std::function<int(int)>& work);

// A statement run with the sqlite3 library on `path`; throws on failure.
void SqliteExecute(const std::string& path, const std::string& sql);
std::int64_t SqliteQueryInt(const std::string& path, const std::string& sql);
// Column `column` of every row, a line each.
std::string SqliteQueryColumn(const std::string& path, const std::string& sql, int column);

// Another program holding a history file, as `BEGIN EXCLUSIVE` in sqlite3
// holds it, until Release or the end of the object.
class HeldSqliteFile {
 public:
  explicit HeldSqliteFile(const std::string& path);
  ~HeldSqliteFile();
  HeldSqliteFile(const HeldSqliteFile&) = delete;
  HeldSqliteFile& operator=(const HeldSqliteFile&) = delete;
  void Release();

 private:
  struct Connection;
  std::unique_ptr<Connection> connection_;
};

// autotests/history/pg_server.sh, in the programs that know where it is.
std::string PgServerScript();

// The PostgreSQL server of the CTest fixture (autotests/history/pg_server.sh).
class PgServer {
 public:
  // The fixture's server; none, with the reason in `why`, when it is not
  // running (the test then skips and says why).
  static std::optional<PgServer> Fixture(std::string& why);
  // A server of its own in `stateDir`, for a test that stops and starts it.
  static std::optional<PgServer> Private(const std::string& stateDir, std::string& why);

  // A libpq URI for `database` as `user` (the superuser when empty), with
  // `password` when not empty.
  std::string Uri(const std::string& database, const std::string& user = {},
                  const std::string& password = {}) const;
  const std::string& socketFolder() const { return socket_; }
  const std::string& port() const { return port_; }
  // A fresh, empty database; its name.
  std::string CreateDatabase();
  // Statements run as the superuser in `database`; throws on failure.
  void Execute(const std::string& database, const std::string& sql) const;
  std::string QueryText(const std::string& database, const std::string& sql) const;

  // Stops and starts the server through the script (Private servers only).
  void Stop() const;
  void Start() const;

 private:
  PgServer(std::string stateDir, std::string socket, std::string port)
      : stateDir_(std::move(stateDir)), socket_(std::move(socket)), port_(std::move(port)) {}
  static std::optional<PgServer> FromState(const std::string& stateDir, std::string& why);
  void Script(const char* command) const;

  std::string stateDir_;
  std::string socket_;
  std::string port_;
};

}  // namespace vr512b::history::testing
