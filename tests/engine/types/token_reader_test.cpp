// Tests of the engine's token-reading steps.
#include "engine/types/token_reader.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

const Bytes kMsg = {'X', 'a', 3, 0, 'D',  'B',  0,   'd', 0xFE, 0xFF, 0xFF, 0xFF, 'e', 0,   0,
                    0,   0,   0, 0, 0xF8, 0x3F, 'c', 7,   0,    '0',  3,    0,    'h', 'i', 0};

TEST(TOKEN, ReadsEveryPayloadInTurn) {
  const unsigned char* m = kMsg.data();
  std::string d, text;
  int32_t i32 = 0;
  int16_t i16 = 0;
  double dbl = 0;
  const unsigned char* data = nullptr;
  int size = 0;
  unsigned char kind = 0;
  EXPECT_EQ(TOKEN_ExpectText(m, 30, 1, 'a', &text, &d), 7);
  EXPECT_EQ(TOKEN_Int32(m, 30, TOKEN_Expect(m, 30, 7, 'd', &d), &i32, &d), 12);
  EXPECT_EQ(TOKEN_Double(m, 30, 13, &dbl, &d), 21);
  EXPECT_EQ(TOKEN_Int16(m, 30, 22, &i16, &d), 24);
  EXPECT_EQ(TOKEN_Kind(m, 30, 24, &kind), 25);
  EXPECT_EQ(TOKEN_Data(m, 30, 25, &data, &size, &d), 30);
  EXPECT_EQ(text, "DB");
  EXPECT_EQ(i32, -2);
  EXPECT_EQ(dbl, 1.5);
  EXPECT_EQ(i16, 7);
  EXPECT_EQ(kind, '0');
  EXPECT_EQ(size, 3);
  EXPECT_EQ(data, m + 27);
  // At the end of the message the kind read is the end of statement.
  EXPECT_EQ(TOKEN_Kind(m, 30, 30, &kind), 30);
  EXPECT_EQ(kind, 'x');
}

TEST(TOKEN, RefusesMissingAndShortTokensWithTheirDetail) {
  const unsigned char* p = kMsg.data();
  std::string text;
  int32_t i32;
  int16_t i16;
  double dbl;
  const unsigned char* data;
  int size;
  const struct {
    std::function<int(std::string*)> step;
    const char* detail;
  } kCases[] = {
      {[&](std::string* d) { return TOKEN_Expect(p, 1, 1, 'a', d); }, ""},
      {[&](std::string* d) { return TOKEN_Expect(p, 30, 1, 'd', d); },
       "Syntax error: <integer value> expected (found <identifier value>)"},
      {[&](std::string* d) { return TOKEN_Text(p, 3, 2, &text, d); },
       "Syntax error: <name> expected (unexpected end of squery)"},
      {[&](std::string* d) { return TOKEN_Text(p, 6, 2, &text, d); },
       "Syntax error: <name> expected (unexpected end of squery)"},
      {[&](std::string* d) { return TOKEN_Int32(p, 11, 8, &i32, d); },
       "Syntax error: <integer value> expected (unexpected end of squery)"},
      {[&](std::string* d) { return TOKEN_Int16(p, 23, 22, &i16, d); },
       "Syntax error: <smallint value> expected (unexpected end of squery)"},
      {[&](std::string* d) { return TOKEN_Double(p, 20, 13, &dbl, d); },
       "Syntax error: <float value> expected (unexpected end of squery)"},
      {[&](std::string* d) { return TOKEN_Data(p, 29, 25, &data, &size, d); },
       "Syntax error: <value> expected (unexpected end of squery)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.detail);
    std::string detail = "stale";
    EXPECT_EQ(c.step(&detail), TOKEN_FAILED);
    EXPECT_EQ(detail, c.detail);
  }
}

}  // namespace
