#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vr512b {

// Replaces the file `path` by `content` in one step: a new temporary file
// beside it (".NAME.tmp.PID.N"), flushed to disk, renamed over `path`, and the
// folder flushed, so that a reader sees the old file or the whole new one,
// also after a crash. `mode` (POSIX permission bits) is given to the new file
// when set; otherwise it gets the process's default. Returns an error text,
// empty on success; on failure no temporary file is left.
std::string ReplaceFileAtomically(const std::string& path, std::string_view content,
                                  std::optional<unsigned> mode = std::nullopt);

// Whether ReplaceFileAtomically could write `path` at all: it is not a folder
// and a file can be created beside it. Returns an error text, empty when so;
// leaves nothing behind.
std::string CheckReplaceable(const std::string& path);

// A writer killed between creating its temporary file and renaming it leaves
// the file behind. Only a caller that keeps every other writer of `path` out
// (a lock) may remove them.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace vr512b
