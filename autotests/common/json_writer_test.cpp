// JSON as the run record writes it: valid whatever bytes a unit sends.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "autotests/support/json.h"
#include "common/json_writer.h"

namespace vr512b {
namespace {

using testing::Json;

std::string JsonOf(std::string_view text) {
  std::string out;
  AppendJsonString(out, text);
  return out;
}

TEST(JsonString, EscapesQuotesBackslashesAndControls) {
  EXPECT_EQ(JsonOf(""), "\"\"");
  EXPECT_EQ(JsonOf("a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
  EXPECT_EQ(JsonOf(std::string("\x00\x01\t\n\r\x1f\x7f", 7)),
            "\"\\u0000\\u0001\\u0009\\u000A\\u000D\\u001F\\u007F\"");
  // C1 controls are characters of their own in UTF-8, and controls as well.
  EXPECT_EQ(JsonOf("\xC2\x85\xC2\x9F\xC2\xA0"), "\"\\u0085\\u009F\xC2\xA0\"");
  // Well-formed text passes unchanged, from two bytes to four.
  EXPECT_EQ(JsonOf("Прием с линии €𝄞"), "\"Прием с линии €𝄞\"");
  EXPECT_EQ(JsonOf("\xEF\xBF\xBF\xF4\x8F\xBF\xBF"), "\"\xEF\xBF\xBF\xF4\x8F\xBF\xBF\"");
}

TEST(JsonString, EveryIllFormedSubsequenceBecomesOneReplacementCharacter) {
  const std::string R = "\xEF\xBF\xBD";
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"\x80", R},                        // lone continuation byte
      {"a\xBF\xBFz", "a" + R + R + "z"},  // each stray continuation on its own
      {"\xD0", R},                        // cut off at the end
      {"\xD0"
       "A",
       R + "A"},  // cut off by an ASCII byte, which stays
      {"\xE2\x82"
       "A",
       R + "A"},                            // three-byte start: one replacement
      {"\xF0\x9F\x98", R},                  // four-byte start, end of text
      {"\xC0\xAF", R + R},                  // overlong '/'
      {"\xE0\x80\xAF", R + R + R},          // overlong, caught at the second byte
      {"\xED\xA0\x80", R + R + R},          // UTF-16 surrogate
      {"\xF4\x90\x80\x80", R + R + R + R},  // past U+10FFFF
      {"\xF5\x80", R + R},                  // lead byte that never occurs
      {"\xFF\xFE", R + R},                  // nor these
      {"\xD0\x9F\xD1", "П" + R},            // good, then cut off
      {"\xE2\x82\xAC\xE2\x82", "€" + R},    // good, then cut off
      {"\xC3\x28", R + "("},                // bad continuation is read again
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonOf(c.in), "\"" + c.out + "\"") << ::testing::PrintToString(c.in);
    // And what comes out is always JSON a strict reader takes.
    Json value;
    EXPECT_TRUE(testing::ParseJson(JsonOf(c.in), value));
  }
}

TEST(JsonWriter, NestsOneMemberOrElementALine) {
  JsonWriter json;
  json.BeginObject();
  json.IntMember("n", -3);
  json.Key("empty");
  json.BeginArray();
  json.EndArray();
  json.Key("none");
  json.BeginObject();
  json.EndObject();
  json.StringArrayMember("list", {"a", "б"});
  json.Key("nothing");
  json.Null();
  json.BoolMember("yes", true);
  json.EndObject();
  const std::string text = json.Take();
  EXPECT_EQ(text,
            "{\n  \"n\": -3,\n  \"empty\": [],\n  \"none\": {},\n  \"list\": [\n    \"a\",\n"
            "    \"б\"\n  ],\n  \"nothing\": null,\n  \"yes\": true\n}\n");
  Json value;
  EXPECT_TRUE(testing::ParseJson(text, value));
}

}  // namespace
}  // namespace vr512b
