#pragma once

// Just enough JSON to read a document back, and strict where a sloppy writer
// would slip: raw control characters, bytes that are not UTF-8, trailing
// commas, anything after the value.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace vr512b::testing {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;
  std::map<std::string, Json> members;
  std::vector<std::string> order;  // member names as written

  bool Has(const std::string& key) const { return members.count(key) != 0; }
  const Json& operator[](const std::string& key) const {
    static const Json missing;
    const auto it = members.find(key);
    EXPECT_NE(it, members.end()) << "no member " << key;
    return it == members.end() ? missing : it->second;
  }
  const Json& operator[](std::size_t index) const {
    static const Json missing;
    EXPECT_LT(index, items.size());
    return index < items.size() ? items[index] : missing;
  }
  std::vector<std::string> Strings() const {
    std::vector<std::string> out;
    for (const Json& item : items)
      out.push_back(item.text);
    return out;
  }
};

class JsonReader {
 public:
  explicit JsonReader(std::string_view text) : text_(text) {}

  bool Read(Json& value) {
    if (!Value(value))
      return false;
    Blank();
    return Fail(pos_ == text_.size(), "text after the value");
  }
  const std::string& error() const { return error_; }

 private:
  bool Fail(bool ok, const char* what) {
    if (!ok && error_.empty())
      error_ = std::string(what) + " at byte " + std::to_string(pos_);
    return ok;
  }
  void Blank() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\t'))
      ++pos_;
  }
  bool Eat(char c) {
    Blank();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  bool Word(std::string_view word) {
    if (text_.substr(pos_, word.size()) != word)
      return Fail(false, "bad literal");
    pos_ += word.size();
    return true;
  }
  bool Value(Json& v) {
    Blank();
    if (pos_ >= text_.size())
      return Fail(false, "missing value");
    const char c = text_[pos_];
    if (c == '{')
      return Object(v);
    if (c == '[')
      return Array(v);
    if (c == '"') {
      v.kind = Json::Kind::String;
      return String(v.text);
    }
    if (c == 't' || c == 'f') {
      v.kind = Json::Kind::Bool;
      v.boolean = c == 't';
      return Word(c == 't' ? "true" : "false");
    }
    if (c == 'n')
      return Word("null");
    return Number(v);
  }
  bool Number(Json& v) {
    const std::size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-')
      ++pos_;
    while (pos_ < text_.size() &&
           std::string_view("0123456789.eE+-").find(text_[pos_]) != std::string_view::npos)
      ++pos_;
    if (!Fail(pos_ > start && text_[start] != '+', "bad number"))
      return false;
    v.kind = Json::Kind::Number;
    v.number = std::stod(std::string(text_.substr(start, pos_ - start)));
    return true;
  }
  bool Object(Json& v) {
    v.kind = Json::Kind::Object;
    ++pos_;
    if (Eat('}'))
      return true;
    do {
      Blank();
      std::string key;
      if (!Fail(pos_ < text_.size() && text_[pos_] == '"', "member name expected") ||
          !String(key) || !Fail(Eat(':'), "':' expected"))
        return false;
      Json member;
      if (!Value(member) || !Fail(!v.Has(key), "duplicate member"))
        return false;
      v.order.push_back(key);
      v.members.emplace(key, std::move(member));
    } while (Eat(','));
    return Fail(Eat('}'), "'}' expected");
  }
  bool Array(Json& v) {
    v.kind = Json::Kind::Array;
    ++pos_;
    if (Eat(']'))
      return true;
    do {
      Json item;
      if (!Value(item))
        return false;
      v.items.push_back(std::move(item));
    } while (Eat(','));
    return Fail(Eat(']'), "']' expected");
  }
  static void PutUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  // A raw multi-byte character: decoded, then held to the shortest form and
  // to the Unicode range without surrogates.
  bool RawUtf8(std::string& out) {
    const auto lead = static_cast<unsigned char>(text_[pos_]);
    int more = lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (!Fail(more > 0 && lead < 0xF8, "bad UTF-8 lead byte"))
      return false;
    unsigned long cp = lead & (0x3F >> more);
    const std::size_t start = pos_++;
    for (int i = 0; i < more; ++i, ++pos_) {
      if (!Fail(pos_ < text_.size() && (static_cast<unsigned char>(text_[pos_]) & 0xC0) == 0x80,
                "truncated UTF-8"))
        return false;
      cp = (cp << 6) | (static_cast<unsigned char>(text_[pos_]) & 0x3F);
    }
    const unsigned long shortest[] = {0, 0x80, 0x800, 0x10000};
    if (!Fail(cp >= shortest[more] && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF),
              "ill-formed UTF-8"))
      return false;
    out.append(text_.substr(start, pos_ - start));
    return true;
  }
  bool String(std::string& out) {
    ++pos_;
    for (;;) {
      if (!Fail(pos_ < text_.size(), "unterminated string"))
        return false;
      const auto c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (!Fail(c >= 0x20, "raw control character in a string"))
        return false;
      if (c >= 0x80) {
        if (!RawUtf8(out))
          return false;
        continue;
      }
      ++pos_;
      if (c != '\\') {
        out += static_cast<char>(c);
        continue;
      }
      if (!Fail(pos_ < text_.size(), "bad escape"))
        return false;
      const char e = text_[pos_++];
      const std::string_view simple = "\"\\/bfnrt";
      const std::string_view meaning = "\"\\/\b\f\n\r\t";
      if (simple.find(e) != std::string_view::npos) {
        out += meaning[simple.find(e)];
      } else if (e == 'u' && pos_ + 4 <= text_.size()) {
        const unsigned long cp = std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
        pos_ += 4;
        // The writer escapes only controls, so no surrogate pairs here.
        if (!Fail(cp < 0xD800 || cp > 0xDFFF, "surrogate escape"))
          return false;
        PutUtf8(out, cp);
      } else {
        return Fail(false, "bad escape");
      }
    }
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::string error_;
};

}  // namespace vr512b::testing
