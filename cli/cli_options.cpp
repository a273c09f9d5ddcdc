#include "cli_options.h"

#include <climits>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "cli_history.h"
#include "procedure_table.h"
#include "utf8.h"
#include "virtual_bench.h"

namespace vr512b::cli {

namespace {

// Check all by its command-line name, among the tests.
constexpr const char* kCheckAllName = "all";
constexpr const char* kCheckAllCaption = "Проверить все";

bool IsTestName(const std::string& name) {
  return name == kCheckAllName || FindProcedure(name) != nullptr;
}

std::string Padded(const std::string& text, std::size_t width) {
  const std::size_t length = Utf8Length(text);
  return text + std::string(length < width ? width - length : 1, ' ');
}

// The tests two to a line, in the order of the window's buttons, with Check
// all after the tests it runs.
std::string TestList() {
  std::vector<std::pair<std::string, std::string>> entries;
  for (const TestProcedure& test : AllProcedures()) {
    if (test.HasStatusCell())
      entries.emplace_back(test.id, test.caption);
  }
  entries.emplace_back(kCheckAllName, kCheckAllCaption);
  for (const TestProcedure& test : AllProcedures()) {
    if (!test.HasStatusCell())
      entries.emplace_back(test.id, test.caption);
  }
  std::string list;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const bool left = i % 2 == 0;
    list += left ? "  " : "";
    list += Padded(entries[i].first, 9);
    list += left && i + 1 < entries.size() ? Padded(entries[i].second, 24) : entries[i].second;
    if (!left || i + 1 == entries.size())
      list += '\n';
  }
  return list;
}

bool ParseMilliseconds(const std::string& text, long long& value) {
  if (text.empty() || text.size() > 12)
    return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9')
      return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

// A serial number as the units give it: a signed 32-bit decimal number.
bool ParseSerial(const std::string& text, std::int32_t& serial) {
  std::size_t digits = text.size();
  long long value = 0;
  const bool negative = !text.empty() && text[0] == '-';
  const std::size_t first = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
  digits -= first;
  if (digits == 0 || digits > 10)
    return false;
  for (std::size_t i = first; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9')
      return false;
    value = value * 10 + (text[i] - '0');
  }
  value = negative ? -value : value;
  if (value < INT32_MIN || value > INT32_MAX)
    return false;
  serial = static_cast<std::int32_t>(value);
  return true;
}

// Where the history is by default, and whether a server can hold it.
#ifdef _WIN32
constexpr const char* kHistoryDefault = R"(
                        %LOCALAPPDATA%\Korvex\vr512b-history.sqlite,
                        с --simulate vr512b-history-sim.sqlite рядом с ним)";
#else
constexpr const char* kHistoryDefault = R"(
                        $XDG_DATA_HOME/Korvex/vr512b-history.sqlite
                        (~/.local/share/...), с --simulate
                        vr512b-history-sim.sqlite рядом с ним)";
#endif
#if VR512B_HISTORY_POSTGRES
constexpr const char* kHistoryWhere = R"(
  --history АДРЕС       где история: файл SQLite (ПУТЬ или sqlite:ПУТЬ), сервер
                        PostgreSQL (postgresql://...) или none - не вести;
                        по умолчанию переменная VR512B_HISTORY, а без нее)";
#else
constexpr const char* kHistoryWhere = R"(
  --history АДРЕС       где история: файл SQLite (ПУТЬ или sqlite:ПУТЬ) или
                        none - не вести (сервера PostgreSQL эта сборка не
                        знает: в ней нет libpq); по умолчанию переменная
                        VR512B_HISTORY, а без нее)";
#endif

// The options of the history, or what this build says instead of them.
std::string HistoryOptions() {
  if (!HistoryBuilt()) {
    return R"(
История запусков: в этой сборке не ведется - она собрана без SQLite;
параметров --history, --list-runs и --show-run в ней нет.
)";
  }
  return std::string(R"(
История запусков: каждый запуск тестов записывается (версия программы,
компьютер, время, серийные номера и версии УПО, параметры, итоги и протокол
каждого теста). Запись не меняет протокол и итоги; если записать не удалось,
это сообщается в stderr, а код завершения остается тем же.)") +
         kHistoryWhere + kHistoryDefault + R"(
  --list-runs           вместо тестов: записанные проверки, по строке на тест
                        каждого запуска, новые последними
  --unit НОМЕР          с --list-runs: только проверяемого УПО с этим
                        серийным номером
  --format csv|json     с --list-runs: CSV (по умолчанию; заголовок
                        run_id,started,finished,station,unit_serial,
                        reference_serial,test,verdict) или JSON
  --show-run ID         вместо тестов: протокол запуска ID (run_id из
                        --list-runs) байт в байт, как запуск его вывел
С --list-runs и --show-run: код завершения 0 - выведено; 1 - такого запуска нет
в истории; 3 - историю нельзя прочитать; 64 - ошибка в командной строке.
)";
}

// The scenarios of the virtual bench, as many to a line as fit in 80 columns.
std::string ScenarioList() {
  constexpr std::size_t kIndent = 26;
  constexpr std::size_t kWidth = 80;
  std::string list;
  std::string line;
  for (const sim::BenchScenario& scenario : sim::AllScenarios()) {
    const std::string usage = scenario.Usage();
    if (!line.empty() && kIndent + Utf8Length(line) + 3 + Utf8Length(usage) > kWidth) {
      list += std::string(kIndent, ' ') + line + '\n';
      line.clear();
    }
    line += line.empty() ? usage : " | " + usage;
  }
  return list + std::string(kIndent, ' ') + line + '\n';
}

}  // namespace

std::string UsageText() {
  const std::string synopsis = HistoryBuilt() ? R"(
       vr512b-diag-cli [--simulate] [--history АДРЕС] --list-runs [--unit НОМЕР]
                       [--format csv|json]
       vr512b-diag-cli [--simulate] [--history АДРЕС] --show-run ID)"
                                              : "";
  return "Использование: vr512b-diag-cli [ПАРАМЕТРЫ] ТЕСТ..." + synopsis + R"(
Запускает тесты УПО VR512B без окна, в заданном порядке, как нажатие их кнопок.

ТЕСТ:
)" + TestList() +
         R"(
Параметры:
  --simulate            виртуальный стенд вместо настоящих УПО
  --virtual-time        с --simulate: виртуальное время, без реальных пауз
  --settings ФАЙЛ       хранилище параметров тестирования (по умолчанию то же,
                        что у окна программы; с --simulate своё у виртуального стенда)
  --set ИМЯ=ЗНАЧЕНИЕ    изменить параметр только на этот запуск, без сохранения;
                        ИМЯ: NameVR512BSample, PhoneSample, Phone, IDContact,
                        LowSpeed, Secsoa, Korvex, Presto, ShortTest, Sound,
                        SoundSample, KorvexTestMsg, CBNoTone; флаги: 0 или 1
  --answer auto|yes|no|ask
                        ответы на вопросы оператору: auto - виртуальный техник
                        (по умолчанию с --simulate), ask - вопрос в терминале
                        (по умолчанию без --simulate), yes / no - всегда так
  --sim СЦЕНАРИЙ        сценарий или неисправность виртуального стенда, можно
                        повторять (РОЛЬ: ut - проверяемое, ref - эталонное):
)" + ScenarioList() +
         R"(  --abort-after МС      нажать «Прервать» через МС мс после начала первого теста
  --report ФАЙЛ         записать протокол запуска в ФАЙЛ (JSON)
  --trace ФАЙЛ          записать обмен с УПО в ФАЙЛ (pcapng для Wireshark);
                        --sim "replay РОЛЬ ФАЙЛ" воспроизводит такую запись
                        с теми же тестами
  --help                эта справка
  --version             версия программы

Вывод: протокол проверки в stdout (UTF-8, строка за строкой); вопросы, указания
и итог по ячейкам состояния (например "STFunc: OK") в stderr.
Код завершения: 1 - хотя бы один тест закончился "Ошибка"; иначе 2 - хотя бы
один "Прервано" (так заканчивается monitor); иначе 0; 3 - программа не может
начать работу (в том числе ФАЙЛ --report - не обычный файл, трасса для replay
не читается или записана для других тестов); 4 - протокол проверки (stdout),
протокол запуска (--report) или трасса (--trace) не записаны целиком, при
любом итоге тестов; 64 - ошибка в командной строке. Воспроизведение, разошедшееся с трассой,
заканчивается кодом 1. SIGINT и SIGTERM действуют как кнопка «Прервать», также
во время вопроса или указания.
)" + HistoryOptions();
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
  // What only a run of tests takes, and what only --list-runs takes.
  static const std::set<std::string, std::less<>> kRunOptions = {
      "--virtual-time", "--settings", "--set", "--answer", "--sim", "--abort-after", "--report"};
  static const std::set<std::string, std::less<>> kHistoryOptions = {
      "--history", "--list-runs", "--unit", "--format", "--show-run"};
  std::vector<std::string> runOptions;
  std::vector<std::string> historyListOptions;
  ParseResult result;
  CliOptions& o = result.options;
  auto fail = [&](const std::string& text) {
    result.error = text;
    return result;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size())
        return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (kRunOptions.contains(arg))
      runOptions.push_back(arg);
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg == "--virtual-time") {
      o.virtualTime = true;
    } else if (arg == "--settings") {
      if (!value(v) || v.empty())
        return fail("--settings: не указан файл");
      o.settingsPath = v;
    } else if (arg == "--set") {
      if (!value(v))
        return fail("--set: не указано ИМЯ=ЗНАЧЕНИЕ");
      const auto eq = v.find('=');
      if (eq == std::string::npos || eq == 0)
        return fail("--set: ожидается ИМЯ=ЗНАЧЕНИЕ: " + v);
      o.overrides.emplace_back(v.substr(0, eq), v.substr(eq + 1));
    } else if (arg == "--answer") {
      if (!value(v))
        return fail("--answer: не указан режим");
      if (v == "auto") {
        o.answer = AnswerMode::Auto;
      } else if (v == "yes") {
        o.answer = AnswerMode::Yes;
      } else if (v == "no") {
        o.answer = AnswerMode::No;
      } else if (v == "ask") {
        o.answer = AnswerMode::Ask;
      } else {
        return fail("--answer: неизвестный режим " + v);
      }
    } else if (arg == "--sim") {
      if (!value(v))
        return fail("--sim: не указан сценарий");
      o.scenarios.push_back(v);
    } else if (arg == "--abort-after") {
      long long ms = 0;
      if (!value(v) || !ParseMilliseconds(v, ms))
        return fail("--abort-after: ожидается число мс");
      o.abortAfterMs = ms;
    } else if (arg == "--report") {
      if (!value(v))
        return fail("--report: не указан файл");
      o.reportPath = v;
    } else if (arg == "--trace") {
      if (!value(v) || v.empty())
        return fail("--trace: не указан файл");
      o.tracePath = v;
    } else if (kHistoryOptions.contains(arg) && !HistoryBuilt()) {
      return fail(arg + ": в этой сборке нет истории запусков");
    } else if (arg == "--history") {
      if (!value(v))
        return fail("--history: не указан адрес истории");
      o.historyUrl = v;
    } else if (arg == "--list-runs") {
      o.listRuns = true;
    } else if (arg == "--unit") {
      std::int32_t serial = 0;
      if (!value(v) || !ParseSerial(v, serial))
        return fail("--unit: ожидается серийный номер УПО (целое число)");
      o.unitSerial = serial;
      historyListOptions.push_back(arg);
    } else if (arg == "--format") {
      if (!value(v))
        return fail("--format: не указан формат");
      if (v == "csv") {
        o.listFormat = RunListFormat::Csv;
      } else if (v == "json") {
        o.listFormat = RunListFormat::Json;
      } else {
        return fail("--format: неизвестный формат " + v + " (csv или json)");
      }
      historyListOptions.push_back(arg);
    } else if (arg == "--show-run") {
      if (!value(v))
        return fail("--show-run: не указан идентификатор запуска");
      o.showRun = v;
    } else if (!arg.empty() && arg[0] == '-') {
      return fail("неизвестный параметр " + arg);
    } else if (IsTestName(arg)) {
      o.tests.push_back(arg);
    } else {
      return fail("неизвестный тест " + arg);
    }
  }
  if (o.help || o.version)
    return result;
  if (o.listRuns && o.showRun)
    return fail("--list-runs и --show-run вместе не используются");
  if (!historyListOptions.empty() && !o.listRuns)
    return fail(historyListOptions.front() + " работает только с --list-runs");
  if (o.listRuns || o.showRun) {
    const char* command = o.listRuns ? "--list-runs" : "--show-run";
    if (!o.tests.empty())
      return fail(std::string("с ") + command + " тесты не указываются");
    if (!runOptions.empty())
      return fail(runOptions.front() + " не используется с " + command);
    return result;
  }
  if (o.virtualTime && !o.simulate)
    return fail("--virtual-time работает только с --simulate");
  if (!o.scenarios.empty() && !o.simulate)
    return fail("--sim работает только с --simulate");
  if (o.answer == AnswerMode::Auto && !o.simulate) {
    return fail("--answer auto работает только с --simulate");
  }
  if (o.tests.empty())
    return fail("не указан ни один тест");
  return result;
}

}  // namespace vr512b::cli
