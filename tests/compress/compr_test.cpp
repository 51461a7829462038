// Tests of the chunk encoder: the "#01" code byte for byte, chunk sizes,
// round trips of record lists through both encodings, and damaged chunks
// and streams (fatal by default, reported and failed when set so).
#include "compress/compr.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "compress/pelko.h"
#include "tests/compress/capture.h"

namespace {
using Bytes = std::vector<unsigned char>;
using kaspo_test::MixedBytes;
using kaspo_test::RandomBytes;
using kaspo_test::StderrCapture;
using namespace std::string_literals;

constexpr int kChunk = 4000;
constexpr int kDataRecordSize = 4024;  // header, 16-bit length, 4000 bytes, 2 filler

// Escapes a message for the death-test regular expression.
std::string Literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) out += '\\';
    out += c;
  }
  return out;
}

class ComprTest : public ::testing::Test {
 protected:
  void SetUp() override {
    COMPR_ResetForTest();
    PELKO_ResetForTest();
  }
  void TearDown() override {
    COMPR_ResetForTest();
    PELKO_ResetForTest();
  }
};

// A record list of payload records carrying `content` 4000 bytes at a time.
ARRAY PayloadList(const Bytes& content) {
  ARRAY list;
  ARRAY_Init(&list, RECORD_TABLE_BLOBJ_DATA);
  std::vector<unsigned char> rec(kDataRecordSize);
  for (std::size_t at = 0; at < content.size() || at == 0; at += RECORD_BINMAX) {
    std::fill(rec.begin(), rec.end(), ' ');
    RECORD_HEADER h{kDataRecordSize, 7, RECORD_TABLE_BLOBJ_DATA, 0xAAAA, 0xBBBB};
    std::memcpy(rec.data(), &h, sizeof h);
    const uint16_t n =
        static_cast<uint16_t>(std::min<std::size_t>(RECORD_BINMAX, content.size() - at));
    std::memcpy(rec.data() + RECORD_HEADER_SIZE, &n, 2);
    if (n > 0) std::memcpy(rec.data() + RECORD_HEADER_SIZE + 2, content.data() + at, n);
    ARRAY_Add(&list, reinterpret_cast<const RECORD_HEADER*>(rec.data()));
    if (content.empty()) break;
  }
  return list;
}

// Encodes `stream` (taken as the encoder's byte stream) into chunks.
std::vector<RECORD_BINARY> Chunks(const Bytes& stream, int mode, int chunk = kChunk) {
  COMPR obj;
  COMPR_Init(&obj, chunk, 100000, 1000000, 100000, 1000000);
  COMPR_Set_Mode(&obj, mode);
  obj.buffer = stream;
  EXPECT_EQ(COMPR_Reset(&obj), 1);
  std::vector<RECORD_BINARY> chunks;
  RECORD_BINARY bin;
  while (COMPR_GetBin(&obj, &bin)) {
    EXPECT_LE(bin.length, chunk);
    chunks.push_back(bin);
  }
  COMPR_Free(&obj);
  return chunks;
}

// Joins chunks back; false when a step fails.
bool Join(const std::vector<RECORD_BINARY>& chunks, int mode, COMPR* obj) {
  COMPR_Init(obj, kChunk, 100000, 1000000, 100000, 1000000);
  COMPR_Set_Mode(obj, mode);
  for (const RECORD_BINARY& c : chunks) {
    if (!COMPR_AddBin(obj, c)) return false;
  }
  return COMPR_Reset(obj) == 1;
}

Bytes Body(const RECORD_BINARY& c) { return Bytes(c.data + 3, c.data + c.length); }

TEST_F(ComprTest, RunLengthCodeByteForByte) {
  struct Case {
    const char* name;
    Bytes stream;
    Bytes body;
  };
  auto run = [](std::size_t n, unsigned char c) { return Bytes(n, c); };
  auto cat = [](Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Case kCases[] = {
      {"0xB0 doubles", {'a', 0xB0, 'b'}, {'a', 0xB0, 0xB0, 'b'}},
      {"three equal bytes stay plain", run(3, 'x'), run(3, 'x')},
      {"four equal bytes", run(4, 'x'), {0xB0, 0, 'x'}},
      {"run of 0xB0", run(5, 0xB0), {0xB0, 1, 0xB0}},
      {"run of 258", run(258, 'x'), {0xB0, 254, 'x'}},
      {"run of 259 is 258 and one", run(259, 'x'), {0xB0, 254, 'x', 'x'}},
      {"run of 180 is 179 and one", run(180, 'x'), {0xB0, 175, 'x', 'x'}},
      {"run of 181", run(181, 'x'), {0xB0, 177, 'x'}},
      {"run of 438 is 258, 179 and one", run(438, 'y'), {0xB0, 254, 'y', 0xB0, 175, 'y', 'y'}},
      {"run of 183 0xB0 bytes", run(183, 0xB0), {0xB0, 179, 0xB0}},
      {"run after plain", cat({'q'}, run(180, 0xB0)), {'q', 0xB0, 175, 0xB0, 0xB0, 0xB0}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<RECORD_BINARY> chunks = Chunks(c.stream, COMPR_MODE_RLE);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(Bytes(chunks[0].data, chunks[0].data + 3), Bytes({'#', '0', '1'}));
    EXPECT_EQ(Body(chunks[0]), c.body);
    COMPR back;
    ASSERT_TRUE(Join(chunks, COMPR_MODE_RLE, &back));
    EXPECT_EQ(back.buffer, c.stream);
    COMPR_Free(&back);
  }
}

TEST_F(ComprTest, PlainStreamFillsChunksOf4000) {
  Bytes stream = RandomBytes(10000, 31, 100);  // values below 0xB0
  for (std::size_t k = 3; k < stream.size(); ++k) {
    if (stream[k] == stream[k - 1] && stream[k] == stream[k - 2] && stream[k] == stream[k - 3]) {
      stream[k] ^= 1;
    }
  }
  const std::vector<RECORD_BINARY> chunks = Chunks(stream, COMPR_MODE_RLE);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].length, 4000);
  EXPECT_EQ(chunks[1].length, 4000);
  EXPECT_EQ(chunks[2].length, 2009);
}

TEST_F(ComprTest, ChunkEdgesNeverSplitACode) {
  // Room for 7 bytes: after "abcde" only 2 are free, so the run's first
  // bytes go plain and the run code starts the next chunk; a 0xB0 with a
  // single free byte waits for the next chunk too.
  const Bytes stream = {'a', 'b', 'c', 'd', 'e', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x',
                        '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 0xB0, 'z'};
  const std::vector<RECORD_BINARY> chunks = Chunks(stream, COMPR_MODE_RLE, 10);
  ASSERT_EQ(chunks.size(), 4u);
  EXPECT_EQ(Body(chunks[0]), Bytes({'a', 'b', 'c', 'd', 'e', 'x', 'x'}));
  EXPECT_EQ(Body(chunks[1]), Bytes({0xB0, 4, 'x', '1', '2', '3', '4'}));
  EXPECT_EQ(Body(chunks[2]), Bytes({'5', '6', '7', '8', '9', 'a'}));
  EXPECT_EQ(Body(chunks[3]), Bytes({0xB0, 0xB0, 'z'}));
  for (const RECORD_BINARY& c : chunks) {
    COMPR one;
    ASSERT_TRUE(Join({c}, COMPR_MODE_RLE, &one));  // each chunk decodes by itself
    COMPR_Free(&one);
  }
}

TEST_F(ComprTest, StreamsRoundTripThroughBothEncodings) {
  struct Case {
    const char* name;
    Bytes stream;
  };
  Bytes b0_heavy = RandomBytes(30000, 32, 4);
  for (auto& b : b0_heavy) b = b == 0 ? 0xB0 : b;
  Bytes runs;
  for (int k = 1; k < 120; ++k) runs.insert(runs.end(), static_cast<std::size_t>(k * 7), k % 3 ? 0xB0 : 'r');
  const Case kCases[] = {
      {"empty", {}},
      {"one byte", {0xB0}},
      {"random", RandomBytes(50000, 33)},
      {"0xB0 heavy", b0_heavy},
      {"runs of many lengths", runs},
      {"mixed 3 MiB", MixedBytes(3 << 20, 34)},
  };
  constexpr int kChunkSizes[] = {4000, 5, 97};
  for (const Case& c : kCases) {
    for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
      for (int chunk : kChunkSizes) {
        if (chunk != 4000 && c.stream.size() > 100000) continue;  // keeps the run short
        SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(mode) + " chunk " +
                     std::to_string(chunk));
        const std::vector<RECORD_BINARY> chunks = Chunks(c.stream, mode, chunk);
        EXPECT_EQ(chunks.empty(), c.stream.empty());
        COMPR back;
        ASSERT_TRUE(Join(chunks, mode, &back));
        EXPECT_TRUE(back.buffer == c.stream);
        COMPR_Free(&back);
      }
    }
  }
}

TEST_F(ComprTest, PelkoSlicesJoinIntoOneCompressedStream) {
  const Bytes stream = MixedBytes(50000, 35);
  const std::vector<RECORD_BINARY> chunks = Chunks(stream, COMPR_MODE_PELKO);
  Bytes joined;
  for (std::size_t k = 0; k < chunks.size(); ++k) {
    EXPECT_EQ(Bytes(chunks[k].data, chunks[k].data + 3), Bytes({'#', '5', '0'}));
    if (k + 1 < chunks.size()) {
      EXPECT_EQ(chunks[k].length, kChunk);
    }
    const Bytes body = Body(chunks[k]);
    joined.insert(joined.end(), body.begin(), body.end());
  }
  ASSERT_EQ(Compress_Init(0, 5, 64), 1);
  ASSERT_EQ(Compress_Add(stream.data(), stream.size()), 1);
  Bytes direct;
  ASSERT_EQ(Compress_End(&direct), 1);
  EXPECT_TRUE(joined == direct);
}

TEST_F(ComprTest, RecordListsReadBackByteIdentical) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{4000}, std::size_t{4001},
                           std::size_t{123457}, std::size_t{1500000}}) {
    for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
      SCOPED_TRACE(std::to_string(size) + " mode " + std::to_string(mode));
      const Bytes content = MixedBytes(size, static_cast<unsigned>(size));
      const ARRAY list = PayloadList(content);
      COMPR obj;
      COMPR_Init(&obj, kChunk, 100000, 1000000, 100000, 1000000);
      COMPR_Set_Mode(&obj, mode);
      ASSERT_EQ(add_struct(&obj, list), 1);
      ASSERT_EQ(COMPR_Reset(&obj), 1);
      std::vector<RECORD_BINARY> chunks;
      RECORD_BINARY bin;
      while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin);
      COMPR_Free(&obj);

      COMPR back;
      ASSERT_TRUE(Join(chunks, mode, &back));
      EXPECT_EQ(COMPR_GetTableId(back), RECORD_TABLE_BLOBJ_DATA);
      ARRAY read;
      ASSERT_EQ(get_struct(&back, &read, nullptr, 0), 1);
      EXPECT_EQ(read.table_id, RECORD_TABLE_BLOBJ_DATA);
      ASSERT_EQ(ARRAY_Count(read), ARRAY_Count(list));
      EXPECT_EQ(ARRAY_Count(list), std::max<int>(1, static_cast<int>((size + 3999) / 4000)));
      for (int k = 0; k < ARRAY_Count(list); ++k) {
        const RECORD_HEADER* a = ARRAY_GetPtr(list, k);
        const RECORD_HEADER* b = ARRAY_GetPtr(read, k);
        EXPECT_EQ(b->idb, 0);  // only the in-memory words differ
        EXPECT_EQ(b->cmp_pk, 0u);
        EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(a) + 8,
                              reinterpret_cast<const char*>(b) + 8, 4), 0);
        EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(a) + 20,
                              reinterpret_cast<const char*>(b) + 20, kDataRecordSize - 20), 0);
      }
      COMPR_Free(&back);
    }
  }
}

TEST_F(ComprTest, SingleRecordReadsIntoTheCallersRecord) {
  struct Rec {
    RECORD_HEADER h;
    char text[12];
  };
  Rec out{{0, 5, 0, 9, 9}, {}};
  const Rec in{{sizeof(Rec), 1, RECORD_TABLE_KASPO, 3, 4}, "hello"};
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  ASSERT_EQ(add_struct(&obj, in.h), 1);
  EXPECT_EQ(obj.buffer[4], 0);  // the iDB code is not stored
  ASSERT_EQ(COMPR_Reset(&obj), 1);
  ASSERT_EQ(get_struct(&obj, nullptr, &out.h, sizeof out), 1);
  EXPECT_EQ(out.h.size, static_cast<int32_t>(sizeof(Rec)));
  EXPECT_EQ(out.h.table_id, RECORD_TABLE_KASPO);
  EXPECT_EQ(out.h.idb, 5);
  EXPECT_STREQ(out.text, "hello");
  COMPR_Free(&obj);
}

TEST_F(ComprTest, TableIdOfAnEmptyStreamIsZero) {
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  EXPECT_EQ(COMPR_GetTableId(obj), 0);
  ARRAY kaspo;
  ARRAY_Init(&kaspo, RECORD_TABLE_KASPO);
  ASSERT_EQ(add_struct(&obj, kaspo), 1);
  EXPECT_EQ(COMPR_GetTableId(obj), RECORD_TABLE_KASPO);
}

struct Damage {
  const char* name;
  Bytes chunk;  // added as one chunk, then Reset and get_struct
  int mode;
  std::string message;
};

RECORD_BINARY Bin(const Bytes& b) {
  RECORD_BINARY bin{};
  bin.length = static_cast<uint16_t>(b.size());
  std::memcpy(bin.data, b.data(), std::min<std::size_t>(b.size(), RECORD_BINMAX));
  return bin;
}

Bytes Rle(std::initializer_list<unsigned char> body) {
  Bytes b = {'#', '0', '1'};
  b.insert(b.end(), body);
  return b;
}

std::vector<Damage> DamageCases() {
  return {
      {"unknown tag", {'#', '9', '9', 1, 2}, 1, "(COMPR_AddBin) Invalid '#99'-encoded data!\n"},
      {"tag only partly there", {'#', '0'}, 1, "(COMPR_AddBin) Invalid '#0\0'-encoded data!\n"s},
      {"run mark at the end", Rle({'a', 0xB0}), 1, "(COMPR_AddBin) Invalid '#01'-encoded data!\n"},
      {"run without its byte", Rle({0xB0, 7}), 1, "(COMPR_AddBin) Invalid '#01'-encoded data!\n"},
      {"no Pelko header", {'#', '5', '0', 'x', 'y'}, 2,
       "(Uncompress_Init) Not in Pelko-format!\n(COMPR_Reset) Invalid '#50'-encoded data!\n"},
      {"empty stream", Rle({}), 1, "(get_struct) Out of data!\n"},
      {"size word 0", Rle({0, 0, 0, 0, 1, 1, 1, 1}), 1, "(get_struct) Invalid data!\n"},
      {"record past the end", Rle({40, 0, 0, 0, 0xB0, 20, 0}), 1, "(get_struct) Out of data!\n"},
      {"list header cut", Rle({0xFE, 0xFF, 0xFF, 0xFF, 1, 0}), 1, "(get_int) Out of data!\n"},
      {"list longer than its records",
       Rle({0xFE, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 101, 0, 0, 0, 20, 0xB0, 15, 0}), 1,
       "(get_struct) Out of data!\n"},
      {"negative count", Rle({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 101, 0, 0, 0}), 1,
       "(get_struct) Invalid data!\n"},
  };
}

int ReadBack(const Damage& d) {
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  COMPR_Set_Mode(&obj, d.mode);
  ARRAY list;
  RECORD_HEADER rec[4] = {};
  const int ok = COMPR_AddBin(&obj, Bin(d.chunk)) && COMPR_Reset(&obj) &&
                 get_struct(&obj, &list, rec, sizeof rec);
  COMPR_Free(&obj);
  return ok;
}

TEST_F(ComprTest, DamageIsReportedAndFailsWhenNotFatal) {
  COMPR_SetFatalOnDamage(false);
  for (const Damage& d : DamageCases()) {
    SCOPED_TRACE(d.name);
    StderrCapture capture;
    EXPECT_EQ(ReadBack(d), 0);
    EXPECT_EQ(capture.Text(), d.message);
  }
}

TEST_F(ComprTest, OversizedStructIsRefused) {
  COMPR_SetFatalOnDamage(false);
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  obj.buffer.assign(2000004, 0);
  const int32_t size = 2000000;
  std::memcpy(obj.buffer.data(), &size, 4);
  ARRAY list;
  RECORD_HEADER rec = {};
  StderrCapture capture;
  EXPECT_EQ(get_struct(&obj, &list, &rec, sizeof rec), 0);
  EXPECT_EQ(capture.Text(), "(get_struct) Size (2000000) of struct too big (max = 2000000)!\n");
}

TEST_F(ComprTest, RecordLargerThanItsRoomIsRefused) {
  COMPR_SetFatalOnDamage(false);
  struct Big {
    RECORD_HEADER h;
    char text[40];
  } big{{sizeof(Big), 0, RECORD_TABLE_KASPO, 0, 0}, "x"};
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  ASSERT_EQ(add_struct(&obj, big.h), 1);
  ASSERT_EQ(COMPR_Reset(&obj), 1);
  RECORD_HEADER small = {};
  StderrCapture capture;
  EXPECT_EQ(get_struct(&obj, nullptr, &small, sizeof small), 0);
  EXPECT_EQ(capture.Text(), "(get_struct) Invalid data!\n");
  int32_t first = 0;
  ASSERT_EQ(get_int(&obj, &first), 1);  // a failed read leaves the position
  EXPECT_EQ(first, static_cast<int32_t>(sizeof(Big)));
}

using ComprDeathTest = ComprTest;

TEST_F(ComprDeathTest, DamageEndsTheProcessByDefault) {
  for (const Damage& d : DamageCases()) {
    if (d.message.find('\0') != std::string::npos) continue;  // a regex cannot hold it
    SCOPED_TRACE(d.name);
    EXPECT_EXIT((void)ReadBack(d), ::testing::ExitedWithCode(1), Literal(d.message));
  }
}

TEST_F(ComprDeathTest, OverlongChunkSizeEndsTheProcess) {
  COMPR obj;
  EXPECT_EXIT(COMPR_Init(&obj, 4001, -1, -1, -1, -1), ::testing::ExitedWithCode(1),
              Literal("(COMPR_Init) Data-size 4001 too long (max = 4000)!\n"));
}

TEST_F(ComprDeathTest, RecordWithoutSizeEndsTheProcess) {
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  const RECORD_HEADER empty = {};
  EXPECT_EXIT((void)add_struct(&obj, empty), ::testing::ExitedWithCode(1),
              Literal("(add_struct) Error: Invalid data (array of arrays!)\n"));
  COMPR_SetFatalOnDamage(false);
  StderrCapture capture;
  EXPECT_EQ(add_struct(&obj, empty), 0);
  EXPECT_EQ(capture.Text(), "(add_struct) Error: Invalid data (array of arrays!)\n");
  EXPECT_TRUE(obj.buffer.empty());
}

// Flips bytes of the chunks of a payload list and reads it back: every
// outcome is a read without any message (the format has no checksum, so
// a flipped content byte reads back changed) or exactly one of the
// documented messages; never a crash.
TEST_F(ComprTest, FlippedChunkBytesGiveDataOrTheDocumentedMessage) {
  COMPR_SetFatalOnDamage(false);
  const std::vector<std::string> known = {
      "(COMPR_AddBin) Invalid '#01'-encoded data!\n",
      "(Uncompress_Init) Not in Pelko-format!\n(COMPR_Reset) Invalid '#50'-encoded data!\n",
      "(COMPR_Reset) Invalid '#50'-encoded data!\n",
      "(get_struct) Invalid data!\n",
      "(get_struct) Out of data!\n",
      "(get_int) Out of data!\n",
  };
  const ARRAY list = PayloadList(MixedBytes(20000, 36));
  std::mt19937 gen(37);
  for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
    COMPR obj;
    COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
    COMPR_Set_Mode(&obj, mode);
    ASSERT_EQ(add_struct(&obj, list), 1);
    ASSERT_EQ(COMPR_Reset(&obj), 1);
    std::vector<RECORD_BINARY> chunks;
    RECORD_BINARY bin;
    while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin);
    COMPR_Free(&obj);
    int failed = 0;
    for (int trial = 0; trial < 300; ++trial) {
      std::vector<RECORD_BINARY> bad = chunks;
      RECORD_BINARY& c = bad[gen() % bad.size()];
      const std::size_t at = trial < 40 ? static_cast<std::size_t>(trial) % 16 : gen() % c.length;
      c.data[at] ^= static_cast<unsigned char>(1 + gen() % 255);
      SCOPED_TRACE("mode " + std::to_string(mode) + " trial " + std::to_string(trial));
      StderrCapture capture;
      COMPR back;
      ARRAY read;
      const bool ok = Join(bad, mode, &back) && get_struct(&back, &read, nullptr, 0);
      const std::string text = capture.Text();
      if (ok) {
        EXPECT_EQ(text, "");
      } else {
        ++failed;
        const bool documented = std::find(known.begin(), known.end(), text) != known.end() ||
                                text.rfind("(COMPR_AddBin) Invalid '#", 0) == 0;
        EXPECT_TRUE(documented) << text;
      }
      COMPR_Free(&back);
    }
    EXPECT_GT(failed, 0);
  }
}

}  // namespace
