#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vr512b {

// Writes the new content of a file into a temporary file beside it
// (".NAME.tmp.PID.N") and, at Commit, flushes it to disk, renames it over the
// file and flushes the folder, so that a reader sees the old file or the whole
// new one, also after a crash.
//
// A symbolic link is followed: the file it leads to is replaced and the link
// stays. Only a regular file is replaced; a folder, a device, a FIFO or a
// socket is refused before anything is written. The new file keeps the
// permission bits of the one it replaces (and its owner, where the process
// may give it); a new file gets `mode` (POSIX permission bits) when set,
// otherwise the process's default. Every write, flush and rename is checked:
// whatever fails, the old file stays as it was and no temporary file is left.
class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(const std::string& path, std::optional<unsigned> mode = std::nullopt);
  // Without a successful Commit the temporary file is removed.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // The first failure, empty while there has been none.
  const std::string& error() const { return error_; }
  // Appends to the new content. After a failure it writes nothing more.
  bool Write(std::string_view data);
  // Puts the new content in place. Returns the error text, empty on success.
  std::string Commit();

 private:
  bool Fail(std::string text);
  void Discard();

  std::string target_;     // the file replaced: `path` with its links followed
  std::string temporary_;  // empty once renamed or removed
  int fd_ = -1;
  bool replacing_ = false;  // whether `target_` existed when writing began
  std::optional<unsigned> mode_;
  std::string error_;
};

// The whole of `content` through an AtomicFileWriter. Returns an error text,
// empty on success.
std::string ReplaceFileAtomically(const std::string& path, std::string_view content,
                                  std::optional<unsigned> mode = std::nullopt);

// Whether ReplaceFileAtomically could write `path` at all: it is a regular
// file or names none yet (after its links), and a file can be created beside
// it. Returns an error text, empty when so; leaves nothing behind.
std::string CheckReplaceable(const std::string& path);

// A writer killed between creating its temporary file and renaming it leaves
// the file behind. Only a caller that keeps every other writer of `path` out
// (a lock) may remove them.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace vr512b
