#pragma once

// The file calls behind atomic_file.cpp, one set per platform
// (atomic_file_posix.cpp, atomic_file_win32.cpp). Failures leave errno set.

#include <cerrno>
#include <string>
#include <string_view>

namespace vr512b {

std::string ErrnoText(int code);
std::string FolderOf(const std::string& path);
// A new, empty temporary file beside `path`, named after it; returns the
// descriptor (or -1 with errno set) and its name. A `private` file is
// readable by its owner alone until it is given its final mode.
int CreateTemporaryBeside(const std::string& path, bool privately, std::string& name);

int ProcessId();
// Creates `path`, which must not exist yet, for writing.
int OpenNewFile(const std::string& path, bool privately);
bool SetMode(int fd, unsigned mode);
// Gives the file open as `fd` the permission bits of `original` (and its
// owner, where allowed). True also when `original` no longer exists.
bool KeepAttributesOf(int fd, const std::string& original);
bool WriteAll(int fd, std::string_view data);
// Flushes the file to disk and closes it; false if either failed.
bool SyncAndClose(int fd);
void CloseFile(int fd);
void RemoveFile(const std::string& path);
// Returns an error text, empty on success.
std::string RenameOver(const std::string& from, const std::string& to);
bool SyncFolder(const std::string& folder);

}  // namespace vr512b
