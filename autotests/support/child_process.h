#pragma once

// A program run as a process of its own, as a user starts it: stdin empty,
// its stdout and stderr kept apart (POSIX only); and what any run gave.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vr512b::testing {

// What a run of a program gave, in a process of its own or in this one.
struct RunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out;
  std::string err;
};

// The environment of this process, with each of `changes` set (a value) or
// removed (none).
using EnvChanges = std::map<std::string, std::optional<std::string>>;

// `command[0]` is the program's path, the rest its arguments. Throws when the
// program cannot be started.
RunResult RunProcess(const std::vector<std::string>& command, const EnvChanges& changes = {});

}  // namespace vr512b::testing
