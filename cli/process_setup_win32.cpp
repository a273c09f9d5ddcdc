#include <fcntl.h>
#include <io.h>

#include <csignal>
#include <cstdio>

#include "cli/process_setup.h"

namespace vr512b::cli {

bool PrepareStandardStreams() {
  // The log is UTF-8 with bare line feeds on every platform; text mode would
  // turn each into CR LF and make the output differ from the Linux console's.
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // A process started without a stdout has no descriptor 1 at all.
  return _fileno(stdout) < 0;
}

void InstallAbortSignals(void (*handler)(int)) {
  std::signal(SIGINT, handler);
  std::signal(SIGTERM, handler);
}

std::unique_ptr<std::streambuf> AbortableStandardInput(const volatile std::sig_atomic_t*) {
  return nullptr;
}

}  // namespace vr512b::cli
