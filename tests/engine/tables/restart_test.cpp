// A SECURE table across a crash: committed changes reach only the redo log
// while the process runs; a process that ends without saving leaves the
// log, and the next start replays it, writes the table and removes the log.
// Each run of the engine is a child process (a started engine ends every
// process itself) whose data directory lies in a temporary directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "engine/types/values.h"
#include "platform/files.h"
#include "platform/process.h"
#include "support/engine_fixture.h"

namespace {

// Runs each statement; the first reply other than "OK" or a count ends the
// child with status 2.
void Run(DBCONNECTION* conn, std::initializer_list<const char*> statements) {
  for (const char* sql : statements) {
    DBRESULTPTR result = DBexec(conn, sql);
    if (result->status == DBRES_COMMAND_OK) continue;
    std::fprintf(stderr, "'%s' gave '%s'\n", sql, result->error.c_str());
    PLATFORM_QuickExit(2);
  }
}

// The first run: rows in committed transactions, one transaction left
// open, and an end without saving.
void RunAndCrash(const std::string& base) {
  StartEngineInChild(base, "Tarvic", "");
  std::unique_ptr<DBCONNECTION> conn = DBconnect("RDB", 1);
  Run(conn.get(), {"CREATE TABLE R1 (KK CHARACTER(8) NOT NULL, NN INTEGER)",
                   "CREATE UNIQUE INDEX XR1 ON R1 (KK)", "SET TABLE R1 SECURE", "BEGIN",
                   "INSERT INTO R1 VALUES ('aa', 1)", "INSERT INTO R1 VALUES ('bb', 2)",
                   "INSERT INTO R1 VALUES ('cc', 3)"});
  DBquery_reset();
  DBquery_addcmd('D');
  DBquery_addtokstring('a', "R1");
  DBquery_addtokdata(DBTYPE_CHARACTER, "dd", 3);
  const int32_t four = 4;
  DBquery_addtokdata(DBTYPE_INTEGER, &four, 4);
  if (DBexecmsg(conn.get())->status != DBRES_COMMAND_OK) PLATFORM_QuickExit(2);
  Run(conn.get(),
      {"COMMIT", "BEGIN", "UPDATE R1 SET NN = 30 WHERE KK = 'cc'", "DELETE FROM R1 WHERE KK = 'bb'",
       "COMMIT", "BEGIN", "INSERT INTO R1 VALUES ('ee', 5)"});
  PLATFORM_QuickExit(3);
}

void Restart(const std::string& base) {
  StartEngineInChild(base, "Tarvic", "");
  PLATFORM_Exit(0);  // the engine's exit handling turns every end into 1
}

// "KK=NN," per row of R1's data file, sorted. Its rows follow "##" and the
// row size; KK CHARACTER(8) takes bytes 0..8, NN INTEGER bytes 12..15.
std::string DataFileRows(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!PLATFORM_ReadFile(path.c_str(), &bytes) || bytes.size() < 6) return "no file";
  std::vector<std::string> rows;
  for (size_t at = 6; at + 16 <= bytes.size(); at += 16) {
    std::string key(reinterpret_cast<const char*>(&bytes[at]));
    int32_t value = 0;
    std::memcpy(&value, &bytes[at + 12], 4);
    rows.push_back(key.substr(0, key.find(' ')) + "=" + std::to_string(value) + ",");
  }
  std::sort(rows.begin(), rows.end());
  std::string text;
  for (const std::string& row : rows) text += row;
  return text;
}

TEST(RestartDeathTest, CommittedRowsOfASecureTableSurviveACrash) {
  ScratchDir dir;
  const std::string db_dir = dir.path() + "/Tarvic.dat/RDB";
  const std::string log = db_dir + "/redo.log";

  EXPECT_EXIT(RunAndCrash(dir.path()), testing::ExitedWithCode(3), "");
  EXPECT_TRUE(PLATFORM_Exists(log.c_str()));
  EXPECT_EQ(DataFileRows(db_dir + "/R1.dat"), "") << "the rows reached only the log";

  EXPECT_EXIT(Restart(dir.path()), testing::ExitedWithCode(1), "");
  EXPECT_FALSE(PLATFORM_Exists(log.c_str()));
  EXPECT_EQ(DataFileRows(db_dir + "/R1.dat"), "aa=1,cc=30,dd=4,");

  // A second restart finds no log and keeps the rows as they are.
  EXPECT_EXIT(Restart(dir.path()), testing::ExitedWithCode(1), "");
  EXPECT_EQ(DataFileRows(db_dir + "/R1.dat"), "aa=1,cc=30,dd=4,");
}

}  // namespace
