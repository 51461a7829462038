// Tests of the row layout, the no-value markers and the order of each type.
#include "engine/types/values.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

template <typename T>
std::vector<unsigned char> Bytes(T value) {
  std::vector<unsigned char> bytes(sizeof value);
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::vector<unsigned char> Date(int16_t year, uint8_t month, uint8_t day) {
  std::vector<unsigned char> row = Bytes(year);
  row.push_back(month);
  row.push_back(day);
  return row;
}

std::vector<unsigned char> Dati(int16_t year, uint8_t month, uint8_t day, uint8_t hour,
                                uint8_t minute, uint8_t second, int32_t micros,
                                uint8_t pad = 0) {
  std::vector<unsigned char> row = Date(year, month, day);
  for (uint8_t b : {hour, minute, second, pad}) row.push_back(b);
  std::vector<unsigned char> us = Bytes(micros);
  row.insert(row.end(), us.begin(), us.end());
  return row;
}

std::vector<unsigned char> Binary(const std::string& content) {
  std::vector<unsigned char> row = Bytes(static_cast<int16_t>(content.size()));
  row.insert(row.end(), content.begin(), content.end());
  return row;
}

TEST(VALUE, CharacterOrderIgnoresTrailingBlanksAndSignsBytes) {
  struct Case {
    const char* a;
    const char* b;
    int order;
  };
  const Case kCases[] = {
      {"abc", "abc   ", 0}, {"abc", "abd", -1},  {"ab", "abc", -1},   {"\x80zz", "a", -1},
      {"\xff", "\x7f", -1}, {"", "   ", 0},      {"", "a", -1},       {"a b", "a", 1},
      {"abc  x", "abc", 1}, {"a", "a\xe4", -1},  {"", "", 0},         {"B", "a", -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.a) + "|" + c.b);
    EXPECT_EQ(CmpString(c.a, c.b), c.order);
    EXPECT_EQ(CmpString(c.b, c.a), -c.order);
    EXPECT_EQ(CmpData(DBTYPE_CHARACTER, c.a, c.b), c.order);
  }
}

TEST(VALUE, RelationsFollowEachTypesOrder) {
  struct Case {
    int type;
    std::vector<unsigned char> a, b;
    int order;
  };
  const Case kCases[] = {
      {DBTYPE_SMALLINT, Bytes<int16_t>(-32768), Bytes<int16_t>(-1), -1},
      {DBTYPE_SMALLINT, Bytes<int16_t>(300), Bytes<int16_t>(300), 0},
      {DBTYPE_INTEGER, Bytes<int32_t>(DB_NOINTEGER), Bytes<int32_t>(-2147483646), -1},
      {DBTYPE_INTEGER, Bytes<int32_t>(INT32_MIN), Bytes<int32_t>(DB_NOINTEGER), -1},
      {DBTYPE_INTEGER, Bytes<int32_t>(70000), Bytes<int32_t>(-70000), 1},
      {DBTYPE_FLOAT, Bytes(1.0), Bytes(1.000000000000004), 0},
      {DBTYPE_FLOAT, Bytes(-2.5), Bytes(DB_NOFLOAT), 1},
      {DBTYPE_DATE, Date(-5, 12, 31), Date(3, 1, 1), -1},
      {DBTYPE_DATE, Date(2024, 2, 29), Date(2024, 3, 1), -1},
      {DBTYPE_DATE, Date(2024, 3, 2), Date(2024, 3, 1), 1},
      {DBTYPE_DATE, Date(1800, 1, 1), Date(1800, 1, 1), 0},
      {DBTYPE_TIME, {23, 0, 0}, {22, 59, 59}, 1},
      {DBTYPE_TIME, {0, 200, 0}, {0, 10, 0}, 1},
      {DBTYPE_TIME, {1, 2, 3}, {1, 2, 4}, -1},
      {DBTYPE_TIMESTAMP, Dati(2000, 1, 1, 0, 0, 0, -1), Dati(2000, 1, 1, 0, 0, 0, 0), -1},
      {DBTYPE_TIMESTAMP, Dati(2000, 1, 1, 0, 0, 1, 0), Dati(2000, 1, 1, 0, 0, 0, 999999), 1},
      {DBTYPE_TIMESTAMP, Dati(1999, 12, 31, 23, 59, 59, 0), Dati(2000, 1, 1, 0, 0, 0, 0), -1},
      {DBTYPE_TIMESTAMP, Dati(2000, 5, 5, 5, 5, 5, 5, 0), Dati(2000, 5, 5, 5, 5, 5, 5, 9), 0},
      {DBTYPE_BINARY, Binary("\xff\xff"), Binary(std::string(3, '\0')), -1},
      {DBTYPE_BINARY, Binary("\x80"), Binary("\x7f"), 1},
      {DBTYPE_BINARY, Binary("ab"), Binary("ab"), 0},
      {DBTYPE_BINARY, Binary(""), Binary(""), 0},
      {DBTYPE_CHARACTER, {'a', 'b', ' ', 0}, {'a', 'b', 0}, 0},
  };
  struct Relation {
    int op;
    bool holds_for[3];  // order -1, 0, 1
  };
  const Relation kRelations[] = {
      {DBTK_LT, {true, false, false}}, {DBTK_GT, {false, false, true}},
      {DBTK_LE, {true, true, false}},  {DBTK_GE, {false, true, true}},
      {DBTK_EQ, {false, true, false}}, {DBTK_NE, {true, false, true}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << "type " << c.type << " order " << c.order);
    EXPECT_EQ(CmpData(c.type, c.a.data(), c.b.data()), c.order);
    EXPECT_EQ(CmpData(c.type, c.b.data(), c.a.data()), -c.order);
    for (const Relation& r : kRelations) {
      SCOPED_TRACE(static_cast<char>(r.op));
      EXPECT_EQ(CmpValues(r.op, c.type, c.a.data(), c.b.data()), r.holds_for[c.order + 1]);
    }
  }
}

TEST(VALUE, BinaryEmptyValuesAreEqualWhateverFollowsTheLength) {
  std::vector<unsigned char> a = {0, 0, 'x', 'y'};
  std::vector<unsigned char> b = {0, 0, 'p', 'q'};
  EXPECT_EQ(CmpData(DBTYPE_BINARY, a.data(), b.data()), 0);
  // A damaged negative length must not reach the byte comparison.
  std::vector<unsigned char> damaged = Bytes<int16_t>(-3);
  EXPECT_EQ(CmpData(DBTYPE_BINARY, damaged.data(), damaged.data()), 0);
  EXPECT_EQ(CmpData(DBTYPE_BINARY, damaged.data(), a.data()), -1);
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
      {2e10, 2e10 + 4e-6, 0},
      {2e10, 2e10 + 8e-6, -1},
      {2e5, 2e5 + 3e-11, 0},
      {2e5, 2e5 + 6e-11, -1},
      {-3.0, 3.0, -1},
      {0.0, -0.0, 0},
      {1e-20, -1e-20, 0},
      {DB_NOFLOAT, -1e19, -1},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message() << c.x << " vs " << c.y);
    EXPECT_EQ(CmpDouble(c.x, c.y), c.order);
    EXPECT_EQ(CmpDouble(c.y, c.x), -c.order);
  }
  std::vector<unsigned char> one = Bytes(1.0);
  std::vector<unsigned char> near_one = Bytes(1.000000000000004);
  EXPECT_EQ(CmpValues(DBTK_EQ, DBTYPE_FLOAT, one.data(), near_one.data()), 1);
  EXPECT_EQ(CmpValues(DBTK_LT, DBTYPE_FLOAT, one.data(), near_one.data()), 0);
  EXPECT_EQ(CmpValues(DBTK_NE, DBTYPE_FLOAT, one.data(), near_one.data()), 0);
}

TEST(VALUE, LikeMatchesPercentRuns) {
  struct Case {
    const char* text;
    const char* pattern;
    int match;
  };
  const Case kCases[] = {
      {"abc", "%", 1},      {"abc", "a%", 1},      {"abc", "%c", 1},    {"abc", "abc", 1},
      {"abc ", "abc", 0},   {"abc", "ABC", 0},     {"", "", 1},         {"", "%", 1},
      {"", "%%", 1},        {"abc", "", 0},        {"abc", "%b%", 1},   {"abbbc", "a%c", 1},
      {"ac", "a%c", 1},     {"ab", "a%c", 0},      {"aaab", "%aab", 1}, {"axb", "a%%b", 1},
      {"abab", "%ab", 1},   {"abc", "abcd", 0},    {"abc", "ab", 0},    {"a_c", "a_c", 1},
      {"abc", "a_c", 0},    {"x%y", "x%", 1},      {"aaab.txt", "%aab%", 1},
      {"mississippi", "%iss%ipp%", 1},             {"mississippi", "%iss%ipx%", 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.text) + " LIKE " + c.pattern);
    EXPECT_EQ(LikeMatch(c.text, c.pattern), c.match);
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
      if (p[i - 1] == '%') {
        m[i][t] = m[i - 1][t] || (t > 0 && m[i][t - 1]);
      } else {
        m[i][t] = t > 0 && m[i - 1][t - 1] && p[i - 1] == s[t - 1];
      }
    }
  }
  return m[p.size()][s.size()];
}

TEST(VALUE, LikeAgreesWithTheMatchTableOnRandomInput) {
  std::mt19937 rng(12345);
  const char kText[] = "ab ";
  const char kPattern[] = "ab %";
  for (int round = 0; round < 20000; ++round) {
    std::string s(rng() % 9, ' ');
    for (char& c : s) c = kText[rng() % 3];
    std::string p(rng() % 7, ' ');
    for (char& c : p) c = kPattern[rng() % 4];
    ASSERT_EQ(LikeMatch(s.c_str(), p.c_str()), LikeByTable(s, p) ? 1 : 0) << s << " LIKE " << p;
  }
}

struct Column {
  int type;
  int n;
};

// Lays out the columns as CREATE TABLE does; returns offsets and row size.
std::vector<int> Layout(const std::vector<Column>& columns, int* row_size) {
  std::vector<int> offsets;
  int running = 0;
  for (const Column& c : columns) {
    int size = 0;
    int offset = 0;
    EXPECT_EQ(VALUE_FieldSize(c.type, c.n, &size), 1);
    EXPECT_EQ(VALUE_PlaceField(c.type, size, &running, &offset), 1);
    offsets.push_back(offset);
  }
  *row_size = running;
  return offsets;
}

TEST(VALUE, LaysOutRowsWithAlignedNumbers) {
  int row_size = 0;
  std::vector<int> kaspo = Layout({{DBTYPE_CHARACTER, 8}, {DBTYPE_CHARACTER, 80},
                                   {DBTYPE_CHARACTER, 160}, {DBTYPE_INTEGER, 0},
                                   {DBTYPE_CHARACTER, 1}}, &row_size);
  EXPECT_EQ(kaspo, (std::vector<int>{0, 9, 90, 252, 256}));
  EXPECT_EQ(row_size, 258);

  std::vector<int> blobj = Layout({{DBTYPE_CHARACTER, 8}, {DBTYPE_CHARACTER, 8},
                                   {DBTYPE_SMALLINT, 0}, {DBTYPE_SMALLINT, 0},
                                   {DBTYPE_BINARY, 4000}, {DBTYPE_CHARACTER, 1}}, &row_size);
  EXPECT_EQ(blobj, (std::vector<int>{0, 9, 20, 24, 26, 4028}));
  EXPECT_EQ(row_size, 4030);

  // The row size is not rounded up after a 3-byte TIME.
  std::vector<int> mixed = Layout({{DBTYPE_CHARACTER, 0}, {DBTYPE_TIME, 0}, {DBTYPE_DATE, 0},
                                   {DBTYPE_TIMESTAMP, 0}, {DBTYPE_FLOAT, 0}, {DBTYPE_TIME, 0}},
                                  &row_size);
  EXPECT_EQ(mixed, (std::vector<int>{0, 4, 8, 12, 24, 32}));
  EXPECT_EQ(row_size, 35);
}

TEST(VALUE, UnknownTypeLeavesTheOffsetUnaligned) {
  int running = 5;
  int offset = -1;
  int size = 0;
  int align = 0;
  EXPECT_EQ(VALUE_FieldSize('9', 3, &size), 0);
  EXPECT_EQ(VALUE_Alignment('9', &align), 0);
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(VALUE_PlaceField('9', 3, &running, &offset), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "(get_offset) Unknown datatype\n");
  EXPECT_EQ(offset, 5);
  EXPECT_EQ(running, 8);
}

TEST(VALUE, MissingValuesHaveTheirMarkers) {
  struct Case {
    int type;
    int field_size;
    std::vector<unsigned char> expected;
  };
  const Case kCases[] = {
      {DBTYPE_SMALLINT, 2, {0x00, 0x80}},
      {DBTYPE_INTEGER, 4, {0x01, 0x00, 0x00, 0x80}},
      {DBTYPE_FLOAT, 8, Bytes(-1e20)},
      {DBTYPE_DATE, 4, Date(1800, 1, 1)},
      {DBTYPE_TIME, 3, {0, 0, 0}},
      {DBTYPE_TIMESTAMP, 12, Dati(1800, 1, 1, 0, 0, 0, 0)},
      {DBTYPE_CHARACTER, 9, std::vector<unsigned char>(9, 0)},
      {DBTYPE_BINARY, 6, std::vector<unsigned char>(6, 0)},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.type);
    std::vector<unsigned char> field(c.field_size + 1, 0xEE);
    ASSERT_EQ(VALUE_WriteMissing(c.type, c.field_size, field.data()), 1);
    EXPECT_EQ(std::vector<unsigned char>(field.begin(), field.end() - 1), c.expected);
    EXPECT_EQ(field.back(), 0xEE) << "wrote past the field";
  }
  std::vector<unsigned char> untouched(4, 0xEE);
  EXPECT_EQ(VALUE_WriteMissing('x', 4, untouched.data()), 0);
  EXPECT_EQ(untouched, std::vector<unsigned char>(4, 0xEE));
}

// Two rows without a CHARACTER value must be alike byte for byte, or a
// unique index that compares whole fields would tell them apart.
TEST(VALUE, MissingCharacterFieldsAreByteIdentical) {
  std::vector<char> a = {'o', 'l', 'd', ' ', ' ', 0};
  std::vector<char> b = {'x', 'y', 'z', 'w', 'v', 0};
  ASSERT_EQ(VALUE_WriteMissing(DBTYPE_CHARACTER, 6, a.data()), 1);
  ASSERT_EQ(VALUE_WriteMissing(DBTYPE_CHARACTER, 6, b.data()), 1);
  EXPECT_EQ(a, b);
  EXPECT_EQ(CmpData(DBTYPE_CHARACTER, a.data(), "     "), 0);
}

TEST(VALUEDeathTest, UnknownTypeOrOperatorEndsTheProcess) {
  const int value = 1;
  EXPECT_EXIT(CmpData('x', &value, &value), ::testing::ExitedWithCode(1),
              "^\\(CmpData\\) <datatype unknown>\n$");
  EXPECT_EXIT(CmpValues(DBTK_EQ, 0x41, &value, &value), ::testing::ExitedWithCode(1),
              "^\\(CmpValues\\) <datatype unknown>\n$");
  struct Case {
    int type;
    int op;
    const char* message;
  };
  const Case kCases[] = {
      {DBTYPE_SMALLINT, DBTK_LIKE, "^\\(CmpShortValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_INTEGER, DBTK_LIKE, "^\\(CmpIntValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_FLOAT, DBTK_IN, "^\\(CmpDoubleValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_CHARACTER, DBTK_AND, "^\\(CmpStringValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_BINARY, DBTK_LIKE, "^\\(CmpBinaryValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_DATE, DBTK_LIKE, "^\\(CmpDateValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_TIME, 0, "^\\(CmpTimeValues\\) <cmp-func unknown>\n$"},
      {DBTYPE_TIMESTAMP, DBTK_LIKE, "^\\(CmpDatiValues\\) <cmp-func unknown>\n$"},
  };
  const unsigned char zeros[16] = {};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    EXPECT_EXIT(CmpValues(c.op, c.type, zeros, zeros), ::testing::ExitedWithCode(1), c.message);
  }
}

}  // namespace
