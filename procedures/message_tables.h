#pragma once

#include <array>
#include <cstdint>

namespace vr512b {

// The fixed test messages of the exchanges; constant data, never changed.
extern const std::array<std::array<char, 16>, 30> TestMsgIDContact;
extern const std::array<std::array<char, 16>, 10> TestMsgShort;
extern const std::array<std::array<std::uint8_t, 14>, 30> TestMsgPresto;
extern const std::array<std::uint8_t, 10> TestMsgKorvex;
extern const std::array<std::uint8_t, 10> TestMsgKorvexTest;

inline constexpr int kContactIdTextLength = 15;
inline constexpr int kShortTextLength = 6;
inline constexpr int kPrestoLength = 14;
inline constexpr int kKorvexLength = 10;

}  // namespace vr512b
