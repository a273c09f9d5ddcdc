// The PostgreSQL server the tests use, as pg_server.sh left it.

#include <libpq-fe.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <stdexcept>

#include "autotests/history/history_test_support.h"

namespace vr512b::history::testing {

namespace {

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
