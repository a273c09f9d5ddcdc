#pragma once

#include <cstdint>

namespace vr512b {

// Deterministic generator behind FillRandom: never seeded, so every run of the
// console produces the same sequence.
class RandomBytes {
 public:
  std::uint8_t Next() {
    state_ = state_ * 0x08088405u + 1u;
    return static_cast<std::uint8_t>((static_cast<std::uint64_t>(state_) * 256u) >> 32);
  }

 private:
  std::uint32_t state_ = 0;
};

}  // namespace vr512b
