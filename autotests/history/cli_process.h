#pragma once

// The real vr512b-diag-cli, started as a process of its own with the
// environment a test gives it, its stdout and stderr kept apart.

#include <string>
#include <vector>

#include "autotests/support/child_process.h"
#include "autotests/support/test_support.h"

namespace vr512b::history::testing {

using CliResult = vr512b::testing::RunResult;
using vr512b::testing::EnvChanges;

// vr512b-diag-cli with `args`, in this process's environment changed by
// `changes`.
CliResult RunCliProcess(const std::vector<std::string>& args, const EnvChanges& changes = {});

// The lines of a text, without their line breaks.
using vr512b::testing::Lines;

inline constexpr char kListHeader[] =
    "run_id,started,finished,station,unit_serial,reference_serial,test,verdict,bench";

}  // namespace vr512b::history::testing
