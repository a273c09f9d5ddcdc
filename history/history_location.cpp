#include "history/history_location.h"

#if VR512B_HISTORY_POSTGRES
#include <libpq-fe.h>
#endif

#include <memory>

#include "common/url_password.h"
#include "common/utf8.h"

namespace vr512b::history {

namespace {

// A file in the user's data folder for this program, empty when the folder is
// unknown. A relative XDG_DATA_HOME is invalid and ignored, as the XDG rules
// say.
std::string FileInDataFolder(const HistoryEnvironment& env, std::string_view name) {
  if (env.localAppData && !env.localAppData->empty())
    return *env.localAppData + "\\Korvex\\" + std::string(name);
  if (env.xdgDataHome && !env.xdgDataHome->empty() && env.xdgDataHome->front() == '/')
    return *env.xdgDataHome + "/Korvex/" + std::string(name);
  if (env.home && !env.home->empty())
    return *env.home + "/.local/share/Korvex/" + std::string(name);
  return {};
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The scheme of "scheme:..." as a URL would have it, empty when `url` has none.
std::string_view SchemeOf(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0)
    return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const char c = url[i];
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (!letter && (i == 0 || !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.')))
      return {};
  }
  return url.substr(0, colon);
}

LocateOutcome Fail(std::string_view url, std::string_view reason) {
  // libpq's own words quote the URL whole.
  std::string said(reason);
  const std::string shown = WithoutPassword(url);
  for (std::size_t at = said.find(url); !url.empty() && at != std::string::npos;
       at = said.find(url, at + shown.size()))
    said.replace(at, url.size(), shown);
  return {{}, "неверный адрес истории \"" + ValidUtf8(shown) + "\": " + said};
}

#if VR512B_HISTORY_POSTGRES
struct ConninfoOptionsDeleter {
  void operator()(PQconninfoOption* options) const { PQconninfoFree(options); }
};
struct PqTextDeleter {
  void operator()(char* text) const { PQfreemem(text); }
};

std::string TrimTrailingNewlines(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
    text.pop_back();
  return text;
}
#endif

}  // namespace

std::string DefaultHistoryPath(const HistoryEnvironment& env, bool virtualBench) {
  return FileInDataFolder(env,
                          virtualBench ? "vr512b-history-sim.sqlite" : "vr512b-history.sqlite");
}

std::string DefaultSpoolPath(const HistoryEnvironment& env, bool virtualBench) {
  return FileInDataFolder(
      env, virtualBench ? "vr512b-history-sim-spool.sqlite" : "vr512b-history-spool.sqlite");
}

// Without libpq, the spool that env and virtualBench name is never asked for.
LocateOutcome ParseHistoryUrl(std::string_view url, [[maybe_unused]] const HistoryEnvironment& env,
                              [[maybe_unused]] bool virtualBench) {
  if (url.empty())
    return Fail(url, "пустой адрес");
  if (url == "none")
    return {{HistoryKind::None, {}, {}, false}, {}};
  const std::string_view scheme = SchemeOf(url);
  if (scheme == "sqlite") {
    const std::string_view path = url.substr(scheme.size() + 1);
    if (path.empty())
      return Fail(url, "после sqlite: нет пути к файлу");
    return {{HistoryKind::SqliteFile, std::string(path), {}, false}, {}};
  }
  if (scheme == "postgresql" || scheme == "postgres") {
    if (!StartsWith(url.substr(scheme.size()), "://"))
      return Fail(url, "ожидается postgresql://...");
#if VR512B_HISTORY_POSTGRES
    char* rawError = nullptr;
    const std::string uri(url);
    std::unique_ptr<PQconninfoOption, ConninfoOptionsDeleter> options(
        PQconninfoParse(uri.c_str(), &rawError));
    const std::unique_ptr<char, PqTextDeleter> error(rawError);
    if (!options) {
      return Fail(url, error ? TrimTrailingNewlines(error.get())
                             : std::string("libpq не разобрал адрес (нет памяти)"));
    }
    return {{HistoryKind::Postgres, uri, DefaultSpoolPath(env, virtualBench), false}, {}};
#else
    return Fail(url,
                "эта сборка не работает с сервером PostgreSQL (нет libpq); укажите файл "
                "истории SQLite");
#endif
  }
  if (url.find("://") != std::string_view::npos) {
    return Fail(url, "неизвестная схема \"" + ValidUtf8(scheme) +
                         "\"; ожидается путь к файлу, sqlite:ПУТЬ, postgresql://... или none");
  }
  return {{HistoryKind::SqliteFile, std::string(url), {}, false}, {}};
}

LocateOutcome LocateHistory(const std::optional<std::string>& commandLineUrl,
                            const HistoryEnvironment& env, bool virtualBench) {
  const auto fromSource = [&](std::string_view source, std::string_view url) {
    LocateOutcome outcome = ParseHistoryUrl(url, env, virtualBench);
    if (!outcome.error.empty())
      outcome.error = std::string(source) + ": " + outcome.error;
    return outcome;
  };
  if (commandLineUrl)
    return fromSource("--history", *commandLineUrl);
  if (env.history && !env.history->empty())
    return fromSource("VR512B_HISTORY", *env.history);
  const std::string path = DefaultHistoryPath(env, virtualBench);
  if (path.empty()) {
#ifdef _WIN32
    return {{},
            "история запусков: не найдена папка локальных данных пользователя (LOCALAPPDATA); "
            "укажите файл истории в --history или VR512B_HISTORY"};
#else
    return {{},
            "история запусков: не задан ни XDG_DATA_HOME, ни HOME; укажите файл истории в "
            "--history или VR512B_HISTORY"};
#endif
  }
  return {{HistoryKind::SqliteFile, path, {}, true}, {}};
}

}  // namespace vr512b::history
