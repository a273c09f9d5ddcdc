#include "sim/trace_replay.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "device/system_error.h"
#include "device/unit_commands.h"

namespace vr512b::sim {
namespace {

using trace::ConsoleMark;
using Kind = trace::ConsoleMark::Kind;

std::string UnitWords(TUnitRole role) {
  return role == urReference ? "эталонное УПО" : "проверяемое УПО";
}

std::string TransferWords(TUnitRole role, trace::TransferKind kind, std::uint8_t reportId,
                          std::size_t length, std::span<const std::uint8_t> bytes, bool withBytes) {
  std::string text = UnitWords(role);
  text += kind == trace::TransferKind::Set ? ", SET_REPORT" : ", GET_REPORT";
  text += ", отчёт " + std::to_string(reportId) + ", " + std::to_string(length) + " байт";
  if (withBytes)
    text += ": " + (bytes.empty() ? std::string("нет данных")
                                  : HexBytes(bytes.data(), static_cast<int>(bytes.size())));
  return text;
}

// How often a wait for recorded time looks for Abort: at once for the
// operator, a few wake-ups a second for the processor.
constexpr std::int64_t kAbortLookMs = 25;

}  // namespace

TraceReplay::TraceReplay(Key, std::string path, std::array<bool, 2> roles, Clock& clock,
                         trace::Trace trace)
    : path_(std::move(path)), roles_(roles), clock_(clock), trace_(std::move(trace)) {
  std::size_t count = 0;
  transferNumbers_.reserve(trace_.events.size());
  for (const trace::TraceEvent& event : trace_.events) {
    if (std::holds_alternative<trace::TransferRecord>(event))
      ++count;
    transferNumbers_.push_back(count);
  }
}

std::unique_ptr<TraceReplay> TraceReplay::Load(const ReplaySetup& setup, Clock& clock,
                                               std::string& error) {
  trace::TraceReader reader = trace::TraceReader::FromFile(
      std::filesystem::path(std::u8string(setup.path.begin(), setup.path.end())));
  trace::Trace trace;
  if (!ReadTrace(reader, trace)) {
    error = reader.error();
    return nullptr;
  }
  auto replay =
      std::make_unique<TraceReplay>(Key(), setup.path, setup.roles, clock, std::move(trace));
  if (const std::string alone = replay->OneRoleProblem(); !alone.empty()) {
    error = alone;
    return nullptr;
  }
  if (replay->Runs().empty()) {
    error = "Трасса " + setup.path +
            ": в ней нет ни одного запуска теста, воспроизводить нечего (запись начата, но "
            "ни один тест не запускался)";
    return nullptr;
  }
  return replay;
}

std::vector<std::string> TraceReplay::Runs() const {
  std::vector<std::string> runs;
  for (const trace::TraceEvent& event : trace_.events) {
    const auto* mark = std::get_if<trace::MarkRecord>(&event);
    if (mark == nullptr)
      continue;
    const std::optional<ConsoleMark> parsed = trace::ParseMark(mark->text);
    if (parsed && parsed->kind == Kind::Run)
      runs.push_back(parsed->name);
  }
  return runs;
}

std::string TraceReplay::OneRoleProblem() const {
  if (roles_[urUnderTest] == roles_[urReference])
    return {};
  const TUnitRole live = roles_[urUnderTest] ? urReference : urUnderTest;
  // The tests in which the recorded console talked to the unit that is now a
  // live one: the recorded unit's side of the line is only in the trace.
  std::vector<std::string> tests;
  std::string test;
  for (const trace::TraceEvent& event : trace_.events) {
    if (const auto* mark = std::get_if<trace::MarkRecord>(&event)) {
      const std::optional<ConsoleMark> parsed = trace::ParseMark(mark->text);
      if (parsed && parsed->kind == Kind::TestStarted)
        test = parsed->name;
    } else if (const auto* transfer = std::get_if<trace::TransferRecord>(&event)) {
      if (RoleOf(transfer->unit) == live && !test.empty() &&
          std::find(tests.begin(), tests.end(), test) == tests.end())
        tests.push_back(test);
    }
  }
  if (tests.empty())
    return {};
  std::string names;
  for (const std::string& name : tests)
    names += (names.empty() ? "" : ", ") + name;
  const std::string replayed = UnitWords(live == urReference ? urUnderTest : urReference);
  return "Трасса " + path_ + ": в тестах " + names +
         " консоль работала с обоими УПО, а воспроизводится только " + replayed + ": " +
         UnitWords(live) + " здесь живое и не получит по линии сообщений записанного; " +
         "воспроизведите обе роли (--sim \"replay ut ФАЙЛ\" --sim \"replay ref ФАЙЛ\")";
}

std::optional<TUnitRole> TraceReplay::RoleOf(trace::UnitId unit) const {
  for (const trace::UnitRecord& record : trace_.units) {
    if (record.id == unit)
      return static_cast<TUnitRole>(record.identity.role);
  }
  return std::nullopt;
}

std::optional<TraceReplay::Step> TraceReplay::NextStep() {
  for (std::size_t i = position_; i < trace_.events.size(); ++i) {
    const trace::TraceEvent& event = trace_.events[i];
    if (const auto* transfer = std::get_if<trace::TransferRecord>(&event)) {
      const std::optional<TUnitRole> role = RoleOf(transfer->unit);
      if (role && roles_[*role])
        return Step{i, std::nullopt};
    } else if (const auto* mark = std::get_if<trace::MarkRecord>(&event)) {
      std::optional<ConsoleMark> parsed = trace::ParseMark(mark->text);
      if (parsed && parsed->kind != Kind::UnitOpened)
        return Step{i, std::move(parsed)};
    }
  }
  return std::nullopt;
}

std::string TraceReplay::Describe(const std::optional<Step>& step) const {
  if (!step)
    return "конец трассы";
  const trace::TraceEvent& event = trace_.events[step->event];
  if (const auto* mark = std::get_if<trace::MarkRecord>(&event))
    return "кадр " + std::to_string(mark->frame) + ", отметка «" + mark->text + "»";
  const auto& transfer = std::get<trace::TransferRecord>(event);
  return "передача " + std::to_string(transferNumbers_[step->event]) + ", кадр " +
         std::to_string(transfer.frame) + ": " +
         TransferWords(RoleOf(transfer.unit).value_or(urUnderTest), transfer.kind,
                       transfer.reportId, transfer.length, transfer.bytes, true) +
         (transfer.error != 0 ? ", ошибка " + std::to_string(transfer.error) : std::string());
}

void TraceReplay::Diverge(const std::string& console, const std::optional<Step>& step) {
  if (diverged_)
    return;
  diverged_ = true;
  if (report_) {
    report_("трасса " + path_ + " расходится с работой консоли\n  консоль: " + console +
            "\n  трасса:  " + Describe(step));
  }
}

std::optional<TraceReplay::Step> TraceReplay::ExpectMark(
    Kind kind, const std::string& console, const std::function<bool(const ConsoleMark&)>& same) {
  if (Stopped())
    return std::nullopt;
  std::optional<Step> step = NextStep();
  if (step && step->mark && step->mark->kind == kind && (!same || same(*step->mark))) {
    position_ = step->event + 1;
    return step;
  }
  Diverge(console, step);
  return std::nullopt;
}

void TraceReplay::CatchUp(std::int64_t recordedMs) {
  if (!abortPressed_) {
    const std::int64_t behind = recordedMs - offsetMs_ - clock_.NowMs();
    if (behind > 0)
      clock_.Sleep(
          static_cast<int>(std::min<std::int64_t>(behind, std::numeric_limits<int>::max())));
    return;
  }
  // A trace may hold a pause of minutes, or a day where its times jump.
  for (;;) {
    if (interrupted_ || abortPressed_()) {
      interrupted_ = true;
      return;
    }
    const std::int64_t behind = recordedMs - offsetMs_ - clock_.NowMs();
    if (behind <= 0)
      return;
    clock_.Sleep(static_cast<int>(std::min(behind, kAbortLookMs)));
  }
}

const trace::UnitIdentity* TraceReplay::UnitToOpen(TUnitRole role) {
  for (std::size_t i = position_; i < trace_.events.size(); ++i) {
    const auto* mark = std::get_if<trace::MarkRecord>(&trace_.events[i]);
    if (mark == nullptr)
      continue;
    const std::optional<ConsoleMark> parsed = trace::ParseMark(mark->text);
    if (!parsed)
      continue;
    // A unit opens within its test.
    if (parsed->kind == Kind::Run || parsed->kind == Kind::TestStarted ||
        parsed->kind == Kind::TestFinished)
      return nullptr;
    if (parsed->kind != Kind::UnitOpened || static_cast<TUnitRole>(parsed->role) != role)
      continue;
    for (const trace::UnitRecord& unit : trace_.units) {
      if (unit.id == parsed->unit)
        return &unit.identity;
    }
  }
  return nullptr;
}

FeatureBytes TraceReplay::GetFeature(TUnitRole role, std::uint8_t* report, std::size_t length) {
  if (report == nullptr || length == 0)
    return SystemReason(SystemError::IoFailure);
  return Transfer(role, trace::TransferKind::Get, report[0], length, {}, report);
}

FeatureBytes TraceReplay::SetFeature(TUnitRole role, const std::uint8_t* report,
                                     std::size_t length) {
  if (report == nullptr || length == 0)
    return SystemReason(SystemError::IoFailure);
  return Transfer(role, trace::TransferKind::Set, report[0], length,
                  std::span<const std::uint8_t>(report, length), nullptr);
}

FeatureBytes TraceReplay::Transfer(TUnitRole role, trace::TransferKind kind, std::uint8_t reportId,
                                   std::size_t length, std::span<const std::uint8_t> sent,
                                   std::uint8_t* received) {
  const auto fail = [] { return FeatureBytes(SystemReason(SystemError::TraceMismatch)); };
  if (diverged_)
    return fail();
  const bool set = kind == trace::TransferKind::Set;
  const std::optional<Step> step = NextStep();
  const trace::TransferRecord* recorded =
      step && !step->mark ? &std::get<trace::TransferRecord>(trace_.events[step->event]) : nullptr;
  const bool same =
      recorded != nullptr && RoleOf(recorded->unit) == role && recorded->kind == kind &&
      recorded->reportId == reportId && recorded->length == length &&
      (!set ||
       std::equal(sent.begin(), sent.end(), recorded->bytes.begin(), recorded->bytes.end()));
  if (!same) {
    // After an Abort of the operator's the console only winds down: what it
    // sends then was never recorded, and is no divergence.
    if (!interrupted_)
      Diverge(TransferWords(role, kind, reportId, length, sent, set), step);
    return fail();
  }
  position_ = step->event + 1;
  CatchUp(recorded->beganMs);
  const std::size_t moved = std::min(recorded->bytes.size(), length);
  if (received != nullptr && recorded->error == 0)
    std::copy_n(recorded->bytes.begin(), moved, received);
  CatchUp(recorded->endedMs);
  if (recorded->error != 0)
    return SystemReason(recorded->error);
  return set ? length : moved;
}

std::optional<TraceReplay::Parameters> TraceReplay::RunStarting(std::string_view name) {
  const std::string run(name);
  if (!ExpectMark(Kind::Run, "запуск " + run,
                  [&](const ConsoleMark& mark) { return mark.name == run; }))
    return std::nullopt;
  const std::optional<Step> parameters =
      ExpectMark(Kind::Parameters, "параметры тестирования запуска " + run, {});
  if (!parameters)
    return std::nullopt;
  return parameters->mark->parameters;
}

void TraceReplay::TestStarting(std::string_view id, RandomBytes& generator) {
  const std::string test(id);
  const std::optional<Step> step =
      ExpectMark(Kind::TestStarted, "начало теста " + test,
                 [&](const ConsoleMark& mark) { return mark.name == test; });
  if (!step)
    return;
  generator.Restore(step->mark->generator);
  offsetMs_ = std::get<trace::MarkRecord>(trace_.events[step->event]).timeMs - clock_.NowMs();
}

void TraceReplay::TestFinished(std::string_view id, std::string_view verdict) {
  const std::string test(id);
  ExpectMark(Kind::TestFinished, "конец теста " + test + ": " + std::string(verdict),
             [&](const ConsoleMark& mark) { return mark.name == test && mark.text == verdict; });
}

std::optional<bool> TraceReplay::RecordedAnswer(const std::string& question) {
  if (Stopped())
    return std::nullopt;
  const std::optional<Step> step = NextStep();
  if (step && step->mark && step->mark->kind == Kind::Answer && step->mark->text == question)
    return step->mark->yes;
  return std::nullopt;
}

void TraceReplay::Answered(const std::string& question, bool yes) {
  ExpectMark(Kind::Answer,
             std::string(yes ? "ответ «Да»" : "ответ «Нет»") + " на вопрос «" + question + "»",
             [&](const ConsoleMark& mark) { return mark.text == question && mark.yes == yes; });
}

void TraceReplay::NoticeShown(const std::string& text) {
  ExpectMark(Kind::Notice, "указание «" + text + "»",
             [&](const ConsoleMark& mark) { return mark.text == text; });
}

bool TraceReplay::AbortDue() {
  if (Stopped())
    return false;
  const std::optional<Step> step = NextStep();
  return step && step->mark && step->mark->kind == Kind::Abort;
}

void TraceReplay::AbortRequested() {
  if (Stopped())
    return;
  if (AbortDue())
    ExpectMark(Kind::Abort, "нажато «Прервать»", {});
  else
    interrupted_ = true;
}

void TraceReplay::Finish() {
  if (Stopped())
    return;
  const std::optional<Step> step = NextStep();
  if (step)
    Diverge("работа окончена", step);
}

}  // namespace vr512b::sim
