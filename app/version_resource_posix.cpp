#include <filesystem>
#include <map>
#include <system_error>

#include "app/version_resource.h"
#include "generated/build_info.h"

namespace vr512b {

namespace {

namespace fs = std::filesystem;

std::array<std::uint16_t, 4> ParseVersion(std::string_view text) {
  std::array<std::uint16_t, 4> numbers{};
  std::size_t part = 0;
  for (char c : text) {
    if (c == '.') {
      if (++part == numbers.size())
        break;
    } else if (c >= '0' && c <= '9') {
      numbers[part] = static_cast<std::uint16_t>(numbers[part] * 10 + (c - '0'));
    }
  }
  return numbers;
}

}  // namespace

std::string RunningProgramFile() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.string();
}

// Only the running program has a version here: a program file of this system
// has no resource section, so any other file reads as one without data.
std::optional<VersionResource> VersionResource::Read(const std::string& file) {
  const std::string self = RunningProgramFile();
  std::error_code error;
  const fs::path path(std::u8string(file.begin(), file.end()));
  if (file.empty() || self.empty() || !fs::exists(path, error) ||
      !fs::equivalent(path, self, error) || error) {
    return std::nullopt;
  }
  VersionResource resource;
  resource.fixed_ = ParseVersion(VR512B_FILE_VERSION);
  resource.translations_.push_back(VR512B_VERSION_TABLE);
  return resource;
}

std::string VersionResource::QueryString(std::string_view translation,
                                         std::string_view name) const {
  static const std::map<std::string_view, std::string_view> kTable = {
      {"CompanyName", VR512B_COMPANY_NAME},       {"FileDescription", VR512B_FILE_DESCRIPTION},
      {"FileVersion", VR512B_FILE_VERSION},       {"InternalName", VR512B_INTERNAL_NAME},
      {"LegalCopyright", VR512B_LEGAL_COPYRIGHT}, {"ProductName", VR512B_PRODUCT_NAME},
      {"ProductVersion", VR512B_FILE_VERSION},
  };
  if (translation != VR512B_VERSION_TABLE)
    return {};
  const auto value = kTable.find(name);
  return value == kTable.end() ? std::string() : std::string(value->second);
}

}  // namespace vr512b
