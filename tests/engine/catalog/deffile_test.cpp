// Tests of definition files: the reader's refusals with their messages, and
// the round trip between a file and the catalogue.
#include "engine/catalog/deffile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "platform/files.h"
#include "support/engine_fixture.h"

namespace {

TEST(DEFFILE, RefusesDamagedTextWithItsMessage) {
  struct Case {
    const char* text;
    const char* message;  // an item name, or the whole message
  };
  const std::string long_name = std::string(32, 'N') + "(0);[AB,2,0];;;";
  const Case cases[] = {
      {"KASPO", "table-name"},
      {"K(0);[AB,2,0];;;", "table-name"},
      {long_name.c_str(), "table-name"},
      {"KA(01);[AB,2,0];;;", "table static"},
      {"KA(0);[AB,2,0];;;KA(0);[AB,2,0];;;", "(TARVIC) (CREATE TABLE) Table 'KA' already exists\n"},
      {"KA(0);[AB,Z,0];;;", "(TARVIC) (CREATE TABLE) Syntax error: illegal data-type\n"},
      {"KA(0);[AB0];;;", "attrib-name"},
      {"KA(0);[A/B,2,0];;;", "attrib-name"},
      {"KA(0);[AB,0];;;", "attrib-type"},
      {"KA(0);[AB,0,x,0];;;", "attrib-size"},
      {"KA(0);[AB,0,0,0];;;", "attrib-size"},
      {"KA(0);[AB,\xA6,32766,0];;;", "attrib-size"},
      {"KA(0);[AB,2,0;;;", "attrib-notnull"},
      {"KA(0);[AB,2,0];IX", "index-name"},
      {"KA(0);[AB,2,0];;IX", "unique index-name"},
      {"KA(0);[AB,2,0];IX(AB", "attrib-name"},
      {"KA(0);[AB,2,0];IX(CD);;",
       "(TARVIC) (CREATE INDEX) Attribute 'CD' does not exist in table 'KA'\n"},
      {"KA(0);[AB,2,0];;IX(CD);",
       "(TARVIC) (CREATE UNIQUE INDEX) Attribute 'CD' not found in table 'KA'\n"},
      {"KA(0);[AB,2,0];IX(AB);IX(AB);",
       "(TARVIC) (CREATE UNIQUE INDEX) Index 'IX' already exists\n"},
      {"KA(0);[AB,2,0];IX(AB);;KB(0);[AB,2,0];IX(AB);;",
       "(TARVIC) (CREATE INDEX) Index 'IX' already exists\n"},
      // Misplaced separators fail without a message of their own.
      {"KA(0)[AB,2,0];;;", ""},
      {"KA(0);;;;", ""},
      {"KA(0);[AB,2,0]", ""},
      {"KA(0);[AB,2,0]X;;", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<DEFTABLE> read;
    testing::internal::CaptureStderr();
    EXPECT_EQ(DEFFILE_ParseText(c.text, &read), 0);
    std::string want = c.message;
    if (!want.empty() && want[0] != '(') {
      want = "(TARVIC) Syntax error in DB-definition: '" + want + "' expected\n";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), want);
  }
}

TEST(DEFFILE, KeepsAnUnknownKindAndAcceptsAnEmptyFile) {
  std::vector<DEFTABLE> read;
  ASSERT_EQ(DEFFILE_ParseText("KA(3);[AB,2,0];;;", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].kind, '3');
  EXPECT_EQ(DEFFILE_Format(read), "KA(3);[AB,2,0];;;");
  ASSERT_EQ(DEFFILE_ParseText("", &read), 1);
  EXPECT_TRUE(read.empty());
}

class DefCatalogTest : public EngineTest {
 protected:
  static int Parse(const char* name, const std::string& text) {
    return Def_Parse(name, reinterpret_cast<const unsigned char*>(text.data()),
                     static_cast<int>(text.size()));
  }
  void Write(const std::string& file, const std::string& text) {
    ASSERT_EQ(PLATFORM_WriteFile((data_ + "/" + file).c_str(), text.data(), text.size()), 1);
  }

  const std::string data_ = home_.DataDir();
};

TEST_F(DefCatalogTest, WritesBackWhatItRead) {
  const std::string text =
      "BLOBJ(2);[BLOBJ_ID,0,8,0][FK_ID,0,8,0][FK_TABLE,1,0][ITEMNUMBER,1,0]"
      "[COMPRDATA,\xA6,4000,0][COMPRESSED,0,1,1];XB2(FK_ID)(FK_TABLE);XBLOBJ01(BLOBJ_ID);"
      "T3(3);[WHEN,6,0];;;";
  ASSERT_EQ(Parse("DB1", text), 1);
  DBDATABASE* db = &CATALOG_Engine().dbs[0];
  DBTABLE* blobj = nullptr;
  DBATTRIB* fk = nullptr;
  ASSERT_EQ(CATALOG_FindTable(db, "BLOBJ", &blobj, nullptr), 1);
  EXPECT_EQ(blobj->rows.row_size, 4030);
  EXPECT_EQ(blobj->loaded, '0');
  EXPECT_EQ(blobj->secure, '1');
  ASSERT_EQ(CATALOG_FindAttrib(blobj, "FK_ID", &fk, nullptr), 1);
  EXPECT_NE(fk->list, nullptr);  // an empty value list for the index
  ASSERT_EQ(Def_Write(db), 1);
  EXPECT_EQ(FileText(data_ + "/DB1.def"), text);
  EXPECT_TRUE(PLATFORM_IsDirectory((data_ + "/DB1").c_str()));
  EXPECT_FALSE(PLATFORM_Exists((data_ + "/DB1.def.tmp").c_str()));
}

TEST_F(DefCatalogTest, RefusesADatabaseThatCannotBeAdded) {
  ASSERT_EQ(Parse("DB1", ""), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse("DB1", ""), 0);
  EXPECT_EQ(Parse("..", ""), 0);
  EXPECT_EQ(Parse("DB2", "KA(0);[AB,Z,0];;;"), 0);
  for (int i = 2; i <= 15; ++i) ASSERT_EQ(Parse(("DB" + std::to_string(i)).c_str(), ""), 1);
  EXPECT_EQ(Parse("DB16", ""), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVIC) (CREATE DATABASE) Database 'DB1' exists!\n"
            "(TARVIC) Syntax error in DB-definition: 'database-name' expected\n"
            "(TARVIC) (CREATE TABLE) Syntax error: illegal data-type\n"
            "(TARVIC) (CREATE DATABASE) No more databases available (DB_MAXDBS = 15)!\n");
  EXPECT_EQ(CATALOG_Engine().db_count, 15);
}

TEST_F(DefCatalogTest, ReadsOnlyLowerCaseDefFilesUpToAByteFF) {
  EXPECT_EQ(Def_ReadAll(), 1);  // no data directory: nothing to read
  ASSERT_EQ(PLATFORM_MakeDirectory(data_.c_str()), 1);
  Write("A.B.def", std::string("T1(0);[AB,2,0];;;\xFFgarbage"));
  Write("C.DEF", "garbage");
  Write("D.def.tmp", "garbage");
  ASSERT_EQ(Def_ReadAll(), 1);
  ASSERT_EQ(CATALOG_Engine().db_count, 1);
  EXPECT_STREQ(CATALOG_Engine().dbs[0].name, "A.B");
  CATALOG_ResetForTest();
  Write("E.def", "garbage");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Def_ReadAll(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVIC) Syntax error in DB-definition: 'table-name' expected\n");
}

}  // namespace
