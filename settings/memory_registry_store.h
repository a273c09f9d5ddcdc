#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/text.h"
#include "settings/registry_store.h"

namespace vr512b {

// A store that lives in memory only: for a console run without persistence,
// and for collecting what a save would write. Every key path shares one set of
// values; the values keep the order in which they were first written.
class MemoryRegistryStore : public RegistryStore {
 public:
  bool OpenKey(const std::string&, bool create) override {
    open_ = create || !values_.empty();
    return open_;
  }
  void CloseKey() override { open_ = false; }

  bool ValueExists(const std::string& name) override { return Find(name) != values_.end(); }

  std::optional<RegValue> ReadValue(const std::string& name) override {
    auto it = Find(name);
    if (it == values_.end())
      return std::nullopt;
    return it->second;
  }

  bool WriteValue(const std::string& name, const RegValue& value) override {
    if (!open_)
      return false;
    auto it = Find(name);
    if (it == values_.end()) {
      values_.emplace_back(name, value);
    } else {
      it->second = value;
    }
    return true;
  }

  const std::vector<std::pair<std::string, RegValue>>& values() const { return values_; }

 private:
  using Values = std::vector<std::pair<std::string, RegValue>>;

  Values::iterator Find(const std::string& name) {
    if (!open_)
      return values_.end();
    return std::find_if(values_.begin(), values_.end(), [&](const auto& entry) {
      return EqualsIgnoringAsciiCase(entry.first, name);
    });
  }

  Values values_;
  bool open_ = false;
};

}  // namespace vr512b
