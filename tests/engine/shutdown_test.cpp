// Ending the engine: save all and the fatal exit.
#include "engine/shutdown.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/tables/redo_log.h"
#include "engine/tables/table_file.h"
#include "engine/tables/table_fixture.h"
#include "platform/files.h"

namespace {

using ShutdownTest = T1TableTest;

TEST_F(ShutdownTest, SaveAllWritesStaticTablesAndDeletesTheRedoLog) {
  Insert("ab", 5);
  table_->loaded = '0';
  EXPECT_TRUE(TABLE_Write(db_, table_));
  table_->loaded = '1';
  table_->kind = '0';
  EXPECT_TRUE(TABLE_Write(db_, table_));
  EXPECT_FALSE(PLATFORM_Exists(Path(".dat").c_str()));
  table_->kind = '1';
  Put(REDO_Path("DB"), {1, 0, 0, 0, 'J'});
  ASSERT_TRUE(Engine_SaveAll());
  EXPECT_TRUE(PLATFORM_IsRegularFile(Path(".dat").c_str()));
  EXPECT_FALSE(PLATFORM_Exists(REDO_Path("DB").c_str()));
  std::filesystem::remove_all(Dir());
  EXPECT_FALSE(Engine_SaveAll());
}

TEST_F(ShutdownTest, FatalExitSavesOnceAndEndsWithStatusOne) {
  Insert("ab", 5);
  EXPECT_EXIT(Engine_FatalExit(3), testing::ExitedWithCode(1), "");
  EXPECT_TRUE(PLATFORM_IsRegularFile(Path(".dat").c_str()));
  std::filesystem::remove_all(Dir());
  EXPECT_EXIT(Engine_FatalExit(1), testing::ExitedWithCode(1),
              "\\(TARVICDB\\) Saving data failed \\(data may be corrupted\\)");
  CATALOG_Engine().saved = 1;  // an exit under way saves nothing more
  EXPECT_EXIT(Engine_FatalExit(1), testing::ExitedWithCode(1), "^$");
}

}  // namespace
