#pragma once

// Thin RAII over libpq: a connection, its results and statement parameters.
// Failures throw PgError, which tells a server that cannot be reached (or
// went away) from one that answered and said no.

#include <libpq-fe.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "history/pg_socket_wait.h"

namespace vr512b::history {

class PgError : public std::runtime_error {
 public:
  enum class Kind {
    Unreachable,  // no answer, or the connection broke: worth trying again later
    Refused,      // the server answered and would not let this login in
    Rejected,     // the server took the connection and refused a statement
  };
  PgError(Kind kind, const std::string& text) : std::runtime_error(text), kind_(kind) {}
  Kind kind() const { return kind_; }

 private:
  Kind kind_;
};

struct PgResultDeleter {
  void operator()(PGresult* result) const { PQclear(result); }
};
using PgResult = std::unique_ptr<PGresult, PgResultDeleter>;

// Statement parameters with their types, so that the server never guesses.
class PgParams {
 public:
  void Text(std::string_view value, Oid type = kText);
  void Bytes(std::string_view value);  // bytea, sent as it is
  void Int(std::int64_t value, Oid type = kInt8);
  template <typename T>
  void OptionalInt(const std::optional<T>& value, Oid type = kInt8) {
    if (value) {
      Int(*value, type);
    } else {
      Null(type);
    }
  }
  void OptionalText(const std::optional<std::string>& value);
  void Null(Oid type);

  int size() const { return static_cast<int>(values_.size()); }
  const Oid* types() const { return types_.data(); }
  std::vector<const char*> values() const;
  const int* lengths() const { return lengths_.data(); }
  const int* formats() const { return formats_.data(); }

  static constexpr Oid kBytea = 17;
  static constexpr Oid kInt8 = 20;
  static constexpr Oid kInt4 = 23;
  static constexpr Oid kText = 25;
  static constexpr Oid kUuid = 2950;

 private:
  std::vector<Oid> types_;
  std::vector<std::optional<std::string>> values_;
  std::vector<int> lengths_;
  std::vector<int> formats_;
};

// A one-dimensional array in the server's text form, for a parameter that
// carries a whole column of rows.
class PgArray {
 public:
  void Text(std::string_view value);
  void Bytes(std::string_view value);  // a bytea element
  void Int(std::int64_t value);
  void OptionalText(const std::optional<std::string>& value);
  void OptionalInt(const std::optional<std::int64_t>& value);
  std::string Literal() const { return "{" + elements_ + "}"; }

  static constexpr Oid kByteaArray = 1001;
  static constexpr Oid kTextArray = 1009;
  static constexpr Oid kInt8Array = 1016;

 private:
  void Next();
  std::string elements_;
};

class PgConnection {
 public:
  // Connects to `uri` (a libpq connection URI). A connect_timeout in it is
  // kept; without one the wait for an answer is `waits.connect`. Every
  // statement waits at most `waits.statement` for its answer, the server
  // itself gives up on a lock sooner, and a signal (`waits.signalCount`) ends any wait
  // at once; a wait that ends so throws Unreachable and drops the connection.
  explicit PgConnection(const std::string& uri, HistoryWaits waits = {});

  bool Healthy() const { return conn_ && PQstatus(conn_.get()) == CONNECTION_OK; }

  // One or more statements without parameters.
  PgResult Execute(const std::string& sql);
  PgResult Execute(const std::string& sql, const PgParams& params);

  // The server's own bounds, shorter than the client's: a statement that
  // waits for a lock another session holds fails with its reason first.
  static constexpr const char* kServerTimeouts =
      "SET statement_timeout = '10s'; SET lock_timeout = '5s'";

 private:
  PgResult Check(PgResult result);
  // The result of the statement just sent, read without ever blocking on
  // the socket beyond the statement's bound.
  PgResult Await(std::sig_atomic_t signalsBefore);
  // Waits on the socket; drops the connection and throws when the wait ends
  // without it being ready.
  void Wait(bool forWrite, std::chrono::steady_clock::time_point deadline,
            std::chrono::milliseconds bound, std::sig_atomic_t signalsBefore);
  std::sig_atomic_t Signals() const;

  HistoryWaits waits_;

  struct Finisher {
    void operator()(PGconn* conn) const { PQfinish(conn); }
  };
  std::unique_ptr<PGconn, Finisher> conn_;
};

// Rolled back unless committed; a broken connection needs no rollback.
class PgTransaction {
 public:
  explicit PgTransaction(PgConnection& conn);
  ~PgTransaction();
  PgTransaction(const PgTransaction&) = delete;
  PgTransaction& operator=(const PgTransaction&) = delete;
  void Commit();

 private:
  PgConnection& conn_;
  bool open_ = true;
};

// Reading text-format results.
bool IsNull(const PGresult* result, int row, int column);
std::string Text(const PGresult* result, int row, int column);
std::optional<std::string> OptionalText(const PGresult* result, int row, int column);
std::int64_t Int(const PGresult* result, int row, int column);
std::optional<std::int64_t> OptionalInt(const PGresult* result, int row, int column);
std::string Bytes(const PGresult* result, int row, int column);  // a bytea column

// How a server is named in messages (user@host:port/database, no password),
// and the key that tells one server's spooled runs from another's (host, port
// and database: runs wait for the database, whoever logs in). Empty texts
// for a URI that does not parse.
struct PgServerNames {
  std::string display;
  std::string key;
};
PgServerNames NameServer(const std::string& uri);

}  // namespace vr512b::history
