// Tests of the definition file text: the writer's exact bytes and the
// reader's refusals with their messages.
#include "engine/catalog/deffile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
