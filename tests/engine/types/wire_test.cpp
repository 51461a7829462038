// Tests of the reply buffer and the engine's token-reading steps.
#include "engine/types/wire.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReplyBytes() { return Bytes(REPLY_Data(), REPLY_Data() + REPLY_Length()); }

// 'b' token payload: u16 length counting the zero, the text, the zero.
Bytes ErrorReply(const std::string& text) {
  Bytes b = {'0', 'b', static_cast<unsigned char>((text.size() + 1) & 0xFF),
             static_cast<unsigned char>((text.size() + 1) >> 8)};
  b.insert(b.end(), text.begin(), text.end());
  b.push_back(0);
  return b;
}

TEST(WIREBUF, GrowsByTheDocumentedSteps) {
  const struct {
    std::vector<int> appends;
    size_t capacity;
  } kCases[] = {
      {{1}, 100000},           {{100000}, 100000},
      {{100001}, 100001},      {{99999, 2}, 1100000},
      {{50000, 2000000}, 2050000}, {{100000, 1000000, 1}, 2100000},
  };
  for (const auto& c : kCases) {
    WIREBUF buf;
    int total = 0;
    for (int n : c.appends) {
      WIRE_Append(&buf, std::vector<unsigned char>(n, 0x5A).data(), n);
      total += n;
    }
    EXPECT_EQ(buf.bytes.size(), c.capacity);
    EXPECT_EQ(buf.used, total);
  }
}

TEST(REPLY, WholeRepliesReplaceWhatWasWritten) {
  REPLY_RowsBegin('2', 1, 3);
  REPLY_Column("A", '2', 4);
  REPLY_ErrorDetail("(CONNECT) Database-name missing", "");
  EXPECT_EQ(ReplyBytes(), ErrorReply("(CONNECT) Database-name missing\n"));
  REPLY_Success();
  EXPECT_EQ(ReplyBytes(), Bytes{'1'});
  REPLY_Wait();
  EXPECT_EQ(ReplyBytes(), Bytes{'-'});
  REPLY_Count(-7);
  EXPECT_EQ(ReplyBytes(), (Bytes{'3', 0xF9, 0xFF, 0xFF, 0xFF}));
  REPLY_RowsBegin('4', 1, 0);
  REPLY_SetRowCount(258);
  EXPECT_EQ(ReplyBytes(), (Bytes{'4', 1, 0, 0, 0, 2, 1, 0, 0}));
}

TEST(REPLY, ErrorTextsOfAnyLengthComeOutWhole) {
  const std::string name(12000, 'N');
  REPLY_Errorf("(DROP TABLE) Table '%s' does not exist", name.c_str());
  EXPECT_EQ(ReplyBytes(),
            ErrorReply("(DROP TABLE) Table '" + name + "' does not exist"));
  // Beyond what a u16 length can count, the text is cut, never wrapped.
  REPLY_Error(std::string(70000, 'x'));
  EXPECT_EQ(ReplyBytes(), ErrorReply(std::string(WIRE_MAXTEXT, 'x')));
}

// 'X' 'a'(DB) 'd'(-2) 'e'(1.5) 'c'(7) '0'(3 bytes "hi\0"); offsets:
// 1 'a', 2 len, 4 text, 7 'd', 8 int, 12 'e', 13 double, 21 'c', 22 short,
// 24 '0', 25 len, 27 bytes, 30 end.
const Bytes kMsg = {'X', 'a', 3, 0, 'D', 'B', 0, 'd', 0xFE, 0xFF, 0xFF,
                    0xFF, 'e', 0, 0, 0, 0, 0, 0, 0xF8, 0x3F, 'c', 7, 0,
                    '0', 3, 0, 'h', 'i', 0};

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
