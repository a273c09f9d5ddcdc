#include "history/pg_connection.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <map>
#include <memory>

#include "common/text.h"

namespace vr512b::history {

namespace {

std::string Trimmed(const char* text) {
  std::string trimmed = text != nullptr ? text : "";
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == ' '))
    trimmed.pop_back();
  // libpq words a connection failure over several lines, the next indented
  // by a TAB: one line of single spaces, as every other message.
  std::string oneLine;
  for (const char c : trimmed) {
    const bool blank = c == '\n' || c == '\t' || c == '\r' || c == ' ';
    if (!blank)
      oneLine += c;
    else if (!oneLine.empty() && oneLine.back() != ' ')
      oneLine += ' ';
  }
  return oneLine;
}

void IgnoreNotice(void*, const char*) {}

// Only a connection-level SQLSTATE or a broken connection means "try later".
bool ConnectionGone(PGconn* conn, const char* sqlState) {
  if (PQstatus(conn) != CONNECTION_OK)
    return true;
  const std::string_view state = sqlState != nullptr ? sqlState : "";
  // 55P03 and 57014: the server's own bounds on a lock or a statement passed;
  // the run is worth sending again later.
  return state.substr(0, 2) == "08" || state == "57P01" || state == "57P02" || state == "57P03" ||
         state == "55P03" || state == "57014";
}

}  // namespace

void PgParams::Text(std::string_view value, Oid type) {
  types_.push_back(type);
  values_.emplace_back(std::string(value));
  lengths_.push_back(0);
  formats_.push_back(0);
}

void PgParams::Bytes(std::string_view value) {
  types_.push_back(kBytea);
  values_.emplace_back(std::string(value));
  lengths_.push_back(static_cast<int>(value.size()));
  formats_.push_back(1);
}

void PgParams::Int(std::int64_t value, Oid type) {
  Text(std::to_string(value), type);
}

void PgParams::OptionalText(const std::optional<std::string>& value) {
  if (value) {
    Text(*value);
  } else {
    Null(kText);
  }
}

void PgParams::Null(Oid type) {
  types_.push_back(type);
  values_.emplace_back(std::nullopt);
  lengths_.push_back(0);
  formats_.push_back(0);
}

std::vector<const char*> PgParams::values() const {
  std::vector<const char*> pointers;
  pointers.reserve(values_.size());
  for (const auto& value : values_)
    pointers.push_back(value ? value->c_str() : nullptr);
  return pointers;
}

void PgArray::Next() {
  if (!elements_.empty())
    elements_ += ',';
}

void PgArray::Text(std::string_view value) {
  Next();
  elements_ += '"';
  for (const char c : value) {
    if (c == '"' || c == '\\')
      elements_ += '\\';
    elements_ += c;
  }
  elements_ += '"';
}

void PgArray::Bytes(std::string_view value) {
  Next();
  // The element's text is \x and two hex digits a byte; quoted, the
  // backslash is doubled.
  elements_ += "\"\\\\x";
  for (const char c : value) {
    AppendHexByte(elements_, static_cast<std::uint8_t>(c), false);
  }
  elements_ += '"';
}

void PgArray::Int(std::int64_t value) {
  Next();
  elements_ += std::to_string(value);
}

void PgArray::OptionalText(const std::optional<std::string>& value) {
  if (value) {
    Text(*value);
  } else {
    Next();
    elements_ += "NULL";
  }
}

void PgArray::OptionalInt(const std::optional<std::int64_t>& value) {
  if (value) {
    Int(*value);
  } else {
    Next();
    elements_ += "NULL";
  }
}

namespace {

// The connect_timeout the URI names, if any (libpq takes it in seconds).
std::optional<std::chrono::milliseconds> ConnectTimeoutOf(PGconn* conn) {
  struct OptionsDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
  };
  const std::unique_ptr<PQconninfoOption, OptionsDeleter> options(PQconninfo(conn));
  for (const PQconninfoOption* option = options.get(); option && option->keyword; ++option) {
    if (std::string_view(option->keyword) != "connect_timeout" || option->val == nullptr)
      continue;
    int seconds = 0;
    const std::string_view text(option->val);
    if (std::from_chars(text.data(), text.data() + text.size(), seconds).ec == std::errc() &&
        seconds > 0)
      return std::chrono::seconds(seconds);
  }
  return std::nullopt;
}

std::string Seconds(std::chrono::milliseconds bound) {
  return std::to_string((bound.count() + 999) / 1000);
}

}  // namespace

PgConnection::PgConnection(const std::string& uri, HistoryWaits waits) : waits_(waits) {
  const std::string timeout = Seconds(waits.connect);
  // Later keywords win: the URI's own settings override these defaults. The
  // keepalives find a server whose host is gone while a statement waits.
  const char* keywords[] = {
      "connect_timeout",     "fallback_application_name", "keepalives", "keepalives_idle",
      "keepalives_interval", "keepalives_count",          "dbname",     nullptr};
  const char* values[] = {timeout.c_str(), "vr512b-diag", "1", "5", "2", "3", uri.c_str(), nullptr};
  const auto attempt = std::chrono::steady_clock::now();
  // Taken before libpq's first step, which may already reach the server.
  const std::sig_atomic_t signalsBefore = Signals();
  conn_.reset(PQconnectStartParams(keywords, values, 1));
  if (!conn_)
    throw PgError(PgError::Kind::Unreachable, "libpq: нет памяти для соединения");
  // The URI's own connect_timeout, else ours (which libpq sees rounded up).
  std::chrono::milliseconds bound = ConnectTimeoutOf(conn_.get()).value_or(waits.connect);
  if (Seconds(bound) == timeout)
    bound = waits.connect;
  const auto deadline = attempt + bound;
  // libpq may have failed already (no such socket): then there is nothing to wait for.
  for (PostgresPollingStatusType polling =
           PQstatus(conn_.get()) == CONNECTION_BAD ? PGRES_POLLING_FAILED : PGRES_POLLING_WRITING;
       polling != PGRES_POLLING_OK && polling != PGRES_POLLING_FAILED;
       polling = PQconnectPoll(conn_.get())) {
    if (polling == PGRES_POLLING_READING || polling == PGRES_POLLING_WRITING)
      Wait(polling == PGRES_POLLING_WRITING, deadline, bound, signalsBefore);
  }
  if (PQstatus(conn_.get()) == CONNECTION_OK) {
    PQsetNoticeProcessor(conn_.get(), IgnoreNotice, nullptr);
    Execute(kServerTimeouts);
    return;
  }
  const std::string failure = Trimmed(PQerrorMessage(conn_.get()));
  conn_.reset();
  // A server that answers a ping is there and turned this login away. An
  // attempt that took most of its time met silence: no use asking again.
  const bool timedOut = std::chrono::steady_clock::now() - attempt > bound / 2;
  const bool answered = !timedOut && PQpingParams(keywords, values, 1) == PQPING_OK;
  throw PgError(answered ? PgError::Kind::Refused : PgError::Kind::Unreachable, failure);
}

std::sig_atomic_t PgConnection::Signals() const {
  return waits_.signalCount != nullptr ? *waits_.signalCount : 0;
}

void PgConnection::Wait(bool forWrite, std::chrono::steady_clock::time_point deadline,
                        std::chrono::milliseconds bound, std::sig_atomic_t signalsBefore) {
  std::string failure;
  const SocketWait result = WaitForSocket(PQsocket(conn_.get()), forWrite, deadline,
                                          waits_.signalCount, signalsBefore, failure);
  if (result == SocketWait::Ready)
    return;
  conn_.reset();
  switch (result) {
    case SocketWait::TimedOut:
      throw PgError(PgError::Kind::Unreachable, "нет ответа за " + Seconds(bound) + " с");
    case SocketWait::Interrupted:
      throw PgError(PgError::Kind::Unreachable, "ожидание ответа прервано сигналом");
    default:
      throw PgError(PgError::Kind::Unreachable, "ожидание ответа не удалось: " + failure);
  }
}

PgResult PgConnection::Await(std::sig_atomic_t signalsBefore) {
  const auto deadline = std::chrono::steady_clock::now() + waits_.statement;
  for (int unsent = PQflush(conn_.get()); unsent != 0; unsent = PQflush(conn_.get())) {
    if (unsent < 0)
      return PgResult(PQgetResult(conn_.get()));
    Wait(true, deadline, waits_.statement, signalsBefore);
  }
  // As PQexec does: the last result, unless one before it failed.
  PgResult kept;
  for (;;) {
    while (PQisBusy(conn_.get()) != 0) {
      Wait(false, deadline, waits_.statement, signalsBefore);
      if (PQconsumeInput(conn_.get()) == 0)
        return kept ? std::move(kept) : PgResult();
    }
    PgResult next(PQgetResult(conn_.get()));
    if (!next)
      return kept;
    const ExecStatusType status = PQresultStatus(next.get());
    const bool failed = status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK;
    const bool keptFailed = kept && PQresultStatus(kept.get()) != PGRES_COMMAND_OK &&
                            PQresultStatus(kept.get()) != PGRES_TUPLES_OK;
    if (!keptFailed || failed)
      kept = std::move(next);
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      return kept;
  }
}

PgResult PgConnection::Execute(const std::string& sql) {
  if (!Healthy())
    throw PgError(PgError::Kind::Unreachable, "соединение с сервером потеряно");
  const std::sig_atomic_t signalsBefore = Signals();
  if (PQsendQuery(conn_.get(), sql.c_str()) == 0)
    return Check(PgResult());
  return Check(Await(signalsBefore));
}

PgResult PgConnection::Execute(const std::string& sql, const PgParams& params) {
  if (!Healthy())
    throw PgError(PgError::Kind::Unreachable, "соединение с сервером потеряно");
  const std::vector<const char*> values = params.values();
  const std::sig_atomic_t signalsBefore = Signals();
  if (PQsendQueryParams(conn_.get(), sql.c_str(), params.size(), params.types(), values.data(),
                        params.lengths(), params.formats(), 0) == 0)
    return Check(PgResult());
  return Check(Await(signalsBefore));
}

PgResult PgConnection::Check(PgResult result) {
  const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK)
    return result;
  const char* sqlState = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
  const std::string text =
      Trimmed(result ? PQresultErrorMessage(result.get()) : PQerrorMessage(conn_.get()));
  throw PgError(
      ConnectionGone(conn_.get(), sqlState) ? PgError::Kind::Unreachable : PgError::Kind::Rejected,
      text.empty() ? Trimmed(PQerrorMessage(conn_.get())) : text);
}

PgTransaction::PgTransaction(PgConnection& conn) : conn_(conn) {
  conn_.Execute("BEGIN");
}

PgTransaction::~PgTransaction() {
  if (open_ && conn_.Healthy()) {
    try {
      conn_.Execute("ROLLBACK");
    } catch (const PgError&) {
      // The connection is gone with the transaction.
    }
  }
}

void PgTransaction::Commit() {
  open_ = false;
  conn_.Execute("COMMIT");
}

bool IsNull(const PGresult* result, int row, int column) {
  return PQgetisnull(result, row, column) != 0;
}

std::string Text(const PGresult* result, int row, int column) {
  return std::string(PQgetvalue(result, row, column),
                     static_cast<std::size_t>(PQgetlength(result, row, column)));
}

std::optional<std::string> OptionalText(const PGresult* result, int row, int column) {
  if (IsNull(result, row, column))
    return std::nullopt;
  return Text(result, row, column);
}

std::int64_t Int(const PGresult* result, int row, int column) {
  const char* text = PQgetvalue(result, row, column);
  const char* end = text + PQgetlength(result, row, column);
  std::int64_t value = 0;
  std::from_chars(text, end, value);
  return value;
}

std::optional<std::int64_t> OptionalInt(const PGresult* result, int row, int column) {
  if (IsNull(result, row, column))
    return std::nullopt;
  return Int(result, row, column);
}

std::string Bytes(const PGresult* result, int row, int column) {
  // Text results give bytea in hex: "\x" and two digits a byte.
  const std::string_view hex(PQgetvalue(result, row, column),
                             static_cast<std::size_t>(PQgetlength(result, row, column)));
  std::string bytes;
  if (hex.substr(0, 2) != "\\x")
    return bytes;
  bytes.reserve((hex.size() - 2) / 2);
  for (std::size_t i = 2; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(HexDigitValue(hex[i]) * 16 + HexDigitValue(hex[i + 1]));
  return bytes;
}

PgServerNames NameServer(const std::string& uri) {
  struct OptionsDeleter {
    void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
  };
  char* error = nullptr;
  const std::unique_ptr<PQconninfoOption, OptionsDeleter> options(
      PQconninfoParse(uri.c_str(), &error));
  PQfreemem(error);
  if (!options)
    return {};
  std::map<std::string, std::string> given;
  for (const PQconninfoOption* option = options.get(); option->keyword != nullptr; ++option) {
    if (option->val != nullptr)
      given[option->keyword] = option->val;
  }
  const std::string host = given.count("host") ? given["host"] : given["hostaddr"];
  std::string display = given["user"].empty() ? std::string() : given["user"] + "@";
  display += host;
  if (!given["port"].empty())
    display += ":" + given["port"];
  display += "/" + given["dbname"];
  const std::string key = "host=" + given["host"] + " hostaddr=" + given["hostaddr"] +
                          " port=" + given["port"] + " dbname=" + given["dbname"];
  return {display, key};
}

}  // namespace vr512b::history
