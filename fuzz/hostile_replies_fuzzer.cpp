// Whole procedures, the monitor and the role-level reads against two units
// that answer every read from the fuzz input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "autotests/support/hostile_unit.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const vr512b::testing::HostileOutcome outcome = vr512b::testing::RunHostileInput(data, size);
  if (outcome.problems.empty())
    return 0;
  for (const std::string& problem : outcome.problems)
    std::fprintf(stderr, "hostile_replies: %s\n", problem.c_str());
  std::abort();
}
