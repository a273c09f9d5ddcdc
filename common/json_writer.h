#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vr512b {

// Appends `text` as a JSON string literal. Control characters (C0, DEL, C1)
// become \u00XX; every maximal ill-formed UTF-8 subsequence becomes one
// U+FFFD, so that garbage from a unit still gives valid JSON.
void AppendJsonString(std::string& out, std::string_view text);

// Pretty-printed JSON, one member or element a line, so that a document can be
// read and diffed as text. The caller keeps the nesting right.
class JsonWriter {
 public:
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void Key(std::string_view key);
  void String(std::string_view value);
  void Int(long long value);
  void Bool(bool value);
  void Null();
  // The document with its final line break.
  std::string Take();

  // Members of an object, key and value in one call.
  void StringMember(std::string_view key, std::string_view value);
  void BoolMember(std::string_view key, bool value);
  void IntMember(std::string_view key, long long value);
  void StringArrayMember(std::string_view key, const std::vector<std::string>& values);

 private:
  void Indent();
  void BeforeItem();
  void BeforeValue();
  void Open(char bracket);
  void Close(char bracket);

  std::string out_;
  std::vector<bool> depth_;  // per open bracket: nothing written in it yet
  bool afterKey_ = false;
};

}  // namespace vr512b
