// Settings files found by fuzzing, replayed through the fuzz target's round
// trip (settings_round_trip.h): load, save into the same file, reload. The
// .reg file store is POSIX: Linux only.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "autotests/support/settings_round_trip.h"
#include "autotests/support/test_support.h"

namespace vr512b {
namespace {

constexpr const char* kKey = "[HKEY_LOCAL_MACHINE\\Software\\Korvex\\DiagVR512B]\n";

TEST(HostileSettingsFile, ADwordOfNoBytesReadsAsZero) {
  // A flag written as an empty hex(4) list holds no bytes at all; reading it
  // once handed memcpy a null pointer.
  testing::TempDir dir;
  const std::string file = dir.File("DiagVR512B.reg");
  testing::WriteFile(file, std::string(kKey) + "\"Presto\"=hex(4):");
  TestParameterValues loaded;
  EXPECT_EQ(testing::SettingsRoundTripProblem(file, loaded), "");
  TestParameterValues want;
  want.Presto = false;
  EXPECT_EQ(testing::DescribeParameters(loaded), testing::DescribeParameters(want));
  EXPECT_NE(testing::ReadFile(file).find("\"Presto\"=dword:00000000"), std::string::npos);
}

// Files without a byte-order mark are told apart by their bytes alone. A save
// that takes away what made the guess (the one byte that was no UTF-8, the
// last letter beyond ASCII) must not leave text that reads back as other text.
TEST(HostileSettingsFile, ASaveKeepsTheTextWhenTheEncodingGuessWouldChange) {
  struct Case {
    const char* what;
    std::string bytes;
    std::string name;  // the sample's name, in UTF-8, before and after
  };
  const std::string regedit4 = std::string("REGEDIT4\r\n\r\n") + kKey;
  const Case cases[] = {
      {"Windows-1251 letters that also spell UTF-8's byte-order mark",
       regedit4 + "\"NameVR512BSample\"=\"\xEF\xBB\xBF\"\r\n\"Presto\"=\"\xFF\"\r\n",
       "\xD0\xBF\xC2\xBB\xD1\x97"},
      {"a UTF-8 list of text, once the only other letter is gone",
       regedit4 + "\"NameVR512BSample\"=hex(1):0d,d0,b9,00\r\n\"Presto\"=\"\xD0\xB9\"\r\n",
       "\r\xD0\xB9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::TempDir dir;
    const std::string file = dir.File("DiagVR512B.reg");
    testing::WriteFile(file, c.bytes);
    TestParameterValues loaded;
    EXPECT_EQ(testing::SettingsRoundTripProblem(file, loaded), "");
    EXPECT_EQ(loaded.NameVR512BSample, c.name);
  }
}

TEST(HostileSettingsFile, ACommentAfterAListKeepsReadingAsOneWhenTheValueIsQuotedAgain) {
  // A carriage return stood between the list and its comment: written after
  // the quoted text, it once made the line unreadable, and the earlier line
  // for the same value came back.
  testing::TempDir dir;
  const std::string file = dir.File("DiagVR512B.reg");
  testing::WriteFile(file, std::string("Windows Registry Editor Version 5.00\n\n") + kKey +
                               "\"Phone\"=\"2002\"\n\"Phone\"=hex(1):\t\r;note\n");
  TestParameterValues loaded;
  EXPECT_EQ(testing::SettingsRoundTripProblem(file, loaded), "");
  EXPECT_EQ(loaded.Phone, "");
}

TEST(HostileSettingsFile, BytesThatAreNoUtf8BehindTheUtf8MarkLoadAsReplacementCharacters) {
  // Text ends at its first zero, so the save writes the value anew: as a
  // UTF-16 list (a line break is no quoted text), which once failed the save.
  testing::TempDir dir;
  const std::string file = dir.File("DiagVR512B.reg");
  testing::WriteFile(file, std::string("\xEF\xBB\xBFWindows Registry Editor Version 5.00\n\n") +
                               kKey + "\"PhoneSample\"=\"2\xFF\r0" + std::string(1, '\0') +
                               "1\"\n");
  TestParameterValues loaded;
  EXPECT_EQ(testing::SettingsRoundTripProblem(file, loaded), "");
  EXPECT_EQ(loaded.PhoneSample, "2\xEF\xBF\xBD\r0");
}

}  // namespace
}  // namespace vr512b

#endif  // _WIN32
