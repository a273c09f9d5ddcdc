#pragma once

// The real vr512b-diag-cli, started as a process of its own with the
// environment a test gives it, its stdout and stderr kept apart.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "autotests/support/test_support.h"

namespace vr512b::history::testing {

struct CliResult {
  int status = -1;
  std::string out;
  std::string err;
};

// The environment of this process, with each of `changes` set (a value) or
// removed (none).
using EnvChanges = std::map<std::string, std::optional<std::string>>;

CliResult RunCliProcess(const std::vector<std::string>& args, const EnvChanges& changes = {});

// The lines of a text, without their line breaks.
using vr512b::testing::Lines;

inline constexpr char kListHeader[] =
    "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench";

}  // namespace vr512b::history::testing
