#pragma once

#include <optional>
#include <string_view>

namespace vr512b {

// How a test ended. A test that found a fault in a unit has failed; one that
// an unexpected error in the console cut short ended in error: both show as
// "Ошибка", but the console keeps them apart.
enum class Verdict { Ok, Failed, Aborted, Error };

// The verdict as the status cells, the log, the run record, the history's
// lists and the window show it.
constexpr std::string_view VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::Ok:
      return "OK";
    case Verdict::Aborted:
      return "Прервано";
    case Verdict::Failed:
    case Verdict::Error:
      break;
  }
  return "Ошибка";
}

// Whether the verdict counts against the unit or the run: failed or in error.
constexpr bool IsFailure(Verdict verdict) {
  return verdict == Verdict::Failed || verdict == Verdict::Error;
}

}  // namespace vr512b
