#pragma once

#include <cstdint>

namespace vr512b {

// Every pause of the console goes through a clock, so that tests and the
// virtual bench can run on virtual time.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(int ms) = 0;
  virtual std::int64_t NowMs() = 0;
};

class RealClock final : public Clock {
 public:
  RealClock();
  void Sleep(int ms) override;
  std::int64_t NowMs() override;
};

// Time moves only when someone sleeps or advances it.
class VirtualClock final : public Clock {
 public:
  void Sleep(int ms) override {
    if (ms > 0)
      now_ += ms;
  }
  std::int64_t NowMs() override { return now_; }
  void Advance(std::int64_t ms) { now_ += ms; }

 private:
  std::int64_t now_ = 0;
};

}  // namespace vr512b
