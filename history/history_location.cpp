#include "history_location.h"

#include <libpq-fe.h>

#include <cstdlib>
#include <memory>

#include "utf8.h"

namespace vr512b::history {

namespace {

std::optional<std::string> Variable(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr)
    return std::nullopt;
  return std::string(value);
}

// The user's data folder for this program, empty when unknown. A relative
// XDG_DATA_HOME is invalid and ignored, as the XDG rules say.
std::string DataFolder(const HistoryEnvironment& env) {
  if (env.xdgDataHome && !env.xdgDataHome->empty() && env.xdgDataHome->front() == '/')
    return *env.xdgDataHome + "/Korvex";
  if (env.home && !env.home->empty())
    return *env.home + "/.local/share/Korvex";
  return {};
}

std::string FileInDataFolder(const HistoryEnvironment& env, std::string_view name) {
  const std::string folder = DataFolder(env);
  return folder.empty() ? std::string() : folder + "/" + std::string(name);
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
  return {{}, "неверный адрес истории \"" + ValidUtf8(url) + "\": " + std::string(reason)};
}

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

}  // namespace

HistoryEnvironment HistoryEnvironment::FromProcess() {
  return {Variable("VR512B_HISTORY"), Variable("XDG_DATA_HOME"), Variable("HOME")};
}

std::string DefaultHistoryPath(const HistoryEnvironment& env, bool virtualBench) {
  return FileInDataFolder(env,
                          virtualBench ? "vr512b-history-sim.sqlite" : "vr512b-history.sqlite");
}

std::string DefaultSpoolPath(const HistoryEnvironment& env, bool virtualBench) {
  return FileInDataFolder(
      env, virtualBench ? "vr512b-history-sim-spool.sqlite" : "vr512b-history-spool.sqlite");
}

LocateOutcome ParseHistoryUrl(std::string_view url, const HistoryEnvironment& env,
                              bool virtualBench) {
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
    return {{},
            "история запусков: не задан ни XDG_DATA_HOME, ни HOME; укажите файл истории в "
            "--history или VR512B_HISTORY"};
  }
  return {{HistoryKind::SqliteFile, path, {}, true}, {}};
}

}  // namespace vr512b::history
