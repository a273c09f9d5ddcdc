#include "ext_registry.h"

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

// What the binary reads accept: binary data and every type the accessor has
// no typed read for.
bool IsBinaryOrUntyped(RegValueType type) {
  return !IsStringType(type) && type != kRegDword;
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

double TExtRegistry::ReadFloat(const std::string& name) {
  const RegValue value = Get(name, sizeof(double));
  if (value.type != kRegBinary || value.data.size() != sizeof(double))
    InvalidType(name);
  return FromBytes<double>(value.data);
}

std::int64_t TExtRegistry::ReadCurrency(const std::string& name) {
  const RegValue value = Get(name, sizeof(std::int64_t));
  if (value.type != kRegBinary || value.data.size() != sizeof(std::int64_t))
    InvalidType(name);
  return FromBytes<std::int64_t>(value.data);
}

std::size_t TExtRegistry::ReadBinaryData(const std::string& name, std::span<std::uint8_t> buffer) {
  const std::optional<RegValue> value = store_.ReadValue(name);
  if (!value)
    return 0;
  if (!IsBinaryOrUntyped(value->type) || value->data.size() > buffer.size())
    InvalidType(name);
  std::copy(value->data.begin(), value->data.end(), buffer.begin());
  return value->data.size();
}

void TExtRegistry::WriteString(const std::string& name, const std::string& value) {
  Put(name, StringValue(kRegSz, value));
}

void TExtRegistry::WriteExpandString(const std::string& name, const std::string& value) {
  Put(name, StringValue(kRegExpandSz, value));
}

void TExtRegistry::WriteInteger(const std::string& name, std::int32_t value) {
  Put(name, BytesOf(kRegDword, value));
}

void TExtRegistry::WriteBool(const std::string& name, bool value) {
  WriteInteger(name, value ? 1 : 0);
}

void TExtRegistry::WriteFloat(const std::string& name, double value) {
  Put(name, BytesOf(kRegBinary, value));
}

void TExtRegistry::WriteCurrency(const std::string& name, std::int64_t value) {
  Put(name, BytesOf(kRegBinary, value));
}

void TExtRegistry::WriteBinaryData(const std::string& name, std::span<const std::uint8_t> data) {
  Put(name, RegValue{kRegBinary, std::vector<std::uint8_t>(data.begin(), data.end())});
}

std::string TExtRegistry::ReadStringDef(const std::string& name, const std::string& def) {
  return ValueExists(name) ? ReadString(name) : def;
}

std::int32_t TExtRegistry::ReadIntDef(const std::string& name, std::int32_t def) {
  return ValueExists(name) ? ReadInteger(name) : def;
}

bool TExtRegistry::ReadBoolDef(const std::string& name, bool def) {
  return ValueExists(name) ? ReadBool(name) : def;
}

double TExtRegistry::ReadFloatDef(const std::string& name, double def) {
  return ValueExists(name) ? ReadFloat(name) : def;
}

std::int64_t TExtRegistry::ReadCurrencyDef(const std::string& name, std::int64_t def) {
  return ValueExists(name) ? ReadCurrency(name) : def;
}

bool TExtRegistry::ReadBinaryDataDef(const std::string& name, std::span<std::uint8_t> buffer,
                                     const std::uint8_t* def) {
  const std::optional<RegValue> stored = store_.ReadValue(name);
  if (stored && stored->data.size() <= buffer.size()) {
    ReadBinaryData(name, buffer);
    return true;
  }
  if (def != nullptr) {
    std::copy(def, def + buffer.size(), buffer.begin());
  } else {
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  }
  return false;
}

}  // namespace vr512b
