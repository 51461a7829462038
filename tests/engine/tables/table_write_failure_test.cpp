// A table save that cannot create or replace its files must say so and
// leave the files of the last good save as they were (or, when only the
// index could not be replaced, a data file whose index is rebuilt on the
// next read): no half-written table, no temporary file left behind.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/tables/rowindex.h"
#include "engine/tables/table_file.h"
#include "engine/types/values.h"
#include "platform/fault.h"
#include "platform/files.h"
#include "platform/process.h"
#include "table_fixture.h"

namespace {

using Names = std::vector<std::string>;

class TableWriteFailureTest : public T1TableTest {
 protected:
  // A write that must fail; returns its message.
  std::string FailedWrite() {
    testing::internal::CaptureStderr();
    EXPECT_FALSE(TABLE_Write(db_, table_));
    return testing::internal::GetCapturedStderr();
  }

  // The names and the ordered NUMs a fresh read finds, and its warnings.
  std::string Reread() {
    Fresh('0');
    testing::internal::CaptureStderr();
    const int ok = TABLE_Read(db_, table_);
    const std::string warnings = testing::internal::GetCapturedStderr();
    std::vector<int> rows;
    IDXLIST_Rows(*num_->list, &rows);
    std::string text = ok ? "" : "failed ";
    for (int s : rows) {
      int num = 0;
      std::memcpy(&num, ROWPOOL_Data(table_->rows, s) + 4, 4);
      text += reinterpret_cast<const char*>(ROWPOOL_Data(table_->rows, s));
      text += "=" + std::to_string(num) + ";";
    }
    return text + (warnings.empty() ? "" : " (warned)");
  }

  // The directory's regular files, sorted.
  Names Files() const {
    Names files;
    EXPECT_TRUE(PLATFORM_ListRegularFiles((home_.DataDir() + "/DB").c_str(), &files));
    std::sort(files.begin(), files.end());
    return files;
  }
};

TEST_F(TableWriteFailureTest, AFileThatCannotBeCreatedKeepsTheLastGoodSave) {
  Insert("ab", 5);
  ASSERT_TRUE(TABLE_Write(db_, table_));
  const Bytes dat = File(Path(".dat"));
  const Bytes idx = File(Path(".idx"));
  Insert("cd", 2);
  const struct {
    long open;  // the file creation that fails: data file, then index file
    const char* ext;
    const char* message;
  } kCases[] = {
      {1, ".dat", "(TARVIC) Data-file '%s' could not be created!\n"},
      {2, ".idx", "(TARVIC) Index-file '%s' could not be created!\n"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.ext);
    PLATFORM_FaultResetForTest();
    PLATFORM_FaultAt(PLATFORM_FAULT_OPEN, c.open, PLATFORM_FAULT_ONCE);
    char expected[512];
    std::snprintf(expected, sizeof expected, c.message, Path(c.ext).c_str());
    // The file is named, then the system's reason (the fault's EIO).
    EXPECT_EQ(FailedWrite(), expected + std::string("(TARVIC) ") + std::strerror(EIO) + "\n");
    EXPECT_EQ(File(Path(".dat")), dat);
    EXPECT_EQ(File(Path(".idx")), idx);
    EXPECT_EQ(Files(), (Names{"T1.dat", "T1.idx"}));
  }
  PLATFORM_FaultResetForTest();
  EXPECT_EQ(Reread(), "ab =5;");
}

TEST_F(TableWriteFailureTest, LinksAtTheFileNamesAreNeverWrittenThrough) {
  Insert("ab", 5);
  const std::string victim = home_.dir().WriteFile("victim", "keep");
  const std::string own = "." + std::to_string(PLATFORM_ProcessId()) + "-0.tmp";
  // A link at each name a save could write first: the plain temporary
  // names, this process's first own ones, the final names; one of them
  // dangling, towards a file that must not appear.
  const std::string dangling = home_.path() + "/made";
  for (const std::string& name :
       std::vector<std::string>{".dat.tmp", ".idx.tmp", ".dat" + own, ".idx" + own, ".dat"}) {
    ASSERT_EQ(symlink(victim.c_str(), Path(name.c_str()).c_str()), 0) << name;
  }
  ASSERT_EQ(symlink(dangling.c_str(), Path(".idx").c_str()), 0);
  ASSERT_TRUE(TABLE_Write(db_, table_));
  EXPECT_EQ(home_.dir().ReadFile("victim"), "keep");
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dangling)));
  for (const char* ext : {".dat", ".idx"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(Path(ext))));
  }
  EXPECT_EQ(Reread(), "ab =5;");
}

TEST_F(TableWriteFailureTest, AnIndexThatCannotBeReplacedIsRebuiltOnRead) {
  Insert("ab", 5);
  Insert("cd", 2);
  // The index's place holds a directory that is not empty: the data file
  // is replaced, the index file cannot be.
  std::filesystem::create_directories(Path(".idx") + "/keep");
  EXPECT_EQ(FailedWrite(), "(TARVIC) Error writing index-file '" + Path(".idx") + "'!\n(TARVIC) " +
                               std::strerror(EISDIR) + "\n");
  EXPECT_EQ(Files(), (Names{"T1.dat"}));
  EXPECT_EQ(Reread(), "cd =2;ab =5; (warned)");
  std::filesystem::remove_all(Path(".idx"));
  table_->loaded = '1';
  ASSERT_TRUE(TABLE_Write(db_, table_));
  EXPECT_EQ(Reread(), "cd =2;ab =5;");
}

TEST_F(TableWriteFailureTest, AFailingWriteOrRenameKeepsAReadableTable) {
  Insert("ab", 5);
  ASSERT_TRUE(TABLE_Write(db_, table_));
  const Bytes dat = File(Path(".dat"));
  const Bytes idx = File(Path(".idx"));
  Insert("cd", 2);
  PLATFORM_FaultResetForTest();
  ASSERT_TRUE(TABLE_Write(db_, table_));
  const long writes = PLATFORM_FaultCalls(PLATFORM_FAULT_WRITE);
  ASSERT_EQ(PLATFORM_FaultCalls(PLATFORM_FAULT_RENAME), 2);  // data file, then index file
  const Bytes new_dat = File(Path(".dat"));
  // Back to the last good save before each failure.
  auto restore = [&] {
    ASSERT_TRUE(PLATFORM_WriteFile(Path(".dat").c_str(), dat.data(), dat.size()));
    ASSERT_TRUE(PLATFORM_WriteFile(Path(".idx").c_str(), idx.data(), idx.size()));
    PLATFORM_FaultResetForTest();
  };
  for (long nth = 1; nth <= writes; ++nth) {
    SCOPED_TRACE("write " + std::to_string(nth));
    restore();
    PLATFORM_FaultAt(PLATFORM_FAULT_WRITE, nth, PLATFORM_FAULT_ONCE);
    // Both files are written before either replaces the old one; the
    // caller of the save reports its failure. The file that failed is
    // named with the system's reason (the fault's ENOSPC).
    const std::string message = FailedWrite();
    EXPECT_EQ(message.rfind("(TARVIC) Error writing ", 0), 0U) << message;
    EXPECT_NE(message.find(std::string("(TARVIC) ") + std::strerror(ENOSPC) + "\n"),
              std::string::npos)
        << message;
    EXPECT_EQ(Files(), (Names{"T1.dat", "T1.idx"}));
    EXPECT_EQ(File(Path(".dat")), dat);
    EXPECT_EQ(File(Path(".idx")), idx);
    EXPECT_EQ(Reread(), "ab =5;");
    Fresh('1');
    Insert("ab", 5);
    Insert("cd", 2);
  }
  for (long nth : {1L, 2L}) {
    SCOPED_TRACE("rename " + std::to_string(nth));
    restore();
    PLATFORM_FaultAt(PLATFORM_FAULT_RENAME, nth, PLATFORM_FAULT_ONCE);
    EXPECT_FALSE(TABLE_Write(db_, table_));
    EXPECT_EQ(Files(), (Names{"T1.dat", "T1.idx"}));
    // A failed second rename leaves the new data beside the old index,
    // which is found not to fit and rebuilt.
    EXPECT_EQ(File(Path(".dat")), nth == 1 ? dat : new_dat);
    EXPECT_EQ(Reread(), nth == 1 ? "ab =5;" : "cd =2;ab =5; (warned)");
    Fresh('1');
    Insert("ab", 5);
    Insert("cd", 2);
  }
  PLATFORM_FaultResetForTest();
}

}  // namespace
