#include "autotests/support/test_support.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vr512b::testing {

TempDir::TempDir() {
  namespace fs = std::filesystem;
  std::random_device seed;
  std::mt19937_64 random(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("vr512b-test-" + std::to_string(random()));
    if (fs::create_directory(candidate)) {
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

std::string FreshSettingsPath([[maybe_unused]] const std::string& file) {
#ifdef _WIN32
  ::RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\Korvex\\DiagVR512B");
  return "HKEY_CURRENT_USER";
#else
  return file;
#endif
}

bool SettingsStored(const std::string& path) {
#ifdef _WIN32
  // Loading opens the key as the registry does, creating it empty: what is
  // stored is its values.
  HKEY key = nullptr;
  if (path != "HKEY_CURRENT_USER" ||
      ::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Korvex\\DiagVR512B", 0, KEY_READ, &key) !=
          ERROR_SUCCESS)
    return false;
  DWORD values = 0;
  const LSTATUS status = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr,
                                            nullptr, &values, nullptr, nullptr, nullptr, nullptr);
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS && values > 0;
#else
  return std::filesystem::exists(path);
#endif
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  return lines;
}

}  // namespace vr512b::testing
