#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace vr512b {

// Why a call failed, taken where it failed: the platform's code (errno, or
// GetLastError() on Windows; 0 for a failure of the program's own) and its
// text as the log writes it.
struct ErrorReason {
  std::uint32_t code = 0;
  std::string text;
};

// The result of a call that can fail: its value, or the reason it failed.
template <class T>
class [[nodiscard]] Outcome {
 public:
  Outcome(T value) : state_(std::in_place_index<0>, std::move(value)) {}
  Outcome(ErrorReason reason) : state_(std::in_place_index<1>, std::move(reason)) {}

  explicit operator bool() const { return state_.index() == 0; }
  const T& operator*() const { return std::get<0>(state_); }
  T& operator*() { return std::get<0>(state_); }
  const T* operator->() const { return &std::get<0>(state_); }
  // Only on failure.
  const ErrorReason& reason() const { return std::get<1>(state_); }

  // A failed outcome equals no value.
  friend bool operator==(const Outcome& outcome, const T& value) {
    return outcome && *outcome == value;
  }

 private:
  std::variant<T, ErrorReason> state_;
};

// A call that gives nothing back but can fail; default-constructed, it
// succeeded.
template <>
class [[nodiscard]] Outcome<void> {
 public:
  Outcome() = default;
  Outcome(ErrorReason reason) : failed_(true), reason_(std::move(reason)) {}

  explicit operator bool() const { return !failed_; }
  // Only on failure.
  const ErrorReason& reason() const { return reason_; }

 private:
  bool failed_ = false;
  ErrorReason reason_;
};

}  // namespace vr512b
