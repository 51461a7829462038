// Tests of the value-string pool, the pattern helpers, random keys and the
// record copy.
#include "client/value_strings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "client/struct_assign.h"
#include "engine/types/values.h"

namespace {

class ValueStrings : public ::testing::Test {
 protected:
  void SetUp() override { VALSTR_ResetForTest(); }
  void TearDown() override { VALSTR_ResetForTest(); }
};

TEST_F(ValueStrings, QuotesTextsIntoAPoolThatHoldsKeepAlive) {
  const char* first = Make_ValueString("it's", 4);  // short: would move if stored inline
  EXPECT_STREQ(Make_ValueString("say \"hi\"", 8), "say \\\"hi\\\"");
  // A backslash is doubled, so that the lexer gives it back unchanged.
  EXPECT_STREQ(Make_ValueString("a\\b", 80), "a\\\\b");
  EXPECT_STREQ(VALSTR_MakeOrEmpty("     ", 5), "");  // blank: not pooled
  EXPECT_STREQ(VALSTR_MakeOrEmpty(" o'k ", 5), " o\\'k ");
  EXPECT_STREQ(VALSTR_MakeTrimmed("KEY1    "), "KEY1");
  for (int i = 0; i < 3000; ++i) Make_ValueString("filler", 6);
  EXPECT_STREQ(first, "it\\'s");
  EXPECT_EQ(VALSTR_PoolCount(), 3005);

  Hold_ValueStrings();
  Hold_ValueStrings();
  VALSTR_Free();
  Release_ValueStrings();
  VALSTR_Free();
  EXPECT_EQ(VALSTR_PoolCount(), 3005);
  Release_ValueStrings();
  VALSTR_Free();
  EXPECT_EQ(VALSTR_PoolCount(), 0);
}

TEST_F(ValueStrings, WarnsOnceWhenThePoolIsFull) {
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < VALSTR_POOLMAX - 1; ++i) Make_ValueString("x", 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  const char* unpooled = Make_ValueString("it's", 10);
  const char* second = VALSTR_MakeTrimmed("y  ");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "(Make_ValueString) Warning: Limit for temporary strings reached - memory is wasted "
            "(limit = 10000)\n");
  EXPECT_EQ(VALSTR_PoolCount(), VALSTR_POOLMAX - 1);
  VALSTR_Free();
  EXPECT_EQ(VALSTR_PoolCount(), 0);
  EXPECT_STREQ(unpooled, "it\\'s");  // outlives the free
  EXPECT_STREQ(second, "y");
}

TEST(ValueStringsDeathTest, RefusesBadSizesAndUnmatchedReleases) {
  EXPECT_EXIT(Make_ValueString("abc", -1), ::testing::ExitedWithCode(1),
              "^\\(Make_ValueString\\) Error: Stringsize '-1' of type is invalid \\('abc'\\)\n$");
  EXPECT_EXIT(Make_ValueString("abcdefghi", 8), ::testing::ExitedWithCode(1),
              "^\\(Make_ValueString\\) Error: Size of string 'abcdefghi' is invalid "
              "\\(8 characters expected\\)\n$");
  EXPECT_EXIT(
      {
        VALSTR_ResetForTest();
        Hold_ValueStrings();
        Release_ValueStrings();
        Release_ValueStrings();
      },
      ::testing::ExitedWithCode(1),
      "^\\(Release_ValueStrings\\) Error: No corresponding Hold_ValueStrings!\n$");
}

TEST(ValueStringsText, CopiesAndPatterns) {
  struct Copy {
    const char* text;
    int size;
    const char* copy;
    const char* warning;
  };
  const Copy kCopies[] = {
      {"abc   ", 3, "abc", ""},
      {"abcdef", 3, "abc", "(my_strncpy): String too long (strlen = 6; size = 3)!\n"},
      {"ab  ", 1, "a", "(my_strncpy): String too long (strlen = 4; size = 1)!\n"},
      {"  x", 80, "  x", ""},
  };
  for (const Copy& c : kCopies) {
    SCOPED_TRACE(c.text);
    std::vector<char> dest(c.size + 2, '#');
    ::testing::internal::CaptureStderr();
    my_strncpy(dest.data(), c.text, c.size);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.warning);
    EXPECT_STREQ(dest.data(), c.copy);
    EXPECT_EQ(dest.back(), '#') << "wrote past size + 1 bytes";
  }
  struct Pattern {
    std::string text;
    int max_len;
    std::string pattern;
  };
  const Pattern kPatterns[] = {
      {"abc", 160, "%abc%"},
      {"a*b", 160, "%a%b%"},
      {"", 160, "%%"},
      {std::string(158, 'm'), 160, "%" + std::string(158, 'm') + "%"},
      {std::string(159, 'm'), 160, std::string(159, 'm')},
      {"a*b", 4, "a%b"},
  };
  for (const Pattern& c : kPatterns) {
    SCOPED_TRACE(c.text);
    std::vector<char> buffer(c.max_len + 1, '\0');
    std::memcpy(buffer.data(), c.text.c_str(), c.text.size() + 1);
    VALSTR_SurroundPattern(buffer.data(), c.max_len);
    EXPECT_EQ(std::string(buffer.data()), c.pattern);
  }
}

struct ScriptedDraw {
  std::string codes;
  size_t next = 0;
  bool range_ok = true;
};

int DrawScripted(void* ctx, int lo, int hi) {
  auto* script = static_cast<ScriptedDraw*>(ctx);
  script->range_ok = script->range_ok && lo == 32 && hi == 127;
  return static_cast<unsigned char>(script->codes.at(script->next++));
}

int DrawUniform(void* ctx, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(*static_cast<std::mt19937*>(ctx));
}

TEST(ValueStringsKey, RedrawsCharactersThatNeedQuoting) {
  ScriptedDraw script{"%A'B\\C;D@E\"F,G/H\x7fZ"};
  char key[VALSTR_KEYLEN + 1];
  VALSTR_RandomKey(key, DrawScripted, &script);
  EXPECT_STREQ(key, "ABCDEFGH");
  EXPECT_EQ(script.next, 16u);
  EXPECT_TRUE(script.range_ok);

  std::mt19937 rng(7);
  std::set<char> seen;
  for (int i = 0; i < 2000; ++i) {
    VALSTR_RandomKey(key, DrawUniform, &rng);
    ASSERT_EQ(std::strlen(key), 8u);
    for (char c : std::string(key)) {
      ASSERT_EQ(std::string("%'\\;@\",/").find(c), std::string::npos) << key;
      seen.insert(c);
    }
  }
  EXPECT_EQ(seen.size(), 96u - 8u);  // every other code of 32..127 occurs
}

TEST(ValueStringsBinary, BlankFieldHasLengthZeroAndBlankContent) {
  std::vector<unsigned char> field(2 + 5 + 1, 0xEE);
  VALSTR_BlankBinary(field.data(), 5);
  EXPECT_EQ(field, (std::vector<unsigned char>{0, 0, ' ', ' ', ' ', ' ', ' ', 0xEE}));
}

TEST(STRUCT, MapsCodesAndCopiesNoMoreThanTheRecord) {
  const int kCodes[][2] = {{STRUCT_CHAR, DBTYPE_CHARACTER},
                           {STRUCT_CHAR2, DBTYPE_CHARACTER},
                           {STRUCT_STRING, DBTYPE_CHARACTER},
                           {STRUCT_SHORT, DBTYPE_SMALLINT},
                           {STRUCT_LONG, DBTYPE_INTEGER},
                           {STRUCT_BINARY, DBTYPE_BINARY},
                           {STRUCT_INT, -1},
                           {STRUCT_TIMESTAMP, -1}};
  for (const auto& code : kCodes) {
    int type = -1;
    EXPECT_EQ(STRUCT_EngineType(code[0], &type), code[1] != -1 ? 1 : 0);
    EXPECT_EQ(type, code[1]);
  }
  struct Case {
    int32_t size;
    int copied;  // of a 16-byte capacity
    const char* warning;
  };
  const Case kCases[] = {
      {12, 12, ""},
      {200, 16, ""},
      {0, 16, "(STRUCT_Assign) Warning: Struct not initialized (size 0)???\n"},
      {-5, 16, "(STRUCT_Assign) Warning: Struct not initialized (size -5)???\n"},
      {20000, 16, "(STRUCT_Assign) Warning: Struct not initialized (size 20000)???\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.size);
    std::vector<unsigned char> from(16, 0x40);
    std::memcpy(from.data(), &c.size, sizeof c.size);
    std::vector<unsigned char> to(17, 0xEE);
    ::testing::internal::CaptureStderr();
    STRUCT_Assign(to.data(), from.data(), 16);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.warning);
    EXPECT_TRUE(std::equal(from.begin(), from.begin() + c.copied, to.begin()));
    EXPECT_EQ(std::count(to.begin(), to.end(), 0xEE), 17 - c.copied);
  }
}

}  // namespace
