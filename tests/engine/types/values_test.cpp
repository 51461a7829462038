// Tests of the row layout, the no-value markers and the order of each type.
#include "engine/types/values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

using Row = std::vector<unsigned char>;

template <typename T>
Row Bytes(T value) {
  Row bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

Row Dati(int16_t year, uint8_t month, uint8_t day, uint8_t hour = 0, uint8_t minute = 0,
         uint8_t second = 0, int32_t micros = 0, uint8_t pad = 0) {
  Row row = Bytes(year);
  for (uint8_t b : {month, day, hour, minute, second, pad}) row.push_back(b);
  Row us = Bytes(micros);
  row.insert(row.end(), us.begin(), us.end());
  return row;
}

Row Binary(const std::string& content) {
  Row row = Bytes(static_cast<int16_t>(content.size()));
  row.insert(row.end(), content.begin(), content.end());
  return row;
}

Row Text(const std::string& text) { return Row(text.c_str(), text.c_str() + text.size() + 1); }

TEST(VALUE, EveryRelationFollowsItsTypesOrder) {
  struct Case {
    int type;
    Row a, b;
    int order;
  };
  const Case kCases[] = {
      {DBTYPE_CHARACTER, Text("abc"), Text("abc   "), 0},
      {DBTYPE_CHARACTER, Text("abc"), Text("abd"), -1},
      {DBTYPE_CHARACTER, Text("ab"), Text("abc"), -1},
      {DBTYPE_CHARACTER, Text("\x80zz"), Text("a"), -1},  // bytes compare signed
      {DBTYPE_CHARACTER, Text("\xff"), Text("\x7f"), -1},
      {DBTYPE_CHARACTER, Text(""), Text("   "), 0},
      {DBTYPE_CHARACTER, Text("a b"), Text("a"), 1},
      {DBTYPE_CHARACTER, Text("a"), Text("a\xe4"), -1},
      {DBTYPE_SMALLINT, Bytes<int16_t>(-32768), Bytes<int16_t>(-1), -1},
      {DBTYPE_INTEGER, Bytes<int32_t>(DB_NOINTEGER), Bytes<int32_t>(-2147483646), -1},
      {DBTYPE_INTEGER, Bytes<int32_t>(INT32_MIN), Bytes<int32_t>(DB_NOINTEGER), -1},
      {DBTYPE_INTEGER, Bytes<int32_t>(70000), Bytes<int32_t>(70000), 0},
      {DBTYPE_FLOAT, Bytes(1.0), Bytes(1.000000000000004), 0},
      {DBTYPE_FLOAT, Bytes(-2.5), Bytes(DB_NOFLOAT), 1},
      {DBTYPE_DATE, Row{0xfb, 0xff, 12, 31}, Row{3, 0, 1, 1}, -1},  // year -5 before 3
      {DBTYPE_DATE, Row{0xe8, 0x07, 2, 29}, Row{0xe8, 0x07, 3, 1}, -1},
      {DBTYPE_DATE, Row{0xe8, 0x07, 3, 2}, Row{0xe8, 0x07, 3, 1}, 1},
      {DBTYPE_TIME, Row{23, 0, 0}, Row{22, 59, 59}, 1},
      {DBTYPE_TIME, Row{0, 200, 0}, Row{0, 10, 0}, 1},
      {DBTYPE_TIME, Row{1, 2, 3}, Row{1, 2, 3}, 0},
      {DBTYPE_TIMESTAMP, Dati(2000, 1, 1, 0, 0, 0, -1), Dati(2000, 1, 1), -1},
      {DBTYPE_TIMESTAMP, Dati(2000, 1, 1, 0, 0, 1), Dati(2000, 1, 1, 0, 0, 0, 999999), 1},
      {DBTYPE_TIMESTAMP, Dati(1999, 12, 31, 23, 59, 59), Dati(2000, 1, 1), -1},
      {DBTYPE_TIMESTAMP, Dati(2000, 5, 5, 5, 5, 5, 5, 0), Dati(2000, 5, 5, 5, 5, 5, 5, 9), 0},
      {DBTYPE_BINARY, Binary("\xff\xff"), Binary(std::string(3, '\0')), -1},  // length first
      {DBTYPE_BINARY, Binary("\x80"), Binary("\x7f"), 1},
      {DBTYPE_BINARY, Binary("ab"), Binary("ab"), 0},
      {DBTYPE_BINARY, Row{0, 0, 'x'}, Row{0, 0, 'p'}, 0},
      {DBTYPE_BINARY, Bytes<int16_t>(-3), Binary(""), -1},  // damaged length stays safe
  };
  struct Relation {
    int op;
    int holds_for[3];  // order -1, 0, 1
  };
  const Relation kRelations[] = {
      {DBTK_LT, {1, 0, 0}}, {DBTK_GT, {0, 0, 1}}, {DBTK_LE, {1, 1, 0}},
      {DBTK_GE, {0, 1, 1}}, {DBTK_EQ, {0, 1, 0}}, {DBTK_NE, {1, 0, 1}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " order " << c.order);
    EXPECT_EQ(CmpData(c.type, c.a.data(), c.b.data()), c.order);
    EXPECT_EQ(CmpData(c.type, c.b.data(), c.a.data()), -c.order);
    for (const Relation& r : kRelations) {
      EXPECT_EQ(CmpValues(r.op, c.type, c.a.data(), c.b.data()), r.holds_for[c.order + 1])
          << static_cast<char>(r.op);
      // Turned around its operands, the mirrored relation says the same.
      EXPECT_EQ(
          CmpValues(VALUE_Mirror(static_cast<unsigned char>(r.op)), c.type, c.b.data(), c.a.data()),
          r.holds_for[c.order + 1])
          << static_cast<char>(r.op);
    }
  }
}

TEST(VALUE, DoubleToleranceGrowsWithMagnitude) {
  struct Case {
    double x, y;
    int order;
  };
  const Case kCases[] = {
      {1.0, 1.000000000000004, 0},
      {1.0, 1.000000000000006, -1},
      {2e15, 2e15 + 0.25, 0},
      {2e15, 2e15 + 0.75, -1},
      {100.0, 100.0000000000001, -1},
      {100.0, 100.0 + 4e-15, 0},  // m = 100 exactly keeps 1e-14
      {2e5, 2e5 + 3e-11, 0},
      {2e5, 2e5 + 6e-11, -1},
      {0.0, -0.0, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.x << " vs " << c.y);
    EXPECT_EQ(CmpDouble(c.x, c.y), c.order);
    EXPECT_EQ(CmpDouble(c.y, c.x), -c.order);
  }
}

TEST(VALUE, LikeMatchesPercentRuns) {
  struct Case {
    const char* text;
    const char* pattern;
    int match;
  };
  const Case kCases[] = {
      {"abc", "%", 1},     {"abc", "a%", 1},   {"abc", "%c", 1},
      {"abc", "abc", 1},   {"abc ", "abc", 0}, {"abc", "ABC", 0},
      {"", "", 1},         {"", "%%", 1},      {"abc", "", 0},
      {"abbbc", "a%c", 1}, {"ab", "a%c", 0},   {"aaab", "%aab", 1},
      {"axb", "a%%b", 1},  {"abc", "a_c", 0},  {"aaab.txt", "%aab%", 1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.text) + " LIKE " + c.pattern);
    EXPECT_EQ(CmpValues(DBTK_LIKE, DBTYPE_CHARACTER, c.text, c.pattern), c.match);
  }
}

// Reference: the textbook table of which pattern prefixes match which text
// prefixes.
bool LikeByTable(const std::string& s, const std::string& p) {
  std::vector<std::vector<bool>> m(p.size() + 1, std::vector<bool>(s.size() + 1, false));
  m[0][0] = true;
  for (size_t i = 1; i <= p.size(); ++i) {
    for (size_t t = 0; t <= s.size(); ++t) {
      m[i][t] = p[i - 1] == '%' ? m[i - 1][t] || (t > 0 && m[i][t - 1])
                                : t > 0 && m[i - 1][t - 1] && p[i - 1] == s[t - 1];
    }
  }
  return m[p.size()][s.size()];
}

TEST(VALUE, LikeAgreesWithTheMatchTableOnRandomInput) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 20000; ++round) {
    // Long enough for patterns whose pieces repeat or overlap in the text.
    std::string s(rng() % 13, ' ');
    for (char& c : s) c = "ab "[rng() % 3];
    std::string p(rng() % 9, ' ');
    for (char& c : p) c = "ab %"[rng() % 4];
    ASSERT_EQ(LikeMatch(s.c_str(), p.c_str()), LikeByTable(s, p) ? 1 : 0) << s << " LIKE " << p;
  }
}

TEST(VALUE, LaysOutRowsWithAlignedNumbers) {
  struct Case {
    std::vector<std::pair<int, int>> columns;  // type, user size
    std::vector<int> offsets;
    int row_size;
  };
  const Case kCases[] = {
      {{{'0', 8}, {'0', 80}, {'0', 160}, {'2', 0}, {'0', 1}}, {0, 9, 90, 252, 256}, 258},
      {{{'0', 8}, {'0', 8}, {'1', 0}, {'1', 0}, {0xA6, 4000}, {'0', 1}},
       {0, 9, 20, 24, 26, 4028},
       4030},
      {{{'0', 0}, {'5', 0}, {'4', 0}, {'6', 0}, {'3', 0}, {'5', 0}}, {0, 4, 8, 12, 24, 32}, 35},
  };
  for (const Case& c : kCases) {
    std::vector<int> offsets;
    int running = 0;
    for (auto [type, n] : c.columns) {
      int size = 0;
      int offset = 0;
      EXPECT_EQ(VALUE_FieldSize(type, n, &size), 1);
      EXPECT_EQ(VALUE_PlaceField(type, size, &running, &offset), 1);
      offsets.push_back(offset);
    }
    EXPECT_EQ(offsets, c.offsets);
    EXPECT_EQ(running, c.row_size);  // not rounded up
  }
  int running = 5;
  int offset = -1;
  int size = 0;
  EXPECT_EQ(VALUE_FieldSize('9', 3, &size), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(VALUE_PlaceField('9', 3, &running, &offset), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "(get_offset) Unknown datatype\n");
  EXPECT_EQ(offset, 5);
}

TEST(VALUE, MissingValuesHaveTheirMarkersAndClearWholeFields) {
  struct Case {
    int type;
    Row expected;
  };
  const Case kCases[] = {
      {DBTYPE_SMALLINT, {0x00, 0x80}},
      {DBTYPE_INTEGER, {0x01, 0x00, 0x00, 0x80}},
      {DBTYPE_FLOAT, Bytes(-1e20)},
      {DBTYPE_DATE, {0x08, 0x07, 1, 1}},
      {DBTYPE_TIME, {0, 0, 0}},
      {DBTYPE_TIMESTAMP, Dati(1800, 1, 1)},
      // Whole fields, so that two rows without a value are alike byte for
      // byte for an index that compares whole fields.
      {DBTYPE_CHARACTER, Row(9, 0)},
      {DBTYPE_BINARY, Row(6, 0)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.type);
    Row field(c.expected.size() + 1, 0xEE);
    ASSERT_EQ(VALUE_WriteMissing(c.type, static_cast<int>(c.expected.size()), field.data()), 1);
    EXPECT_EQ(Row(field.begin(), field.end() - 1), c.expected);
    EXPECT_EQ(field.back(), 0xEE) << "wrote past the field";
  }
  Row untouched(4, 0xEE);
  EXPECT_EQ(VALUE_WriteMissing('x', 4, untouched.data()), 0);
  EXPECT_EQ(untouched, Row(4, 0xEE));
}

TEST(VALUEDeathTest, UnknownTypeOrOperatorEndsTheProcess) {
  struct Case {
    int op;
    int type;
    const char* message;
  };
  const Case kCases[] = {
      {-1, 'x', "^\\(CmpData\\) <datatype unknown>\n$"},
      {DBTK_EQ, 0x41, "^\\(CmpValues\\) <datatype unknown>\n$"},
      {DBTK_LIKE, DBTYPE_SMALLINT, "^\\(CmpShortValues\\) <cmp-func unknown>\n$"},
      {DBTK_LIKE, DBTYPE_INTEGER, "^\\(CmpIntValues\\) <cmp-func unknown>\n$"},
      {DBTK_IN, DBTYPE_FLOAT, "^\\(CmpDoubleValues\\) <cmp-func unknown>\n$"},
      {DBTK_AND, DBTYPE_CHARACTER, "^\\(CmpStringValues\\) <cmp-func unknown>\n$"},
      {DBTK_LIKE, DBTYPE_BINARY, "^\\(CmpBinaryValues\\) <cmp-func unknown>\n$"},
      {DBTK_LIKE, DBTYPE_DATE, "^\\(CmpDateValues\\) <cmp-func unknown>\n$"},
      {0, DBTYPE_TIME, "^\\(CmpTimeValues\\) <cmp-func unknown>\n$"},
      {DBTK_LIKE, DBTYPE_TIMESTAMP, "^\\(CmpDatiValues\\) <cmp-func unknown>\n$"},
  };
  const unsigned char zeros[16] = {};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    if (c.op < 0) {
      EXPECT_EXIT(CmpData(c.type, zeros, zeros), ::testing::ExitedWithCode(1), c.message);
    } else {
      EXPECT_EXIT(CmpValues(c.op, c.type, zeros, zeros), ::testing::ExitedWithCode(1), c.message);
    }
  }
}

}  // namespace
