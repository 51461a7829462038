// Tests of result data sets: arena block boundaries and sizes, the memory
// estimate, header and binary-mode warnings, typed fills, row deletion and
// the text overlay.
#include "engine/types/resdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "engine/types/values.h"

namespace {

const char* Text(const RESDATA& set, int row, int column) {
  return reinterpret_cast<const char*>(RESDATA_Cell(set, row, column));
}

// A set with one CHARACTER column "C" (its name takes 2 arena bytes)
// holding one text of `bytes` bytes with its NUL.
void FillOne(RESDATA* set, int32_t bytes, char letter) {
  RESDATA_Header_Data(set, "C", DBTYPE_CHARACTER, bytes);
  RESDATA_Fill(set, std::string(size_t(bytes - 1), letter).c_str());
}

TEST(RESDATA, ArenaBlockBoundariesAndSizes) {
  struct Case {
    int32_t bytes;
    int block;           // block that receives the value
    int32_t block_size;  // size of that block
  };
  const Case kCases[] = {
      {49997, 0, 50000},   // ends one byte before the end of the first block
      {49998, 1, 200000},  // would fill it exactly: the test is "at least"
      {200000, 1, 200000},
      {200001, 1, 200001},  // a larger value gets a block of exactly its size
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bytes);
    RESDATA set;
    RESDATA_Init(&set);
    FillOne(&set, c.bytes, 'x');
    EXPECT_EQ(set.current_block, c.block);
    EXPECT_EQ(set.block_sizes[c.block], c.block_size);
    EXPECT_EQ(RESDATA_Cell(set, 0, 0), set.blocks[c.block].get() + (c.block == 0 ? 2 : 0));
    EXPECT_EQ(set.estimate, RESDATA_INITESTIMATE + 4 + (c.block == 0 ? 0 : c.block_size));
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, EstimateFollowsInitResetAndGrowth) {
  RESDATA set;
  RESDATA_Init(&set);
  EXPECT_EQ(set.estimate, 200500);
  RESDATA_Reset(&set);
  EXPECT_EQ(set.estimate, 5 * 20 + 8 * 50 + 50000);
  for (int c = 0; c < 21; ++c)
    RESDATA_Header_Data(&set, ("C" + std::to_string(c)).c_str(), DBTYPE_INTEGER, 4);
  int64_t expect = 5 * 20 + 8 * 50 + 50000 + 1800;  // header room 20 -> 220
  EXPECT_EQ(set.estimate, expect);
  const int32_t value = 7;
  for (int cell = 0; cell < 51 * 21; ++cell) RESDATA_Fill_Binary(&set, &value, 4);
  expect += 51 * 4 * 21 + 1250;  // row arrays, row room 50 -> 5050
  EXPECT_EQ(set.estimate, expect);
  ASSERT_TRUE(RESDATA_DelRow(&set, 3));
  EXPECT_EQ(set.estimate, expect - 4 * 21);
  RESDATA_Reset(&set);
  EXPECT_EQ(set.estimate, 5 * 220 + 8 * 5050 + 50000);
  RESDATA_Free(&set);
}

TEST(RESDATA, ResetReusesBlocksAndReplacesOnesTooSmall) {
  RESDATA set;
  RESDATA_Init(&set);
  FillOne(&set, 60000, 'a');  // block 1: 200000 bytes
  const unsigned char* second = set.blocks[1].get();
  RESDATA_Reset(&set);
  FillOne(&set, 60000, 'b');
  EXPECT_EQ(RESDATA_Cell(set, 0, 0), second);
  RESDATA_Reset(&set);
  const int64_t before = set.estimate;
  FillOne(&set, 210000, 'c');  // block 1 is too small for it
  EXPECT_EQ(set.block_count, 2);
  EXPECT_EQ(set.block_sizes[1], 210000);
  EXPECT_EQ(set.estimate, before + 4 + 10000);
  EXPECT_EQ(std::string(Text(set, 0, 0)), std::string(209999, 'c'));
  RESDATA_Free(&set);
}

TEST(RESDATA, HeaderWarnsAboutNamelessOrMixedColumns) {
  struct Case {
    std::vector<const char*> names;
    int warnings;
  };
  const Case kCases[] = {
      {{"A", nullptr}, 0}, {{nullptr, nullptr, nullptr}, 3}, {{nullptr, "A", nullptr}, 2}};
  for (const Case& c : kCases) {
    RESDATA set;
    RESDATA_Init(&set);
    testing::internal::CaptureStderr();
    for (const char* name : c.names) RESDATA_Header_Data(&set, name, DBTYPE_INTEGER, 4);
    std::string expect;
    for (int i = 0; i < c.warnings; ++i)
      expect += "(RESDATA_Header_Data) Inkonsistent header definition\n";
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expect);
    EXPECT_EQ(set.columns, int(c.names.size()));
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, TypedFillsCopyByColumnTypeAndCompleteRows) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "T", DBTYPE_CHARACTER, 9);
  RESDATA_Header_Data(&set, "B", DBTYPE_BINARY, 8);
  RESDATA_Header_Data(&set, "I", DBTYPE_INTEGER, 4);
  const char text[9] = {'a', 'b', 0, 'j', 'u', 'n', 'k', 0, 0};
  const unsigned char binary[8] = {3, 0, 'x', 'y', 'z', 0xEE, 0xEE, 0xEE};
  const unsigned char damaged[4] = {0x7F, 0x7F, 'p', 'q'};  // claims 32639 bytes
  const int32_t number = -2147483647;
  RESDATA_Fill_Binary(&set, text, 9);
  RESDATA_Fill_Binary(&set, binary, 8);
  RESDATA_Fill_Binary(&set, &number, 4);
  RESDATA_Fill_Null(&set);
  RESDATA_Fill_Binary(&set, damaged, 4);
  EXPECT_EQ(set.rows, 1);
  EXPECT_EQ(set.fill_position, 2);
  EXPECT_STREQ(Text(set, 0, 0), "ab");
  EXPECT_EQ(std::memcmp(RESDATA_Cell(set, 0, 1), binary, 5), 0);
  EXPECT_EQ(set.used, 6 + 3 + 5 + 4 + 4);          // names, then each cell's own bytes
  const unsigned char kept[4] = {2, 0, 'p', 'q'};  // cut to the bytes given
  EXPECT_EQ(std::memcmp(set.cell_pool[size_t(set.row_table[1].first + 1)], kept, 4), 0);
  RESDATA_Free(&set);
}

TEST(RESDATA, MixingTextAndBinaryFillsWarns) {
  static const int32_t kValue = 1;
  struct Case {
    void (*work)(RESDATA*);
    const char* message;
  };
  const Case kCases[] = {
      {[](RESDATA* s) {
         RESDATA_Fill(s, "1");
         RESDATA_Fill_Binary(s, &kValue, 4);
       },
       "(RESDATA_Fill_Binary) Inkonsistent binary definition\n"},
      {[](RESDATA* s) {
         RESDATA_Fill_Null(s);
         RESDATA_Fill_Binary(s, &kValue, 4);
       },
       ""},
      {[](RESDATA* s) {
         RESDATA_Fill_Null(s);
         RESDATA_Fill_Null(s);
         RESDATA_XY_Fill_Binary(s, 0, 0, &kValue, 4);
       },
       ""},
      {[](RESDATA* s) {
         RESDATA_Fill_Null(s);
         RESDATA_Fill_Null(s);
         RESDATA_XY_Fill_Binary(s, 0, 1, &kValue, 4);
       },
       "(RESDATA_XY_Fill_Binary) Inkonsistent binary definition\n"},
  };
  for (const Case& c : kCases) {
    RESDATA set;
    RESDATA_Init(&set);
    RESDATA_Header_Data(&set, "A", DBTYPE_INTEGER, 4);
    RESDATA_Header_Data(&set, "B", DBTYPE_INTEGER, 4);
    testing::internal::CaptureStderr();
    c.work(&set);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, DelRowMovesLaterRowsAndTheirOverlayUp) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 4);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(RESDATA_DelRow(&set, 0));  // 0 rows; the header stays
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(RESDATA) Invalid row-parameter in RESDATA_DelRow\n");
  EXPECT_EQ(set.columns, 1);
  for (const char* t : {"r0", "r1"}) RESDATA_Fill(&set, t);
  EXPECT_STREQ(RESDATA_XY_Text(&set, 1, 0, "shown r1"), "shown r1");
  RESDATA_Fill(&set, "r2");  // a row after the overlay was made
  EXPECT_STREQ(RESDATA_XY_Text(&set, 2, 0, "shown r2"), "shown r2");
  EXPECT_STREQ(Text(set, 2, 0), "r2");  // the cell itself is unchanged
  ASSERT_TRUE(RESDATA_DelRow(&set, 0));
  EXPECT_STREQ(Text(set, 0, 0), "r1");
  EXPECT_STREQ(RESDATA_OverlayText(set, 1, 0), "shown r2");
  ASSERT_TRUE(RESDATA_DelRow(&set, 1));
  EXPECT_EQ(set.rows, 1);
  EXPECT_STREQ(Text(set, 0, 0), "r1");
  RESDATA_Free(&set);
  EXPECT_EQ(set.block_count + set.column_capacity + set.row_capacity, -3);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 4);  // a freed set starts over on use
  RESDATA_Fill(&set, "y");
  EXPECT_STREQ(Text(set, 0, 0), "y");
}

// Rows share one cell pool: a row widened by a late column, rows swapped
// or emptied (as DISTINCT does), and a reset must never let one row read
// another's cells.
TEST(RESDATA, RowsKeepTheirOwnCellsThroughWideningSwapsAndReset) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 8);
  constexpr int kRows = 3000;  // several growths of the cell pool
  for (int r = 0; r < kRows; ++r) RESDATA_Fill(&set, ("a" + std::to_string(r)).c_str());
  RESDATA_Header_Data(&set, "B", DBTYPE_CHARACTER, 8);  // old rows have no B
  RESDATA_Fill(&set, "last-a");
  RESDATA_Fill(&set, "last-b");
  EXPECT_EQ(RESDATA_Cell(set, 7, 1), nullptr);
  RESDATA_XY_Fill(&set, 7, 1, "b7");  // widens row 7 only
  for (int r : {0, 6, 7, 8, kRows - 1}) {
    SCOPED_TRACE(r);
    EXPECT_EQ(Text(set, r, 0), "a" + std::to_string(r));
    if (r != 7) {
      EXPECT_EQ(RESDATA_Cell(set, r, 1), nullptr);
    }
  }
  EXPECT_STREQ(Text(set, 7, 1), "b7");
  EXPECT_STREQ(Text(set, kRows, 0), "last-a");
  EXPECT_STREQ(Text(set, kRows, 1), "last-b");
  std::swap(set.row_table[7], set.row_table[8]);
  set.row_table[kRows].clear();
  EXPECT_STREQ(Text(set, 8, 1), "b7");
  EXPECT_STREQ(Text(set, 7, 0), "a8");
  EXPECT_EQ(RESDATA_Cell(set, kRows, 0), nullptr);
  RESDATA_Reset(&set);
  RESDATA_Header_Data(&set, "C", DBTYPE_CHARACTER, 8);
  RESDATA_Fill(&set, "fresh");
  EXPECT_STREQ(Text(set, 0, 0), "fresh");
  EXPECT_EQ(RESDATA_Cell(set, 1, 0), nullptr);
  RESDATA_Free(&set);
}

// The result memory ledger: charged sets count with their estimates, as
// these grow and shrink, until they are discharged, freed, re-initialised
// or destroyed; a moved set takes its charge along; an uncharged set (a
// client's copy) never counts.
TEST(RESDATA, ChargedSetsCountTogetherUntilTheyGiveTheirMemoryBack) {
  const int64_t base = RESDATA_Charged();
  RESDATA a, b, client;
  RESDATA_Init(&a);
  RESDATA_Init(&b);
  RESDATA_Init(&client);
  EXPECT_EQ(RESDATA_Charged(), base);
  RESDATA_Charge(&a);
  RESDATA_Charge(&a);  // a second charge changes nothing
  EXPECT_EQ(RESDATA_Charged(), base + a.estimate);
  RESDATA_Charge(&b);
  FillOne(&b, 300000, 'b');  // a block of its own
  FillOne(&client, 300000, 'c');
  EXPECT_GT(b.estimate, RESDATA_INITESTIMATE + 300000);
  EXPECT_EQ(RESDATA_Charged(), base + a.estimate + b.estimate);
  RESDATA_Header_Data(&b, "D", DBTYPE_CHARACTER, 2);
  for (int r = 0; r < 60; ++r) RESDATA_Fill(&b, "x");  // rows past the first row room
  RESDATA_DelRow(&b, 0);
  EXPECT_EQ(RESDATA_Charged(), base + a.estimate + b.estimate);
  RESDATA_Reset(&b);  // recomputed: its blocks stay
  EXPECT_EQ(RESDATA_Charged(), base + a.estimate + b.estimate);
  RESDATA_Discharge(&a);
  RESDATA_Discharge(&a);
  EXPECT_EQ(RESDATA_Charged(), base + b.estimate);
  RESDATA_Free(&a);  // no longer charged: nothing to give back twice
  EXPECT_EQ(RESDATA_Charged(), base + b.estimate);
  {
    RESDATA moved = std::move(b);
    EXPECT_EQ(RESDATA_Charged(), base + moved.estimate);
    RESDATA_Free(&b);  // the moved-from set holds no charge
    EXPECT_EQ(RESDATA_Charged(), base + moved.estimate);
  }  // destroyed: given back
  EXPECT_EQ(RESDATA_Charged(), base);
  RESDATA_Charge(&client);
  EXPECT_EQ(RESDATA_Charged(), base + client.estimate);
  RESDATA_Init(&client);  // a set made anew starts uncharged
  EXPECT_EQ(RESDATA_Charged(), base);
  RESDATA_Charge(&client);
  RESDATA_Free(&client);
  EXPECT_EQ(RESDATA_Charged(), base);
}

TEST(RESDATADeathTest, MisuseEndsTheProcessWithItsMessage) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "T", DBTYPE_CHARACTER, 4);
  RESDATA_Fill(&set, "a");
  EXPECT_EXIT(RESDATA_XY_Fill(&set, 1, 0, "b"), testing::ExitedWithCode(1),
              "^\\(RESDATA_XY_Fill\\) Invalid Row/Column\n$");
  EXPECT_EXIT(RESDATA_XY_Fill_Binary(&set, 0, 1, "b", 2), testing::ExitedWithCode(1),
              "^\\(RESDATA_XY_Fill_Binary\\) Invalid Row/Column\n$");
  EXPECT_EXIT(RESDATA_XY_Fill_Binary(&set, 0, 0, "abcdef", 3), testing::ExitedWithCode(1),
              "\\(RESDATA_XY_Fill_Binary\\) String too long\n$");
  EXPECT_EXIT(RESDATA_Fill_Binary(&set, "abcdef", 3), testing::ExitedWithCode(1),
              "\\(RESDATA_Fill_Binary\\) String too long \\('abc\\[\\.\\.\\.\\]'\\)\n$");
}

}  // namespace
