#include "sim/virtual_bench.h"

#include "sim/line_model.h"
#include "sim/scheduler.h"
#include "sim/sim_hid.h"
#include "sim/trace_replay.h"
#include "sim/virtual_unit.h"

namespace vr512b::sim {

struct VirtualBench::Impl {
  Impl(Clock& clock, BenchConfig benchConfig, std::unique_ptr<TraceReplay> traceReplay)
      : clock(clock),
        config(std::move(benchConfig)),
        replay(std::move(traceReplay)),
        scheduler(clock.NowMs()),
        line(scheduler, config),
        underTest(urUnderTest, config.units[urUnderTest], config.faults[urUnderTest],
                  config.displayBroken, config.buzzerBroken, scheduler, line),
        reference(urReference, config.units[urReference], config.faults[urReference], false, false,
                  scheduler, line),
        hid(
            underTest, reference, config.withForeignDevice, clock, [this] { Update(); },
            replay.get()) {
    line.Attach(underTest, reference);
  }

  void Update() { scheduler.RunUntil(clock.NowMs()); }
  VirtualUnit& UnitFor(TUnitRole role) { return role == urReference ? reference : underTest; }

  Clock& clock;
  const BenchConfig config;
  const std::unique_ptr<TraceReplay> replay;
  Scheduler scheduler;
  LineModel line;
  VirtualUnit underTest;
  VirtualUnit reference;
  SimHid hid;
};

VirtualBench::VirtualBench(Clock& clock, BenchConfig config, std::unique_ptr<TraceReplay> replay)
    : impl_(std::make_unique<Impl>(clock, std::move(config), std::move(replay))) {}

VirtualBench::~VirtualBench() = default;

HidLibrary& VirtualBench::hid() {
  return impl_->hid;
}
Clock& VirtualBench::clock() {
  return impl_->clock;
}
const BenchConfig& VirtualBench::config() const {
  return impl_->config;
}
TraceReplay* VirtualBench::Replay() const {
  return impl_->replay.get();
}

void VirtualBench::Update() {
  impl_->Update();
}

UnitSnapshot VirtualBench::Unit(TUnitRole role) {
  Update();
  UnitSnapshot snapshot = impl_->UnitFor(role).Snapshot();
  snapshot.wiring = impl_->line.WiringOf(role);
  return snapshot;
}

SimulatorSnapshot VirtualBench::Simulator() {
  Update();
  return impl_->line.Simulator();
}

void VirtualBench::SetLineButton(bool pressed) {
  Update();
  impl_->line.SetLineButton(pressed);
}

void VirtualBench::SetAttenuationButton(bool pressed) {
  Update();
  impl_->line.SetAttenuationButton(pressed);
}

void VirtualBench::SetGenerator(bool on) {
  Update();
  impl_->line.SetGenerator(on);
}

void VirtualBench::SetSimulatorPower(bool on) {
  Update();
  impl_->line.SetSimulatorPower(on);
}

void VirtualBench::SetSimulatorPowerLater(bool on, int delayMs) {
  Update();
  impl_->scheduler.After(delayMs, [line = &impl_->line, on] { line->SetSimulatorPower(on); });
}

void VirtualBench::Wire(TUnitRole role, Wiring wiring) {
  Update();
  impl_->line.Wire(role, wiring);
}

void VirtualBench::Unplug(TUnitRole role) {
  Update();
  impl_->UnitFor(role).Unplug();
  impl_->line.ConditionsChanged();
}

void VirtualBench::Plug(TUnitRole role) {
  Update();
  impl_->UnitFor(role).PlugIn();
  impl_->line.ConditionsChanged();
}

void VirtualBench::PlaceCall(const RemoteCall& call) {
  Update();
  impl_->line.PlaceCall(call);
}

}  // namespace vr512b::sim
