// Tests of item content as chunk rows: the rows BLOBJ_Write inserts, and
// how chunks come together again in number order and are checked.
#include <sys/resource.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "app/app_fake_engine.h"
#include "app/items/content_fault.h"
#include "content/chunk_read.h"
#include "content/chunk_write.h"
#include "platform/process.h"
#include "records/blobj_data.h"
#include "support/scratch_dir.h"

namespace {
std::vector<unsigned char> Random(int size) {
  std::vector<unsigned char> data(static_cast<size_t>(size));
  std::mt19937 gen(static_cast<unsigned>(size));
  for (unsigned char& b : data) b = static_cast<unsigned char>(gen() % 7 ? gen() : 0xB0);
  return data;
}

// The payload records the chunks hold: their count and the last length.
std::pair<int, int> PayloadShape(std::vector<BLOBJIO_CHUNK> chunks, bool compressed) {
  COMPR obj;
  COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
  if (compressed) COMPR_Set_Mode(&obj, COMPR_MODE_PELKO);
  RECORD_BINARY bin;
  for (const BLOBJIO_CHUNK& c : chunks) {
    bin.length = static_cast<uint16_t>(c.bytes.size());
    std::copy(c.bytes.begin(), c.bytes.end(), bin.data);
    EXPECT_TRUE(COMPR_AddBin(&obj, bin));
  }
  ARRAY list;
  EXPECT_TRUE(COMPR_Reset(&obj) && get_struct(&obj, &list, nullptr, 0));
  const int n = ARRAY_Count(list);
  COMPR_Free(&obj);
  if (n == 0) return {0, -1};
  return {n, reinterpret_cast<const BLOBJ_DATA*>(ARRAY_GetPtr(list, n - 1))->bin_data.length};
}

using Chunks = FakeAppEngineTest;

TEST_F(Chunks, WritesNumberedChunksThatReadBackInAnyRowOrder) {
  struct Case {
    int size;
    bool compress;
    std::pair<int, int> payload;  // records, length of the last
  };
  const Case kCases[] = {{1, false, {1, 1}},          {4000, false, {1, 4000}},
                         {4001, false, {2, 1}},       {4001, true, {2, 1}},
                         {100000, false, {25, 4000}}, {100000, true, {25, 4000}}};
  std::mt19937 shuffle(7);
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.size) + (c.compress ? " compressed" : ""));
    FakeApp().chunks.clear();
    const std::vector<unsigned char> data = Random(c.size);
    ASSERT_TRUE(DB_Begin(&handle_));
    BLOBJIO_FAULT fault;
    ASSERT_TRUE(
        BLOBJ_Write(&handle_, "K3y-item", 1000, c.compress, data.data(), data.size(), &fault));
    ASSERT_TRUE(DB_Commit(&handle_));
    const std::vector<FakeChunkRow>& rows = FakeApp().chunks;
    for (size_t k = 0; k < rows.size(); ++k) {
      EXPECT_EQ(rows[k].item_number, static_cast<int>(k + 1));
      EXPECT_EQ(rows[k].fk_id + std::to_string(rows[k].fk_table), "K3y-item1000");
      EXPECT_EQ(rows[k].compressed, c.compress ? '1' : '0');
      EXPECT_LE(rows[k].data.size(), 4000u);
      EXPECT_EQ(std::string(rows[k].data.begin(), rows[k].data.begin() + 3),
                c.compress ? "#50" : "#01");
    }
    std::vector<BLOBJIO_CHUNK> chunks = KeptChunks();
    EXPECT_EQ(PayloadShape(chunks, c.compress), c.payload);
    std::shuffle(chunks.begin(), chunks.end(), shuffle);
    std::vector<unsigned char> back;
    ASSERT_TRUE(BLOBJIO_Decode(&chunks, c.compress, c.size, &back, &fault));
    EXPECT_TRUE(back == data);
  }
}

// The chunks of `data` as BLOBJIO_ENCODER makes them when given the
// content `piece` bytes at a time.
COMPR_CHUNKS Encoded(bool compress, const std::vector<unsigned char>& data, std::size_t piece) {
  COMPR_CHUNKS chunks;
  BLOBJIO_ENCODER encoder(compress, data.size(), &chunks);
  for (std::size_t at = 0; at < data.size(); at += piece) {
    encoder.Add(data.data() + at, std::min(piece, data.size() - at));
  }
  EXPECT_TRUE(encoder.Finish());
  return chunks;
}

// The chunks as their rows hold them, numbered from 1.
std::vector<BLOBJIO_CHUNK> Numbered(const COMPR_CHUNKS& chunks) {
  std::vector<BLOBJIO_CHUNK> numbered;
  COMPR_CHUNKWALK walk;
  RECORD_BINARY bin;
  while (COMPR_NextChunk(chunks, &walk, &bin)) {
    numbered.push_back({static_cast<int>(numbered.size()) + 1, {bin.data, bin.data + bin.length}});
  }
  return numbered;
}

// The chunks of a payload stream made by hand.
std::vector<BLOBJIO_CHUNK> ChunksOf(const std::vector<unsigned char>& stream, bool compress) {
  COMPR obj;
  COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
  COMPR_Set_Mode(&obj, compress ? COMPR_MODE_PELKO : COMPR_MODE_RLE);
  obj.buffer = stream;
  std::vector<BLOBJIO_CHUNK> chunks;
  RECORD_BINARY bin;
  EXPECT_TRUE(COMPR_Reset(&obj));
  while (COMPR_GetBin(&obj, &bin)) {
    chunks.push_back({static_cast<int>(chunks.size()) + 1, {bin.data, bin.data + bin.length}});
  }
  COMPR_Free(&obj);
  return chunks;
}

void PutWord(std::vector<unsigned char>* out, uint32_t v) {
  for (int k = 0; k < 4; ++k) out->push_back(static_cast<unsigned char>(v >> (8 * k)));
}

// A payload stream: list head, then per record its size word, table id,
// content length and `content` bytes of content, padded to `size`.
std::vector<unsigned char> PayloadStream(uint32_t count, uint32_t list_table,
                                         const std::vector<std::array<uint32_t, 4>>& records) {
  std::vector<unsigned char> out;
  PutWord(&out, 0xFFFFFFFEu), PutWord(&out, count), PutWord(&out, list_table);
  for (const auto& [size, table, length, content] : records) {
    const std::size_t start = out.size();
    PutWord(&out, size), PutWord(&out, 0), PutWord(&out, table), PutWord(&out, 0), PutWord(&out, 0);
    out.push_back(static_cast<unsigned char>(length)),
        out.push_back(static_cast<unsigned char>(length >> 8));
    for (uint32_t k = 0; k < content; ++k) out.push_back(static_cast<unsigned char>(k * 7 + size));
    out.resize(std::max(out.size(), start + size), ' ');
  }
  return out;
}

// The content in memory, through the sink interface.
struct Collect : BLOBJIO_SINK {
  std::vector<unsigned char> bytes;
  void Put(const unsigned char* data, std::size_t n) override {
    bytes.insert(bytes.end(), data, data + n);
  }
  void Restart() override { bytes.clear(); }
};

// Content given in pieces of any size is cut into the chunks of its whole
// record list (the payload records, serialised and chunked at once), so
// items are stored as they always were.
TEST_F(Chunks, ContentInPiecesGivesTheChunksOfItsRecordList) {
  for (bool compress : {false, true}) {
    for (int size : {1, 3999, 4000, 4001, 70000}) {
      const std::vector<unsigned char> data = Random(size);
      ARRAY list;
      Blobj_Data_List_Init(&list);
      BLOBJ_DATA record;
      for (int at = 0; at < size; at += 4000) {
        Blobj_Data_Init(&record);
        record.bin_data.length = static_cast<uint16_t>(std::min(4000, size - at));
        std::copy_n(data.begin() + at, record.bin_data.length, record.bin_data.data);
        ARRAY_Add(&list, &record.header);
      }
      COMPR obj;
      COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
      COMPR_Set_Mode(&obj, compress ? COMPR_MODE_PELKO : COMPR_MODE_RLE);
      ASSERT_TRUE(add_struct(&obj, list) && COMPR_Reset(&obj));
      std::vector<BLOBJIO_CHUNK> whole;
      RECORD_BINARY bin;
      while (COMPR_GetBin(&obj, &bin)) {
        whole.push_back({static_cast<int>(whole.size()) + 1, {bin.data, bin.data + bin.length}});
      }
      COMPR_Free(&obj);
      for (std::size_t piece : {1, 4000, 7777, 1 << 20}) {
        SCOPED_TRACE(std::to_string(size) + " bytes in pieces of " + std::to_string(piece) +
                     (compress ? ", compressed" : ""));
        const std::vector<BLOBJIO_CHUNK> cut = Numbered(Encoded(compress, data, piece));
        ASSERT_EQ(cut.size(), whole.size());
        for (std::size_t k = 0; k < cut.size(); ++k) EXPECT_TRUE(cut[k].bytes == whole[k].bytes);
      }
    }
  }
  // Content shorter or longer than announced is no stream of it.
  COMPR_CHUNKS chunks;
  BLOBJIO_ENCODER shorter(false, 5, &chunks);
  shorter.Add(reinterpret_cast<const unsigned char*>("abcd"), 4);
  EXPECT_FALSE(shorter.Finish());
}

// Decoding as the chunks come gives what the whole decoding gives: the
// same content where that reads back, a quiet failure where it fails.
TEST_F(Chunks, StreamedReadsGiveWhatTheWholeDecodingGives) {
  struct Case {
    std::vector<BLOBJIO_CHUNK> chunks;
    bool compressed;
    int64_t size;
  };
  std::vector<Case> cases;
  for (bool compress : {false, true}) {
    for (int size : {1, 4000, 4001, 100000}) {
      const std::vector<unsigned char> data = Random(size);
      const std::vector<BLOBJIO_CHUNK> chunks = Numbered(Encoded(compress, data, data.size()));
      cases.push_back({chunks, compress, size});
      cases.push_back({chunks, compress, size - 4000});  // past the bound
      cases.push_back({chunks, !compress, size});
      if (chunks.size() > 1) {
        cases.push_back({{chunks.begin(), chunks.end() - 1}, compress, size});
      }
    }
    const std::vector<std::vector<unsigned char>> streams = {
        PayloadStream(2, 101, {{4024, 101, 4000, 4000}, {4024, 101, 5, 5}}),
        PayloadStream(2, 101, {{4024, 101, 4000, 4000}}),         // a record short
        PayloadStream(1, 101, {{22, 101, 0, 0}, {30, 1, 9, 9}}),  // trailing bytes
        PayloadStream(1, 101, {{5000, 101, 300, 300}}),           // a long record
        PayloadStream(0, 101, {}),
        PayloadStream(1, 100, {{4024, 101, 10, 10}}),      // list of table 100
        PayloadStream(1, 101, {{4024, 100, 10, 10}}),      // record of table 100
        PayloadStream(1, 101, {{21, 101, 0, 0}}),          // no room for a length
        PayloadStream(1, 101, {{30, 101, 9, 9}}),          // length past the record
        PayloadStream(1, 101, {{8000, 101, 4001, 4001}}),  // length past 4000
        PayloadStream(1, 101, {{2000000, 101, 10, 10}}),   // record too large
        PayloadStream(0xFFFFFFFFu, 101, {}),               // negative count
        {0xFE, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 101},
    };
    for (const std::vector<unsigned char>& stream : streams) {
      cases.push_back({ChunksOf(stream, compress), compress, 1 << 20});
    }
  }
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    std::vector<BLOBJIO_CHUNK> chunks = cases[i].chunks;
    std::vector<unsigned char> whole;
    int whole_ok;
    {
      testing::internal::CaptureStderr();
      BLOBJIO_FAULT fault;
      whole_ok = BLOBJIO_Decode(&chunks, cases[i].compressed, cases[i].size, &whole, &fault);
      (void)testing::internal::GetCapturedStderr();
    }
    std::size_t next = 0;
    RECORD_BINARY bin;
    const COMPR_CHUNKSOURCE source = [&](const RECORD_BINARY** out) {
      if (next == cases[i].chunks.size()) return 0;
      const std::vector<unsigned char>& bytes = cases[i].chunks[next++].bytes;
      bin.length = static_cast<uint16_t>(bytes.size());
      std::copy(bytes.begin(), bytes.end(), bin.data);
      *out = &bin;
      return 1;
    };
    Collect streamed;
    testing::internal::CaptureStderr();
    const int ok = BLOBJIO_DecodeStream(source, cases[i].compressed, cases[i].size, &streamed);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(ok, whole_ok);
    EXPECT_TRUE(!ok || streamed.bytes == whole);
  }
}

// Damaged content fails the read with a message and never ends the
// program. The chunk encoder reports on standard error, the read in its
// fault.
TEST_F(Chunks, DamagedContentFailsTheReadOnly) {
  const std::vector<unsigned char> data = Random(30000);
  ASSERT_TRUE(DB_Begin(&handle_));
  BLOBJIO_FAULT fault;
  ASSERT_TRUE(BLOBJ_Write(&handle_, "item0001", 1000, true, data.data(), data.size(), &fault));
  std::vector<BLOBJIO_CHUNK> missing = KeptChunks();
  FakeApp().chunks.clear();
  ASSERT_TRUE(BLOBJ_Write(&handle_, "item0002", 1000, false, data.data(), data.size(), &fault));
  std::vector<BLOBJIO_CHUNK> cut = KeptChunks();
  ASSERT_TRUE(DB_Commit(&handle_));
  ASSERT_GE(missing.size(), 3u);
  missing.erase(missing.begin() + 1);
  cut.pop_back();
  // One Blobj_Data record that claims more content than it holds.
  COMPR obj;
  COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, -1, -1, -1, -1);
  ARRAY list;
  Blobj_Data_List_Init(&list);
  BLOBJ_DATA record;
  Blobj_Data_Init(&record);
  record.header.size = 30;
  record.bin_data.length = 100;
  ARRAY_AddBytes(&list, reinterpret_cast<const unsigned char*>(&record), 30);
  RECORD_BINARY bin;
  ASSERT_TRUE(add_struct(&obj, list) && COMPR_Reset(&obj) && COMPR_GetBin(&obj, &bin));
  COMPR_Free(&obj);

  struct Case {
    const char* name;
    std::vector<BLOBJIO_CHUNK> chunks;
    bool compressed;
    const char* reported;  // by the encoder; nullptr: any text
    const char* read;
  };
  const Case kCases[] = {
      {"a #50 stream without its middle slice", missing, true, nullptr, nullptr},
      {"#01 chunks without the last", cut, false, "(get_struct) Out of data!\n",
       "(BLOBJ_Read) Corrupted BLOBJ data-content\n"},
      {"a record shorter than its content",
       {{1, {bin.data, bin.data + bin.length}}},
       false,
       "",
       "(BLOBJ_Read) Corrupted BLOBJ data-content\n"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<BLOBJIO_CHUNK> chunks = c.chunks;
    std::vector<unsigned char> back = {1, 2, 3};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(BLOBJIO_Decode(&chunks, c.compressed, data.size(), &back, &fault));
    const std::string reported = testing::internal::GetCapturedStderr();
    const std::string& read = fault.message;
    EXPECT_NE(reported + read, "");
    if (c.reported != nullptr) {
      EXPECT_EQ(reported, c.reported);
    }
    if (c.read != nullptr) {
      EXPECT_EQ(read, c.read);
    }
    EXPECT_TRUE(back.empty());
  }
}
// The "#50" chunks of `blocks` MiB of one byte: runs of 4096 bytes, 26
// bits of code each, so that 256 MiB take about 210 KB of chunks.
std::vector<BLOBJIO_CHUNK> RunsOfOneByte(int blocks) {
  std::vector<unsigned char> packed = {'z', '0', '1', 'm', 'o', 'r', 'v', 'e', 'k', 5, 0, 0, 0};
  for (int rank = 0; rank < 256; ++rank) packed.push_back(static_cast<unsigned char>(rank));
  uint64_t acc = 0;
  int bits = 0;
  auto put = [&](uint32_t x, int n) {
    acc = acc << n | x;
    for (bits += n; bits >= 32; bits -= 32) {
      for (int k = 0; k < 4; ++k) {
        packed.push_back(static_cast<unsigned char>(acc >> (bits - 32 + 8 * k)));
      }
    }
    acc &= (uint64_t{1} << bits) - 1;
  };
  for (int run = 0; run < blocks * 256; ++run) {
    put(7, 3), put(196, 8), put(4096 - 3, 12), put(0, 3);  // "111", width 12, length, rank 255
  }
  put(7, 3), put(210, 8), put(0, 32 - bits);  // the end code, padded to a word
  std::vector<BLOBJIO_CHUNK> chunks;
  for (std::size_t at = 0; at < packed.size(); at += 3997) {
    std::vector<unsigned char> bytes = {'#', '5', '0'};
    bytes.insert(bytes.end(), packed.begin() + static_cast<long>(at),
                 packed.begin() + static_cast<long>(std::min(packed.size(), at + 3997)));
    chunks.push_back({static_cast<int>(chunks.size()) + 1, bytes});
  }
  return chunks;
}

// Decodes 256 MiB of crafted chunks of an item of 100,000 bytes with far
// less memory left to the process; ends it with 0 when the read failed.
[[noreturn]] void DecodeCraftedChunksWithLittleMemory() {
  std::vector<BLOBJIO_CHUNK> chunks = RunsOfOneByte(256);
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit memory{};
  getrlimit(RLIMIT_AS, &memory);
  memory.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE) + (64L << 20));
  if (pages == 0 || setrlimit(RLIMIT_AS, &memory) != 0) PLATFORM_QuickExit(3);
  std::vector<unsigned char> content;
  BLOBJIO_FAULT fault;
  const int read = BLOBJIO_Decode(&chunks, true, 100000, &content, &fault);
  PLATFORM_QuickExit(read == 0 && content.empty() ? 0 : 2);
}

// The recorded size bounds the decoding: 12 + 25 x 4024 bytes here.
TEST_F(Chunks, CraftedChunksFailWithinTheMemoryOfTheItemsSize) {
  EXPECT_EXIT(DecodeCraftedChunksWithLittleMemory(), testing::ExitedWithCode(0),
              "\\(COMPR_Reset\\) Decoded data too long \\(max = 100612\\)!");
}

// A read hands back what went wrong; printed, the damage comes first,
// then the failed commit of the read's own transaction, which ends the
// process as it always has.
TEST_F(Chunks, AReadsFailedCommitEndsTheProcessAfterItsFault) {
  Fake().answers['K'] = [](const Message&) { REPLY_Error("(END) refused by the test"); };
  BLOBJIO_FAULT fault;
  std::vector<unsigned char> content;
  EXPECT_EQ(BLOBJ_Read(&handle_, "item0001", 1000, 10, &content, &fault), 0);
  EXPECT_EQ(fault.kind, BLOBJIO_BADHEADER);
  EXPECT_TRUE(fault.commit_failed);
  EXPECT_EXIT(
      CONTENTFAULT_Print(fault), testing::ExitedWithCode(1),
      "^\\(BLOBJ_Read\\) Corrupted BLOBJ data-header\n.*refused by the test.*DB_Commit error!$");
}

// An item's old chunks are counted first and deleted only when there are
// any: a delete of none would still cost the commit a pass over every row.
TEST_F(Chunks, OldChunksAreDeletedOnlyWhenThereAreAny) {
  const Message delete_old =
      ParsedMessage("DELETE FROM BLOBJ WHERE  FK_ID    = 'K3y-item' AND    FK_TABLE = 1000");
  Fake().answers['G'] = [](const Message&) { REPLY_Count(2); };
  const std::vector<unsigned char> data = Random(5000);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    Fake().messages.clear();
    ASSERT_TRUE(DB_Begin(&handle_));
    BLOBJIO_FAULT fault;
    ASSERT_TRUE(BLOBJ_Write(&handle_, "K3y-item", 1000, false, data.data(), data.size(), &fault));
    ASSERT_TRUE(DB_Commit(&handle_));
    const auto& sent = Fake().messages;
    EXPECT_EQ(std::count(sent.begin(), sent.end(), delete_old), pass);
  }
  EXPECT_EQ(FakeApp().chunks.size(), 4u);  // two inserted by each pass
}

// Makes the file at `context` (a FILECHANGE) as long as it says, between
// the file's open and its first read.
struct FILECHANGE {
  std::string path;
  off_t length;
};
void ChangeLength(uint64_t /*length*/, const void* context) {
  const auto* change = static_cast<const FILECHANGE*>(context);
  ASSERT_EQ(truncate(change->path.c_str(), change->length), 0);
}

// A file is read to the length it had when opened: one that grew or shrank
// since is refused, also when its length was a whole number of reads.
TEST_F(Chunks, AFileIsEncodedOnlyWhenItKeepsTheLengthItWasOpenedWith) {
  struct Case {
    int size;
    int change;
    BLOBJIO_FILEREAD read;
  };
  const Case kCases[] = {{7, 0, BLOBJIO_FILE_READ},        {7, 1, BLOBJIO_FILE_CHANGED},
                         {7, -1, BLOBJIO_FILE_CHANGED},    {64000, 0, BLOBJIO_FILE_READ},
                         {64000, 1, BLOBJIO_FILE_CHANGED}, {128000, -1, BLOBJIO_FILE_CHANGED},
                         {128000, 0, BLOBJIO_FILE_READ}};
  ScratchDir dir;
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.size) + " " + std::to_string(c.change));
    const std::vector<unsigned char> data = Random(c.size);
    const FILECHANGE change{dir.WriteFile("f", std::string(data.begin(), data.end())),
                            c.size + c.change};
    COMPR_CHUNKS chunks;
    BLOBJIO_FILEFACTS facts;
    ASSERT_EQ(BLOBJIO_EncodeFile(change.path.c_str(), false, 1 << 20, {ChangeLength, &change},
                                 &chunks, &facts),
              c.read);
    if (c.read != BLOBJIO_FILE_READ) continue;
    COMPR_CHUNKS expected;
    BLOBJIO_Encode(false, data.data(), data.size(), &expected);
    EXPECT_EQ(chunks.lengths, expected.lengths);
    EXPECT_EQ(chunks.blocks, expected.blocks);
    EXPECT_EQ(facts.length, static_cast<uint64_t>(c.size));
  }
}

// More chunks than ITEMNUMBER can count are refused before anything is
// sent: no old chunk is deleted, no row inserted.
TEST_F(Chunks, MoreChunksThanAnItemCanNumberChangeNothing) {
  COMPR_CHUNKS chunks;
  chunks.lengths.assign(BLOBJIO_MAXCHUNKS + 1, 0);
  BLOBJIO_FAULT fault;
  EXPECT_EQ(BLOBJIO_Store(&handle_, "K3y-item", 1000, chunks, &fault), 0);
  EXPECT_EQ(fault.message, "(BLOBJ_Write) Too many chunks (max = 32767)!\n");
  EXPECT_TRUE(Fake().messages.empty());
}
}  // namespace
