// Tests of the hash index: the key hash per type, buckets, the unique check
// with blank-padded and binary keys, and the resize rule of a growing table.
#include "engine/storage/idxhash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/types/values.h"

namespace {

// Rows of one size in one buffer; a row inserted at timestamp t is visible
// to readers at t and later.
struct FakeTable {
  int row_size = 0;
  std::vector<unsigned char> bytes;
  std::vector<int> inserted;

  int Add(const void* row, int timestamp) {
    const auto* p = static_cast<const unsigned char*>(row);
    bytes.insert(bytes.end(), p, p + row_size);
    inserted.push_back(timestamp);
    return int(inserted.size()) - 1;
  }
};

const unsigned char* RowData(void* ctx, int row) {
  auto* table = static_cast<FakeTable*>(ctx);
  return table->bytes.data() + size_t(row) * table->row_size;
}
int FirstRow(void*) { return 0; }
int NextRow(void* ctx, int timestamp, int* cursor) {
  auto* table = static_cast<FakeTable*>(ctx);
  while (*cursor < int(table->inserted.size())) {
    const int row = (*cursor)++;
    if (timestamp < 0 || table->inserted[row] <= timestamp) return row;
  }
  return -1;
}
IDXROWS RowsOf(FakeTable* table) { return IDXROWS{table, RowData, FirstRow, NextRow}; }

uint32_t Hash1(int type, const void* field, int size) {
  return IDXHASH_FieldHash(0, type, size, static_cast<const unsigned char*>(field));
}

TEST(IDXHASH, NewRaisesTooSmallSizesWithAWarning) {
  struct Case {
    int asked;
    int used;
    const char* message;
  };
  const Case kCases[] = {
      {10, 11, "(IDXHASH_New) Warning: HashSize 10 is too small (11 used)\n"},
      {-5, 11, "(IDXHASH_New) Warning: HashSize -5 is too small (11 used)\n"},
      {11, 11, ""},
      {1003, 1003, ""},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.asked);
    IDXHASH index;
    testing::internal::CaptureStderr();
    IDXHASH_New(&index, c.asked);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(index.hash_size, c.used);
    EXPECT_EQ(int(index.buckets.size()), c.used);
    EXPECT_EQ(index.entries, 0);
  }
}

TEST(IDXHASH, FieldHashFollowsWordsThenBytes) {
  const unsigned char smallint[2] = {0x02, 0x01};
  const unsigned char integer[4] = {0x04, 0x03, 0x02, 0x01};
  const unsigned char time[3] = {23, 59, 58};
  unsigned char flt[8];
  unsigned char stamp[12];
  for (int i = 0; i < 8; ++i) flt[i] = static_cast<unsigned char>(0x10 + i);
  for (int i = 0; i < 12; ++i) stamp[i] = static_cast<unsigned char>(0x30 + 7 * i);
  auto word = [](const unsigned char* p) {
    uint32_t w;
    std::memcpy(&w, p, 4);
    return w;
  };
  auto bytes = [](const unsigned char* p, int from, int to) {
    uint32_t s = 0;
    for (int i = from; i < to; ++i) s += p[i];
    return s;
  };
  EXPECT_EQ(Hash1(DBTYPE_SMALLINT, smallint, 2), 3u);
  EXPECT_EQ(Hash1(DBTYPE_TIME, time, 3), 23u + 59u + 58u);
  EXPECT_EQ(Hash1(DBTYPE_INTEGER, integer, 4), 0x01020304u + 10u);
  EXPECT_EQ(Hash1(DBTYPE_DATE, integer, 4), 0x01020304u + 10u);
  EXPECT_EQ(Hash1(DBTYPE_FLOAT, flt, 8), (word(flt) ^ word(flt + 4)) + bytes(flt, 4, 8));
  EXPECT_EQ(Hash1(DBTYPE_TIMESTAMP, stamp, 12),
            (word(stamp) ^ word(stamp + 4) ^ word(stamp + 8)) + bytes(stamp, 8, 12));
}

TEST(IDXHASH, CharacterHashCountsFifteenPositionsAndBlanksAsEnd) {
  char padded[9] = "ab      ";
  char bare[9] = {'a', 'b', 0, 'x', 'y', 'z', 0, 0, 0};  // junk after the NUL
  const uint32_t expect = 'a' * 300017u + 'b' * 300017u + 7 * 9600544u;
  EXPECT_EQ(Hash1(DBTYPE_CHARACTER, padded, 9), expect);
  EXPECT_EQ(Hash1(DBTYPE_CHARACTER, bare, 9), expect);
  const std::string long1 = std::string(15, 'k') + "A";
  const std::string long2 = std::string(15, 'k') + "B";
  EXPECT_EQ(Hash1(DBTYPE_CHARACTER, long1.c_str(), 20), Hash1(DBTYPE_CHARACTER, long2.c_str(), 20));
}

// Two CHARACTER(8) keys and what the unique check makes of them.
TEST(IDXHASH, UniqueCheckOnCharacterKeys) {
  struct Case {
    std::vector<unsigned char> first;
    std::vector<unsigned char> second;
    bool clash;
  };
  auto field = [](const char* text, char filler) {
    std::vector<unsigned char> f(9, static_cast<unsigned char>(filler));
    const size_t n = std::strlen(text);
    std::memcpy(f.data(), text, n);
    if (n < 9) f[n] = 0;
    f[8] = 0;
    return f;
  };
  const Case kCases[] = {
      {field("ab      ", 0), field("ab", 'q'), true},   // trailing blanks only
      {field("ab", 0), field("ab", 0), true},
      {field("", 0), field("        ", 0), true},
      {field("ab", 0), field("abc", 0), false},
      {field("a b", 0), field("a", 0), false},
      {field("ab", 0), field("AB", 0), false},
  };
  for (const Case& c : kCases) {
    FakeTable table{9, {}, {}};
    IDXUNIQUE index{{{{0, 9, DBTYPE_CHARACTER}}}, {}};
    IDXHASH_New(&index.hash, 1003);
    IDXUNIQUE* all[] = {&index};
    const IDXROWS rows = RowsOf(&table);
    const int a = table.Add(c.first.data(), 1);
    ASSERT_TRUE(IDXHASH_UniqueOk(all, rows, a));
    IDXHASH_AddRow(all, rows, a, 1);
    const int b = table.Add(c.second.data(), 1);
    EXPECT_EQ(IDXHASH_UniqueOk(all, rows, b), c.clash ? 0 : 1) << c.first.data() << "|" << c.second.data();
    if (c.clash) {
      EXPECT_EQ(IDXHASH_KeyHash(index.key, RowData(&table, a)), IDXHASH_KeyHash(index.key, RowData(&table, b)));
    }
  }
}

TEST(IDXHASH, BinaryKeysCompareByLengthAndContentOnly) {
  // BINARY(6): 16-bit length, then up to six bytes; the rest is left over.
  auto field = [](int16_t length, const char* content, unsigned char rest) {
    std::vector<unsigned char> f(8, rest);
    std::memcpy(f.data(), &length, 2);
    std::memcpy(f.data() + 2, content, length);
    return f;
  };
  struct Case {
    std::vector<unsigned char> a, b;
    int equal;
  };
  const Case kCases[] = {
      {field(2, "xy", 0), field(2, "xy", 0xEE), 1},
      {field(0, "", 1), field(0, "", 2), 1},
      {field(2, "xy", 0), field(3, "xy\0", 0), 0},
      {field(2, "xy", 0), field(2, "xz", 0), 0},
  };
  const IDXKEY key{{{0, 8, DBTYPE_BINARY}}};
  for (const Case& c : kCases) {
    EXPECT_EQ(IDXHASH_KeyEqual(key, c.a.data(), c.b.data()), c.equal);
    if (c.equal) {
      EXPECT_EQ(IDXHASH_KeyHash(key, c.a.data()), IDXHASH_KeyHash(key, c.b.data()));
    }
  }
}

TEST(IDXHASH, KeyOfSeveralAttributesClashesOnlyWhenAllAreEqual) {
  struct Row {
    int32_t id;
    char code[4];
  };
  FakeTable table{int(sizeof(Row)), {}, {}};
  IDXUNIQUE index{{{{0, 4, DBTYPE_INTEGER}, {4, 4, DBTYPE_CHARACTER}}}, {}};
  IDXHASH_New(&index.hash, 11);
  IDXUNIQUE* all[] = {&index};
  const IDXROWS rows = RowsOf(&table);
  const Row first{7, "abc"};
  IDXHASH_AddRow(all, rows, table.Add(&first, 1), 1);
  const Row other_code{7, "abd"};
  const Row other_id{8, "abc"};
  const Row same{7, "abc"};
  EXPECT_TRUE(IDXHASH_UniqueOk(all, rows, table.Add(&other_code, 1)));
  EXPECT_TRUE(IDXHASH_UniqueOk(all, rows, table.Add(&other_id, 1)));
  EXPECT_FALSE(IDXHASH_UniqueOk(all, rows, table.Add(&same, 1)));
  EXPECT_TRUE(IDXHASH_UniqueOk(all, rows, 0));  // a row never clashes with itself
}

TEST(IDXHASH, BucketGrowsDeletesByMovingTheLastRowAndClears) {
  IDXHASH index;
  IDXHASH_New(&index, 11);
  for (int row = 0; row < 99; ++row) IDXHASH_Insert(&index, 5, row);
  EXPECT_EQ(index.buckets[5][0], 1100);  // 100 words, then 1000 more
  EXPECT_EQ(index.entries, 99);
  IDXHASH_Insert(&index, 5 + 11, 99);  // same bucket by the modulo
  const int32_t* rows = nullptr;
  int count = 0;
  IDXHASH_Lookup(index, 5, &rows, &count);
  ASSERT_EQ(count, 100);
  EXPECT_EQ(rows[99], 99);

  ASSERT_TRUE(IDXHASH_Delete(&index, 5, 10));
  IDXHASH_Lookup(index, 5, &rows, &count);
  EXPECT_EQ(count, 99);
  EXPECT_EQ(rows[10], 99);
  EXPECT_FALSE(IDXHASH_Delete(&index, 5, 10));
  EXPECT_FALSE(IDXHASH_Delete(&index, 6, 11));  // empty bucket
  IDXHASH_Lookup(index, 0xFFFFFFFFu, &rows, &count);  // modulo of an unsigned hash
  EXPECT_EQ(count, 0);

  IDXHASH_Clear(&index);
  IDXHASH_Lookup(index, 5, &rows, &count);
  EXPECT_EQ(count, 0);
  EXPECT_EQ(index.entries, 0);
  EXPECT_EQ(index.buckets[5][0], 1100);  // storage kept
  IDXHASH_Free(&index);
  EXPECT_EQ(index.hash_size, -1);
  IDXHASH_Lookup(index, 5, &rows, &count);
  EXPECT_EQ(count, 0);
}

TEST(IDXHASH, GrowingTableResizesAtTheTwelfthAndThe30012thRowOnly) {
  FakeTable table{4, {}, {}};
  IDXUNIQUE small{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  IDXUNIQUE other{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  IDXHASH_New(&small.hash, 11);
  IDXHASH_New(&other.hash, 1003);
  IDXUNIQUE* all[] = {&small, &other};
  const IDXROWS rows = RowsOf(&table);
  std::vector<int> resized_at;
  std::vector<int> sizes;
  for (int32_t n = 1; n <= 300100; ++n) {
    const int row = table.Add(&n, 1);
    if (IDXHASH_AddRow(all, rows, row, 1)) {
      resized_at.push_back(n);
      sizes.push_back(small.hash.hash_size);
      EXPECT_EQ(other.hash.hash_size, small.hash.hash_size);
      EXPECT_EQ(small.hash.entries, n);
    }
  }
  EXPECT_EQ(resized_at, (std::vector<int>{12, 30012}));
  EXPECT_EQ(sizes, (std::vector<int>{30011, 300017}));
  EXPECT_EQ(small.hash.entries, 300100);
  const int32_t probe = 123456;
  const int32_t* found = nullptr;
  int count = 0;
  IDXHASH_Lookup(small.hash, IDXHASH_KeyHash(small.key, reinterpret_cast<const unsigned char*>(&probe)),
                 &found, &count);
  bool present = false;
  for (int i = 0; i < count; ++i) present |= found[i] == probe - 1;
  EXPECT_TRUE(present);
}

TEST(IDXHASH, RebuildTakesOnlyRowsVisibleAtTheTimestamp) {
  FakeTable table{4, {}, {}};
  IDXUNIQUE index{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  for (int32_t n = 0; n < 10; ++n) table.Add(&n, n < 6 ? 3 : 9);
  IDXHASH_Rebuild(&index, RowsOf(&table), 30011, 5);
  EXPECT_EQ(index.hash.hash_size, 30011);
  EXPECT_EQ(index.hash.entries, 6);
}

TEST(IDXHASHDeathTest, RemovingARowTheIndexLacksIsFatal) {
  FakeTable table{4, {}, {}};
  IDXUNIQUE index{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  IDXHASH_New(&index.hash, 11);
  IDXUNIQUE* all[] = {&index};
  const int32_t value = 42;
  const int row = table.Add(&value, 1);
  IDXHASH_AddRow(all, RowsOf(&table), row, 1);
  IDXHASH_RemoveRow(all, RowsOf(&table), row);
  EXPECT_EQ(index.hash.entries, 0);
  EXPECT_EXIT(IDXHASH_RemoveRow(all, RowsOf(&table), row), testing::ExitedWithCode(1), "");
}

}  // namespace
