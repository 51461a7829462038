// Tests of table sections: the bytes a save writes and its limits, and how
// a load matches and converts the fields of a section whose layout differs
// from the program's. A small record module of the test stands in for
// KASPO and BLOBJ; the stand-in engine answers the transaction brackets.
#include "app/container/table_file_io.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "app/app_fake_engine.h"
#include "app/base/console.h"
#include "client/datelib.h"

namespace {
// The test's record: one field of each kind a section can carry.
struct TREC {
  RECORD_HEADER header;
  char name[11];
  char spare;
  int32_t number;
  uint16_t bin_length;
  unsigned char bin[10];
  ADATI stamp;
  ATIME clock;
  char flag;
};
static_assert(sizeof(TREC) == 64 && offsetof(TREC, number) == 32 && offsetof(TREC, stamp) == 48 &&
              offsetof(TREC, flag) == 63);
constexpr char kFields[] =
    "|Name,11,11,20|Number,4,4,32|Bin,18,12,36|Stamp,14,12,48|Clock,13,3,60|Flag,1,1,63";
const std::string kDescriptor = std::string("7,64") + kFields;

struct Module {
  std::vector<TREC> inserted;
  int refuse_from = 1 << 30;  // inserts from this one on fail
  int rows = 0;               // rows the cursor delivers
  int fetched = 0;
  bool fetch_error = false;  // the walk ends with an error
  int batches = 0;           // calls of the bulk insert
} module;

void InitRec(RECORD_HEADER* r) {
  auto* rec = reinterpret_cast<TREC*>(r);
  std::memset(rec, 0, sizeof *rec);
  rec->header.size = sizeof *rec;
  rec->number = -1;
  rec->flag = 'i';
}
int InsertRec(RECORD_HEADER* r, DBHANDLE*, void*) {
  if (static_cast<int>(module.inserted.size()) >= module.refuse_from) return 0;
  module.inserted.push_back(*reinterpret_cast<TREC*>(r));
  return 1;
}
// A bulk insert that sees only the fields: the header words of a record
// taken straight from the file are not the module's.
int InsertBatch(std::span<const unsigned char* const> records, DBHANDLE*) {
  ++module.batches;
  for (const unsigned char* r : records) {
    if (static_cast<int>(module.inserted.size()) >= module.refuse_from) return 0;
    TREC rec;
    std::memcpy(&rec, r, sizeof rec);
    module.inserted.push_back(rec);
  }
  return 1;
}
// The bytes of the record's fields.
std::string FieldBytes(const TREC& r) {
  const char* at = reinterpret_cast<const char*>(&r);
  return std::string(at + offsetof(TREC, name), sizeof r.name) +
         std::string(at + offsetof(TREC, number), sizeof r - offsetof(TREC, number));
}
int SelectRec(RECORD_HEADER*, DBHANDLE*, void*) { return module.fetched = 0, 1; }
// Fills rows that leave stale bytes behind their values, as a record
// reused from row to row would.
int FetchRec(RECORD_HEADER* r, DBHANDLE*, void*) {
  auto* rec = reinterpret_cast<TREC*>(r);
  if (module.fetched == module.rows) {
    if (module.fetch_error) dberror("lost the cursor\n");
    return 0;
  }
  const int k = module.fetched++;
  std::memcpy(rec->name, "abcdefghij", 11);
  rec->name[2 + k % 3] = '\0';
  rec->number = k;
  rec->bin_length = 2;
  std::memcpy(rec->bin, "xyzzyxyzzy", 10);
  rec->header.idb = 5;
  rec->spare = 'S';
  return 1;
}

std::string Section(const std::string& header, const std::string& records) {
  return header + std::string(1, '\0') + records;
}
std::string Put(std::string record, int offset, const std::string& text) {
  return record.replace(size_t(offset), text.size(), text);
}
std::string Int32(int32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
std::string Missing(const std::string& names) {
  std::string text;
  for (size_t at = 0; at < names.size();) {
    const size_t end = std::min(names.find(' ', at), names.size());
    text +=
        "(TABLE_File_Load) Warning: Attribute '" + names.substr(at, end - at) + "' not found!\n";
    at = end + 1;
  }
  return text;
}

class TableFile : public FakeAppEngineTest {
 protected:
  void SetUp() override {
    FakeAppEngineTest::SetUp();
    module = Module{};
  }
  void TearDown() override {
    CONSOLE_ResetForTest(stdin, stdout, stderr);
    if (file_) std::fclose(file_);
    if (err_) std::fclose(err_);
    FakeAppEngineTest::TearDown();
  }
  // A fresh file with `bytes` and a fresh console error stream.
  void Fresh(const std::string& bytes) {
    if (file_) std::fclose(file_);
    if (err_) std::fclose(err_);
    file_ = std::tmpfile();
    err_ = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), file_);
    std::rewind(file_);
    CONSOLE_ResetForTest(stdin, stdout, err_);
    module.inserted.clear();
  }
  int Load(const std::string& bytes) {
    Fresh(bytes);
    return TABLE_File_Load(&handle_, file_, kDescriptor.c_str(), InitRec, InsertRec);
  }
  int Save(const std::string& descriptor) {
    Fresh("");
    TREC rec;
    return TABLE_File_Save(&handle_, file_, descriptor.c_str(), &rec.header, InitRec, SelectRec,
                           FetchRec);
  }
  struct Outcome {
    int ok;
    std::string err;
    std::vector<std::string> rows;  // FieldBytes, in insert order
  };
  // Loads `bytes` with "Name" as the key, record by record or in bulk.
  Outcome LoadBy(bool batch, const std::string& bytes) {
    Fresh(bytes);
    const char* d = kDescriptor.c_str();
    const int ok = batch ? TABLE_File_LoadBatch(&handle_, file_, d, InitRec, InsertBatch, "Name")
                         : TABLE_File_Load(&handle_, file_, d, InitRec, InsertRec, "Name");
    Outcome o{ok, Text(err_), {}};
    for (const TREC& r : module.inserted) o.rows.push_back(FieldBytes(r));
    return o;
  }
  static std::string Text(FILE* f) { return FakeText(f); }

  FILE* file_ = nullptr;
  FILE* err_ = nullptr;
};

TEST_F(TableFile, SaveWritesTheCountTheDescriptorAndOnlyTheFieldValues) {
  module.rows = 3;
  ASSERT_TRUE(Save(kDescriptor));
  std::string expected = "00003," + kDescriptor + std::string(1, '\0');
  for (int k = 0; k < 3; ++k) {
    std::string rec = Put(std::string(64, '\0'), 20, std::string("abcdefghij", size_t(2 + k)));
    expected += Put(Put(Put(rec, 32, Int32(k)), 36, std::string("\x02\x00xy", 4)), 63, "i");
  }
  EXPECT_EQ(Text(file_), expected);
  // The count field has five digits: one more row is refused.
  const std::string small = "7,21|Flag,1,1,20";
  module.rows = 99999;
  ASSERT_TRUE(Save(small));
  EXPECT_EQ(Text(file_).substr(0, 6), "99999,");
  module.rows = 100000;
  EXPECT_FALSE(Save(small));
  EXPECT_EQ(Text(err_), "(TABLE_File_Save) Too many records for one section (max = 99999)!\n");
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
}

TEST_F(TableFile, SaveReportsBadDescriptorsAndAWalkThatFailed) {
  const std::pair<std::string, const char*> kCases[] = {
      {"x,64|Name,11,11,20", "(TABLE_File_Save) Syntax error in definition 'TBL,SIZE'!\n"},
      {"7,64|Name,11", "(TABLE_File_Save) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {"7,64|Name,11,11,60", "(TABLE_File_Save) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {"7,64", "(TABLE_File_Save) No attributes!\n"},
  };
  for (const auto& [descriptor, message] : kCases) {
    SCOPED_TRACE(descriptor);
    EXPECT_FALSE(Save(descriptor));
    EXPECT_EQ(Text(err_), message);
  }
  // Rows lost to an error must not pass for the whole table.
  module.rows = 2;
  module.fetch_error = true;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(Save(kDescriptor));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "lost the cursor\n");
  EXPECT_EQ(Text(err_), "(TABLE_File_Save) Error in DB-Select!\n");
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
}

TEST_F(TableFile, LoadMatchesFieldsByNameAndConvertsOldForms) {
  const std::string blank(64, '\0');
  struct Case {
    const char* name;
    std::string header;
    std::string record;
    std::string err;
    const char* text;  // Name
    int number;
    const char* bin;
    char flag;
  };
  const Case kCases[] = {
      {"an unknown field", "00001,7,68" + std::string(kFields) + "|Extra,11,4,64",
       Put(Put(std::string(68, '\0'), 20, "hello"), 32, Int32(42)), "", "hello", 42, "", '\0'},
      {"names in other case",
       "00001,7,64|NAME,11,11,20|NUMBER,4,4,32|BIN,18,12,36|STAMP,14,12,48|CLOCK,13,3,60|flag,1,1,"
       "63",
       Put(Put(blank, 20, "upper"), 63, "u"), "", "upper", 0, "", 'u'},
      {"fields missing", "00001,7,64|Name,11,11,20", Put(blank, 20, "only"),
       Missing("Number Bin Stamp Clock Flag"), "only", -1, "", 'i'},
      {"other sizes and types", "00001,7,64|Name,11,6,20|Number,2,2,32|Flag,1,1,63",
       Put(Put(blank, 20, "abcdefgh"), 63, "z"),
       "(TABLE_File_Load) Warning: Different sizes for attribute 'Name' (11 vs. 6)!\n"
       "(TABLE_File_Load) Warning: Different types for attribute 'Number' 4 vs. 2!\n" +
           Missing("Bin Stamp Clock"),
       "abcdef", -1, "", 'z'},
      {"a text becomes binary", "00001,7,64|Bin,11,11,36", Put(blank, 36, "bytes"),
       Missing("Name Number") +
           "(TABLE_File_Load) Warning: Attribute 'Bin' has been converted from string to "
           "binary!\n" +
           Missing("Stamp Clock Flag"),
       "", -1, "bytes", 'i'},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(Load(Section(c.header, c.record)));
    EXPECT_EQ(Text(err_), c.err);
    ASSERT_EQ(module.inserted.size(), 1u);
    const TREC& r = module.inserted[0];
    EXPECT_STREQ(r.name, c.text);
    EXPECT_EQ(r.number, c.number);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.bin), r.bin_length), c.bin);
    EXPECT_EQ(r.flag, c.flag);
  }
  // The old text forms of timestamps and times; a text that is none is
  // copied as far as the field reaches.
  std::string two =
      Put(Put(std::string(128, '\0'), 20, "2003-07-12-10.30.00.000001"), 50, "10:31:02");
  two += Put(Put(std::string(128, '\0'), 20, "not a stamp"), 50, "99:99");
  ASSERT_TRUE(Load(Section("00002,7,128|Stamp,14,27,20|Clock,13,9,50", two)));
  ASSERT_EQ(module.inserted.size(), 2u);
  // The last record is inserted first: the table walks newest rows first.
  const TREC& a = module.inserted[1];
  EXPECT_EQ(a.stamp.year * 10000 + a.stamp.month * 100 + a.stamp.day, 20030712);
  EXPECT_EQ(a.stamp.minute * 1000000 + a.stamp.usec, 30000001);
  EXPECT_EQ(a.clock.hour * 10000 + a.clock.minute * 100 + a.clock.second, 103102);
  // Each warning once per field, however many records take it.
  EXPECT_EQ(
      Text(err_),
      Missing("Name Number Bin") +
          "(TABLE_File_Load) Warning: Different sizes for attribute 'Stamp' (12 vs. 27)!\n"
          "(TABLE_File_Load) Warning: Different sizes for attribute 'Clock' (3 vs. 9)!\n" +
          Missing("Flag") +
          "(TABLE_File_Load) Warning: Attribute 'Stamp' has been converted from string to ADATI!\n"
          "(TABLE_File_Load) Warning: Attribute 'Clock' has been converted from string to "
          "ATIME!\n");
}

TEST_F(TableFile, LoadRefusesDamagedSections) {
  std::string fields;
  for (int i = 0; i < 501; ++i) fields += "|F" + std::to_string(i) + ",1,1,20";
  const std::pair<std::string, const char*> kCases[] = {
      {"", "(TABLE_File_Load) Unexpected end of file!\n"},
      {"00001,7,64|Flag,1,1,63", "(TABLE_File_Load) Unexpected end of file!\n"},
      {Section(std::string(10000, '7'), ""),
       "(TABLE_File_Load) Definition too long (max = 10000)!\n"},
      {Section("7,64|Flag,1,1,63", ""),
       "(TABLE_File_Load) Syntax error in definition 'TBL,SIZE'!\n"},
      {Section("-0001,7,64|Flag,1,1,63", ""),
       "(TABLE_File_Load) Syntax error in definition 'TBL,SIZE'!\n"},
      {Section("00000,7,64|Flag,1", ""), "(TABLE_File_Load) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {Section("00000,7,64|Flag,1,2,63", ""),
       "(TABLE_File_Load) Syntax error 'NAME,TYP,SIZE,IDX'!\n"},
      {Section("00000,7,64" + fields, ""), "(TABLE_File_Load) Too many attribs (max = 500!\n"},
      // A record no record of the program can be: refused before anything
      // is allocated for it.
      {Section("00001,7,2000000000|Flag,1,1,63", std::string(64, 'r')),
       "(TABLE_File_Load) Record size 2000000000 too large (max = 10000)!\n"},
      {Section("00002," + kDescriptor, std::string(64, 'r')),
       "(TABLE_File_Load) Error reading file!\n"},
  };
  for (const auto& [bytes, message] : kCases) {
    SCOPED_TRACE(message);
    EXPECT_FALSE(Load(bytes));
    EXPECT_EQ(Text(err_), message);
    EXPECT_TRUE(module.inserted.empty());
  }
  // A header of 9999 bytes is still one.
  std::string longest = "00001," + kDescriptor + "|";
  longest += std::string(9999 - longest.size() - 7, 'x') + ",1,1,20";
  EXPECT_TRUE(Load(Section(longest, std::string(64, '\0'))));
  EXPECT_EQ(module.inserted.size(), 1u);
  // A refused insert ends the load; the rows before it stay.
  module.refuse_from = 1;
  EXPECT_FALSE(Load(Section("00003," + kDescriptor, std::string(3 * 64, 'f'))));
  EXPECT_EQ(module.inserted.size(), 1u);
  EXPECT_EQ(Text(err_), "(TABLE_File_Load) Error in table-insert!\n");
  EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
}

TEST_F(TableFile, LoadAndSkipPassOverSectionsOfOtherTables) {
  const std::string other = Section("00002,8,10|X,1,1,5", std::string(20, 'o'));
  const std::string ours = Section("00001," + kDescriptor, Put(std::string(64, '\0'), 63, "k"));
  ASSERT_TRUE(Load(other + ours));
  EXPECT_EQ(Text(err_), "(TABLE_File_Load) Table 7 not found (actual table is 8)!\n");
  ASSERT_EQ(module.inserted.size(), 1u);
  EXPECT_EQ(module.inserted[0].flag, 'k');
  EXPECT_TRUE(Load(Section("00000," + kDescriptor, "")));
  EXPECT_TRUE(module.inserted.empty());
  Fresh(other + ours + "!");
  ASSERT_TRUE(TABLE_File_Skip(file_, kDescriptor.c_str()));
  EXPECT_EQ(std::fgetc(file_), '!');
  EXPECT_EQ(Text(err_), "(TABLE_File_Skip) Table 7 not found (actual table 8)!\n");
  Fresh(other);
  EXPECT_FALSE(TABLE_File_Skip(file_, kDescriptor.c_str()));
  EXPECT_EQ(Text(err_),
            "(TABLE_File_Skip) Table 7 not found (actual table 8)!\n"
            "(TABLE_File_Skip) Unexpected end of file!\n");
}
TEST_F(TableFile, BulkLoadEndsAsALoadRecordByRecord) {
  // Many pieces of the file; no text ends inside its field and every
  // binary length runs past it, so each record is cut to its bounds.
  constexpr int kRows = 40000;
  std::vector<std::string> records;
  for (int k = 0; k < kRows; ++k) {
    records.push_back(Put(Put(std::string(64, 'f'), 20, "n" + std::to_string(k)), 32, Int32(k)));
  }
  const auto section = [&records](int count, const std::string& fields = kFields) {
    std::string bytes;
    for (int k = 0; k < count; ++k) bytes += records[size_t(k)];
    return Section(std::to_string(100000 + count).substr(1) + ",7,64" + fields, bytes);
  };
  const std::string whole = section(kRows);
  std::string twin = whole;  // record 100 repeats the key of record 25000
  twin.replace(twin.size() - (kRows - 100) * 64 + 20, 11, records[25000].substr(20, 11));
  const struct {
    const char* what;
    std::string bytes;
    int refuse_from = 1 << 30;
    size_t rows;  // rows both loads leave
  } kCases[] = {
      {"whole", whole, 1 << 30, kRows},
      {"twin key", twin, 1 << 30, kRows - 101},
      {"cut short", whole.substr(0, whole.size() - 1), 1 << 30, 0},
      {"refused insert", whole, 30000, 30000},
      {"other layout", section(3, "|Name,11,11,20|Number,4,4,32"), 1 << 30, 3},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.what);
    module.refuse_from = c.refuse_from;
    const Outcome one = LoadBy(false, c.bytes);
    module.batches = 0;
    const Outcome bulk = LoadBy(true, c.bytes);
    EXPECT_EQ(bulk.ok, one.ok);
    EXPECT_EQ(bulk.err, one.err);
    EXPECT_EQ(bulk.rows.size(), c.rows);
    EXPECT_TRUE(bulk.rows == one.rows);
    EXPECT_EQ(DBHANDLE_BeginDepth(), 0);
  }
  EXPECT_EQ(LoadBy(true, twin).err,
            "(TABLE_File_Load) Duplicate key 'n25000ffff' for attribute 'Name'!\n");
  EXPECT_LT(module.batches, 10);  // whole pieces of the file per call
}

}  // namespace
