#include "cli/cli_options.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/cli_history.h"
#include "common/utf8.h"
#include "procedures/procedure_table.h"
#include "procedures/test_parameters.h"
#include "sim/virtual_bench.h"

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

// Where the options' help lines start.
constexpr std::size_t kHelpColumn = 24;

// The modes of a command line: a run of tests, or one of the two readings of
// the history.
enum Mode : unsigned {
  kTests = 1,
  kListRuns = 2,
  kShowRun = 4,
  kAnyMode = kTests | kListRuns | kShowRun
};

const char* ModeOption(unsigned mode) {
  return mode == kListRuns ? "--list-runs" : "--show-run";
}

// One option: its name, the argument it takes as the help shows it (empty:
// none), the modes it belongs to, whether it belongs to the history (left out
// of a build without one), its help lines, and what it does: `missing` is the
// usage error for an argument that is not there, `apply` sets the option and
// gives the usage error for an argument it refuses.
struct OptionSpec {
  std::string_view name;
  std::string_view argument;
  unsigned modes;
  bool history;
  std::vector<std::string> help;
  std::string missing;
  std::string (*apply)(const std::string& value, CliOptions& o);
  std::string (*helpAfter)() = nullptr;  // more help below the option's lines
};

// The help of --history: where the history can be (a server only where the
// build has libpq), and where it is by default on this platform.
std::vector<std::string> HistoryHelp() {
#if VR512B_HISTORY_POSTGRES
  std::vector<std::string> help = {"где история: файл SQLite (ПУТЬ или sqlite:ПУТЬ), сервер",
                                   "PostgreSQL (postgresql://...) или none - не вести;",
                                   "по умолчанию переменная VR512B_HISTORY, а без нее"};
#else
  std::vector<std::string> help = {"где история: файл SQLite (ПУТЬ или sqlite:ПУТЬ) или",
                                   "none - не вести (сервера PostgreSQL эта сборка не",
                                   "знает: в ней нет libpq); по умолчанию переменная",
                                   "VR512B_HISTORY, а без нее"};
#endif
#ifdef _WIN32
  help.insert(help.end(), {"%LOCALAPPDATA%\\Korvex\\vr512b-history.sqlite,",
                           "с --simulate vr512b-history-sim.sqlite рядом с ним"});
#else
  help.insert(help.end(),
              {"$XDG_DATA_HOME/Korvex/vr512b-history.sqlite", "(~/.local/share/...), с --simulate",
               "vr512b-history-sim.sqlite рядом с ним"});
#endif
  return help;
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

// The parameter names as --set's help lists them after "ИМЯ: ", in the
// table's order, wrapped to 80 columns below the help column.
std::vector<std::string> ParameterNamesHelp() {
  std::vector<std::string> lines = {"ИМЯ:"};
  const auto add = [&lines](const std::string& word) {
    if (kHelpColumn + Utf8Length(lines.back()) + 1 + Utf8Length(word) > 80)
      lines.push_back(word);
    else
      lines.back() += " " + word;
  };
  const std::span<const ParameterInfo> parameters = AllParameters();
  for (std::size_t i = 0; i < parameters.size(); ++i)
    add(std::string(parameters[i].name) + (i + 1 < parameters.size() ? "," : ";"));
  for (const char* word : {"флаги:", "0", "или", "1"})
    add(word);
  return lines;
}

const std::vector<OptionSpec>& AllOptions() {
  std::vector<std::string> setHelp = {"изменить параметр только на этот запуск, без сохранения;"};
  for (std::string& line : ParameterNamesHelp())
    setHelp.push_back(std::move(line));
  static const std::vector<OptionSpec> options = {
      {"--simulate",
       "",
       kAnyMode,
       false,
       {"виртуальный стенд вместо настоящих УПО"},
       "",
       [](const std::string&, CliOptions& o) {
         o.simulate = true;
         return std::string();
       }},
      {"--virtual-time",
       "",
       kTests,
       false,
       {"с --simulate: виртуальное время, без реальных пауз"},
       "",
       [](const std::string&, CliOptions& o) {
         o.virtualTime = true;
         return std::string();
       }},
      {"--settings",
       "ФАЙЛ",
       kTests,
       false,
       {"хранилище параметров тестирования (по умолчанию то же,",
        "что у окна программы; с --simulate своё у виртуального стенда)"},
       "--settings: не указан файл",
       [](const std::string& v, CliOptions& o) {
         if (v.empty())
           return std::string("--settings: не указан файл");
         o.settingsPath = v;
         return std::string();
       }},
      {"--set", "ИМЯ=ЗНАЧЕНИЕ", kTests, false, setHelp, "--set: не указано ИМЯ=ЗНАЧЕНИЕ",
       [](const std::string& v, CliOptions& o) {
         const auto eq = v.find('=');
         if (eq == std::string::npos || eq == 0)
           return "--set: ожидается ИМЯ=ЗНАЧЕНИЕ: " + v;
         o.overrides.emplace_back(v.substr(0, eq), v.substr(eq + 1));
         return std::string();
       }},
      {"--answer",
       "auto|yes|no|ask",
       kTests,
       false,
       {"ответы на вопросы оператору: auto - виртуальный техник",
        "(по умолчанию с --simulate), ask - вопрос в терминале",
        "(по умолчанию без --simulate), yes / no - всегда так"},
       "--answer: не указан режим",
       [](const std::string& v, CliOptions& o) {
         static const std::pair<const char*, AnswerMode> kModes[] = {{"auto", AnswerMode::Auto},
                                                                     {"yes", AnswerMode::Yes},
                                                                     {"no", AnswerMode::No},
                                                                     {"ask", AnswerMode::Ask}};
         for (const auto& [name, mode] : kModes) {
           if (v == name) {
             o.answer = mode;
             return std::string();
           }
         }
         return "--answer: неизвестный режим " + v;
       }},
      {"--sim",
       "СЦЕНАРИЙ",
       kTests,
       false,
       {"сценарий или неисправность виртуального стенда, можно",
        "повторять (РОЛЬ: ut - проверяемое, ref - эталонное):"},
       "--sim: не указан сценарий",
       [](const std::string& v, CliOptions& o) {
         o.scenarios.push_back(v);
         return std::string();
       },
       ScenarioList},
      {"--abort-after",
       "МС",
       kTests,
       false,
       {"нажать «Прервать» через МС мс после начала первого теста"},
       "--abort-after: ожидается число мс",
       [](const std::string& v, CliOptions& o) {
         long long ms = 0;
         if (!ParseMilliseconds(v, ms))
           return std::string("--abort-after: ожидается число мс");
         o.abortAfterMs = ms;
         return std::string();
       }},
      {"--wait-for-unit",
       "[СЕКУНДЫ]",
       kTests,
       false,
       {"начать тесты, когда подключено проверяемое УПО: ждать его",
        "не дольше СЕКУНД (без числа - сколько понадобится); УПО",
        "не появилось - код завершения 3"},
       "",
       [](const std::string& v, CliOptions& o) {
         long long seconds = 0;
         if (!v.empty() && !ParseMilliseconds(v, seconds))
           return std::string("--wait-for-unit: ожидается число секунд");
         o.waitForUnitSeconds = seconds;
         return std::string();
       }},
      {"--report",
       "ФАЙЛ",
       kTests,
       false,
       {"записать протокол запуска в ФАЙЛ (JSON)"},
       "--report: не указан файл",
       [](const std::string& v, CliOptions& o) {
         o.reportPath = v;
         return std::string();
       }},
      {"--trace",
       "ФАЙЛ",
       kTests,
       false,
       {"записать обмен с УПО в ФАЙЛ (pcapng для Wireshark);",
        "--sim \"replay РОЛЬ ФАЙЛ\" воспроизводит такую запись", "с теми же тестами"},
       "--trace: не указан файл",
       [](const std::string& v, CliOptions& o) {
         if (v.empty())
           return std::string("--trace: не указан файл");
         o.tracePath = v;
         return std::string();
       }},
      {"--help",
       "",
       kAnyMode,
       false,
       {"эта справка"},
       "",
       [](const std::string&, CliOptions& o) {
         o.help = true;
         return std::string();
       }},
      {"--version",
       "",
       kAnyMode,
       false,
       {"версия программы"},
       "",
       [](const std::string&, CliOptions& o) {
         o.version = true;
         return std::string();
       }},
      {"--history", "АДРЕС", kAnyMode, true, HistoryHelp(), "--history: не указан адрес истории",
       [](const std::string& v, CliOptions& o) {
         o.historyUrl = v;
         return std::string();
       }},
      {"--list-runs",
       "",
       kListRuns,
       true,
       {"вместо тестов: записанные проверки, по строке на тест",
        "каждого запуска, новые последними"},
       "",
       [](const std::string&, CliOptions& o) {
         o.listRuns = true;
         return std::string();
       }},
      {"--unit",
       "НОМЕР",
       kListRuns,
       true,
       {"с --list-runs: только проверяемого УПО с этим", "серийным номером"},
       "--unit: ожидается серийный номер УПО (целое число)",
       [](const std::string& v, CliOptions& o) {
         std::int32_t serial = 0;
         if (!ParseSerial(v, serial))
           return std::string("--unit: ожидается серийный номер УПО (целое число)");
         o.unitSerial = serial;
         return std::string();
       }},
      {"--format",
       "csv|json",
       kListRuns,
       true,
       {"с --list-runs: CSV (по умолчанию; заголовок",
        "run_id,started,finished,station,unit_serial,",
        "reference_serial,test,verdict,bench) или JSON"},
       "--format: не указан формат",
       [](const std::string& v, CliOptions& o) {
         if (v == "csv")
           o.listFormat = RunListFormat::Csv;
         else if (v == "json")
           o.listFormat = RunListFormat::Json;
         else
           return "--format: неизвестный формат " + v + " (csv или json)";
         return std::string();
       }},
      {"--show-run",
       "ID",
       kShowRun,
       true,
       {"вместо тестов: протокол запуска ID (run_id из",
        "--list-runs) байт в байт, как запуск его вывел"},
       "--show-run: не указан идентификатор запуска",
       [](const std::string& v, CliOptions& o) {
         o.showRun = v;
         return std::string();
       }},
  };
  return options;
}

const OptionSpec* FindOption(std::string_view name) {
  if (name == "-h")
    name = "--help";
  for (const OptionSpec& option : AllOptions()) {
    if (option.name == name)
      return &option;
  }
  return nullptr;
}

// The help of the options of one section, in the table's order: the option
// and its argument, its first line at the help column (below, when they
// reach it), and the other lines under it.
std::string OptionsHelp(bool history) {
  std::string text;
  for (const OptionSpec& option : AllOptions()) {
    if (option.history != history)
      continue;
    std::string head = "  " + std::string(option.name);
    if (!option.argument.empty())
      head += " " + std::string(option.argument);
    const std::size_t length = Utf8Length(head);
    text += head + (length + 2 > kHelpColumn ? "\n" + std::string(kHelpColumn, ' ')
                                             : std::string(kHelpColumn - length, ' '));
    for (std::size_t i = 0; i < option.help.size(); ++i)
      text += (i == 0 ? "" : std::string(kHelpColumn, ' ')) + option.help[i] + '\n';
    if (option.helpAfter != nullptr)
      text += option.helpAfter();
  }
  return text;
}

// The options of the history, or what this build says instead of them.
std::string HistoryOptions() {
  if (!HistoryBuilt()) {
    return R"(
История запусков: в этой сборке не ведется - она собрана без SQLite;
параметров --history, --list-runs и --show-run в ней нет.
)";
  }
  return R"(
История запусков: каждый запуск тестов записывается (версия программы,
компьютер, время, серийные номера и версии УПО, параметры, итоги и протокол
каждого теста). Запись не меняет протокол и итоги; если записать не удалось,
это сообщается в stderr, а код завершения остается тем же.
)" + OptionsHelp(true) +
         R"(С --list-runs и --show-run: код завершения 0 - выведено; 1 - такого запуска нет
в истории; 3 - историю нельзя прочитать; 64 - ошибка в командной строке.
)";
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
)" + OptionsHelp(false) +
         R"(
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
  ParseResult result;
  CliOptions& o = result.options;
  auto fail = [&](const std::string& text) {
    result.error = text;
    return result;
  };
  std::vector<const OptionSpec*> used;  // in the order given
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (const OptionSpec* option = FindOption(arg)) {
      if (option->history && !HistoryBuilt())
        return fail(arg + ": в этой сборке нет истории запусков");
      std::string value;
      if (!option->argument.empty() && option->argument.front() == '[') {
        // A value that may be left out: taken when the next word is a number.
        if (i + 1 < args.size() && !args[i + 1].empty() &&
            std::all_of(args[i + 1].begin(), args[i + 1].end(),
                        [](char c) { return c >= '0' && c <= '9'; })) {
          value = args[++i];
        }
      } else if (!option->argument.empty()) {
        if (i + 1 >= args.size())
          return fail(option->missing);
        value = args[++i];
      }
      if (std::string error = option->apply(value, o); !error.empty())
        return fail(error);
      used.push_back(option);
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
  const unsigned mode = o.listRuns ? kListRuns : o.showRun ? kShowRun : kTests;
  // An option of one reading of the history alone, anywhere else.
  for (const OptionSpec* option : used) {
    if ((option->modes & mode) == 0 && (option->modes == kListRuns || option->modes == kShowRun))
      return fail(std::string(option->name) + " работает только с " + ModeOption(option->modes));
  }
  if (mode != kTests) {
    const std::string command = ModeOption(mode);
    if (!o.tests.empty())
      return fail("с " + command + " тесты не указываются");
    for (const OptionSpec* option : used) {
      if ((option->modes & mode) == 0)
        return fail(std::string(option->name) + " не используется с " + command);
    }
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
