// Table files: exact bytes, round trips, damaged files.
#include "engine/tables/table_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/tables/redo_log.h"
#include "engine/tables/rowindex.h"
#include "engine/types/values.h"
#include "platform/files.h"
#include "table_fixture.h"

namespace {

class TableFileTest : public T1TableTest {
 protected:
  // NAME (blanks cut) of each row the committed state shows, newest first.
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    RowPool_First(&table_->rows);
    for (int s = RowPool_Next(&table_->rows, 1); s >= 0; s = RowPool_Next(&table_->rows, 1)) {
      std::string name(reinterpret_cast<const char*>(ROWPOOL_Data(table_->rows, s)));
      names.push_back(name.substr(0, name.find(' ')));
    }
    return names;
  }
  // NUM of each row in ordered-list order.
  std::vector<int> ListedNums() {
    std::vector<int> rows;
    IDXLIST_Rows(*num_->list, &rows);
    std::vector<int> nums;
    for (int s : rows) {
      int v = 0;
      std::memcpy(&v, ROWPOOL_Data(table_->rows, s) + 4, 4);
      nums.push_back(v);
    }
    return nums;
  }

  // Reads T1 into a fresh engine; returns TABLE_Read's result and the
  // warnings it printed.
  int Reread(std::string* warnings) {
    Fresh('0');
    testing::internal::CaptureStderr();
    int ok = TABLE_Read(db_, table_);
    *warnings = testing::internal::GetCapturedStderr();
    return ok;
  }
};

using Strs = std::vector<std::string>;
using Nums = std::vector<int>;

TEST_F(TableFileTest, WritesExactBytesAndRereadsTheSameRows) {
  for (auto [name, num] : {std::pair{"ab", 5}, {"cd", 2}, {"ef", 9}}) Insert(name, num);
  ASSERT_TRUE(TABLE_Write(db_, table_));
  Bytes dat = {'#', '#'};
  Append32(&dat, 8);
  for (const Bytes& row : {Row("ef", 9), Row("cd", 2), Row("ab", 5)}) {
    dat.insert(dat.end(), row.begin(), row.end());
  }
  Bytes idx = {'#', '#'};
  Append32(&idx, 3);
  idx.push_back('#');
  Append32(&idx, 4);
  idx.insert(idx.end(), {'N', 'U', 'M', '\0'});
  for (int ordinal : {1, 2, 0}) Append32(&idx, ordinal);  // 2, 5, 9
  // A second write gives the same files and leaves no temporary behind.
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(File(Path(".dat")), dat);
    EXPECT_EQ(File(Path(".idx")), idx);
    ASSERT_TRUE(TABLE_Write(db_, table_));
  }
  Strs files;
  ASSERT_TRUE(PLATFORM_ListRegularFiles(Dir().c_str(), &files));
  EXPECT_EQ(files, (Strs{"T1.dat", "T1.idx"}));

  // Rows come back in file order, each at the head of the list, so a reread
  // reverses them; writing again reverses them back.
  std::string warnings;
  for (const Strs& expected : {Strs{"ab", "cd", "ef"}, Strs{"ef", "cd", "ab"}}) {
    ASSERT_TRUE(Reread(&warnings));
    EXPECT_EQ(warnings, "");
    EXPECT_EQ(Names(), expected);
    EXPECT_EQ(ListedNums(), (Nums{2, 5, 9}));
    EXPECT_EQ(table_->unique_store[0]->unique.hash.entries, 3);
    table_->loaded = '1';
    ASSERT_TRUE(TABLE_Write(db_, table_));
  }
}

TEST_F(TableFileTest, DamagedIndexFilesLeadToARebuild) {
  Insert("ab", 5);
  Insert("cd", 2);
  ASSERT_TRUE(TABLE_Write(db_, table_));
  const Bytes good = File(Path(".idx"));
  const std::string warning = "(TARVIC) Warning: Index-file '" + Path(".idx") + "' ";
  auto patched = [&](size_t at, unsigned char byte) {
    Bytes bytes = good;
    bytes[at] = byte;
    return bytes;
  };
  struct Case {
    Bytes bytes;
    std::string warning;
  };
  const Case cases[] = {
      {{}, "unexpected end of file (##-header missing)!\n"},
      {{'#', '#', 2}, "unexpected end of file (row-size missing)!\n"},
      {Bytes(good.begin(), good.begin() + 6), "unexpected end of file (#-header missing)!\n"},
      {Bytes(good.begin(), good.begin() + 9), "unexpected end of file (name-size missing)!\n"},
      {patched(7, 100), "invalid name-size (100)!\n"},
      {patched(12, 'X'), "index for attrib 'NUM' expected (found 'NXM')!\n"},
      {Bytes(good.begin(), good.end() - 1), "unexpected end of file reading index 'NUM'!\n"},
      {patched(15, 7), "invalid row number in index 'NUM'!\n"},
      {patched(2, 3), "row count 3 differs from data-file (2 rows)!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.warning);
    Put(Path(".idx"), c.bytes);
    std::string warnings;
    ASSERT_TRUE(Reread(&warnings));
    EXPECT_EQ(warnings, warning + c.warning);
    EXPECT_EQ(ListedNums(), (Nums{2, 5}));
  }
  // Without an index file the lists are rebuilt silently.
  ASSERT_TRUE(PLATFORM_RemoveFile(Path(".idx").c_str()));
  std::string warnings;
  ASSERT_TRUE(Reread(&warnings));
  EXPECT_EQ(warnings, "");
  EXPECT_EQ(ListedNums(), (Nums{2, 5}));
}

TEST_F(TableFileTest, ReadsDataFileVariantsAndRefusesAWrongRowSize) {
  const std::string warning = "(TARVIC) Warning: Data-file '" + Path(".dat") + "' ";
  Bytes header = {'#', '#'};
  Append32(&header, 8);
  Bytes wrong_size = {'#', '#'};
  Append32(&wrong_size, 9);
  Bytes partial = header;
  for (unsigned char b : Row("ab", 1)) partial.push_back(b);
  partial.insert(partial.end(), {'x', 'y', 'z'});
  Bytes headerless = Row("ab", 7);
  for (unsigned char b : Row("cd", 3)) headerless.push_back(b);
  struct Case {
    Bytes bytes;
    int ok;
    Strs names;
    Nums nums;
    std::string warning;
  };
  const Case cases[] = {
      {header, 1, {}, {}, ""},
      {partial, 1, {"ab"}, {1}, ""},  // the partial last row is ignored
      {headerless, 1, {"cd", "ab"}, {3, 7}, ""},
      {{'#', '#', 8}, 0, {}, {}, warning + "unexpected end of file (row-size missing)!\n"},
      {wrong_size, 0, {}, {}, warning + "different row size for table 'T1'!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes.size());
    Put(Path(".dat"), c.bytes);
    std::string warnings;
    EXPECT_EQ(Reread(&warnings), c.ok);
    EXPECT_EQ(warnings, c.warning);
    if (!c.ok) continue;
    EXPECT_EQ(Names(), c.names);
    EXPECT_EQ(ListedNums(), c.nums);
  }
  ASSERT_TRUE(PLATFORM_RemoveFile(Path(".dat").c_str()));
  std::string warnings;
  EXPECT_TRUE(Reread(&warnings));
  EXPECT_EQ(warnings, warning + "could not be opened!\n");
  EXPECT_EQ(Names(), Strs{});
}

TEST_F(TableFileTest, WritesTheCommittedStateOfAnOpenTransaction) {
  int a = Insert("ab", 5);
  int b = Insert("cd", 2);
  Insert("ef", 9);
  // Transaction 2 deletes ab, changes cd and inserts gh.
  table_->rows.slots[a].delete_ts = 2;
  for (int row : {a, b}) {
    ROWIDX_RemoveUnique(table_, row);
    ROWIDX_RemoveLists(table_, row, {});
  }
  int b2 = KASPO_Change(&table_->rows, b, 2);
  int twelve = 12;
  std::memcpy(ROWPOOL_Data(&table_->rows, b2) + 4, &twelve, 4);
  ROWIDX_AddUnique(table_, b2, 2);
  ROWIDX_AddLists(table_, b2, {});
  Insert("gh", 1, 2);
  ASSERT_TRUE(TABLE_Write(db_, table_));

  std::string warnings;
  ASSERT_TRUE(Reread(&warnings));
  EXPECT_EQ(warnings, "");
  EXPECT_EQ(Names(), (Strs{"ab", "cd", "ef"}));
  EXPECT_EQ(ListedNums(), (Nums{5, 9, 12}));
}

}  // namespace
