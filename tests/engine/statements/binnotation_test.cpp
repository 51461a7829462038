// The text notation of BINARY constants: escapes, runs, refusals and the
// field form with its length word.
#include "engine/statements/binnotation.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

const std::string kMark(1, '\xA7');

TEST(BINNOT, DecodesEscapesRunsAndPlainBytes) {
  struct Case {
    std::string text;
    std::string bytes;
  };
  const Case cases[] = {
      {"$$", "$"},
      {"A$00B" + kMark + "0001" + kMark, std::string("A\0B\0\x01", 5)},
      {"$41$7F", "A\x7F"},
      {kMark + kMark, "\xA7"},
      {kMark + kMark + kMark + "FF" + kMark, "\xA7\xFF"},
      {kMark + kMark + "x", "\xA7x"},
      {"plain", "plain"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out;
    ASSERT_TRUE(BINNOT_Decode(c.text, 100, &out));
    EXPECT_EQ(out, c.bytes);
  }
}

TEST(BINNOT, RefusesBrokenEscapesAndRuns) {
  const std::string cases[] = {
      "$4",                   // escape too close to the end
      "$",                    // lone escape at the end
      "$4g",                  // lower-case or other digit
      "$af",                  // lower-case hex digits are not digits here
      "ab$XY",                // not a digit
      kMark + "0001",         // run without its closing mark
      kMark + "001" + kMark,  // odd digit before the closing mark
      kMark + "0G" + kMark,   // a non-digit inside a run
  };
  for (const std::string& text : cases) {
    SCOPED_TRACE(text);
    std::string out;
    EXPECT_FALSE(BINNOT_Decode(text, 100, &out));
  }
}

TEST(BINNOT, RefusesMoreBytesThanTheMaximum) {
  std::string out;
  EXPECT_TRUE(BINNOT_Decode("abcd", 4, &out));
  EXPECT_FALSE(BINNOT_Decode("abcde", 4, &out));
  EXPECT_FALSE(BINNOT_Decode(kMark + "0102030405" + kMark, 4, &out));
  EXPECT_FALSE(BINNOT_Decode("abc$$$$", 4, &out));
}

TEST(BINNOT, WritesLengthBytesAndClearsTheRestOfTheField) {
  unsigned char field[8];
  std::memset(field, 0xEE, sizeof field);
  ASSERT_TRUE(BINNOT_ToField("A$00B", 8, field));
  int16_t n;
  std::memcpy(&n, field, 2);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::memcmp(field + 2, "A\0B\0\0\0", 6), 0);

  // Content room is the field size less the length word; a refusal leaves
  // the field as it was.
  std::memset(field, 0xEE, sizeof field);
  EXPECT_FALSE(BINNOT_ToField("1234567", 8, field));
  EXPECT_EQ(field[0], 0xEE);
  EXPECT_TRUE(BINNOT_ToField("123456", 8, field));
}

}  // namespace
