#pragma once

#include <cstdint>

namespace vr512b {

// Deterministic generator behind FillRandom: never seeded, so every run of the
// console produces the same sequence. It goes on from test to test within one
// session; a HID trace records where it stood when each test began, and a
// replay starts it there again.
class RandomBytes {
 public:
  std::uint8_t Next() {
    state_ = state_ * 0x08088405u + 1u;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(state_) * 256u) >> 32);
  }
  std::uint32_t State() const { return state_; }
  void Restore(std::uint32_t state) { state_ = state; }

 private:
  std::uint32_t state_ = 0;
};

}  // namespace vr512b
