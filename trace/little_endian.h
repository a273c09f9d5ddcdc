#pragma once

// Fixed-width integers in little-endian order, whatever the host's order.

#include <cstdint>

namespace vr512b::trace {

inline void PutU16(std::uint8_t* at, std::uint16_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void PutU32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline void PutU64(std::uint8_t* at, std::uint64_t value) {
  for (int i = 0; i < 8; ++i)
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

inline std::uint16_t GetU16(const std::uint8_t* at) {
  return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

inline std::uint32_t GetU32(const std::uint8_t* at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i)
    value = (value << 8) | at[i];
  return value;
}

inline std::uint64_t GetU64(const std::uint8_t* at) {
  std::uint64_t value = 0;
  for (int i = 7; i >= 0; --i)
    value = (value << 8) | at[i];
  return value;
}

}  // namespace vr512b::trace
