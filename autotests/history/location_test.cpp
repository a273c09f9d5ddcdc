// Where the history is: the URL rules of --history and VR512B_HISTORY, and
// the default files.

#include <gtest/gtest.h>

#include "history/history_location.h"

namespace vr512b::history {
namespace {

const HistoryEnvironment kHome{std::nullopt, std::nullopt, "/home/tech", std::nullopt};

HistoryLocation Parsed(std::string_view url, bool virtualBench = false) {
  const LocateOutcome outcome = ParseHistoryUrl(url, kHome, virtualBench);
  EXPECT_EQ(outcome.error, "") << url;
  return outcome.location;
}

std::string Error(std::string_view url) {
  return ParseHistoryUrl(url, kHome, false).error;
}

TEST(HistoryUrl, NamesAFileAServerOrNothing) {
  EXPECT_EQ(Parsed("none"), (HistoryLocation{HistoryKind::None, "", "", false}));
  EXPECT_EQ(Parsed("sqlite:/srv/history.db"),
            (HistoryLocation{HistoryKind::SqliteFile, "/srv/history.db", "", false}));
  EXPECT_EQ(Parsed("sqlite:relative/h.db"),
            (HistoryLocation{HistoryKind::SqliteFile, "relative/h.db", "", false}));
  EXPECT_EQ(Parsed("runs.sqlite"),
            (HistoryLocation{HistoryKind::SqliteFile, "runs.sqlite", "", false}));
  EXPECT_EQ(Parsed("./none"), (HistoryLocation{HistoryKind::SqliteFile, "./none", "", false}));
  EXPECT_EQ(Parsed("/var/lib/a:b.sqlite").target, "/var/lib/a:b.sqlite");

#if VR512B_HISTORY_POSTGRES
  // A server's runs wait beside the default file when it does not answer,
  // each bench kind in its own spool.
  EXPECT_EQ(Parsed("postgresql://historian@db.plant.local:5433/history?sslmode=require"),
            (HistoryLocation{HistoryKind::Postgres,
                             "postgresql://historian@db.plant.local:5433/history?sslmode=require",
                             "/home/tech/.local/share/Korvex/vr512b-history-spool.sqlite", false}));
  EXPECT_EQ(
      Parsed("postgres:///history?host=/run/postgresql", true),
      (HistoryLocation{HistoryKind::Postgres, "postgres:///history?host=/run/postgresql",
                       "/home/tech/.local/share/Korvex/vr512b-history-sim-spool.sqlite", false}));
#else
  // A build without libpq names the server it cannot reach.
  EXPECT_EQ(ParseHistoryUrl("postgresql://db/history", kHome, false).error,
            "неверный адрес истории \"postgresql://db/history\": эта сборка не работает с сервером "
            "PostgreSQL (нет libpq); укажите файл истории SQLite");
#endif
}

TEST(HistoryUrl, SaysWhatIsWrongWithAUrlThatDoesNotParse) {
  EXPECT_EQ(Error(""), "неверный адрес истории \"\": пустой адрес");
  EXPECT_EQ(Error("sqlite:"), "неверный адрес истории \"sqlite:\": после sqlite: нет пути к файлу");
  EXPECT_EQ(Error("postgresql:history"),
            "неверный адрес истории \"postgresql:history\": ожидается postgresql://...");
  EXPECT_EQ(Error("mysql://db/history"),
            "неверный адрес истории \"mysql://db/history\": неизвестная схема \"mysql\"; "
            "ожидается путь к файлу, sqlite:ПУТЬ, postgresql://... или none");
#if VR512B_HISTORY_POSTGRES
  // A password never shows, wherever the URL carries it.
  for (const char* url :
       {"postgresql://vr:s3cret@[db/history", "postgresql://db/h?password=s3cret&x=1",
        "postgresql://vr:s3cret@db/h?colour=blue&password=s3cret"}) {
    const std::string error = Error(url);
    EXPECT_EQ(error.find("s3cret"), std::string::npos) << error;
    EXPECT_NE(error.find("***"), std::string::npos) << error;
  }
  // libpq's own words for what it cannot take.
  const std::string badParameter = Error("postgresql://db/history?colour=blue");
  EXPECT_EQ(
      badParameter.rfind("неверный адрес истории \"postgresql://db/history?colour=blue\": ", 0), 0u)
      << badParameter;
  EXPECT_NE(badParameter.find("colour"), std::string::npos) << badParameter;
  EXPECT_NE(Error("postgresql://[::1/history"), "");
  EXPECT_NE(Error("postgresql://db/history?port=%zz"), "");
#endif
}

TEST(HistoryUrl, CommandLineBeatsEnvironmentBeatsDefault) {
  HistoryEnvironment env{"sqlite:/env.db", "/xdg", "/home/tech", std::nullopt};
  EXPECT_EQ(LocateHistory("/cli.db", env, false).location.target, "/cli.db");
  EXPECT_EQ(LocateHistory(std::nullopt, env, false).location.target, "/env.db");
  env.history = "";  // set but empty: as if not set
  EXPECT_EQ(
      LocateHistory(std::nullopt, env, false).location,
      (HistoryLocation{HistoryKind::SqliteFile, "/xdg/Korvex/vr512b-history.sqlite", "", true}));
  EXPECT_EQ(LocateHistory(std::nullopt, env, true).location.target,
            "/xdg/Korvex/vr512b-history-sim.sqlite");
  env.xdgDataHome = "relative/data";  // not absolute: ignored, as XDG says
  EXPECT_EQ(LocateHistory(std::nullopt, env, false).location.target,
            "/home/tech/.local/share/Korvex/vr512b-history.sqlite");

  EXPECT_EQ(LocateHistory(std::string("mysql://x"), env, false).error.rfind("--history: ", 0), 0u);
  env.history = "sqlite:";
  EXPECT_EQ(LocateHistory(std::nullopt, env, false).error,
            "VR512B_HISTORY: неверный адрес истории \"sqlite:\": после sqlite: нет пути к файлу");
  EXPECT_EQ(LocateHistory(std::string("none"), env, false).location.kind, HistoryKind::None);
}

TEST(HistoryUrl, WithoutAHomeTheDefaultIsAnErrorAndAServerHasNoSpool) {
  const HistoryEnvironment bare{};
  const LocateOutcome located = LocateHistory(std::nullopt, bare, false);
#ifdef _WIN32
  EXPECT_NE(located.error.find("LOCALAPPDATA"), std::string::npos) << located.error;
#else
  EXPECT_NE(located.error.find("HOME"), std::string::npos) << located.error;
#endif
#if VR512B_HISTORY_POSTGRES
  const LocateOutcome server = LocateHistory(std::string("postgresql:///h"), bare, false);
  EXPECT_EQ(server.error, "");
  EXPECT_EQ(server.location.spoolPath, "");
#endif
}

// Windows keeps the user's data in the local application data folder, with
// its own separators; it wins over the XDG variables should they be set too.
TEST(HistoryUrl, OnWindowsTheDefaultsLiveInTheLocalApplicationData) {
  const HistoryEnvironment windows{std::nullopt, "/xdg", "/home/tech",
                                   "C:\\Users\\Техник\\AppData\\Local"};
  EXPECT_EQ(LocateHistory(std::nullopt, windows, false).location,
            (HistoryLocation{HistoryKind::SqliteFile,
                             "C:\\Users\\Техник\\AppData\\Local\\Korvex\\vr512b-history.sqlite", "",
                             true}));
  EXPECT_EQ(LocateHistory(std::nullopt, windows, true).location.target,
            "C:\\Users\\Техник\\AppData\\Local\\Korvex\\vr512b-history-sim.sqlite");
#if VR512B_HISTORY_POSTGRES
  EXPECT_EQ(LocateHistory(std::string("postgresql://db/h"), windows, false).location.spoolPath,
            "C:\\Users\\Техник\\AppData\\Local\\Korvex\\vr512b-history-spool.sqlite");
#endif
  // An empty folder name says nothing: the XDG rules apply.
  HistoryEnvironment unknown = windows;
  unknown.localAppData = "";
  EXPECT_EQ(LocateHistory(std::nullopt, unknown, false).location.target,
            "/xdg/Korvex/vr512b-history.sqlite");
}

}  // namespace
}  // namespace vr512b::history
