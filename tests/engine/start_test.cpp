// Tests of engine start-up: the memory limit rule, and (in child
// processes, since a started engine ends every run itself) the start and
// the exit handling.
#include "engine/start.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/report.h"
#include "platform/signals.h"
#include "platform/system.h"
#include "support/engine_fixture.h"

namespace {

TEST(START, ResultMemoryIsATenthOfMemoryPlusSwap) {
  struct Case {
    int64_t total;
    int64_t limit;
  };
  constexpr Case kCases[] = {
      {0, 25165824},
      {-1, 25165824},
      {8388607, 25165824},  // below 8 MiB keeps the initial limit
      {8388608, 8388608},   // a tenth would be below 8 MiB
      {83886080, 8388608},
      {83886090, 8388609},
      {int64_t{20} << 30, int64_t{2147483648}},  // beyond 32 bits stays whole
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.total);
    EXPECT_EQ(START_ResultMemoryFor(c.total), c.limit);
  }
}

constexpr char kBanner[] = "Tarvic-SQL-database 2\\.0\\.1 \\(12\\.07\\.2003\\)\n\n";
constexpr char kKaspoDef[] =
    "KASPO(0);[KASPO_ID,0,8,0][FILENAME,0,80,0][DESCRIPTION,0,160,0][SIZE,2,0]"
    "[COMPRESSED,0,1,0];;XKASPO01(KASPO_ID);";

void WriteText(const std::string& path, const std::string& text) {
  ASSERT_EQ(PLATFORM_WriteFile(path.c_str(), text.data(), text.size()), 1) << path;
}

// Runs SQL text in the started engine (inside a child process); reports a
// refusal on standard error, where the parent's pattern will miss it.
void Sql(int conn, const char* sql) {
  if (EngineSendSql(conn, sql) != "OK") DBreport("refused: %s\n", sql);
}

// Each test gets a fresh directory for HOME and, where it wants one,
// TARVIC_PATH. A started engine ends its process itself (always with exit
// status 1), so every start runs in a death-test child.
class StartupDeathTest : public testing::Test {
 protected:
  // Points TARVIC_PATH at the test directory and makes the data directory
  // of the engine name Tarvic.
  std::string UseTarvicPath() {
    tarvic_.emplace("TARVIC_PATH", dir_.c_str());
    std::string data = dir_ + "/Tarvic.dat";
    EXPECT_EQ(PLATFORM_MakeDirectory(data.c_str()), 1);
    return data;
  }

  ScratchDir scratch_;
  const std::string dir_ = scratch_.path();
  ScopedEnv home_{"HOME", dir_.c_str()};
  std::optional<ScopedEnv> tarvic_{std::in_place, "TARVIC_PATH", nullptr};
};

TEST_F(StartupDeathTest, EmptyEngineNameReadsNothingButWritesBelowHome) {
  // A definition file the start would refuse, were it read.
  ASSERT_EQ(PLATFORM_MakeDirectory((dir_ + "/.dat").c_str()), 1);
  WriteText(dir_ + "/.dat/BAD.def", "garbage");
  const std::string def = dir_ + "/.dat/KASPODB.def";
  EXPECT_EXIT(
      {
        CATALOG_ResetForTest();
        const int ok = Tarvic1_Init("", "KASPODB");
        DBreport("init=%d dbs=%d written=%d\n", ok, CATALOG_Engine().db_count,
                 PLATFORM_Exists(def.c_str()) ? 1 : 0);
        Sql(1, "CREATE TABLE T1 (AB INTEGER);");  // no connection yet
        EngineSendNames(1, '1', {"KASPODB"});
        Sql(1,
            "CREATE TABLE KASPO (KASPO_ID CHARACTER(8), FILENAME CHARACTER(80), "
            "DESCRIPTION CHARACTER(160), SIZE INTEGER, COMPRESSED CHARACTER(1));");
        Sql(1, "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID);");
        PLATFORM_Exit(0);
      },
      testing::ExitedWithCode(1),
      std::string("^") + kBanner + "init=1 dbs=1 written=0\nrefused: CREATE TABLE T1[^\n]*\n$");
  EXPECT_EQ(FileText(def), kKaspoDef);
}

TEST_F(StartupDeathTest, InvalidDefinitionDataEndsTheStart) {
  const std::string data = UseTarvicPath();
  struct Case {
    const char* text;
    const char* pattern;  // what precedes the start-up message
  };
  constexpr Case kCases[] = {
      {"KA(0)[AB,2,0];;;", ""},
      {"KA(0);[AB,Z,0];;;", "\\(TARVIC\\) \\(CREATE TABLE\\) Syntax error: illegal data-type\n"},
      {"KA(0);[AB,2,0];IX(CD);;",
       "\\(TARVIC\\) \\(CREATE INDEX\\) Attribute 'CD' does not "
       "exist in table 'KA'\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    WriteText(data + "/KASPODB.def", c.text);
    EXPECT_EXIT(
        {
          CATALOG_ResetForTest();
          (void)Tarvic1_Init("Tarvic", "KASPODB");
          DBreport("started\n");
          PLATFORM_QuickExit(0);
        },
        testing::ExitedWithCode(1),
        std::string("^") + c.pattern + "\\(TARVIC1\\) Invalid database-definition data\n$");
  }
}

TEST_F(StartupDeathTest, DefinitionFilesAreReadAndTheDefaultDatabaseUsed) {
  const std::string data = UseTarvicPath();
  WriteText(data + "/KASPODB.def", kKaspoDef);
  WriteText(data + "/A.B.def", "");
  WriteText(data + "/UPPER.DEF", "garbage");
  EXPECT_EXIT(
      {
        CATALOG_ResetForTest();
        const int ok = Tarvic1_Init("Tarvic", "KASPODB");
        ENGINE& engine = CATALOG_Engine();
        DBTABLE* kaspo = nullptr;
        int pos = 0;
        const int found = CATALOG_FindDatabase("A.B", &pos) &&
                          CATALOG_FindDatabase("KASPODB", &pos) &&
                          CATALOG_FindTable(&engine.dbs[pos], "KASPO", &kaspo, nullptr);
        PLATFORM_MEMORY memory{};
        const int64_t limit = START_ResultMemoryFor(
            PLATFORM_MemoryStatus(&memory) ? memory.physical_bytes + memory.swap_bytes : 0);
        DBreport("init=%d dbs=%d found=%d loaded=%c startup=%d limit=%d\n", ok, engine.db_count,
                 found, found ? kaspo->loaded : '-', engine.startup,
                 engine.result_memory_limit == limit ? 1 : 0);
        PLATFORM_QuickExit(0);
      },
      testing::ExitedWithCode(0),
      std::string("^") + kBanner + "init=1 dbs=2 found=1 loaded=0 startup=0 limit=1\n$");
}

TEST_F(StartupDeathTest, StartReplaysAndRemovesRedoLogs) {
  const std::string data = UseTarvicPath();
  WriteText(data + "/DB1.def", "T1(0);[AB,2,0];;;");
  ASSERT_EQ(PLATFORM_MakeDirectory((data + "/DB1").c_str()), 1);
  const std::string log = data + "/DB1/redo.log";
  WriteText(log, "");
  EXPECT_EXIT(
      {
        CATALOG_ResetForTest();
        const int ok = Tarvic1_Init("Tarvic", "");
        DBreport("init=%d conns=%d\n", ok, CATALOG_Engine().conn_count);
        PLATFORM_QuickExit(0);
      },
      testing::ExitedWithCode(0), std::string("^") + kBanner + "init=1 conns=0\n$");
  EXPECT_FALSE(PLATFORM_Exists(log.c_str()));
  // A record that cannot be executed stops the start.
  const unsigned char record[] = {1, 0, 0, 0, 'W'};
  ASSERT_EQ(PLATFORM_WriteFile(log.c_str(), record, sizeof record), 1);
  EXPECT_EXIT(
      {
        CATALOG_ResetForTest();
        (void)Tarvic1_Init("Tarvic", "");
        PLATFORM_QuickExit(0);
      },
      testing::ExitedWithCode(1), "\\(TARVIC1\\) Redo-log '.*redo.log' cannot be executed!\n");
}

TEST_F(StartupDeathTest, EveryEndAfterTheStartSavesAndExitsWithStatusOne) {
  const std::string data = UseTarvicPath();
  const std::string table_file = data + "/DB1/T1.dat";
  EXPECT_EXIT(
      {
        CATALOG_ResetForTest();
        (void)Tarvic1_Init("Tarvic", "DB1");
        Sql(1, "CREATE TABLE T1 (AB INTEGER);");  // before CONNECT: refused
        EngineSendNames(1, '1', {"DB1"});
        Sql(1, "CREATE TABLE T1 (AB INTEGER);");
        Sql(1, "SET TABLE T1 STATIC;");
        (void)PLATFORM_RemoveFile(table_file.c_str());
        PLATFORM_Exit(0);
      },
      testing::ExitedWithCode(1), "refused: CREATE TABLE T1[^\n]*\n$");
  // The exit handling wrote the static table again.
  EXPECT_TRUE(PLATFORM_IsRegularFile(table_file.c_str()));
  EXPECT_EQ(FileText(data + "/DB1.def"), "T1(1);[AB,2,0];;;");
}

// An end signal only records the request, with its message at once; the
// exit handling runs where the program notices it. A second one adds
// nothing. A fault cannot be returned to: its message, then the end.
TEST_F(StartupDeathTest, SignalsRecordTheEndAndFaultsEndAtOnce) {
  struct Case {
    int signal;
    bool fault;
    const char* message;
  };
  constexpr Case kCases[] = {
      {SIGINT, false, ""},
      {SIGTERM, false, "\\(TARVICDB\\) Abnormal termination\n"},
      {SIGHUP, false, "\\(TARVICDB\\) Abnormal termination\n"},
      {SIGQUIT, false, "\\(TARVICDB\\) Abnormal termination\n"},  // the break key
      {SIGILL, true, "\\(TARVICDB\\) Abnormal termination\n"},
      {SIGABRT, true, "\\(TARVICDB\\) Abnormal termination\n"},
      {SIGFPE, true, "\\(TARVICDB\\) Abnormal termination \\(Floating point exception\\)\n"},
      {SIGSEGV, true, "\\(TARVICDB\\) Abnormal termination \\(Segmentation fault\\)\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.signal);
    EXPECT_EXIT(
        {
          CATALOG_ResetForTest();
          (void)Tarvic1_Init("", "");
          std::raise(c.signal);
          DBreport("noted %d\n", PLATFORM_EndRequested());
          std::raise(SIGTERM);
          PLATFORM_EndIfRequested();
          DBreport("survived\n");
        },
        testing::ExitedWithCode(1),
        std::string("^") + kBanner + c.message +
            (c.fault ? "" : "noted " + std::to_string(c.signal) + "\n") + "$");
  }
}

}  // namespace
