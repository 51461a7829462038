// Tests of table sections: the bytes a save writes, its limits, and how a
// load matches and converts the fields of a section whose layout differs
// from the program's. A small record module of the test stands in for
// KASPO and BLOBJ; the stand-in engine answers the transaction brackets.
#include "app/table_file_io.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/app_fake_engine.h"
#include "app/console.h"
#include "client/datelib.h"

namespace {
struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string Contents(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
  return text;
}

// The test's record: one field of each kind a section can carry.
struct TREC {
  RECORD_HEADER header;
  char name[11];
  char spare1;
  int32_t number;
  uint16_t bin_length;
  unsigned char bin[10];
  ADATI stamp;
  ATIME clock;
  char flag;
};
static_assert(sizeof(TREC) == 64 && offsetof(TREC, name) == 20 && offsetof(TREC, number) == 32 &&
              offsetof(TREC, bin_length) == 36 && offsetof(TREC, stamp) == 48 &&
              offsetof(TREC, clock) == 60 && offsetof(TREC, flag) == 63);

constexpr char kFields[] =
    "|Name,11,11,20|Number,4,4,32|Bin,18,12,36|Stamp,14,12,48|Clock,13,3,60|Flag,1,1,63";
const std::string kDescriptorText = std::string("7,64") + kFields;
const char* const kDescriptor = kDescriptorText.c_str();

void InitRec(RECORD_HEADER* r) {
  auto* rec = reinterpret_cast<TREC*>(r);
  std::memset(rec, 0, sizeof *rec);
  rec->header.size = sizeof *rec;
  rec->header.table_id = 7;
  rec->number = -1;
  std::memset(rec->bin, ' ', sizeof rec->bin);
  rec->flag = 'i';
}

struct Module {
  std::vector<TREC> inserted;
  int refuse_from = 1 << 30;  // inserts from this one on fail
  int rows = 0;               // rows the cursor delivers
  int fetched = 0;
  bool fetch_error_at_end = false;
  bool select_fails = false;
};
Module& Mod() {
  static Module m;
  return m;
}

int InsertRec(RECORD_HEADER* r, DBHANDLE*) {
  if (static_cast<int>(Mod().inserted.size()) >= Mod().refuse_from) return 0;
  Mod().inserted.push_back(*reinterpret_cast<TREC*>(r));
  return 1;
}
int SelectRec(RECORD_HEADER*, DBHANDLE*) {
  Mod().fetched = 0;
  return !Mod().select_fails;
}
// Fills a row whose fields leave stale bytes behind their values, as a
// record reused from row to row would.
int FetchRec(RECORD_HEADER* r, DBHANDLE*) {
  auto* rec = reinterpret_cast<TREC*>(r);
  if (Mod().fetched == Mod().rows) {
    if (Mod().fetch_error_at_end) dberror("lost the cursor\n");
    return 0;
  }
  const int k = Mod().fetched++;
  std::memcpy(rec->name, "abcdefghij", 11);
  rec->name[2 + k % 3] = '\0';
  rec->number = k;
  rec->bin_length = 2;
  std::memcpy(rec->bin, "xyzzyxyzzy", 10);
  rec->header.idb = 5;
  rec->spare1 = 'S';
  return 1;
}

// A section: its header text, a zero byte, and its records.
std::string Section(const std::string& header, const std::string& records) {
  return header + std::string(1, '\0') + records;
}

// A record of `size` bytes with `text` at `offset`.
std::string Put(std::string record, int offset, const std::string& text) {
  record.replace(size_t(offset), text.size(), text);
  return record;
}

std::string Int32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }

class TableFile : public FakeAppEngineTest {
 protected:
  void SetUp() override {
    FakeAppEngineTest::SetUp();
    Mod() = Module{};
    file_.reset(std::tmpfile());
    out_.reset(std::tmpfile());
    err_.reset(std::tmpfile());
    CONSOLE_ResetForTest(stdin, out_.get(), err_.get());
  }
  void TearDown() override {
    CONSOLE_ResetForTest(stdin, stdout, stderr);
    FakeAppEngineTest::TearDown();
  }
  void Write(const std::string& bytes) {
    file_.reset(std::tmpfile());
    std::fwrite(bytes.data(), 1, bytes.size(), file_.get());
    std::rewind(file_.get());
  }
  int Load(const std::string& bytes) {
    Write(bytes);
    Mod().inserted.clear();
    std::fflush(err_.get());
    err_.reset(std::tmpfile());
    CONSOLE_ResetForTest(stdin, out_.get(), err_.get());
    return TABLE_File_Load(&handle_, file_.get(), kDescriptor, InitRec, InsertRec);
  }
  int Save(const char* descriptor) {
    file_.reset(std::tmpfile());
    err_.reset(std::tmpfile());
    CONSOLE_ResetForTest(stdin, out_.get(), err_.get());
    TREC rec;
    return TABLE_File_Save(&handle_, file_.get(), descriptor, &rec.header, InitRec, SelectRec,
                           FetchRec);
  }
  std::string Err() { return Contents(err_.get()); }

  FilePtr file_, out_, err_;
};

TEST_F(TableFile, SaveWritesTheCountTheDescriptorAndOnlyTheFieldValues) {
  Mod().rows = 3;
  ASSERT_TRUE(Save(kDescriptor));
  std::string expected = "00003," + std::string(kDescriptor) + std::string(1, '\0');
  for (int k = 0; k < 3; ++k) {
    std::string rec(64, '\0');
    rec = Put(rec, 20, std::string("abcdefghij").substr(0, size_t(2 + k)));
    rec = Put(rec, 32, Int32(k));
    rec = Put(rec, 36, std::string("\x02\x00xy", 4));
    rec = Put(rec, 63, "i");
    expected += rec;
  }
  EXPECT_EQ(Contents(file_.get()), expected);
  EXPECT_EQ(Err(), "");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}

TEST_F(TableFile, SaveRefusesMoreRowsThanTheCountCanHold) {
  const std::string small = "7,21|Flag,1,1,20";
  Mod().rows = 99999;
  ASSERT_TRUE(Save(small.c_str()));
  const std::string saved = Contents(file_.get());
  EXPECT_EQ(saved.substr(0, 6), "99999,");
  EXPECT_EQ(saved.size(), 6 + small.size() + 1 + 99999u * 21);
  Mod().rows = 100000;
  EXPECT_FALSE(Save(small.c_str()));
  EXPECT_EQ(Err(), "(TABLE_File_Save) Too many records for one section (max = 99999)!\n");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}

TEST_F(TableFile, SaveReportsBadDescriptorsAndFailedWalks) {
  struct Case {
    const char* descriptor;
    bool select_fails;
    bool fetch_error;
    const char* err;
  };
  const Case kCases[] = {
      {"x,64|Name,11,11,20", false, false,
       "(TABLE_File_Save) Syntax error in definition 'TBL,SIZE'!\n"},
      {"7,64|Name,11", false, false, "(TABLE_File_Save) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {"7,64|Name,11,11,60", false, false, "(TABLE_File_Save) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {"7,64", false, false, "(TABLE_File_Save) No attributes!\n"},
      {kDescriptor, true, false, "(TABLE_File_Save) Error in DB-Select!\n"},
      {kDescriptor, false, true, "(TABLE_File_Save) Error in DB-Select!\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.descriptor);
    Mod().rows = 2;
    Mod().select_fails = c.select_fails;
    Mod().fetch_error_at_end = c.fetch_error;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Save(c.descriptor));
    const std::string collected = testing::internal::GetCapturedStderr();
    EXPECT_EQ(Err(), c.err);
    EXPECT_EQ(collected, c.fetch_error ? "lost the cursor\n" : "");
    EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
  }
}

TEST_F(TableFile, LoadMatchesFieldsByNameAndConvertsOldForms) {
  const std::string blank(64, '\0');
  struct Case {
    const char* name;
    std::string header;
    std::string record;
    const char* err;
    std::string name_value;
    int number;
    std::string bin;
    char flag;
  };
  const std::string stamp = "2003-07-12-10.30.00.000001";
  const Case kCases[] = {
      {"same layout and an unknown field", "00001,7,68" + std::string(kFields) + "|Extra,11,4,64",
       Put(Put(Put(std::string(68, '\0'), 20, "hello"), 32, Int32(42)), 63, "y"), "",
       "hello", 42, "", 'y'},
      {"names in upper case",
       "00001,7,64|NAME,11,11,20|NUMBER,4,4,32|BIN,18,12,36|STAMP,14,12,48|CLOCK,13,3,60|flag,1,1,63",
       Put(Put(Put(blank, 20, "upper"), 32, Int32(7)), 63, "u"), "", "upper", 7, "", 'u'},
      {"a missing field keeps its initial value", "00001,7,64|Name,11,11,20",
       Put(blank, 20, "only"),
       "(TABLE_File_Load) Warning: Attribute 'Number' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Bin' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Stamp' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Clock' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Flag' not found!\n",
       "only", -1, "", 'i'},
      {"other sizes and types", "00001,7,64|Name,11,6,20|Number,2,2,32|Flag,1,1,63",
       Put(Put(blank, 20, "abcdefgh"), 63, "z"),
       "(TABLE_File_Load) Warning: Different sizes for attribute 'Name' (11 vs. 6)!\n"
       "(TABLE_File_Load) Warning: Different types for attribute 'Number' 4 vs. 2!\n"
       "(TABLE_File_Load) Warning: Attribute 'Bin' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Stamp' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Clock' not found!\n",
       "abcdef", -1, "", 'z'},
      {"a text becomes binary", "00001,7,64|Bin,11,11,36",
       Put(blank, 36, "bytes"),
       "(TABLE_File_Load) Warning: Attribute 'Name' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Number' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Bin' has been converted from string to binary!\n"
       "(TABLE_File_Load) Warning: Attribute 'Stamp' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Clock' not found!\n"
       "(TABLE_File_Load) Warning: Attribute 'Flag' not found!\n",
       "", -1, "bytes", 'i'},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Load(Section(c.header, c.record)));
    EXPECT_EQ(Err(), c.err);
    ASSERT_EQ(Mod().inserted.size(), 1u);
    const TREC& r = Mod().inserted[0];
    EXPECT_EQ(std::string(r.name), c.name_value);
    EXPECT_EQ(r.number, c.number);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.bin), r.bin_length), c.bin);
    EXPECT_EQ(r.flag, c.flag);
  }
  // The old text forms of a timestamp and a time.
  const std::string header = "00002,7,128|Stamp,14,27,20|Clock,13,9,50";
  std::string two = Put(Put(std::string(128, '\0'), 20, stamp), 50, "10:31:02");
  two += Put(Put(std::string(128, '\0'), 20, "not a stamp"), 50, "99:99");
  ASSERT_TRUE(Load(Section(header, two)));
  ASSERT_EQ(Mod().inserted.size(), 2u);
  // The last record is inserted first, so the table walks them in file
  // order.
  const TREC& a = Mod().inserted[1];
  EXPECT_EQ(a.stamp.year, 2003);
  EXPECT_EQ(a.stamp.day, 12);
  EXPECT_EQ(a.stamp.minute, 30);
  EXPECT_EQ(a.stamp.usec, 1);
  EXPECT_EQ(a.clock.hour, 10);
  EXPECT_EQ(a.clock.second, 2);
  const std::string missing =
      "(TABLE_File_Load) Warning: Attribute 'Name' not found!\n"
      "(TABLE_File_Load) Warning: Attribute 'Number' not found!\n"
      "(TABLE_File_Load) Warning: Attribute 'Bin' not found!\n";
  EXPECT_EQ(Err(),
            missing +
                "(TABLE_File_Load) Warning: Different sizes for attribute 'Stamp' (12 vs. 27)!\n"
                "(TABLE_File_Load) Warning: Different sizes for attribute 'Clock' (3 vs. 9)!\n"
                "(TABLE_File_Load) Warning: Attribute 'Flag' not found!\n" +
                missing +
                "(TABLE_File_Load) Warning: Attribute 'Stamp' has been converted from string to ADATI!\n"
                "(TABLE_File_Load) Warning: Attribute 'Clock' has been converted from string to ATIME!\n"
                "(TABLE_File_Load) Warning: Attribute 'Flag' not found!\n");
}

TEST_F(TableFile, LoadRefusesDamagedSections) {
  const std::string one = "00001," + kDescriptorText;
  std::string fields;
  for (int i = 0; i < 501; ++i) fields += "|F" + std::to_string(i) + ",1,1,20";
  struct Case {
    const char* name;
    std::string bytes;
    const char* err;
  };
  const Case kCases[] = {
      {"no section", "", "(TABLE_File_Load) Unexpected end of file!\n"},
      {"no zero byte", "00001,7,64|Flag,1,1,63", "(TABLE_File_Load) Unexpected end of file!\n"},
      {"a header of 10000 bytes", std::string(10000, '7') + std::string(1, '\0'),
       "(TABLE_File_Load) Definition too long (max = 10000)!\n"},
      {"no count", Section("7,64|Flag,1,1,63", ""),
       "(TABLE_File_Load) Syntax error in definition 'TBL,SIZE'!\n"},
      {"a count below 0", Section("-0001,7,64|Flag,1,1,63", ""),
       "(TABLE_File_Load) Syntax error in definition 'TBL,SIZE'!\n"},
      {"a bad field", Section("00000,7,64|Flag,1", ""),
       "(TABLE_File_Load) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {"a field past the record", Section("00000,7,64|Flag,1,2,63", ""),
       "(TABLE_File_Load) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {"501 fields", Section("00000,7,64" + fields, ""),
       "(TABLE_File_Load) Too many attribs (max = 500!\n"},
      {"fewer records than counted", Section("00002,7,64|Flag,1,1,63", std::string(64, 'r')),
       "(TABLE_File_Load) Error reading file!\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(Load(c.bytes));
    EXPECT_EQ(Err(), c.err);
    EXPECT_TRUE(Mod().inserted.empty());
    EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
  }
  // A header of 9999 bytes is still one.
  std::string longest = one + "|";
  longest += std::string(9999 - longest.size() - 7, 'x') + ",1,1,20";
  ASSERT_EQ(longest.size(), 9999u);
  EXPECT_TRUE(Load(Section(longest, std::string(64, '\0'))));
  EXPECT_EQ(Mod().inserted.size(), 1u);
  // A refused insert ends the load; rows before it stay.
  Mod().refuse_from = 1;
  EXPECT_FALSE(Load(Section("00003," + kDescriptorText, std::string(3 * 64, 'f'))));
  EXPECT_EQ(Mod().inserted.size(), 1u);
  EXPECT_EQ(Err(), "(TABLE_File_Load) Error in table-insert!\n");
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
}

TEST_F(TableFile, LoadAndSkipPassOverSectionsOfOtherTables) {
  const std::string other = Section("00002,8,10|X,1,1,5", std::string(20, 'o'));
  const std::string ours = Section("00001," + kDescriptorText, Put(std::string(64, '\0'), 63, "k"));
  const std::string empty = Section("00000," + kDescriptorText, "");
  ASSERT_TRUE(Load(other + ours));
  EXPECT_EQ(Err(), "(TABLE_File_Load) Table 7 not found (actual table is 8)!\n");
  ASSERT_EQ(Mod().inserted.size(), 1u);
  EXPECT_EQ(Mod().inserted[0].flag, 'k');
  ASSERT_TRUE(Load(empty));
  EXPECT_TRUE(Mod().inserted.empty());

  Write(other + ours + "!");
  err_.reset(std::tmpfile());
  CONSOLE_ResetForTest(stdin, out_.get(), err_.get());
  ASSERT_TRUE(TABLE_File_Skip(file_.get(), kDescriptor));
  EXPECT_EQ(std::fgetc(file_.get()), '!');
  EXPECT_EQ(Err(), "(TABLE_File_Skip) Table 7 not found (actual table 8)!\n");
  Write(other);
  err_.reset(std::tmpfile());
  CONSOLE_ResetForTest(stdin, out_.get(), err_.get());
  EXPECT_FALSE(TABLE_File_Skip(file_.get(), kDescriptor));
  EXPECT_EQ(Err(),
            "(TABLE_File_Skip) Table 7 not found (actual table 8)!\n"
            "(TABLE_File_Skip) Unexpected end of file!\n");
}
}  // namespace
