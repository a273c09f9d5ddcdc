#pragma once

#include <csignal>
#include <memory>
#include <streambuf>

namespace vr512b::cli {

// Makes the standard streams fit for the log before anything is written or
// opened: bytes pass unchanged, and no file the console opens can take the
// place of a standard stream the parent left closed. Returns whether stdout
// was closed: the log then goes nowhere, which the run must report.
bool PrepareStandardStreams();

// SIGINT and SIGTERM call `handler`; a reader of stdout that goes away, or a
// file that reaches the size limit, must not end the run before the units are
// closed.
void InstallAbortSignals(void (*handler)(int));

// Standard input for the operator's answers, read so that a wait for a line
// ends as soon as `abortRequest` is set by a signal: the stream then reports
// its end. Null where a signal ends a console read by itself (Windows).
std::unique_ptr<std::streambuf> AbortableStandardInput(
    const volatile std::sig_atomic_t* abortRequest);

}  // namespace vr512b::cli
