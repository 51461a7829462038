// Tests of the hash index: the key hash per type, buckets, the unique check
// on blank-padded and binary keys, and the resize rule of a growing table.
#include "engine/storage/idxhash.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "engine/types/values.h"

namespace {

// Rows of one size in one buffer, all visible.
struct FakeTable {
  int row_size = 0;
  std::vector<unsigned char> bytes;
  int Add(const void* row) {
    bytes.insert(bytes.end(), static_cast<const unsigned char*>(row),
                 static_cast<const unsigned char*>(row) + row_size);
    return int(bytes.size()) / row_size - 1;
  }
};

const unsigned char* RowData(void* ctx, int row) {
  auto* table = static_cast<FakeTable*>(ctx);
  return table->bytes.data() + size_t(row) * table->row_size;
}
int FirstRow(void*) { return 0; }
int NextRow(void* ctx, int, int* cursor) {
  auto* table = static_cast<FakeTable*>(ctx);
  return *cursor < int(table->bytes.size()) / table->row_size ? (*cursor)++ : -1;
}
IDXROWS RowsOf(FakeTable* table) { return IDXROWS{table, RowData, FirstRow, NextRow}; }

uint32_t Hash1(int type, const void* field, int size) {
  return IDXHASH_FieldHash(0, type, size, static_cast<const unsigned char*>(field));
}

TEST(IDXHASH, NewRaisesTooSmallSizesWithAWarning) {
  IDXHASH index;
  testing::internal::CaptureStderr();
  IDXHASH_New(&index, 11);
  IDXHASH_New(&index, 10);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(IDXHASH_New) Warning: HashSize 10 is too small (11 used)\n");
  EXPECT_EQ(index.hash_size, 11);
}

TEST(IDXHASH, FieldHashIgnoresTrailingBlanksAndWhatFollowsTheText) {
  struct Case {
    std::vector<unsigned char> a, b;  // CHARACTER(8) fields
  };
  auto field = [](const char* text, char filler) {
    std::vector<unsigned char> f(9, static_cast<unsigned char>(filler));
    std::memcpy(f.data(), text, std::strlen(text) + 1);
    return f;
  };
  std::vector<unsigned char> full(9, 'x');  // no NUL: the text ends with the field
  std::vector<unsigned char> full_nul = full;
  full_nul[8] = 0;
  const Case kCases[] = {
      {field("ab", 0), field("ab      ", 0)},
      {field("ab", 0), field("ab", 'j')},
      {field("", 0), field("   ", 'q')},
      {full, full_nul},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(Hash1(DBTYPE_CHARACTER, c.a.data(), 8), Hash1(DBTYPE_CHARACTER, c.b.data(), 8));
  }
  // A constant is hashed with the field's size but holds only its text.
  EXPECT_EQ(Hash1(DBTYPE_CHARACTER, "ab", 80), Hash1(DBTYPE_CHARACTER, field("ab  ", 0).data(), 9));
}

// Keys made of the same letters, or counting up, must not share buckets:
// a unique check walks the whole bucket of its key.
TEST(IDXHASH, SimilarKeysSpreadOverTheBuckets) {
  constexpr int kBuckets = 30011;
  constexpr int kKeys = 20000;
  std::vector<int> per_bucket(kBuckets, 0);
  std::vector<int> per_bucket_int(kBuckets, 0);
  char text[9] = "AAAAAAAA";
  for (int k = 0; k < kKeys; ++k) {
    int rest = k;
    for (int pos = 7; pos >= 0; --pos, rest /= 4) text[pos] = char('A' + rest % 4);  // 4 letters
    ++per_bucket[Hash1(DBTYPE_CHARACTER, text, 9) % kBuckets];
    const int32_t n = k * 1000;
    ++per_bucket_int[Hash1(DBTYPE_INTEGER, &n, 4) % kBuckets];
  }
  for (const std::vector<int>* buckets : {&per_bucket, &per_bucket_int}) {
    int used = 0;
    int longest = 0;
    for (int count : *buckets) {
      used += count > 0;
      longest = std::max(longest, count);
    }
    EXPECT_GT(used, kKeys / 2);  // a random spread fills about 49% of 30011 with 20000 keys
    EXPECT_LE(longest, 12);
  }
}

TEST(IDXHASH, UniqueCheckOnCharacterAndBinaryKeys) {
  auto text = [](const char* t, char after_nul) {  // CHARACTER(8)
    std::vector<unsigned char> f(9, static_cast<unsigned char>(after_nul));
    std::memcpy(f.data(), t, std::strlen(t) + 1);
    f[8] = 0;
    return f;
  };
  auto binary = [](int16_t length, const char* content, unsigned char rest) {  // BINARY(7)
    std::vector<unsigned char> f(9, rest);
    std::memcpy(f.data(), &length, 2);
    std::memcpy(f.data() + 2, content, size_t(length));
    return f;
  };
  struct Case {
    unsigned char type;
    std::vector<unsigned char> first, second;
    bool clash;
  };
  const Case kCases[] = {
      {DBTYPE_CHARACTER, text("ab      ", 0), text("ab", 'q'), true},  // trailing blanks only
      {DBTYPE_CHARACTER, text("", 0), text("        ", 0), true},
      {DBTYPE_CHARACTER, text("ab", 0), text("abc", 0), false},
      {DBTYPE_CHARACTER, text("a b", 0), text("a", 0), false},
      {DBTYPE_BINARY, binary(2, "xy", 0), binary(2, "xy", 0xEE), true},  // junk past the length
      {DBTYPE_BINARY, binary(2, "xy", 0), binary(3, "xy", 0), false},
      {DBTYPE_BINARY, binary(2, "xy", 0), binary(2, "xz", 0), false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << c.first.data() << "|" << c.second.data());
    FakeTable table{9, {}};
    IDXUNIQUE index{{{{0, 9, c.type}}}, {}};
    IDXHASH_New(&index.hash, 1003);
    IDXUNIQUE* all[] = {&index};
    const int a = table.Add(c.first.data());
    IDXHASH_AddRow(all, RowsOf(&table), a, 1);
    EXPECT_TRUE(IDXHASH_UniqueOk(all, RowsOf(&table), a));  // a row never clashes with itself
    const int b = table.Add(c.second.data());
    EXPECT_EQ(IDXHASH_UniqueOk(all, RowsOf(&table), b), c.clash ? 0 : 1);
    if (c.clash) {
      EXPECT_EQ(IDXHASH_KeyHash(index.key, RowData(&table, a)),
                IDXHASH_KeyHash(index.key, RowData(&table, b)));
    }
  }
}

TEST(IDXHASH, BucketGrowsDeletesByMovingTheLastRowAndClears) {
  IDXHASH index;
  IDXHASH_New(&index, 11);
  for (int row = 0; row < 99; ++row) IDXHASH_Insert(&index, 5, row);
  EXPECT_EQ(index.buckets[5][0], 128);  // 4 words, doubled while rows come
  IDXHASH_Insert(&index, 5 + 11, 99);   // same bucket by the modulo
  ASSERT_TRUE(IDXHASH_Delete(&index, 5, 10));
  const int32_t* rows = nullptr;
  int count = 0;
  IDXHASH_Lookup(index, 5, &rows, &count);
  EXPECT_EQ(count, 99);
  EXPECT_EQ(rows[10], 99);
  EXPECT_FALSE(IDXHASH_Delete(&index, 5, 10));
  EXPECT_FALSE(IDXHASH_Delete(&index, 6, 11));  // empty bucket
  IDXHASH_Clear(&index);
  IDXHASH_Lookup(index, 5, &rows, &count);
  EXPECT_EQ(count + index.entries, 0);
  IDXHASH_Free(&index);
  EXPECT_EQ(index.hash_size, -1);
  IDXHASH_Insert(&index, 7, 1);  // a freed index starts over rather than dividing by -1
  IDXHASH_Lookup(index, 7, &rows, &count);
  EXPECT_EQ(count, 1);
}

TEST(IDXHASH, GrowingTableResizesAtTheTwelfthAndThe30012thRowOnly) {
  FakeTable table{4, {}};
  IDXUNIQUE small{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  IDXUNIQUE other{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  IDXHASH_New(&small.hash, 11);
  IDXHASH_New(&other.hash, 1003);
  IDXUNIQUE* all[] = {&small, &other};
  std::vector<int> resized_at;
  std::vector<int> sizes;
  for (int32_t n = 1; n <= 300100; ++n) {
    if (IDXHASH_AddRow(all, RowsOf(&table), table.Add(&n), 1)) {
      resized_at.push_back(n);
      sizes.push_back(small.hash.hash_size);
      EXPECT_EQ(other.hash.hash_size, small.hash.hash_size);  // every index of the table
      EXPECT_EQ(small.hash.entries, n);
    }
  }
  EXPECT_EQ(resized_at, (std::vector<int>{12, 30012}));
  EXPECT_EQ(sizes, (std::vector<int>{30011, 300017}));
  const int32_t probe = 123456;
  EXPECT_FALSE(IDXHASH_UniqueOk(all, RowsOf(&table), table.Add(&probe)));
}

TEST(IDXHASHDeathTest, RemovingARowTheIndexLacksIsFatal) {
  FakeTable table{4, {}};
  IDXUNIQUE index{{{{0, 4, DBTYPE_INTEGER}}}, {}};
  IDXHASH_New(&index.hash, 11);
  IDXUNIQUE* all[] = {&index};
  const int32_t value = 42;
  const int row = table.Add(&value);
  IDXHASH_AddRow(all, RowsOf(&table), row, 1);
  IDXHASH_RemoveRow(all, RowsOf(&table), row);
  EXPECT_EQ(index.hash.entries, 0);
  EXPECT_EXIT(IDXHASH_RemoveRow(all, RowsOf(&table), row), testing::ExitedWithCode(1), "");
}

}  // namespace
