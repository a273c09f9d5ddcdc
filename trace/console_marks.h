#pragma once

// The console's marks in a HID trace: where each run and each test began and
// ended, the parameters and the generator's state they ran with, the units
// opened, the operator's answers and notices, and Abort. Worded for a reader
// of the trace in Wireshark, and read back by a replay, which needs all of
// them to run the same tests the same way.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trace/trace_types.h"

namespace vr512b::trace {

struct ConsoleMark {
  enum class Kind {
    Run,           // a test's button or Check all was pressed: `name` is "func" ... or "all"
    Parameters,    // the test parameters in force for the run: `parameters`
    TestStarted,   // `name` the test's id, `generator` the generator's state
    TestFinished,  // `name` the test's id, `text` its verdict
    UnitOpened,    // the console opened `unit` as its `role`
    Answer,        // the operator answered `yes` to the question `text`
    Notice,        // the operator was told `text`
    Abort,         // Abort was pressed
  };

  Kind kind = Kind::Run;
  std::string name;
  std::string text;
  std::vector<std::pair<std::string, std::string>> parameters;  // name, value
  std::uint32_t generator = 0;
  bool yes = false;
  Role role = Role::UnderTest;
  UnitId unit = 0;

  friend bool operator==(const ConsoleMark&, const ConsoleMark&) = default;
};

std::string MarkText(const ConsoleMark& mark);
// Nothing for a mark of another kind (a note for people, a later version's).
std::optional<ConsoleMark> ParseMark(std::string_view text);

}  // namespace vr512b::trace
