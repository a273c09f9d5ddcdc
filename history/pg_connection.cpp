#include "history/pg_connection.h"

#include <charconv>
#include <chrono>
#include <map>

#include "common/text.h"

namespace vr512b::history {

namespace {

std::string Trimmed(const char* text) {
  std::string trimmed = text != nullptr ? text : "";
  while (!trimmed.empty() && (trimmed.back() == '\n' || trimmed.back() == ' '))
    trimmed.pop_back();
  // libpq words a connection failure over several lines.
  for (char& c : trimmed) {
    if (c == '\n')
      c = ' ';
  }
  return trimmed;
}

void IgnoreNotice(void*, const char*) {}

// Only a connection-level SQLSTATE or a broken connection means "try later".
bool ConnectionGone(PGconn* conn, const char* sqlState) {
  if (PQstatus(conn) != CONNECTION_OK)
    return true;
  const std::string_view state = sqlState != nullptr ? sqlState : "";
  return state.substr(0, 2) == "08" || state == "57P01" || state == "57P02" || state == "57P03";
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

PgConnection::PgConnection(const std::string& uri) {
  const std::string timeout = std::to_string(kConnectTimeoutSeconds);
  // Later keywords win: the URI's own settings override these defaults.
  const char* keywords[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {timeout.c_str(), "vr512b-diag", uri.c_str(), nullptr};
  const auto attempt = std::chrono::steady_clock::now();
  conn_.reset(PQconnectdbParams(keywords, values, 1));
  if (!conn_)
    throw PgError(PgError::Kind::Unreachable, "libpq: нет памяти для соединения");
  if (PQstatus(conn_.get()) == CONNECTION_OK) {
    PQsetNoticeProcessor(conn_.get(), IgnoreNotice, nullptr);
    return;
  }
  const std::string failure = Trimmed(PQerrorMessage(conn_.get()));
  // A server that answers a ping is there and turned this login away. An
  // attempt that took most of the timeout met silence: no use asking again.
  const bool timedOut =
      std::chrono::steady_clock::now() - attempt > std::chrono::seconds(kConnectTimeoutSeconds) / 2;
  const bool answered = !timedOut && PQpingParams(keywords, values, 1) == PQPING_OK;
  throw PgError(answered ? PgError::Kind::Refused : PgError::Kind::Unreachable, failure);
}

PgResult PgConnection::Execute(const std::string& sql) {
  return Check(PgResult(PQexec(conn_.get(), sql.c_str())));
}

PgResult PgConnection::Execute(const std::string& sql, const PgParams& params) {
  const std::vector<const char*> values = params.values();
  return Check(PgResult(PQexecParams(conn_.get(), sql.c_str(), params.size(), params.types(),
                                     values.data(), params.lengths(), params.formats(), 0)));
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
