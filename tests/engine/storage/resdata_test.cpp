// Tests of result data sets: arena block boundaries and sizes, the memory
// estimate, header and binary-mode warnings, typed fills, row deletion and
// the text overlay.
#include "engine/storage/resdata.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/types/values.h"

namespace {

std::string Captured(void (*work)(RESDATA*), RESDATA* set) {
  testing::internal::CaptureStderr();
  work(set);
  return testing::internal::GetCapturedStderr();
}

const char* Text(const RESDATA& set, int row, int column) {
  return reinterpret_cast<const char*>(RESDATA_Cell(set, row, column));
}

TEST(RESDATA, ValueFillingTheRestOfABlockMovesToTheNextOne) {
  struct Case {
    int32_t bytes;  // text length + NUL
    int block;      // block that receives it
  };
  // The header name "C" takes 2 bytes of the first block (50000 bytes).
  const Case kCases[] = {{49997, 0}, {49998, 1}, {49999, 1}, {1, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bytes);
    RESDATA set;
    RESDATA_Init(&set);
    RESDATA_Header_Data(&set, "C", DBTYPE_CHARACTER, 60000);
    RESDATA_Fill(&set, std::string(size_t(c.bytes - 1), 'x').c_str());
    EXPECT_EQ(set.current_block, c.block);
    EXPECT_EQ(RESDATA_Cell(set, 0, 0), set.blocks[c.block].get() + (c.block == 0 ? 2 : 0));
    EXPECT_EQ(std::strlen(Text(set, 0, 0)), size_t(c.bytes - 1));
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, NewBlocksHoldAtLeast200000BytesOrTheWholeValue) {
  struct Case {
    int32_t bytes;
    int32_t block_size;
  };
  const Case kCases[] = {{60000, 200000}, {200000, 200000}, {200001, 200001}, {300000, 300000}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.bytes);
    RESDATA set;
    RESDATA_Init(&set);
    RESDATA_Header_Data(&set, "C", DBTYPE_CHARACTER, c.bytes);
    RESDATA_Fill(&set, std::string(size_t(c.bytes - 1), 'y').c_str());
    ASSERT_EQ(set.block_count, 2);
    EXPECT_EQ(set.block_sizes[1], c.block_size);
    EXPECT_EQ(set.estimate, RESDATA_INITESTIMATE + 4 + c.block_size);
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, EstimateFollowsInitResetAndGrowth) {
  RESDATA set;
  RESDATA_Init(&set);
  EXPECT_EQ(set.estimate, 200500);
  RESDATA_Reset(&set);
  EXPECT_EQ(set.estimate, 5 * 20 + 8 * 50 + 50000);

  for (int c = 0; c < 21; ++c) RESDATA_Header_Data(&set, ("C" + std::to_string(c)).c_str(), DBTYPE_INTEGER, 4);
  EXPECT_EQ(set.column_capacity, 220);
  int64_t expect = 5 * 20 + 8 * 50 + 50000 + 1800;
  EXPECT_EQ(set.estimate, expect);

  const int32_t value = 7;
  for (int r = 0; r < 51; ++r) {
    for (int c = 0; c < 21; ++c) RESDATA_Fill_Binary(&set, &value, 4);
  }
  EXPECT_EQ(set.rows, 51);
  EXPECT_EQ(set.row_capacity, 5050);
  expect += 51 * 4 * 21 + 1250;
  EXPECT_EQ(set.estimate, expect);

  ASSERT_TRUE(RESDATA_DelRow(&set, 3));
  expect -= 4 * 21;
  EXPECT_EQ(set.estimate, expect);

  RESDATA_Reset(&set);
  EXPECT_EQ(set.estimate, 5 * 220 + 8 * 5050 + 50000);
  RESDATA_Free(&set);
}

TEST(RESDATA, ResetReusesBlocksAndReplacesOnesTooSmall) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "C", DBTYPE_CHARACTER, 300000);
  RESDATA_Fill(&set, std::string(59999, 'a').c_str());  // block 1: 200000
  const unsigned char* second = set.blocks[1].get();
  RESDATA_Reset(&set);
  RESDATA_Header_Data(&set, "C", DBTYPE_CHARACTER, 300000);
  RESDATA_Fill(&set, std::string(59999, 'b').c_str());
  EXPECT_EQ(set.block_count, 2);
  EXPECT_EQ(RESDATA_Cell(set, 0, 0), second);

  RESDATA_Reset(&set);
  const int64_t before = set.estimate;
  RESDATA_Header_Data(&set, "C", DBTYPE_CHARACTER, 300000);
  const std::string big(209999, 'c');
  RESDATA_Fill(&set, big.c_str());  // block 1 is too small for it
  EXPECT_EQ(set.block_count, 2);
  EXPECT_EQ(set.block_sizes[1], 210000);
  EXPECT_EQ(set.estimate, before + 4 + 10000);  // the row array and the larger block
  EXPECT_EQ(Text(set, 0, 0), big);
  RESDATA_Free(&set);
}

TEST(RESDATA, HeaderWarnsAboutMixedOrNamelessColumns) {
  struct Case {
    std::vector<const char*> names;
    int warnings;
  };
  const Case kCases[] = {
      {{"A", "B"}, 0},
      {{"A", nullptr}, 0},
      {{nullptr, nullptr, nullptr}, 3},
      {{nullptr, "A"}, 2},
      {{nullptr, "A", nullptr}, 2},
  };
  const std::string warning = "(RESDATA_Header_Data) Inkonsistent header definition\n";
  for (const Case& c : kCases) {
    RESDATA set;
    RESDATA_Init(&set);
    testing::internal::CaptureStderr();
    for (const char* name : c.names) RESDATA_Header_Data(&set, name, DBTYPE_INTEGER, 4);
    std::string expect;
    for (int i = 0; i < c.warnings; ++i) expect += warning;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expect);
    EXPECT_EQ(set.columns, int(c.names.size()));
    for (size_t i = 0; i < c.names.size(); ++i) {
      if (c.names[i] == nullptr) {
        EXPECT_EQ(set.column_names[i], nullptr);
      } else {
        EXPECT_STREQ(set.column_names[i], c.names[i]);
      }
    }
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, SequentialFillsCompleteRowsAfterTheLastColumn) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 10);
  RESDATA_Header_Data(&set, "B", DBTYPE_CHARACTER, 10);
  for (const char* t : {"a0", "b0", "a1"}) RESDATA_Fill(&set, t);
  RESDATA_Fill_Null(&set);
  RESDATA_Fill(&set, "a2");
  EXPECT_EQ(set.rows, 2);
  EXPECT_EQ(set.fill_position, 1);
  EXPECT_STREQ(Text(set, 0, 1), "b0");
  EXPECT_STREQ(Text(set, 1, 0), "a1");
  EXPECT_EQ(RESDATA_Cell(set, 1, 1), nullptr);
  EXPECT_EQ(RESDATA_Cell(set, 2, 0), nullptr);  // the row being built is not yet a row
  RESDATA_Free(&set);
}

TEST(RESDATA, TypedFillsCopyByColumnType) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "T", DBTYPE_CHARACTER, 9);
  RESDATA_Header_Data(&set, "B", DBTYPE_BINARY, 8);
  RESDATA_Header_Data(&set, "I", DBTYPE_INTEGER, 4);
  RESDATA_Header_Data(&set, "D", DBTYPE_BINARY, 8);
  const char text[9] = {'a', 'b', 0, 'j', 'u', 'n', 'k', 0, 0};
  const unsigned char binary[8] = {3, 0, 'x', 'y', 'z', 0xEE, 0xEE, 0xEE};
  const unsigned char damaged[4] = {0x7F, 0x7F, 'p', 'q'};  // claims 32639 bytes
  const int32_t number = -2147483647;
  RESDATA_Fill_Binary(&set, text, 9);
  RESDATA_Fill_Binary(&set, binary, 8);
  RESDATA_Fill_Binary(&set, &number, 4);
  RESDATA_Fill_Binary(&set, damaged, 4);
  ASSERT_EQ(set.rows, 1);
  EXPECT_EQ(set.binary, 1);
  EXPECT_STREQ(Text(set, 0, 0), "ab");
  EXPECT_EQ(std::memcmp(RESDATA_Cell(set, 0, 1), binary, 5), 0);
  int32_t read = 0;
  std::memcpy(&read, RESDATA_Cell(set, 0, 2), 4);
  EXPECT_EQ(read, number);
  int16_t kept = 0;
  std::memcpy(&kept, RESDATA_Cell(set, 0, 3), 2);
  EXPECT_EQ(kept, 2);
  EXPECT_EQ(std::memcmp(RESDATA_Cell(set, 0, 3) + 2, "pq", 2), 0);
  // Cells are carved one after the other: 2 header names... then 3, 5, 4, 4.
  EXPECT_EQ(set.used, 8 + 3 + 5 + 4 + 4);
  RESDATA_Free(&set);
}

TEST(RESDATA, MixingTextAndBinaryFillsWarns) {
  struct Case {
    void (*work)(RESDATA*);
    const char* message;
  };
  static const int32_t kValue = 1;
  const Case kCases[] = {
      {[](RESDATA* s) { RESDATA_Fill(s, "1"); RESDATA_Fill_Binary(s, &kValue, 4); },
       "(RESDATA_Fill_Binary) Inkonsistent binary definition\n"},
      {[](RESDATA* s) { RESDATA_Fill_Binary(s, &kValue, 4); RESDATA_Fill(s, "1"); },
       "(RESDATA_Fill) Inkonsistent binary definition\n"},
      {[](RESDATA* s) { RESDATA_Fill_Null(s); RESDATA_Fill_Binary(s, &kValue, 4); }, ""},
      {[](RESDATA* s) { RESDATA_Fill_Binary(s, &kValue, 4); RESDATA_Fill_Binary(s, &kValue, 4); }, ""},
      {[](RESDATA* s) {
         RESDATA_Fill_Binary(s, &kValue, 4);
         RESDATA_Fill_Binary(s, &kValue, 4);
         RESDATA_XY_Fill(s, 0, 0, "2");
       },
       "(RESDATA_XY_Fill) Inkonsistent binary definition\n"},
      {[](RESDATA* s) { RESDATA_Fill_Null(s); RESDATA_Fill_Null(s); RESDATA_XY_Fill_Binary(s, 0, 0, &kValue, 4); },
       ""},
      {[](RESDATA* s) { RESDATA_Fill_Null(s); RESDATA_Fill_Null(s); RESDATA_XY_Fill_Binary(s, 0, 1, &kValue, 4); },
       "(RESDATA_XY_Fill_Binary) Inkonsistent binary definition\n"},
  };
  for (const Case& c : kCases) {
    RESDATA set;
    RESDATA_Init(&set);
    RESDATA_Header_Data(&set, "A", DBTYPE_INTEGER, 4);
    RESDATA_Header_Data(&set, "B", DBTYPE_INTEGER, 4);
    EXPECT_EQ(Captured(c.work, &set), c.message);
    RESDATA_Free(&set);
  }
}

TEST(RESDATA, DelRowMovesLaterRowsUpAndRefusesMissingRows) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 4);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(RESDATA_DelRow(&set, 0));  // 0 rows, header kept
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(RESDATA) Invalid row-parameter in RESDATA_DelRow\n");
  EXPECT_EQ(set.columns, 1);

  for (const char* t : {"r0", "r1", "r2"}) RESDATA_Fill(&set, t);
  EXPECT_STREQ(RESDATA_XY_Text(&set, 2, 0, "shown r2"), "shown r2");
  ASSERT_TRUE(RESDATA_DelRow(&set, 0));
  EXPECT_EQ(set.rows, 2);
  EXPECT_STREQ(Text(set, 0, 0), "r1");
  EXPECT_STREQ(Text(set, 1, 0), "r2");
  EXPECT_STREQ(RESDATA_OverlayText(set, 1, 0), "shown r2");
  ASSERT_TRUE(RESDATA_DelRow(&set, 1));
  EXPECT_EQ(set.rows, 1);
  EXPECT_STREQ(Text(set, 0, 0), "r1");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(RESDATA_DelRow(&set, 1));
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(set.rows, 1);
  RESDATA_Free(&set);
}

TEST(RESDATA, OverlayKeepsTheTypedCellAndCoversLaterRows) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "N", DBTYPE_INTEGER, 4);
  const int32_t one = 1;
  RESDATA_Fill_Binary(&set, &one, 4);
  EXPECT_EQ(RESDATA_OverlayText(set, 0, 0), nullptr);
  EXPECT_STREQ(RESDATA_XY_Text(&set, 0, 0, "1"), "1");
  RESDATA_Fill_Binary(&set, &one, 4);  // a row after the overlay was made
  EXPECT_STREQ(RESDATA_XY_Text(&set, 1, 0, "one"), "one");
  EXPECT_EQ(RESDATA_XY_Text(&set, 2, 0, "x"), nullptr);
  int32_t typed = 0;
  std::memcpy(&typed, RESDATA_Cell(set, 1, 0), 4);
  EXPECT_EQ(typed, 1);
  RESDATA_Reset(&set);
  EXPECT_TRUE(set.overlay.empty());
  RESDATA_Free(&set);
}

TEST(RESDATA, FreedSetIsEmptyAndUsableAgain) {
  RESDATA set;
  RESDATA_Init(&set);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 4);
  RESDATA_Fill(&set, "x");
  set.truncated = 1;
  RESDATA_Empty(&set);
  EXPECT_EQ(set.rows + set.columns + set.truncated, 0);
  RESDATA_Free(&set);
  EXPECT_EQ(set.block_count, -1);
  EXPECT_EQ(set.column_capacity, -1);
  EXPECT_EQ(set.row_capacity, -1);
  RESDATA_Header_Data(&set, "A", DBTYPE_CHARACTER, 4);
  RESDATA_Fill(&set, "y");
  EXPECT_STREQ(Text(set, 0, 0), "y");
  RESDATA_Free(&set);

  RESDATA borrowed;
  RESDATA_Init(&borrowed);
  borrowed.borrowed = 1;
  RESDATA_Free(&borrowed);
  EXPECT_EQ(borrowed.block_count, 1);
  borrowed.borrowed = 0;
  RESDATA_Free(&borrowed);
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

TEST(RESDATADeathTest, ArenaOfAThousandBlocksRefusesAnother) {
  EXPECT_EXIT(
      {
        RESDATA set;
        RESDATA_Init(&set);
        RESDATA_Header_Data(&set, "F", DBTYPE_FLOAT, RESDATA_BLOCKSIZE);
        const std::vector<unsigned char> value(RESDATA_BLOCKSIZE, 0);
        for (int i = 0; i < 999; ++i) RESDATA_Fill_Binary(&set, value.data(), RESDATA_BLOCKSIZE);
        if (set.block_count == RESDATA_MAXBLOCKS) RESDATA_Fill_Binary(&set, value.data(), 1);
      },
      testing::ExitedWithCode(1), "^\\(RESDATA\\) Out of memory \\(max = 1000\\)\n$");
}

}  // namespace
