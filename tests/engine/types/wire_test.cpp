// Tests of the reply buffer and the engine's token-reading steps.
#include "engine/types/wire.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ReplyBytes() {
  return Bytes(REPLY_Data(), REPLY_Data() + REPLY_Length());
}

// Appends the little-endian bytes of an integer of `size` bytes.
void Le(Bytes* b, long long v, int size) {
  for (int i = 0; i < size; ++i) b->push_back((v >> (8 * i)) & 0xFF);
}

void Text(Bytes* b, const std::string& s) {
  Le(b, static_cast<long long>(s.size()) + 1, 2);
  b->insert(b->end(), s.begin(), s.end());
  b->push_back(0);
}

class WireTest : public ::testing::Test {
 protected:
  void SetUp() override { REPLY_ResetForTest(); }
};

TEST(WIREBUF, GrowsByTheDocumentedSteps) {
  struct Case {
    std::vector<int> appends;
    size_t capacity;
  };
  const Case kCases[] = {
      {{1}, 100000},
      {{100000}, 100000},
      {{100001}, 100001},
      {{99999, 2}, 1100000},
      {{50000, 2000000}, 2050000},
      {{100000, 1000000, 1}, 2100000},
  };
  for (const Case& c : kCases) {
    WIREBUF buf;
    size_t total = 0;
    for (int n : c.appends) {
      const std::vector<unsigned char> bytes(n, 0x5A);
      WIRE_Append(&buf, bytes.data(), n);
      total += n;
    }
    EXPECT_EQ(buf.bytes.size(), c.capacity);
    EXPECT_EQ(static_cast<size_t>(buf.used), total);
  }
}

TEST_F(WireTest, ErrorReplyCarriesTheTextWithItsLength) {
  REPLY_Error("(CONNECT) Database-name missing");
  Bytes want = {'0', 'b'};
  Text(&want, "(CONNECT) Database-name missing");
  EXPECT_EQ(ReplyBytes(), want);
}

TEST_F(WireTest, ErrorRepliesOfAnyLengthComeOutWhole) {
  const std::string name(12000, 'N');
  REPLY_Errorf("(DROP TABLE) Table '%s' does not exist", name.c_str());
  const std::string want = "(DROP TABLE) Table '" + name + "' does not exist";
  ASSERT_EQ(REPLY_Length(), 2 + 2 + static_cast<int>(want.size()) + 1);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(REPLY_Data()) + 4),
            want);

  // Beyond what a u16 length can count, the text is cut, never wrapped.
  REPLY_Error(std::string(70000, 'x'));
  const Bytes got = ReplyBytes();
  ASSERT_EQ(got.size(), 2u + 2 + WIRE_MAXTEXT + 1);
  EXPECT_EQ(got[2] | (got[3] << 8), WIRE_MAXTEXT + 1);
  EXPECT_EQ(got.back(), 0);
}

TEST_F(WireTest, ErrorDetailJoinsMessageAndDetail) {
  REPLY_ErrorDetail("(CONNECT) Database-name missing", "");
  Bytes want = {'0', 'b'};
  Text(&want, "(CONNECT) Database-name missing\n");
  EXPECT_EQ(ReplyBytes(), want);
}

TEST_F(WireTest, WholeRepliesReplaceWhatWasWritten) {
  REPLY_RowsBegin('2', 1, 3);
  REPLY_Column("A", '2', 4);
  REPLY_Error("boom");
  Bytes want = {'0', 'b'};
  Text(&want, "boom");
  EXPECT_EQ(ReplyBytes(), want);

  REPLY_Success();
  EXPECT_EQ(ReplyBytes(), Bytes{'1'});
  REPLY_Wait();
  EXPECT_EQ(ReplyBytes(), Bytes{'-'});
  REPLY_Count(-7);
  Bytes count = {'3'};
  Le(&count, -7, 4);
  EXPECT_EQ(ReplyBytes(), count);
}

TEST_F(WireTest, RowReplyHasHeaderThenCells) {
  REPLY_RowsBegin('4', 2, 0);
  REPLY_Column("NAME", '0', 9);
  REPLY_Column("QTY", '2', 4);
  REPLY_CellText("AB");
  const int32_t qty = 513;
  REPLY_Cell(&qty, 4);
  REPLY_SetRowCount(1);

  Bytes want = {'4'};
  Le(&want, 2, 4);
  Le(&want, 1, 4);
  Text(&want, "NAME");
  want.push_back('0');
  Le(&want, 9, 4);
  Text(&want, "QTY");
  want.push_back('2');
  Le(&want, 4, 4);
  Text(&want, "AB");
  Le(&want, 4, 2);
  Le(&want, 513, 4);
  EXPECT_EQ(ReplyBytes(), want);
}

// A message: 'X' 'a'(DB) 'd'(-2) 'e'(1.5) 'c'(7) '0'(len 3 "hi").
Bytes SampleMessage() {
  Bytes m = {'X', 'a'};
  Text(&m, "DB");
  m.push_back('d');
  Le(&m, -2, 4);
  m.push_back('e');
  const double x = 1.5;
  const auto* p = reinterpret_cast<const unsigned char*>(&x);
  m.insert(m.end(), p, p + 8);
  m.push_back('c');
  Le(&m, 7, 2);
  m.push_back('0');
  Le(&m, 3, 2);
  m.insert(m.end(), {'h', 'i', 0});
  return m;
}

TEST(TOKEN, ReadsEveryPayloadInTurn) {
  const Bytes m = SampleMessage();
  const int n = static_cast<int>(m.size());
  std::string detail, text;
  int32_t i32 = 0;
  int16_t i16 = 0;
  double dbl = 0;
  const unsigned char* data = nullptr;
  int size = 0;

  int off = TOKEN_ExpectText(m.data(), n, 1, 'a', &text, &detail);
  EXPECT_EQ(text, "DB");
  off = TOKEN_Expect(m.data(), n, off, 'd', &detail);
  off = TOKEN_Int32(m.data(), n, off, &i32, &detail);
  EXPECT_EQ(i32, -2);
  off = TOKEN_Expect(m.data(), n, off, 'e', &detail);
  off = TOKEN_Double(m.data(), n, off, &dbl, &detail);
  EXPECT_EQ(dbl, 1.5);
  off = TOKEN_Expect(m.data(), n, off, 'c', &detail);
  off = TOKEN_Int16(m.data(), n, off, &i16, &detail);
  EXPECT_EQ(i16, 7);
  unsigned char kind = 0;
  off = TOKEN_Kind(m.data(), n, off, &kind);
  EXPECT_EQ(kind, '0');
  off = TOKEN_Data(m.data(), n, off, &data, &size, &detail);
  ASSERT_EQ(size, 3);
  EXPECT_EQ(std::memcmp(data, "hi", 3), 0);
  EXPECT_EQ(off, n);
  EXPECT_EQ(TOKEN_Kind(m.data(), n, off, &kind), n);
  EXPECT_EQ(kind, 'x');
}

TEST(TOKEN, RefusesMissingAndShortTokensWithTheirDetail) {
  const Bytes m = SampleMessage();
  const unsigned char* p = m.data();
  std::string text;
  int32_t i32;
  int16_t i16;
  double dbl;
  const unsigned char* data;
  int size;
  // Offsets: 1 'a', 2 len, 4 "DB\0", 7 'd', 8 int, 12 'e', 13 double,
  // 21 'c', 22 short, 24 '0', 25 len, 27 "hi\0" -> 30 bytes.
  struct Case {
    const char* name;
    std::function<int(std::string*)> step;
    const char* detail;
  };
  const Case kCases[] = {
      {"expect at the end",
       [&](std::string* d) { return TOKEN_Expect(p, 1, 1, 'a', d); }, ""},
      {"expect another kind",
       [&](std::string* d) { return TOKEN_Expect(p, 30, 1, 'd', d); },
       "Syntax error: <integer value> expected (found <identifier value>)"},
      {"text without length",
       [&](std::string* d) { return TOKEN_Text(p, 3, 2, &text, d); },
       "Syntax error: <name> expected (unexpected end of squery)"},
      {"text cut short",
       [&](std::string* d) { return TOKEN_Text(p, 6, 2, &text, d); },
       "Syntax error: <name> expected (unexpected end of squery)"},
      {"integer cut short",
       [&](std::string* d) { return TOKEN_Int32(p, 11, 8, &i32, d); },
       "Syntax error: <integer value> expected (unexpected end of squery)"},
      {"smallint cut short",
       [&](std::string* d) { return TOKEN_Int16(p, 23, 22, &i16, d); },
       "Syntax error: <smallint value> expected (unexpected end of squery)"},
      {"double cut short",
       [&](std::string* d) { return TOKEN_Double(p, 20, 13, &dbl, d); },
       "Syntax error: <float value> expected (unexpected end of squery)"},
      {"value cut short",
       [&](std::string* d) { return TOKEN_Data(p, 29, 25, &data, &size, d); },
       "Syntax error: <value> expected (unexpected end of squery)"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::string detail = "stale";
    EXPECT_EQ(c.step(&detail), TOKEN_FAILED);
    EXPECT_EQ(detail, c.detail);
  }
}

}  // namespace
