// Tests of the definition file text: the writer's exact bytes and the
// reader's refusals with their messages.
#include "engine/catalog/deffile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "platform/files.h"

namespace {

DEFTABLE KaspoTable() {
  DEFTABLE t;
  t.name = "KASPO";
  t.attribs = {{"KASPO_ID", '0', 8, '0'},
               {"FILENAME", '0', 80, '0'},
               {"DESCRIPTION", '0', 160, '0'},
               {"SIZE", '2', 0, '0'},
               {"COMPRESSED", '0', 1, '0'}};
  t.uniques = {{"XKASPO01", {"KASPO_ID"}}};
  return t;
}

constexpr char kKaspoText[] =
    "KASPO(0);[KASPO_ID,0,8,0][FILENAME,0,80,0][DESCRIPTION,0,160,0]"
    "[SIZE,2,0][COMPRESSED,0,1,0];;XKASPO01(KASPO_ID);";

TEST(DEFFILE, WritesTheItemTableExactly) {
  EXPECT_EQ(DEFFILE_Format({KaspoTable()}), kKaspoText);
}

TEST(DEFFILE, WritesKindOfStaticAndSecureTables) {
  DEFTABLE t = KaspoTable();
  t.kind = '1';
  EXPECT_EQ(DEFFILE_Format({t}).substr(0, 9), "KASPO(1);");
  t.secure = '1';
  EXPECT_EQ(DEFFILE_Format({t}).substr(0, 9), "KASPO(2);");
}

TEST(DEFFILE, WritesBinaryTypeAsItsCodeByte) {
  DEFTABLE t;
  t.name = "BLOBJ";
  t.attribs = {{"COMPRDATA", 0xA6, 4000, '0'}};
  t.indexes = {{"XB", {"COMPRDATA", "COMPRDATA"}}};
  std::string expected = "BLOBJ(0);[COMPRDATA,\xA6,4000,0];XB(COMPRDATA)(COMPRDATA);;";
  EXPECT_EQ(DEFFILE_Format({t}), expected);
}

TEST(DEFFILE, ReadsWhatItWrites) {
  DEFTABLE a = KaspoTable();
  a.kind = '1';
  a.secure = '1';
  DEFTABLE b;
  b.name = "BLOBJ";
  b.attribs = {{"FK_ID", '0', 8, '1'}, {"DATA", 0xA6, 4000, '0'}, {"WHEN", '6', 0, '0'}};
  b.indexes = {{"XB1", {"FK_ID", "WHEN"}}, {"XB2", {"WHEN"}}};
  std::string text = DEFFILE_Format({a, b});
  std::vector<DEFTABLE> read;
  ASSERT_EQ(DEFFILE_ParseText(text, &read), 1);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[0].kind, '1');
  EXPECT_EQ(read[0].secure, '1');
  EXPECT_EQ(read[1].attribs[1].type, 0xA6);
  EXPECT_EQ(read[1].attribs[1].length, 4000);
  EXPECT_EQ(read[1].attribs[0].not_null, '1');
  ASSERT_EQ(read[1].indexes.size(), 2u);
  EXPECT_EQ(read[1].indexes[0].attribs, (std::vector<std::string>{"FK_ID", "WHEN"}));
  EXPECT_EQ(DEFFILE_Format(read), text);
}

TEST(DEFFILE, KeepsAnUnknownKindAndAcceptsAnEmptyFile) {
  std::vector<DEFTABLE> read;
  ASSERT_EQ(DEFFILE_ParseText("KA(3);[AB,2,0];;;", &read), 1);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].kind, '3');
  EXPECT_EQ(read[0].secure, '0');
  ASSERT_EQ(DEFFILE_ParseText("", &read), 1);
  EXPECT_TRUE(read.empty());
}

TEST(DEFFILE, RefusesDamagedTextWithItsMessage) {
  struct Case {
    const char* text;
    const char* message;  // what the reader reports on standard error
  };
  constexpr char kItem[] = "(TARVIC) Syntax error in DB-definition: '";
  const std::string name32(32, 'N');
  const std::string long_name = name32 + "(0);[AB,2,0];;;";
  const Case cases[] = {
      {"KASPO", "table-name"},
      {"K(0);[AB,2,0];;;", "table-name"},
      {long_name.c_str(), "table-name"},
      {"KA(01);[AB,2,0];;;", "table static"},
      {"KA(0);[AB,2,0];;;KA(0);[AB,2,0];;;",
       "(TARVIC) (CREATE TABLE) Table 'KA' already exists\n"},
      {"KA(0);[AB,Z,0];;;", "(TARVIC) (CREATE TABLE) Syntax error: illegal data-type\n"},
      {"KA(0);[AB0];;;", "attrib-name"},
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
    std::string err = testing::internal::GetCapturedStderr();
    std::string want = c.message;
    if (!want.empty() && want[0] != '(') want = kItem + want + "' expected\n";
    EXPECT_EQ(err, want);
  }
}

TEST(DEFFILE, AcceptsTheLengthBounds) {
  EXPECT_EQ(DEFFILE_LengthOk('0', 1), 1);
  EXPECT_EQ(DEFFILE_LengthOk('0', DEF_MAXCHARLENGTH), 1);
  EXPECT_EQ(DEFFILE_LengthOk('0', DEF_MAXCHARLENGTH + 1), 0);
  EXPECT_EQ(DEFFILE_LengthOk(0xA6, DEF_MAXBINLENGTH), 1);
  EXPECT_EQ(DEFFILE_LengthOk(0xA6, DEF_MAXBINLENGTH + 1), 0);
  EXPECT_EQ(DEFFILE_LengthOk(0xA6, 0), 0);
  EXPECT_EQ(DEFFILE_LengthOk('0', -5), 0);
}

}  // namespace

// ---------------------------------------------------------------------------
// The definition files of catalogue databases

namespace {

class DefCatalogTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp ? tmp : "/tmp") + "/defXXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    const char* old = std::getenv("TARVIC_PATH");
    if (old != nullptr) old_ = old;
    setenv("TARVIC_PATH", dir_.c_str(), 1);
    CATALOG_ResetForTest();
    data_ = dir_ + "/Tarvic.dat";
  }

  void TearDown() override {
    CATALOG_ResetForTest();
    if (old_) {
      setenv("TARVIC_PATH", old_->c_str(), 1);
    } else {
      unsetenv("TARVIC_PATH");
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  static int Parse(const char* name, const std::string& text) {
    return Def_Parse(name, reinterpret_cast<const unsigned char*>(text.data()),
                     static_cast<int>(text.size()));
  }

  void Write(const std::string& file, const std::string& text) {
    ASSERT_EQ(PLATFORM_WriteFile((data_ + "/" + file).c_str(), text.data(), text.size()), 1);
  }

  std::string dir_;
  std::string data_;
  std::optional<std::string> old_;
};

TEST_F(DefCatalogTest, WritesBackWhatItRead) {
  const std::string text =
      "BLOBJ(2);[BLOBJ_ID,0,8,0][FK_ID,0,8,0][FK_TABLE,1,0][ITEMNUMBER,1,0]"
      "[COMPRDATA,\xA6,4000,0][COMPRESSED,0,1,1];XB2(FK_ID)(FK_TABLE);XBLOBJ01(BLOBJ_ID);"
      "T3(3);[WHEN,6,0];;;";
  ASSERT_EQ(Parse("DB1", text), 1);
  DBDATABASE* db = &CATALOG_Engine().dbs[0];
  DBTABLE* blobj = nullptr;
  ASSERT_EQ(CATALOG_FindTable(db, "BLOBJ", &blobj, nullptr), 1);
  EXPECT_EQ(blobj->rows.row_size, 4030);
  EXPECT_EQ(blobj->loaded, '0');
  DBATTRIB* fk = nullptr;
  ASSERT_EQ(CATALOG_FindAttrib(blobj, "FK_ID", &fk, nullptr), 1);
  EXPECT_EQ(fk->index_count, 1);
  EXPECT_NE(fk->list, nullptr);
  ASSERT_EQ(Def_Write(db), 1);
  std::vector<unsigned char> bytes;
  ASSERT_EQ(PLATFORM_ReadFile((data_ + "/DB1.def").c_str(), &bytes), 1);
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
  EXPECT_TRUE(PLATFORM_IsDirectory((data_ + "/DB1").c_str()));
  EXPECT_FALSE(PLATFORM_Exists((data_ + "/DB1.def.tmp").c_str()));
}

TEST_F(DefCatalogTest, RefusesADatabaseThatCannotBeAdded) {
  ASSERT_EQ(Parse("DB1", ""), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse("DB1", ""), 0);
  EXPECT_EQ(Parse("..", ""), 0);
  EXPECT_EQ(Parse("DB2", "KA(0);[AB,Z,0];;;"), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVIC) (CREATE DATABASE) Database 'DB1' exists!\n"
            "(TARVIC) Syntax error in DB-definition: 'database-name' expected\n"
            "(TARVIC) (CREATE TABLE) Syntax error: illegal data-type\n");
  for (int i = 2; i <= 15; ++i) ASSERT_EQ(Parse(("DB" + std::to_string(i)).c_str(), ""), 1);
  testing::internal::CaptureStderr();
  EXPECT_EQ(Parse("DB16", ""), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
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
  ENGINE& engine = CATALOG_Engine();
  ASSERT_EQ(engine.db_count, 1);
  EXPECT_STREQ(engine.dbs[0].name, "A.B");
  DBTABLE* t1 = nullptr;
  EXPECT_EQ(CATALOG_FindTable(&engine.dbs[0], "T1", &t1, nullptr), 1);
  CATALOG_ResetForTest();
  Write("E.def", "garbage");
  testing::internal::CaptureStderr();
  EXPECT_EQ(Def_ReadAll(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(TARVIC) Syntax error in DB-definition: 'table-name' expected\n");
}

}  // namespace
