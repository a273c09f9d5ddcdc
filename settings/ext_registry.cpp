#include "settings/ext_registry.h"

#include <algorithm>
#include <cstring>

namespace vr512b {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& name) {
  throw RegistryError(std::string(what) + " for '" + name + "'");
}

[[noreturn]] void InvalidType(const std::string& name) {
  Fail("Invalid data type", name);
}

bool IsStringType(RegValueType type) {
  return type == kRegSz || type == kRegExpandSz;
}

RegValue StringValue(RegValueType type, const std::string& text) {
  RegValue value{type, std::vector<std::uint8_t>(text.begin(), text.end())};
  value.data.push_back(0);
  return value;
}

template <typename T>
RegValue BytesOf(RegValueType type, const T& number) {
  RegValue value{type, std::vector<std::uint8_t>(sizeof number)};
  std::memcpy(value.data.data(), &number, sizeof number);
  return value;
}

template <typename T>
T FromBytes(const std::vector<std::uint8_t>& data) {
  T number{};
  // A value of no bytes (hex(4): in a file) has no buffer, and memcpy must
  // not be handed a null pointer even to copy nothing.
  if (!data.empty())
    std::memcpy(&number, data.data(), std::min(sizeof number, data.size()));
  return number;
}

}  // namespace

TExtRegistry::~TExtRegistry() {
  CloseKey();
}

bool TExtRegistry::OpenKey(const std::string& key, bool canCreate) {
  CloseKey();
  open_ = store_.OpenKey(key, canCreate);
  return open_;
}

void TExtRegistry::CloseKey() {
  if (open_)
    store_.CloseKey();
  open_ = false;
}

bool TExtRegistry::ValueExists(const std::string& name) {
  return store_.ValueExists(name);
}

// The read takes at most `capacity` bytes, as a fixed-size buffer would; a
// larger value cannot be fetched at all.
RegValue TExtRegistry::Get(const std::string& name, std::size_t capacity) {
  std::optional<RegValue> value = store_.ReadValue(name);
  if (!value || value->data.size() > capacity)
    Fail("Failed to get data", name);
  return std::move(*value);
}

void TExtRegistry::Put(const std::string& name, RegValue value) {
  if (!store_.WriteValue(name, value))
    Fail("Failed to set data", name);
}

std::string TExtRegistry::ReadString(const std::string& name) {
  const std::optional<RegValue> value = store_.ReadValue(name);
  if (!value || value->data.empty())
    return {};
  if (!IsStringType(value->type))
    InvalidType(name);
  const auto end = std::find(value->data.begin(), value->data.end(), std::uint8_t{0});
  return std::string(value->data.begin(), end);
}

std::int32_t TExtRegistry::ReadInteger(const std::string& name) {
  const RegValue value = Get(name, sizeof(std::int32_t));
  if (value.type != kRegDword)
    InvalidType(name);
  return FromBytes<std::int32_t>(value.data);
}

bool TExtRegistry::ReadBool(const std::string& name) {
  return ReadInteger(name) != 0;
}

void TExtRegistry::WriteString(const std::string& name, const std::string& value) {
  Put(name, StringValue(kRegSz, value));
}

void TExtRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  Put(name, BytesOf(kRegDword, value));
}

void TExtRegistry::WriteBool(const std::string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

void TExtRegistry::Update::WriteString(const std::string& name, const std::string& value,
                                       bool keepStored) {
  writes_.push_back({name, StringValue(kRegSz, value), keepStored});
}

void TExtRegistry::Update::WriteBool(const std::string& name, bool value, bool keepStored) {
  writes_.push_back({name, BytesOf(kRegDword, std::int32_t{value ? 1 : 0}), keepStored});
}

void TExtRegistry::Store(const Update& update) {
  const std::vector<RegWrite>& writes = update.writes_;
  const std::size_t done = open_ ? store_.WriteValues(writes) : 0;
  if (done < writes.size())
    Fail("Failed to set data", writes[done].name);
}

std::string TExtRegistry::ReadStringDef(const std::string& name, const std::string& def) {
  return ValueExists(name) ? ReadString(name) : def;
}

bool TExtRegistry::ReadBoolDef(const std::string& name, bool def) {
  return ValueExists(name) ? ReadBool(name) : def;
}

}  // namespace vr512b
