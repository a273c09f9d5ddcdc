#pragma once

#include <stdexcept>
#include <string>

namespace vr512b {

// Raised by a procedure to end a test; only the test frame catches it, and it
// never writes the text to the log.
class TestFailure : public std::runtime_error {
 public:
  explicit TestFailure(const std::string& text) : std::runtime_error(text) {}
};

inline constexpr const char* kCommandFailed = "Ошибка выполнения команды";
inline constexpr const char* kAborted = "Операция прервана";
inline constexpr const char* kCannotOpenDevice = "Не могу открыть устройство";

}  // namespace vr512b
