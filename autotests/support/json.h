#pragma once

// JSON documents read back by the tests, with Debian's nlohmann-json, and
// strict where a sloppy writer would slip: its parser takes no raw control
// character, no byte that is not UTF-8, no trailing comma and nothing after
// the value; ParseJson refuses a member name given twice in one object too.

#include <gtest/gtest.h>

#include <ostream>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

namespace nlohmann {
// GoogleTest prints a document in its failure messages as JSON text, not as
// the range of values it also is.
inline void PrintTo(const ordered_json& value, std::ostream* out) {
  *out << value.dump();
}
}  // namespace nlohmann

namespace vr512b::testing {

// Members keep the order they were written in. Tests hold documents they
// read as non-const values: operator[] gives null for a member that is
// missing, which no expected value equals (the const one is not checked).
using Json = nlohmann::ordered_json;

inline ::testing::AssertionResult ParseJson(std::string_view text, Json& value) {
  std::vector<std::set<std::string>> names;  // those of each object still open
  const Json::parser_callback_t check = [&names](int, Json::parse_event_t event, Json& parsed) {
    if (event == Json::parse_event_t::object_start)
      names.emplace_back();
    else if (event == Json::parse_event_t::object_end)
      names.pop_back();
    else if (event == Json::parse_event_t::key &&
             !names.back().insert(parsed.get<std::string>()).second)
      throw std::invalid_argument("member " + parsed.dump() + " given twice");
    return true;
  };
  try {
    value = Json::parse(text, check);
  } catch (const std::exception& error) {
    return ::testing::AssertionFailure() << error.what();
  }
  return ::testing::AssertionSuccess();
}

// The member names of an object, in the order they were written.
inline std::vector<std::string> MemberNames(const Json& object) {
  std::vector<std::string> names;
  for (const auto& member : object.items())
    names.push_back(member.key());
  return names;
}

}  // namespace vr512b::testing
