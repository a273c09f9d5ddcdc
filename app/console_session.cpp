#include "app/console_session.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include "app/diag_console.h"
#include "app/session_trace.h"
#include "device/hid_loader.h"
#include "generated/build_info.h"
#include "settings/settings.h"
#include "trace/recording_hid.h"

namespace vr512b {
namespace {

constexpr std::int64_t kRealTimeTraceWriteOutMs = 1000;

}  // namespace

ConsoleSession::ConsoleSession(SessionOptions options) : options_(std::move(options)) {
  if (options_.externalBench) {
    externalBench_ = options_.externalBench->bench;
    clock_ = &externalBench_->clock();
  } else if (options_.virtualTime) {
    ownClock_ = std::make_unique<VirtualClock>();
  } else {
    ownClock_ = std::make_unique<RealClock>();
  }
  if (ownClock_)
    clock_ = ownClock_.get();
  const bool bench = options_.simulate || options_.externalBench;
  settingsPath_ = options_.settingsPath.value_or(bench ? DefaultSimulatorSettingsPath()
                                                       : DefaultSettingsPath());
  // The bench's units only match parameters made for them.
  if (bench)
    seedError_ = SeedSimulatorSettings(settingsPath_).error;
}

ConsoleSession::~ConsoleSession() = default;

SettingsLoad ConsoleSession::LoadParameters(TestParameterValues& values) const {
  return LoadSettingsFrom(settingsPath_, values);
}

ConsoleSession::HidStart ConsoleSession::StartHid() {
  HidStart start;
  HidLibrary* hid = nullptr;
  if (options_.externalBench) {
    technician_ = std::make_unique<sim::VirtualTechnician>(*externalBench_);
    hid = options_.externalBench->hid;
  } else if (options_.simulate) {
    sim::BenchConfig config = sim::DefaultBenchConfig();
    for (const std::string& scenario : options_.benchScenarios) {
      start.error = sim::ApplyScenario(config, scenario);
      if (!start.error.empty()) {
        start.badScenario = scenario;
        return start;
      }
    }
    std::unique_ptr<sim::TraceReplay> replay;
    if (config.replay) {
      replay = sim::TraceReplay::Load(*config.replay, *clock_, start.error);
      if (!replay) {
        start.badTrace = config.replay->path;
        return start;
      }
    }
    bench_ = std::make_unique<sim::VirtualBench>(*clock_, std::move(config), std::move(replay));
    technician_ = std::make_unique<sim::VirtualTechnician>(*bench_);
    hid = &bench_->hid();
  } else {
    HidLoadResult loaded = LoadPlatformHidLibrary();
    if (loaded)
      platformHid_ = std::move(*loaded);
    else
      start.error = loaded.reason().text;
    hid = platformHid_.get();
  }
  if (hid != nullptr) {
    recorder_ = std::make_unique<trace::RecordingHid>(*hid, *clock_);
    start.hid = recorder_.get();
  }
  return start;
}

void ConsoleSession::Attach(DiagConsole& console) {
  if (!recorder_)
    return;
  recorder_->SetRoleSource([&console](HidHandle handle) -> std::optional<trace::Role> {
    for (const TUnitRole role : {urUnderTest, urReference}) {
      if (console.link().Device(role) == handle)
        return static_cast<trace::Role>(role);
    }
    return std::nullopt;
  });
  sessionTrace_ = std::make_unique<SessionTrace>(console, *recorder_, Replay());
  console.SetTraceHooks(sessionTrace_.get());
}

sim::TraceReplay* ConsoleSession::Replay() const {
  return bench_ != nullptr ? bench_->Replay() : nullptr;
}

std::string ConsoleSession::StartTrace(const std::string& path) {
  if (!recorder_)
    return "Трасса " + path + ": нет связи с УПО, записывать нечего";
  // Opening the file empties it: the recording the units answer from would
  // be lost, whichever name (a link, another path) it is reached by.
  if (const sim::TraceReplay* replay = Replay()) {
    std::error_code error;
    const auto u8 = [](const std::string& text) {
      return std::filesystem::path(std::u8string(text.begin(), text.end()));
    };
    if (std::filesystem::equivalent(u8(path), u8(replay->Path()), error))
      return "Трасса " + path + ": это воспроизводимая трасса " + replay->Path() +
             ", запись обмена стёрла бы её";
  }
  // On the real clock the trace shows the time of day; the virtual bench's
  // time starts at 0. On the real clock, too, the trace reaches the file
  // about every second: one who follows it live, or finds it after a crash,
  // is at most that far behind, for a write a second.
  std::int64_t offsetMs = 0;
  std::optional<std::int64_t> writeOutEveryMs;
  if (dynamic_cast<RealClock*>(clock_) != nullptr) {
    writeOutEveryMs = kRealTimeTraceWriteOutMs;
    using namespace std::chrono;
    const auto wallMs = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    offsetMs = wallMs - clock_->NowMs();
  }
  return recorder_->Start(std::filesystem::path(std::u8string(path.begin(), path.end())),
                          options_.programName + " " + VR512B_FILE_VERSION, offsetMs,
                          writeOutEveryMs);
}

std::string ConsoleSession::StopTrace() {
  return recorder_ ? recorder_->Stop() : std::string();
}

bool ConsoleSession::Tracing() const {
  return recorder_ && recorder_->Recording();
}

std::optional<std::string> ConsoleSession::TakeTraceFailure() {
  return recorder_ ? recorder_->TakeFailure() : std::nullopt;
}

}  // namespace vr512b
