// Redo log: records collected per transaction, written at commit, read
// back, deleted after a save and replayed at start-up.
#include "engine/tables/redo_log.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/statements/txn.h"
#include "engine/tables/table_file.h"
#include "engine/tables/transaction.h"
#include "engine/types/handler.h"
#include "engine/types/reply.h"
#include "platform/fault.h"
#include "platform/files.h"
#include "support/engine_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Record(const std::string& msg) {
  Bytes bytes;
  uint32_t n = static_cast<uint32_t>(msg.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<unsigned char>(n >> (8 * i)));
  bytes.insert(bytes.end(), msg.begin(), msg.end());
  return bytes;
}

class RedoLogTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    home_.dir().MakeDir("Tarvic.dat/DB");
    DBDATABASE* db = nullptr;
    ASSERT_TRUE(CATALOG_NewDatabase("DB", &db));
    CATALOG_CountDatabase();
    int slot = -1;
    ASSERT_TRUE(CATALOG_AddConn(1, 0, &slot));
    CATALOG_Engine().startup = 0;
  }

  void Append(const std::string& msg) {
    Redo_Append(CATALOG_Conn(1), reinterpret_cast<const unsigned char*>(msg.data()),
                static_cast<int>(msg.size()));
  }
  static std::string Run(SqlHandler handler) {
    const unsigned char msg[] = {'J'};
    REPLY_Reset();
    handler(1, msg, 1);
    return std::string(reinterpret_cast<const char*>(REPLY_Data()), REPLY_Length());
  }
  static Bytes Log() {
    Bytes bytes;
    EXPECT_TRUE(PLATFORM_ReadFile(REDO_Path("DB").c_str(), &bytes));
    return bytes;
  }
};

TEST_F(RedoLogTest, EachCommitAppendsItsRecordsToTheLog) {
  const std::string insert("Da\x03\x00T1\x00", 7);
  const std::string remove("Fa\x03\x00T1\x00x", 8);
  ASSERT_EQ(Run(TXN_Begin), "1");
  Append(insert);
  Append(remove);
  ASSERT_EQ(Run(TXN_End), "1");
  Bytes expected = Record(insert);
  for (unsigned char b : Record(remove)) expected.push_back(b);
  EXPECT_EQ(Log(), expected);
  EXPECT_TRUE(CATALOG_Conn(1)->redo.empty());

  ASSERT_EQ(Run(TXN_Begin), "1");
  Append(insert);
  ASSERT_EQ(Run(TXN_End), "1");
  for (unsigned char b : Record(insert)) expected.push_back(b);
  EXPECT_EQ(Log(), expected);

  Bytes read;
  std::string path;
  ASSERT_TRUE(Redo_Read("DB", &read, &path));
  EXPECT_EQ(read, expected);
  EXPECT_EQ(path, home_.DataDir() + "/DB/redo.log");
  ASSERT_TRUE(Redo_Delete("DB", ""));
  EXPECT_FALSE(PLATFORM_Exists(path.c_str()));
  EXPECT_FALSE(Redo_Read("DB", &read, &path));
  EXPECT_TRUE(Redo_Delete("DB", ""));
}

TEST_F(RedoLogTest, NothingIsLoggedWithoutRecordsOnAbortOrWhileStarting) {
  ASSERT_EQ(Run(TXN_Begin), "1");
  ASSERT_EQ(Run(TXN_End), "1");
  ASSERT_EQ(Run(TXN_Begin), "1");
  Append("Dxyz");
  ASSERT_EQ(Run(TXN_Abort), "1");
  EXPECT_TRUE(CATALOG_Conn(1)->redo.empty());
  CATALOG_Engine().startup = 1;
  ASSERT_EQ(Run(TXN_Begin), "1");
  Append("Dxyz");
  EXPECT_TRUE(CATALOG_Conn(1)->redo.empty());
  ASSERT_EQ(Run(TXN_End), "1");
  EXPECT_FALSE(PLATFORM_Exists(REDO_Path("DB").c_str()));
}

TEST_F(RedoLogTest, AFailedWriteIsReportedAndTheCommitStands) {
  // What failed is named with the system's reason. Only a log that exists
  // and now lacks the commit is called corrupted; without one (its
  // directory missing) the commit is just not logged.
  const std::string path = REDO_Path("DB");
  const std::string dir = home_.DataDir() + "/DB";
  const std::string save = "         Save data and restart database!\n";
  const std::string not_written = "(TARVIC) Redo-log-file '" + path + "' could not be written!\n";
  const std::string corrupted = "(TARVIC) Redo-log-file '" + path + "' is corrupted!\n";
  const struct {
    const char* what;
    bool log_before;   // a log of an earlier commit exists
    bool dir_missing;  // the database directory is gone
    bool file_is_dir;  // a directory stands where the log goes
    std::string expected;
  } kCases[] = {
      {"directory missing", false, true, false,
       "(TARVIC) Database-directory '" + dir + "' not found!\n(TARVIC) " + std::strerror(ENOENT) +
           "\n" + not_written + save},
      {"log cannot be replaced", false, false, true,
       "(TARVIC) Error writing redo-log-file '" + path + "'!\n(TARVIC) " + std::strerror(EISDIR) +
           "\n" + not_written + save},
      {"log lacks the commit", true, false, false,
       "(TARVIC) Error writing redo-log-file '" + path + "'!\n(TARVIC) " + std::strerror(ENOSPC) +
           "\n" + corrupted + save},
  };
  int committed = 0;
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(dir);
    if (!c.dir_missing) home_.dir().MakeDir("Tarvic.dat/DB");
    if (c.file_is_dir) std::filesystem::create_directories(path + "/keep");
    if (c.log_before) {
      ASSERT_EQ(Run(TXN_Begin), "1");
      Append("Dabc");
      ASSERT_EQ(Run(TXN_End), "1");
      ++committed;
    }
    ASSERT_EQ(Run(TXN_Begin), "1");
    Append("Dxyz");
    PLATFORM_FaultResetForTest();
    if (c.log_before) PLATFORM_FaultAt(PLATFORM_FAULT_WRITE, 1, PLATFORM_FAULT_ONCE);
    testing::internal::CaptureStderr();
    EXPECT_EQ(Run(TXN_End), "1");
    PLATFORM_FaultResetForTest();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected);
    EXPECT_EQ(CATALOG_Engine().dbs[0].committed_ts, ++committed);
    EXPECT_TRUE(CATALOG_Conn(1)->redo.empty());
    // The log on disk is as it was.
    if (c.log_before) {
      EXPECT_EQ(Log(), Record("Dabc"));
    }
    CATALOG_Conn(1)->redo_path.clear();
  }
  std::filesystem::remove_all(dir);
  EXPECT_FALSE(Redo_Delete("DB", ""));
}

// The replay's engine entry: records each message and answers '0' for a
// message starting with 'E'.
std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}
void Recorder(int conn_id, const unsigned char* msg, int length) {
  Calls().push_back(std::to_string(conn_id) + ":" +
                    std::string(reinterpret_cast<const char*>(msg), length));
  REPLY_Reset();
  if (msg[0] == 'E') {
    REPLY_Error("refused");
  } else {
    REPLY_Success();
  }
}

TEST_F(RedoLogTest, ReplayRunsEveryRecordInsideOneTransaction) {
  Bytes log = Record("Dabc");
  for (unsigned char b : Record("Gw")) log.push_back(b);
  ASSERT_TRUE(PLATFORM_WriteFile(REDO_Path("DB").c_str(), log.data(), log.size()));
  Calls().clear();
  REDO_Replay("DB", Recorder);
  const std::string connect = std::string("0:1a\x03\x00", 6) + std::string("DB\0", 3);
  EXPECT_EQ(Calls(),
            (std::vector<std::string>{connect, "0:J", "0:Dabc", "0:Gw", "0:K", "0:R", "0:2"}));

  Calls().clear();
  REDO_Replay("NODB", Recorder);
  EXPECT_TRUE(Calls().empty());
}

TEST_F(RedoLogTest, ReplayEndsTheProcessOnAFailingOrDamagedRecord) {
  const std::string path = REDO_Path("DB");
  const std::string message =
      "\\(TARVIC1\\) Redo-log '" + path + "' cannot be executed!\n  \\(delete it to continue\\)";
  struct Case {
    const char* what;
    Bytes log;
  };
  Bytes cut = Record("Dabc");
  cut.pop_back();
  const Case cases[] = {
      {"failing statement", Record("Eabc")}, {"cut short", cut}, {"no length", {1, 0}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(PLATFORM_WriteFile(path.c_str(), c.log.data(), c.log.size()));
    EXPECT_EXIT(REDO_Replay("DB", Recorder), testing::ExitedWithCode(1), message);
  }
}

}  // namespace
