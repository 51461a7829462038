// Tests of CONNECT, DISCONNECT and SET DATABASE, run through process_sql.
#include "engine/statements/connect.h"

#include <cstring>
#include <string>

#include "client/message.h"
#include "engine/catalog/catalog.h"
#include "engine/catalog/deffile.h"
#include "engine/tables/transaction.h"
#include "platform/files.h"
#include "support/engine_fixture.h"

namespace {

class ConnectTest : public EngineTest {
 protected:
  // A database read from a definition text, its tables not loaded yet.
  static void DefineDb(const char* name, const char* text) {
    ASSERT_EQ(Def_Parse(name, reinterpret_cast<const unsigned char*>(text),
                        static_cast<int>(std::strlen(text))),
              1);
  }

  // Gives table T1 of `db` a data file whose row size it does not have.
  void DamageT1(const char* db) {
    const std::string dir = home_.DataDir();
    (void)PLATFORM_MakeDirectory(dir.c_str());
    ASSERT_EQ(PLATFORM_WriteFile((dir + "/" + db + ".def").c_str(), "", 0), 1);
    ASSERT_EQ(PLATFORM_MakeDirectory((dir + "/" + db).c_str()), 1);
    const unsigned char bytes[] = {'#', '#', 99, 0, 0, 0};
    ASSERT_EQ(PLATFORM_WriteFile((dir + "/" + db + "/T1.dat").c_str(), bytes, sizeof bytes), 1);
  }
};

TEST_F(ConnectTest, ConnectRefusesMissingAndUnknownDatabases) {
  EXPECT_EQ(EngineSendNames(1, '1', {}), "(CONNECT) Database-name missing\n");
  DBquery_reset();
  DBquery_addcmd('1');
  DBquery_addtokstring('f', "DB1");
  EXPECT_EQ(EngineSend(1),
            "(CONNECT) Database-name missing\nSyntax error: <identifier value> expected (found "
            "<string value>)");
  EXPECT_EQ(EngineSendNames(1, '1', {"NOPE"}), "(CONNECT) Database 'NOPE' not found!");
  EXPECT_EQ(CATALOG_Engine().conn_count, 0);
}

TEST_F(ConnectTest, EveryConnectTakesASlotUpToFifteen) {
  DefineDb("DB1", "");
  ASSERT_EQ(EngineSendNames(5, '1', {"DB1"}), "OK");
  ASSERT_EQ(EngineSendNames(5, '1', {""}), "OK");
  EXPECT_EQ(CATALOG_Engine().conn_count, 2);
  // Requests of Conn_Id 5 use its first slot, which has DB1 selected.
  EXPECT_EQ(CATALOG_Conn(5)->database, 0);
  for (int i = 2; i < 15; ++i) ASSERT_EQ(EngineSendNames(100 + i, '1', {""}), "OK");
  EXPECT_EQ(EngineSendNames(200, '1', {"DB1"}),
            "(CONNECT) No more connections available (DB_MAXCONNS = 15)!");
  EXPECT_EQ(CATALOG_Engine().conn_count, 15);
}

TEST_F(ConnectTest, DisconnectAnswersTheSameForKnownAndUnknownConnections) {
  DefineDb("DB1", "");
  ASSERT_EQ(EngineSendNames(1, '1', {"DB1"}), "OK");
  ASSERT_EQ(EngineSendNames(2, '1', {"DB1"}), "OK");
  EXPECT_EQ(EngineSendNames(9, '2', {}), "<5C>");
  EXPECT_EQ(CATALOG_Engine().conn_count, 2);
  EXPECT_EQ(EngineSendNames(1, '2', {}), "<5C>");
  ASSERT_EQ(CATALOG_Engine().conn_count, 1);
  EXPECT_EQ(CATALOG_Engine().conns[0].conn_id, 2);
  EXPECT_EQ(CATALOG_Conn(1), nullptr);
}

TEST_F(ConnectTest, DisconnectAndSetDatabaseUndoTheOpenTransaction) {
  DefineDb("DB1", "T1(0);[AB,2,0];;;");
  DefineDb("DB2", "");
  for (char letter : {'2', 'X'}) {
    SCOPED_TRACE(letter);
    ASSERT_EQ(EngineSendNames(1, '1', {"DB1"}), "OK");
    ASSERT_EQ(EngineSendBytes(1, {'J'}), "OK");
    DBCONN* conn = CATALOG_Conn(1);
    DBTABLE* t1 = EngineTable("DB1", "T1");
    RowPool_NewSlot(&t1->rows, conn->trans_ts);
    ASSERT_EQ(Trans_RecordTable(conn, TRANS_INSERTED, t1), 1);
    EngineSendNames(1, letter, {"DB2"});
    EXPECT_EQ(t1->rows.head, -1);  // the inserted row is gone
    EXPECT_EQ(CATALOG_Engine().dbs[0].committed_ts, 0);
    EngineSendNames(1, '2', {});
  }
}

TEST_F(ConnectTest, SetDatabaseSelectsAndResetsTheConnection) {
  DefineDb("DB1", "");
  DefineDb("DB2", "");
  EXPECT_EQ(EngineSendNames(4, 'X', {"DB2"}), "(SET DATABASE) Conn_Id 4 not found\n");
  ASSERT_EQ(EngineSendNames(4, '1', {"DB1"}), "OK");
  EXPECT_EQ(EngineSendNames(4, 'X', {}), "(SET DATABASE) database-name is missing\n");
  EXPECT_EQ(EngineSendNames(4, 'X', {"NOPE"}), "(SET DATABASE) Database 'NOPE' not found!");
  DBCONN* conn = CATALOG_Conn(4);
  conn->max_rows = 5;
  conn->redo_path = "elsewhere";
  ASSERT_EQ(EngineSendNames(4, 'X', {"DB2"}), "OK");
  EXPECT_EQ(conn->database, 1);
  EXPECT_EQ(conn->max_rows, 30000);
  EXPECT_TRUE(conn->redo_path.empty());
  EXPECT_EQ(conn->trans_ts, -1);
}

TEST_F(ConnectTest, SelectingADatabaseLoadsItsTables) {
  DefineDb("DB1", "T1(0);[AB,2,0];;;T2(1);[AB,2,0];;;");
  ASSERT_EQ(EngineTable("DB1", "T1")->loaded, '0');
  const std::string dir = home_.DataDir();
  ASSERT_EQ(PLATFORM_MakeDirectory(dir.c_str()), 1);
  ASSERT_EQ(PLATFORM_MakeDirectory((dir + "/DB1").c_str()), 1);
  testing::internal::CaptureStderr();
  ASSERT_EQ(EngineSendNames(1, '1', {"DB1"}), "OK");
  // The static table has no data file yet: it starts empty.
  EXPECT_NE(testing::internal::GetCapturedStderr().find("T2.dat"), std::string::npos);
  EXPECT_EQ(EngineTable("DB1", "T1")->loaded, '1');
  EXPECT_EQ(EngineTable("DB1", "T2")->loaded, '1');
}

TEST_F(ConnectTest, ATableThatCannotBeLoadedRefusesTheDatabase) {
  DefineDb("DB3", "T1(1);[AB,2,0];;;");
  DamageT1("DB3");
  DefineDb("DB1", "");
  testing::internal::CaptureStderr();
  EXPECT_EQ(EngineSendNames(1, '1', {"DB3"}),
            "(CONNECT) Data of table 'T1' in database 'DB3' could not be loaded!");
  EXPECT_EQ(CATALOG_Engine().conn_count, 0);
  ASSERT_EQ(EngineSendNames(1, '1', {"DB1"}), "OK");
  EXPECT_EQ(EngineSendNames(1, 'X', {"DB3"}),
            "(SET DATABASE) Data of table 'T1' in database 'DB3' could not be loaded!");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(CATALOG_Conn(1)->database, 1);
}

}  // namespace
