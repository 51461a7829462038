// Tests of record lists: copies by the record's own size, growth in steps
// of 250 entries, the size warning and the index check.
#include "records/record.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/stderr_capture.h"

namespace {
using kaspo_test::StderrCapture;

struct Rec {
  RECORD_HEADER h;
  char payload[100];
};

TEST(ARRAY, KeepsCopiesOfEachRecordsOwnSize) {
  ARRAY list;
  ARRAY_Init(&list, RECORD_TABLE_KASPO);
  Rec small{{24, 0, RECORD_TABLE_KASPO, 0, 0}, "abcd"};
  Rec large{{120, 0, RECORD_TABLE_KASPO, 0, 0}, "efgh"};
  large.payload[99] = 'Z';
  ARRAY_Add(&list, &small.h);
  ARRAY_Add(&list, &large.h);
  std::strcpy(small.payload, "XXXX");  // the list holds its own copy
  ASSERT_EQ(ARRAY_Count(list), 2);
  EXPECT_EQ(list.records[0].size(), 24u);
  EXPECT_EQ(list.records[1].size(), 120u);
  const Rec* first = reinterpret_cast<const Rec*>(ARRAY_GetPtr(list, 0));
  EXPECT_EQ(std::string(first->payload, 4), "abcd");
  EXPECT_EQ(reinterpret_cast<const Rec*>(ARRAY_GetPtr(list, 1))->payload[99], 'Z');
  EXPECT_EQ(list.table_id, RECORD_TABLE_KASPO);
}

TEST(ARRAY, GrowsBy250Entries) {
  ARRAY list;
  ARRAY_Init(&list, RECORD_TABLE_BLOBJ);
  EXPECT_EQ(list.records.capacity(), 0u);
  Rec r{{RECORD_HEADER_SIZE, 0, RECORD_TABLE_BLOBJ, 0, 0}, {}};
  struct Step {
    int count;
    std::size_t capacity;
  };
  constexpr Step kSteps[] = {{1, 250}, {250, 250}, {251, 500}, {501, 750}};
  for (const Step& s : kSteps) {
    while (ARRAY_Count(list) < s.count) ARRAY_Add(&list, &r.h);
    EXPECT_EQ(list.records.capacity(), s.capacity) << s.count;
  }
  ARRAY_Free(&list);
  EXPECT_EQ(ARRAY_Count(list), 0);
  EXPECT_EQ(list.table_id, RECORD_TABLE_BLOBJ);
}

TEST(ARRAY, WarnsAboutUnlikelySizesAndCopiesAnyway) {
  struct Case {
    int size;
    const char* warning;
    std::size_t stored;
  };
  const Case kCases[] = {
      {0, "(ARRAY_Add) Warning: Struct not initialized (size 0)???\n", RECORD_HEADER_SIZE},
      {-7, "(ARRAY_Add) Warning: Struct not initialized (size -7)???\n", RECORD_HEADER_SIZE},
      {10001, "(ARRAY_Add) Warning: Struct not initialized (size 10001)???\n", 10001},
      {1, "", RECORD_HEADER_SIZE},
      {10000, "", 10000},
  };
  std::vector<unsigned char> big(10001, 'q');
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.size);
    ARRAY list;
    ARRAY_Init(&list, RECORD_TABLE_KASPO);
    RECORD_HEADER h{c.size, 0, RECORD_TABLE_KASPO, 0, 0};
    std::memcpy(big.data(), &h, sizeof h);
    StderrCapture capture;
    ARRAY_Add(&list, reinterpret_cast<const RECORD_HEADER*>(big.data()));
    EXPECT_EQ(capture.Text(), c.warning);
    ASSERT_EQ(ARRAY_Count(list), 1);
    EXPECT_EQ(list.records[0].size(), c.stored);
    EXPECT_EQ(ARRAY_GetPtr(list, 0)->size, c.size > 0 ? c.size : 0);
  }
}

TEST(ARRAYDeathTest, IndexOutsideTheListEndsTheProcess) {
  ARRAY list;
  ARRAY_Init(&list, RECORD_TABLE_KASPO);
  Rec r{{sizeof(Rec), 0, RECORD_TABLE_KASPO, 0, 0}, {}};
  ARRAY_Add(&list, &r.h);
  for (int index : {-1, 1, 1000}) {
    SCOPED_TRACE(index);
    EXPECT_EXIT((void)ARRAY_GetPtr(&list, index), ::testing::ExitedWithCode(1),
                "\\(ARRAY_GetPtr\\) Index out of range!");
  }
  EXPECT_EQ(ARRAY_GetPtr(&list, 0)->size, static_cast<int32_t>(sizeof(Rec)));
}

}  // namespace
