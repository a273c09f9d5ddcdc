#pragma once

#include <string>
#include <vector>

namespace vr512b::testing {

// A fresh, empty directory under the system's temporary directory, removed
// with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

// Where a test keeps the console's parameters, with none stored yet: the .reg
// file `file`; on Windows the parameter key under HKEY_CURRENT_USER, deleted
// first.
std::string FreshSettingsPath(const std::string& file);
// Whether any parameter is stored at a path FreshSettingsPath gave.
bool SettingsStored(const std::string& path);
// The lines of a text, without their line feeds; a last line without one
// counts too.
std::vector<std::string> Lines(const std::string& text);

}  // namespace vr512b::testing
