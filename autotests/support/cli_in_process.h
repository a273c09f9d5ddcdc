#pragma once

#include <csignal>
#include <optional>
#include <string>
#include <vector>

#include "app/console_session.h"
#include "autotests/support/child_process.h"

namespace vr512b::testing {

// What a run of vr512b-diag-cli gave: its exit status, stdout and stderr.
using CliRun = RunResult;

// The runner in this process, as a technician would start it, with `input`
// as its stdin and `abort` as its signal flag; on `external`, a bench the
// test built, when given. A command line it refuses gives the usage status
// with the error as stderr.
CliRun RunCliInProcess(const std::vector<std::string>& args, const std::string& input = "",
                       const volatile std::sig_atomic_t* abort = nullptr,
                       std::optional<SessionOptions::ExternalBench> external = std::nullopt);

}  // namespace vr512b::testing
