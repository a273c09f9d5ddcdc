#include "atomic_file.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "atomic_file_platform.h"

namespace vr512b {

namespace fs = std::filesystem;

namespace {

std::string TemporaryPrefix(const std::string& path) {
  // Appended piece by piece: GCC 12 takes "." + string for an overlapping copy.
  std::string prefix(1, '.');
  prefix += fs::path(path).filename().string();
  prefix += ".tmp.";
  return prefix;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const fs::path parent = fs::path(path).parent_path();
  return parent.empty() ? std::string(".") : parent.string();
}

int CreateTemporaryBeside(const std::string& path, std::string& name) {
  const std::string base =
      (fs::path(FolderOf(path)) / (TemporaryPrefix(path) + std::to_string(ProcessId()))).string();
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    name = base + "." + std::to_string(attempt);
    fd = OpenNewFile(name);
    if (fd < 0 && errno != EEXIST)
      return -1;
  }
  return fd;
}

std::string ReplaceFileAtomically(const std::string& path, std::string_view content,
                                  std::optional<unsigned> mode) {
  std::string temporary;
  const int fd = CreateTemporaryBeside(path, temporary);
  if (fd < 0)
    return ErrnoText(errno);
  if ((mode && !SetMode(fd, *mode)) || !WriteAll(fd, content)) {
    const int error = errno;
    SyncAndClose(fd);
    RemoveFile(temporary);
    return ErrnoText(error);
  }
  if (!SyncAndClose(fd)) {
    const int error = errno;
    RemoveFile(temporary);
    return ErrnoText(error);
  }
  const std::string renameError = RenameOver(temporary, path);
  if (!renameError.empty()) {
    RemoveFile(temporary);
    return renameError;
  }
  if (!SyncFolder(FolderOf(path)))
    return ErrnoText(errno);
  return {};
}

std::string CheckReplaceable(const std::string& path) {
  if (path.empty())
    return ErrnoText(ENOENT);
  std::error_code error;
  if (fs::is_directory(path, error))
    return ErrnoText(EISDIR);
  std::string temporary;
  const int fd = CreateTemporaryBeside(path, temporary);
  if (fd < 0)
    return ErrnoText(errno);
  SyncAndClose(fd);
  RemoveFile(temporary);
  return {};
}

void RemoveStaleTemporaries(const std::string& path) {
  const std::string prefix = TemporaryPrefix(path);
  std::error_code error;
  std::vector<fs::path> stale;
  for (fs::directory_iterator it(FolderOf(path), error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().filename().string().starts_with(prefix))
      stale.push_back(it->path());
  }
  for (const fs::path& file : stale)
    fs::remove(file, error);
}

std::string ErrnoText(int code) {
  return std::generic_category().message(code);
}

}  // namespace vr512b
