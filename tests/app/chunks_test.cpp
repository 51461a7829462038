// Tests of item content as chunk rows: what BLOBJ_Write inserts, and how
// the chunks are put together again, in order, and checked.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/app_fake_engine.h"
#include "app/blobj_io.h"
#include "app/console.h"
#include "compress/compr.h"
#include "records/blobj_data.h"

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

// Content of `size` bytes of one kind: text, random bytes, the run mark
// 0xB0 of the "#01" code, or runs of every length around its limits.
std::vector<unsigned char> Content(int size, char kind) {
  std::vector<unsigned char> data(static_cast<size_t>(size));
  std::mt19937 gen(static_cast<unsigned>(size));
  for (int i = 0; i < size; ++i) {
    switch (kind) {
      case 't': data[size_t(i)] = static_cast<unsigned char>("kaspo items "[i % 12]); break;
      case 'r': data[size_t(i)] = static_cast<unsigned char>(gen()); break;
      case 'b': data[size_t(i)] = i % 7 == 3 ? 'x' : 0xB0; break;
      default: data[size_t(i)] = static_cast<unsigned char>((i / (170 + i % 97)) % 3 ? 0xB0 : 'a');
    }
  }
  return data;
}

// The payload records the chunks hold: their count and the last length.
void PayloadShape(const std::vector<FakeChunkRow>& rows, bool compressed, int* out_records,
                  int* out_last_length) {
  COMPR obj;
  COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
  if (compressed) COMPR_Set_Mode(&obj, COMPR_MODE_PELKO);
  RECORD_BINARY bin;
  for (const FakeChunkRow& row : rows) {
    bin.length = static_cast<uint16_t>(row.data.size());
    std::copy(row.data.begin(), row.data.end(), bin.data);
    ASSERT_TRUE(COMPR_AddBin(&obj, bin));
  }
  ASSERT_TRUE(COMPR_Reset(&obj));
  ARRAY list;
  ASSERT_TRUE(get_struct(&obj, &list, nullptr, 0));
  *out_records = ARRAY_Count(list);
  *out_last_length =
      *out_records == 0
          ? -1
          : reinterpret_cast<const BLOBJ_DATA*>(ARRAY_GetPtr(list, *out_records - 1))->bin_data.length;
  COMPR_Free(&obj);
}

using Chunks = FakeAppEngineTest;

TEST_F(Chunks, WritesNumberedChunksThatReadBackInAnyRowOrder) {
  struct Case {
    int size;
    char kind;
    bool compress;
    int records;      // payload records
    int last_length;  // BinData length of the last one
  };
  const Case kCases[] = {
      {1, 't', false, 1, 1},          {4000, 'r', false, 1, 4000},
      {4001, 'r', false, 2, 1},       {4001, 'r', true, 2, 1},
      {100000, 'r', false, 25, 4000}, {100000, 'r', true, 25, 4000},
      {20000, 'b', false, 5, 4000},   {20000, 'b', true, 5, 4000},
      {48001, 'u', false, 13, 1},     {48001, 'u', true, 13, 1},
  };
  std::mt19937 shuffle(7);
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.size) + c.kind + (c.compress ? " compressed" : ""));
    FakeApp().chunks.clear();
    const std::vector<unsigned char> data = Content(c.size, c.kind);
    ASSERT_TRUE(DB_Begin(&handle_));
    ASSERT_TRUE(BLOBJ_Write(&handle_, "K3y-item", 1000, c.compress, data.data(), data.size()));
    ASSERT_TRUE(DB_Commit(&handle_));
    const std::vector<FakeChunkRow>& rows = FakeApp().chunks;
    ASSERT_FALSE(rows.empty());
    for (size_t k = 0; k < rows.size(); ++k) {
      EXPECT_EQ(rows[k].item_number, static_cast<int>(k + 1));
      EXPECT_EQ(rows[k].fk_id, "K3y-item");
      EXPECT_EQ(rows[k].fk_table, 1000);
      EXPECT_EQ(rows[k].compressed, c.compress ? '1' : '0');
      ASSERT_GE(rows[k].data.size(), 3u);
      EXPECT_LE(rows[k].data.size(), 4000u);
      EXPECT_EQ(std::string(rows[k].data.begin(), rows[k].data.begin() + 3),
                c.compress ? "#50" : "#01");
    }
    int records = 0;
    int last = 0;
    PayloadShape(rows, c.compress, &records, &last);
    EXPECT_EQ(records, c.records);
    EXPECT_EQ(last, c.last_length);
    std::vector<BLOBJIO_CHUNK> chunks = KeptChunks();
    std::shuffle(chunks.begin(), chunks.end(), shuffle);
    std::vector<unsigned char> back;
    ASSERT_TRUE(BLOBJIO_Decode(&chunks, c.compress, &back));
    EXPECT_TRUE(back == data);
  }
}

// Damaged content fails the read with a message and never ends the
// program; the first message comes from the chunk encoder (standard
// error), the second from the read (the console's error stream).
TEST_F(Chunks, DamagedContentFailsTheReadOnly) {
  const std::vector<unsigned char> data = Content(30000, 'r');
  ASSERT_TRUE(DB_Begin(&handle_));
  ASSERT_TRUE(BLOBJ_Write(&handle_, "item0001", 1000, true, data.data(), data.size()));
  const std::vector<BLOBJIO_CHUNK> packed = KeptChunks();
  FakeApp().chunks.clear();
  ASSERT_TRUE(BLOBJ_Write(&handle_, "item0002", 1000, false, data.data(), data.size()));
  const std::vector<BLOBJIO_CHUNK> plain = KeptChunks();
  ASSERT_TRUE(DB_Commit(&handle_));
  ASSERT_GE(packed.size(), 3u);

  // A stream of one Blobj_Data record that claims more content than it has.
  COMPR obj;
  COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
  ARRAY list;
  Blobj_Data_List_Init(&list);
  BLOBJ_DATA record;
  Blobj_Data_Init(&record);
  record.header.size = 30;
  record.bin_data.length = 100;
  ARRAY_AddBytes(&list, reinterpret_cast<const unsigned char*>(&record), 30);
  ASSERT_TRUE(add_struct(&obj, list));
  ASSERT_TRUE(COMPR_Reset(&obj));
  RECORD_BINARY bin;
  ASSERT_TRUE(COMPR_GetBin(&obj, &bin));
  const std::vector<unsigned char> short_record(bin.data, bin.data + bin.length);
  COMPR_Free(&obj);

  struct Case {
    const char* name;
    std::vector<BLOBJIO_CHUNK> chunks;
    bool compressed;
    const char* stderr_text;
    const char* console_text;
  };
  std::vector<BLOBJIO_CHUNK> bad_tag = plain;
  bad_tag[1].bytes[1] = '9';
  std::vector<BLOBJIO_CHUNK> missing = packed;
  missing.erase(missing.begin() + 1);
  std::vector<BLOBJIO_CHUNK> cut_rle = plain;
  cut_rle.pop_back();
  const Case kCases[] = {
      {"bad tag", bad_tag, false, "(COMPR_AddBin) Invalid '#91'-encoded data!\n", ""},
      {"no rows", {}, false, "", "(BLOBJ_Read) Corrupted BLOBJ data-header\n"},
      {"missing #01 chunk at the end", cut_rle, false, "(get_struct) Out of data!\n",
       "(BLOBJ_Read) Corrupted BLOBJ data-content\n"},
      {"record shorter than its content", {{1, short_record}}, false, "",
       "(BLOBJ_Read) Corrupted BLOBJ data-content\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    FilePtr out(std::tmpfile()), err(std::tmpfile());
    CONSOLE_ResetForTest(stdin, out.get(), err.get());
    std::vector<BLOBJIO_CHUNK> chunks = c.chunks;
    std::vector<unsigned char> back = {1, 2, 3};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BLOBJIO_Decode(&chunks, c.compressed, &back));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderr_text);
    EXPECT_EQ(Contents(err.get()), c.console_text);
    EXPECT_TRUE(back.empty());
  }
  // A "#50" stream without its middle slice cannot come out whole.
  FilePtr out(std::tmpfile()), err(std::tmpfile());
  CONSOLE_ResetForTest(stdin, out.get(), err.get());
  std::vector<BLOBJIO_CHUNK> chunks = missing;
  std::vector<unsigned char> back;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(BLOBJIO_Decode(&chunks, true, &back));
  EXPECT_NE(testing::internal::GetCapturedStderr() + Contents(err.get()), "");
  CONSOLE_ResetForTest(stdin, stdout, stderr);
}

TEST_F(Chunks, ARefusedChunkFailsTheWriteWithoutRollingBack) {
  FilePtr out(std::tmpfile()), err(std::tmpfile());
  CONSOLE_ResetForTest(stdin, out.get(), err.get());
  FakeApp().refuse_chunk_inserts = true;
  const std::vector<unsigned char> data = Content(10, 't');
  ASSERT_TRUE(DB_Begin(&handle_));
  FakeApp().letters.clear();
  testing::internal::CaptureStderr();
  EXPECT_FALSE(BLOBJ_Write(&handle_, "item0001", 1000, false, data.data(), data.size()));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "BLOBJ_Insert: Insert not possible (100 tries)\n");
  EXPECT_EQ(Contents(err.get()), "(BLOBJ_Write) Error in BLOBJ_Insert\n");
  // The caller's transaction is still open: its one rollback is to come.
  EXPECT_EQ(FakeApp().letters.find('M'), std::string::npos);
  EXPECT_EQ(DBHANDLE_State().begin_depth, 1);
  EXPECT_TRUE(DB_RollBack(&handle_));
  EXPECT_EQ(DBHANDLE_State().begin_depth, 0);
  CONSOLE_ResetForTest(stdin, stdout, stderr);
}
}  // namespace
