#include "cli_options.h"

#include <algorithm>
#include <array>

namespace vr512b::cli {

namespace {

constexpr std::array<const char*, 10> kTestNames = {"func", "indic",  "sound",  "tr",  "rx",
                                                    "line", "trmess", "rxmess", "all", "monitor"};

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

}  // namespace

const char* UsageText() {
  return R"(Использование: vr512b-diag-cli [ПАРАМЕТРЫ] ТЕСТ...
Запускает тесты УПО VR512B без окна, в заданном порядке, как нажатие их кнопок.

ТЕСТ:
  func     Функционирование        indic    Индикация
  sound    Звук                    tr       Передача данных
  rx       Прием данных            line     Тест линии
  trmess   Передача сообщений      rxmess   Прием сообщений
  all      Проверить все           monitor  Прием с линии

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
                          absent РОЛЬ | serial РОЛЬ ТЕКСТ | version РОЛЬ HEX
                          unplug РОЛЬ after N | config-byte РОЛЬ K
                          pending РОЛЬ HEX | busy РОЛЬ
                          display-broken | buzzer-broken
                          no-dial-tone | voltage-stays
                          drop РОЛЬ after N | corrupt РОЛЬ N
                          call РОЛЬ ФОРМАТ HEX [НОМЕР]
                          error РОЛЬ КОД after N [quiet]
                          count-after-read РОЛЬ N | power-off-before-ok
  --abort-after МС      нажать «Прервать» через МС мс после начала первого теста
  --report ФАЙЛ         записать протокол запуска в ФАЙЛ (JSON)
  --help                эта справка
  --version             версия программы

Вывод: протокол проверки в stdout (UTF-8, строка за строкой); вопросы, указания
и итог по ячейкам состояния (например "STFunc: OK") в stderr.
Код завершения: 1 - хотя бы один тест закончился "Ошибка"; иначе 2 - хотя бы
один "Прервано" (так заканчивается monitor); иначе 0; 3 - программа не может
начать работу; 64 - ошибка в командной строке. SIGINT и SIGTERM действуют как
кнопка «Прервать».
)";
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
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
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--version") {
      o.version = true;
    } else if (arg == "--simulate") {
      o.simulate = true;
    } else if (arg == "--virtual-time") {
      o.virtualTime = true;
    } else if (arg == "--settings") {
      if (!value(v))
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
    } else if (!arg.empty() && arg[0] == '-') {
      return fail("неизвестный параметр " + arg);
    } else if (std::find(kTestNames.begin(), kTestNames.end(), arg) != kTestNames.end()) {
      o.tests.push_back(arg);
    } else {
      return fail("неизвестный тест " + arg);
    }
  }
  if (o.help || o.version)
    return result;
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
