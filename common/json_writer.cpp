#include "common/json_writer.h"

#include <cstdio>

#include "common/utf8.h"

namespace vr512b {

namespace {

void AppendEscape(std::string& out, unsigned value) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", value);
  out += escape;
}

}  // namespace

void AppendJsonString(std::string& out, std::string_view text) {
  out += '"';
  std::size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte == '"') {
        out += "\\\"";
      } else if (byte == '\\') {
        out += "\\\\";
      } else if (byte < 0x20 || byte == 0x7F) {
        AppendEscape(out, byte);
      } else {
        out += static_cast<char>(byte);
      }
      ++i;
      continue;
    }
    const Utf8Step step = DecodeUtf8(text, i);
    if (!step.valid) {
      out += "\xEF\xBF\xBD";
    } else if (step.codePoint <= 0x9F) {
      // C1 controls are as unwelcome in a terminal as C0 ones.
      AppendEscape(out, step.codePoint);
    } else {
      out.append(text.substr(i, step.length));
    }
    i += step.length;
  }
  out += '"';
}

void JsonWriter::Key(std::string_view key) {
  BeforeItem();
  AppendJsonString(out_, key);
  out_ += ": ";
  afterKey_ = true;
}

void JsonWriter::String(std::string_view value) {
  BeforeValue();
  AppendJsonString(out_, value);
}

void JsonWriter::Int(long long value) {
  BeforeValue();
  out_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
  BeforeValue();
  out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
  BeforeValue();
  out_ += "null";
}

std::string JsonWriter::Take() {
  out_ += '\n';
  return std::move(out_);
}

void JsonWriter::StringMember(std::string_view key, std::string_view value) {
  Key(key);
  String(value);
}

void JsonWriter::BoolMember(std::string_view key, bool value) {
  Key(key);
  Bool(value);
}

void JsonWriter::IntMember(std::string_view key, long long value) {
  Key(key);
  Int(value);
}

void JsonWriter::StringArrayMember(std::string_view key, const std::vector<std::string>& values) {
  Key(key);
  BeginArray();
  for (const std::string& value : values)
    String(value);
  EndArray();
}

void JsonWriter::Indent() {
  out_ += '\n';
  out_.append(2 * depth_.size(), ' ');
}

void JsonWriter::BeforeItem() {
  if (depth_.empty())
    return;
  if (!depth_.back())
    out_ += ',';
  depth_.back() = false;
  Indent();
}

void JsonWriter::BeforeValue() {
  if (afterKey_) {
    afterKey_ = false;
    return;
  }
  BeforeItem();
}

void JsonWriter::Open(char bracket) {
  BeforeValue();
  out_ += bracket;
  depth_.push_back(true);
}

void JsonWriter::Close(char bracket) {
  const bool empty = depth_.back();
  depth_.pop_back();
  if (!empty)
    Indent();
  out_ += bracket;
}

}  // namespace vr512b
