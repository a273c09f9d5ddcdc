#pragma once

namespace vr512b::cli {

// Makes the standard streams fit for the log before anything is written or
// opened: bytes pass unchanged, and no file the console opens can take the
// place of a standard stream the parent left closed.
void PrepareStandardStreams();

// SIGINT and SIGTERM call `handler`; a reader of stdout that goes away must
// not end the run before the units are closed.
void InstallAbortSignals(void (*handler)(int));

}  // namespace vr512b::cli
