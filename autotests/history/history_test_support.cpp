#include "history_test_support.h"

#include <libpq-fe.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vr512b::history::testing {

namespace fs = std::filesystem;

RecordedRun SampleRun(std::int32_t unitSerial, int minute) {
  using namespace std::chrono;
  const TimeMs start = TimeMs(sys_days(2026y / 12 / 8).time_since_epoch() + hours(9) +
                              minutes(minute) + milliseconds(125));
  RecordedRun run;
  run.runId = NewRunId();
  run.program = "vr512b-diag-cli";
  run.programVersion = "2.0.0.3";
  run.station = "bench-3";
  run.started = start;
  run.finished = start + seconds(16) + milliseconds(40);
  run.unitUnderTest = UnitIdentity{unitSerial, 0x0102};
  run.referenceUnit = UnitIdentity{10001, 0x0103};
  run.parameters = {{"NameVR512BSample", "10001"}, {"PhoneSample", "2001"}, {"Phone", "2002"},
                    {"IDContact", "true"},         {"LowSpeed", "false"},   {"ShortTest", "true"}};
  RecordedTest func;
  func.id = "func";
  func.caption = "Функционирование";
  func.verdict = "OK";
  func.started = start + milliseconds(3);
  func.finished = start + seconds(15) + milliseconds(900);
  func.log = {"---------------------------------------", ">>>>>--Проверка функционирования--<<<<<",
              "---------------------------------------",
              "Проверяемое УПО: версия 1.2, серийный номер " + std::to_string(unitSerial), ""};
  RecordedTest indic;
  indic.id = "indic";
  indic.caption = "Индикация";
  indic.verdict = "Ошибка";
  indic.started = start + seconds(15) + milliseconds(901);
  indic.finished = start + seconds(16) + milliseconds(30);
  indic.log = {"-------------------------------", ">>>>>--Проверка индикации--<<<<<",
               "-------------------------------", "Индикатор 'Линия' не горит", ""};
  run.tests = {func, indic};
  for (const RecordedTest& test : run.tests) {
    for (const std::string& line : test.log)
      run.log += line + "\n";
  }
  return run;
}

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "vr512b-history.XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr)
    throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(path, ignored);
}

std::vector<int> RunInChildren(int count, const std::function<int(int)>& work) {
  int gate[2];
  if (::pipe(gate) != 0)
    throw std::runtime_error("pipe failed");
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      ::close(gate[1]);
      char byte;
      // Released when the parent closes its end: all children at once.
      while (::read(gate[0], &byte, 1) < 0) {
      }
      int status = 100;
      try {
        status = work(i);
      } catch (...) {
        status = 101;
      }
      ::_exit(status);
    }
    children.push_back(pid);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  std::vector<int> statuses;
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  return statuses;
}

namespace {

struct SqliteCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};

std::unique_ptr<sqlite3, SqliteCloser> OpenSqlite(const std::string& path) {
  sqlite3* raw = nullptr;
  const int code =
      sqlite3_open_v2(path.c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  std::unique_ptr<sqlite3, SqliteCloser> db(raw);
  if (code != SQLITE_OK)
    throw std::runtime_error("sqlite3_open_v2 " + path + ": " + sqlite3_errstr(code));
  return db;
}

struct PgFinisher {
  void operator()(PGconn* conn) const { PQfinish(conn); }
};
struct PgClear {
  void operator()(PGresult* result) const { PQclear(result); }
};

std::string FirstLine(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

}  // namespace

void SqliteExecute(const std::string& path, const std::string& sql) {
  const auto db = OpenSqlite(path);
  char* error = nullptr;
  if (sqlite3_exec(db.get(), sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    const std::string text = error != nullptr ? error : "?";
    sqlite3_free(error);
    throw std::runtime_error("sqlite3_exec: " + text);
  }
}

std::int64_t SqliteQueryInt(const std::string& path, const std::string& sql) {
  const auto db = OpenSqlite(path);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string("sqlite3_prepare_v2: ") + sqlite3_errmsg(db.get()));
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  if (sqlite3_step(raw) != SQLITE_ROW)
    throw std::runtime_error(std::string("sqlite3_step: ") + sqlite3_errmsg(db.get()));
  return sqlite3_column_int64(raw, 0);
}

std::string SqliteQueryColumn(const std::string& path, const std::string& sql, int column) {
  const auto db = OpenSqlite(path);
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v2(db.get(), sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
    throw std::runtime_error(std::string("sqlite3_prepare_v2: ") + sqlite3_errmsg(db.get()));
  const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> statement(raw, sqlite3_finalize);
  std::string lines;
  while (sqlite3_step(raw) == SQLITE_ROW) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
    lines += text != nullptr ? text : "";
    lines += '\n';
  }
  return lines;
}

std::optional<PgServer> PgServer::FromState(const std::string& stateDir, std::string& why) {
  if (FileExists(stateDir + "/unavailable")) {
    why = "no PostgreSQL server: " + FirstLine(stateDir + "/unavailable");
    return std::nullopt;
  }
  const std::string socket = FirstLine(stateDir + "/socket");
  const std::string port = FirstLine(stateDir + "/port");
  if (socket.empty() || port.empty()) {
    why = "no PostgreSQL server: " + stateDir + " holds no running server";
    return std::nullopt;
  }
  return PgServer(stateDir, socket, port);
}

std::optional<PgServer> PgServer::Fixture(std::string& why) {
  const char* state = std::getenv("VR512B_PG_STATE");
  if (state == nullptr || *state == '\0') {
    why = "no PostgreSQL server: VR512B_PG_STATE is not set (run the tests through ctest)";
    return std::nullopt;
  }
  return FromState(state, why);
}

std::string PgServerScript() {
#ifdef VR512B_PG_SCRIPT
  return VR512B_PG_SCRIPT;
#else
  return {};
#endif
}

std::optional<PgServer> PgServer::Private(const std::string& stateDir, std::string& why) {
  const std::string command = "bash '" + PgServerScript() + "' start '" + stateDir + "'";
  if (std::system(command.c_str()) != 0 && !FileExists(stateDir + "/unavailable")) {
    why = "no PostgreSQL server: " + command + " failed";
    return std::nullopt;
  }
  return FromState(stateDir, why);
}

void PgServer::Script(const char* command) const {
  const std::string line = "bash '" + PgServerScript() + "' " + command + " '" + stateDir_ + "'";
  if (std::system(line.c_str()) != 0)
    throw std::runtime_error(line + " failed");
}

void PgServer::Stop() const {
  Script("stop");
}

void PgServer::Start() const {
  Script("start");
}

std::string PgServer::Uri(const std::string& database, const std::string& user,
                          const std::string& password) const {
  std::string uri = "postgresql://" + (user.empty() ? std::string("postgres") : user);
  if (!password.empty())
    uri += ":" + password;
  return uri + "@/" + database + "?host=" + socket_ + "&port=" + port_;
}

std::string PgServer::CreateDatabase() {
  std::random_device entropy;
  const std::string name = "history_" + std::to_string(entropy()) + std::to_string(entropy());
  Execute("postgres", "CREATE DATABASE " + name);
  return name;
}

void PgServer::Execute(const std::string& database, const std::string& sql) const {
  const std::unique_ptr<PGconn, PgFinisher> conn(PQconnectdb(Uri(database).c_str()));
  if (PQstatus(conn.get()) != CONNECTION_OK)
    throw std::runtime_error(std::string("connect: ") + PQerrorMessage(conn.get()));
  const std::unique_ptr<PGresult, PgClear> result(PQexec(conn.get(), sql.c_str()));
  const ExecStatusType status = PQresultStatus(result.get());
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
    throw std::runtime_error(sql + ": " + PQresultErrorMessage(result.get()));
}

std::string PgServer::QueryText(const std::string& database, const std::string& sql) const {
  const std::unique_ptr<PGconn, PgFinisher> conn(PQconnectdb(Uri(database).c_str()));
  if (PQstatus(conn.get()) != CONNECTION_OK)
    throw std::runtime_error(std::string("connect: ") + PQerrorMessage(conn.get()));
  const std::unique_ptr<PGresult, PgClear> result(PQexec(conn.get(), sql.c_str()));
  if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) < 1)
    throw std::runtime_error(sql + ": " + PQresultErrorMessage(result.get()));
  return PQgetvalue(result.get(), 0, 0);
}

}  // namespace vr512b::history::testing
