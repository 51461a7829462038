// Tests of the chunk encoder: the "#01" code byte for byte, chunk sizes,
// round trips through both encodings, and damaged chunks and streams
// (fatal by default, reported and failed when set so).
#include "content/chunk_read.h"
#include "content/chunk_write.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "compress/pelko.h"
#include "content/checksum.h"
#include "tests/compress/sample_bytes.h"
#include "tests/support/stderr_capture.h"

namespace {
using kaspo_test::Bytes;
using kaspo_test::MixedBytes;
using kaspo_test::RandomBytes;
using kaspo_test::StderrCapture;
using namespace std::string_literals;

constexpr int kChunk = 4000;
constexpr int kDataRecordSize = 4024;  // header, 16-bit length, 4000 bytes, 2 filler

class ComprTest : public ::testing::Test {
 protected:
  void SetUp() override { PELKO_ResetForTest(); }
  void TearDown() override { PELKO_ResetForTest(); }
};
using ComprDeathTest = ComprTest;

void Init(COMPR* obj, int mode, int chunk = kChunk, bool fatal = true) {
  COMPR_Init(obj, chunk, 100000, 1000000, 100000, 1000000);
  COMPR_Set_Mode(obj, mode);
  COMPR_SetFatalOnDamage(obj, fatal);
}

// A list of payload records carrying `content` 4000 bytes at a time.
ARRAY PayloadList(const Bytes& content) {
  ARRAY list;
  ARRAY_Init(&list, RECORD_TABLE_BLOBJ_DATA);
  Bytes rec(kDataRecordSize);
  std::size_t at = 0;
  do {
    std::fill(rec.begin(), rec.end(), ' ');
    const RECORD_HEADER h{kDataRecordSize, 7, RECORD_TABLE_BLOBJ_DATA, 0xAAAA, 0xBBBB};
    const uint16_t n =
        static_cast<uint16_t>(std::min<std::size_t>(RECORD_BINMAX, content.size() - at));
    std::memcpy(rec.data(), &h, sizeof h);
    std::memcpy(rec.data() + RECORD_HEADER_SIZE, &n, 2);
    std::copy_n(content.begin() + static_cast<std::ptrdiff_t>(at), n,
                rec.begin() + RECORD_HEADER_SIZE + 2);
    ARRAY_Add(&list, reinterpret_cast<const RECORD_HEADER*>(rec.data()));
    at += n;
  } while (at < content.size());
  return list;
}

// The chunks of `stream` (set as the encoder's byte stream).
std::vector<RECORD_BINARY> Chunks(const Bytes& stream, int mode, int chunk = kChunk) {
  COMPR obj;
  Init(&obj, mode, chunk);
  obj.buffer = stream;
  EXPECT_EQ(COMPR_Reset(&obj), 1);
  std::vector<RECORD_BINARY> chunks;
  RECORD_BINARY bin;
  while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin);
  for (const RECORD_BINARY& c : chunks) EXPECT_LE(c.length, chunk);
  COMPR_Free(&obj);
  return chunks;
}

// Adds the chunks back and resets; false when a step fails.
bool Join(const std::vector<RECORD_BINARY>& chunks, int mode, COMPR* obj, bool fatal = true) {
  Init(obj, mode, kChunk, fatal);
  for (const RECORD_BINARY& c : chunks) {
    if (!COMPR_AddBin(obj, c)) return false;
  }
  return COMPR_Reset(obj) == 1;
}

Bytes Body(const RECORD_BINARY& c) { return Bytes(c.data + 3, c.data + c.length); }

TEST_F(ComprTest, RunLengthCodeByteForByte) {
  const Bytes x180(180, 'x');
  struct Case {
    const char* name;
    Bytes stream, body;
  };
  const Case kCases[] = {
      {"0xB0 doubles", {'a', 0xB0, 'b'}, {'a', 0xB0, 0xB0, 'b'}},
      {"three equal bytes stay plain", Bytes(3, 'x'), Bytes(3, 'x')},
      {"four equal bytes", Bytes(4, 'x'), {0xB0, 0, 'x'}},
      {"run of 0xB0", Bytes(5, 0xB0), {0xB0, 1, 0xB0}},
      {"run of 258", Bytes(258, 'x'), {0xB0, 254, 'x'}},
      {"run of 259 is 258 and one", Bytes(259, 'x'), {0xB0, 254, 'x', 'x'}},
      {"run of 180 is 179 and one", x180, {0xB0, 175, 'x', 'x'}},
      {"run of 181", Bytes(181, 'x'), {0xB0, 177, 'x'}},
      {"run of 438 is 258, 179 and one", Bytes(438, 'y'), {0xB0, 254, 'y', 0xB0, 175, 'y', 'y'}},
      {"180 times 0xB0", Bytes(180, 0xB0), {0xB0, 175, 0xB0, 0xB0, 0xB0}},
      // Runs and plain bytes ending around the eight bytes compared at once.
      {"run of 7", Bytes(7, 'x'), {0xB0, 3, 'x'}},
      {"run of 12", Bytes(12, 'x'), {0xB0, 8, 'x'}},
      {"run of 13", Bytes(13, 'x'), {0xB0, 9, 'x'}},
      {"run of 9, then others",
       {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'y', 'z'},
       {0xB0, 5, 'x', 'y', 'z'}},
      {"0xB0 as 8th byte",
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 0xB0, 'h', 'i', 'j', 'k'},
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 0xB0, 0xB0, 'h', 'i', 'j', 'k'}},
      {"run from the 8th byte",
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'y', 'y', 'y', 'y', 'z'},
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 0xB0, 0, 'y', 'z'}},
      {"run from the 9th byte",
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'y', 'y', 'y', 'y', 'z'},
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0xB0, 0, 'y', 'z'}},
      {"three equal across eight stay plain",
       {'a', 'b', 'c', 'd', 'e', 'f', 'q', 'q', 'q', 'r', 's', 't', 'u'},
       {'a', 'b', 'c', 'd', 'e', 'f', 'q', 'q', 'q', 'r', 's', 't', 'u'}},
      {"run of 4 ends the stream",
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 'z', 'z', 'z', 'z'},
       {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'i', 'j', 0xB0, 0, 'z'}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const std::vector<RECORD_BINARY> chunks = Chunks(c.stream, COMPR_MODE_RLE);
    ASSERT_EQ(chunks.size(), 1u);
    EXPECT_EQ(std::string(chunks[0].data, chunks[0].data + 3), "#01");
    EXPECT_EQ(Body(chunks[0]), c.body);
    COMPR back;
    ASSERT_TRUE(Join(chunks, COMPR_MODE_RLE, &back));
    EXPECT_EQ(back.buffer, c.stream);
  }
}

TEST_F(ComprTest, ChunkSizesAndEdges) {
  Bytes plain = RandomBytes(10000, 31, 100);  // no 0xB0
  for (std::size_t k = 3; k < plain.size(); ++k) {
    if (plain[k] == plain[k - 1] && plain[k] == plain[k - 2] && plain[k] == plain[k - 3])
      plain[k] ^= 1;
  }
  std::vector<int> lengths;
  for (const RECORD_BINARY& c : Chunks(plain, COMPR_MODE_RLE)) lengths.push_back(c.length);
  EXPECT_EQ(lengths, std::vector<int>({4000, 4000, 2009}));

  // Room for 7 bytes: the run's first bytes go plain while fewer than 4
  // are free, and a 0xB0 with one free byte waits for the next chunk.
  const Bytes stream = {'a', 'b', 'c', 'd', 'e', 'x', 'x', 'x', 'x', 'x', 'x', 'x',  'x', 'x',
                        'x', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 0xB0, 'z'};
  const std::vector<RECORD_BINARY> chunks = Chunks(stream, COMPR_MODE_RLE, 10);
  const std::vector<Bytes> bodies = {{'a', 'b', 'c', 'd', 'e', 'x', 'x'},
                                     {0xB0, 4, 'x', '1', '2', '3', '4'},
                                     {'5', '6', '7', '8', '9', 'a'},
                                     {0xB0, 0xB0, 'z'}};
  ASSERT_EQ(chunks.size(), bodies.size());
  for (std::size_t k = 0; k < chunks.size(); ++k) {
    EXPECT_EQ(Body(chunks[k]), bodies[k]);
    COMPR one;
    EXPECT_TRUE(Join({chunks[k]}, COMPR_MODE_RLE, &one));  // each chunk decodes by itself
  }
  // Room for 10: eight plain bytes at once, then a run whose code no longer
  // fits goes plain up to the chunk's end and is coded in the next.
  const Bytes edge = {'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h',
                      'x', 'x', 'x', 'x', 'x', 'x', 'y', 'z'};
  const std::vector<RECORD_BINARY> cut = Chunks(edge, COMPR_MODE_RLE, 13);
  ASSERT_EQ(cut.size(), 2u);
  EXPECT_EQ(Body(cut[0]), Bytes({'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'x', 'x'}));
  EXPECT_EQ(Body(cut[1]), Bytes({0xB0, 0, 'x', 'y', 'z'}));
}

TEST_F(ComprTest, StreamsRoundTripThroughBothEncodings) {
  Bytes b0_heavy = RandomBytes(30000, 32, 4);
  for (auto& b : b0_heavy) b = b == 0 ? 0xB0 : b;
  Bytes runs;
  for (int k = 1; k < 120; ++k)
    runs.insert(runs.end(), static_cast<std::size_t>(k * 7), k % 3 ? 0xB0 : 'r');
  const std::vector<std::pair<const char*, Bytes>> streams = {
      {"empty", {}},
      {"one byte", {0xB0}},
      {"random", RandomBytes(50000, 33)},
      {"0xB0 heavy", b0_heavy},
      {"runs", runs},
      {"one block", MixedBytes(PELKO_BLOCK, 36)},
      {"mixed 1.2 MiB", MixedBytes(1200000, 34)},
      {"three blocks and a byte", MixedBytes(3 * PELKO_BLOCK + 1, 37)}};
  for (const auto& [name, stream] : streams) {
    for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
      for (int chunk : {4000, 5, 97}) {
        if (chunk != 4000 && stream.size() > 100000) continue;  // keeps the run short
        SCOPED_TRACE(std::string(name) + " mode " + std::to_string(mode) + " chunk " +
                     std::to_string(chunk));
        const std::vector<RECORD_BINARY> chunks = Chunks(stream, mode, chunk);
        EXPECT_EQ(chunks.empty(), stream.empty());
        COMPR back;
        ASSERT_TRUE(Join(chunks, mode, &back));
        EXPECT_TRUE(back.buffer == stream);
      }
    }
  }
}

TEST_F(ComprTest, PelkoSlicesJoinIntoOneCompressedStream) {
  const Bytes stream = MixedBytes(50000, 35);
  Bytes joined;
  for (const RECORD_BINARY& c : Chunks(stream, COMPR_MODE_PELKO)) {
    EXPECT_EQ(std::string(c.data, c.data + 3), "#50");
    const Bytes body = Body(c);
    joined.insert(joined.end(), body.begin(), body.end());
  }
  Bytes direct;
  ASSERT_TRUE(Compress_Init(0, 5, 64) && Compress_Add(stream.data(), stream.size()) &&
              Compress_End(&direct));
  EXPECT_TRUE(joined == direct);
}

TEST_F(ComprTest, RecordListsReadBackByteIdentical) {
  for (std::size_t size : {0, 1, 4000, 4001, 123457, 1500000}) {
    for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
      SCOPED_TRACE(std::to_string(size) + " mode " + std::to_string(mode));
      const ARRAY list = PayloadList(MixedBytes(size, static_cast<unsigned>(size)));
      COMPR obj;
      Init(&obj, mode);
      ASSERT_EQ(add_struct(&obj, list), 1);
      ASSERT_EQ(COMPR_Reset(&obj), 1);
      std::vector<RECORD_BINARY> chunks;
      RECORD_BINARY bin;
      while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin);
      COMPR back;
      ASSERT_TRUE(Join(chunks, mode, &back));
      EXPECT_EQ(COMPR_GetTableId(back), RECORD_TABLE_BLOBJ_DATA);
      ARRAY read;
      ASSERT_EQ(get_struct(&back, &read, nullptr, 0), 1);
      EXPECT_EQ(read.table_id, RECORD_TABLE_BLOBJ_DATA);
      ASSERT_EQ(ARRAY_Count(read), std::max<int>(1, static_cast<int>((size + 3999) / 4000)));
      for (int k = 0; k < ARRAY_Count(list); ++k) {
        const Bytes& a = list.records[static_cast<std::size_t>(k)];
        const Bytes& b = read.records[static_cast<std::size_t>(k)];
        ASSERT_EQ(b.size(), a.size());
        EXPECT_EQ(ARRAY_GetPtr(read, k)->idb, 0);  // only the in-memory words differ
        EXPECT_EQ(ARRAY_GetPtr(read, k)->cmp_lk, 0u);
        EXPECT_TRUE(std::equal(a.begin() + 20, a.end(), b.begin() + 20) &&
                    std::equal(a.begin(), a.begin() + 4, b.begin()));
      }
    }
  }
}

TEST_F(ComprTest, SingleRecordAndTableIds) {
  struct Rec {
    RECORD_HEADER h;
    char text[12];
  };
  Rec out{{0, 5, 0, 9, 9}, {}};
  const Rec in{{sizeof(Rec), 1, RECORD_TABLE_KASPO, 3, 4}, "hello"};
  COMPR obj;
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  EXPECT_EQ(COMPR_GetTableId(obj), 0);
  ASSERT_EQ(add_struct(&obj, in.h), 1);
  EXPECT_EQ(obj.buffer[4], 0);  // the iDB code is not stored
  ASSERT_EQ(COMPR_Reset(&obj), 1);
  ASSERT_EQ(get_struct(&obj, nullptr, &out.h, sizeof out), 1);
  EXPECT_EQ(out.h.table_id, RECORD_TABLE_KASPO);
  EXPECT_EQ(out.h.idb, 5);  // the caller's in-memory words stay
  EXPECT_STREQ(out.text, "hello");
  ARRAY kaspo;
  ARRAY_Init(&kaspo, RECORD_TABLE_KASPO);
  COMPR list;
  COMPR_Init(&list, kChunk, -1, -1, -1, -1);
  ASSERT_EQ(add_struct(&list, kaspo), 1);
  EXPECT_EQ(COMPR_GetTableId(list), RECORD_TABLE_KASPO);
}

struct Damage {
  const char* name;
  std::vector<Bytes> chunks;  // added, then Reset and get_struct
  int mode;
  std::string message;
};

Bytes Rle(std::initializer_list<unsigned char> body) {
  Bytes b = {'#', '0', '1'};
  b.insert(b.end(), body);
  return b;
}

std::vector<Damage> DamageCases() {
  const std::string rle = "(COMPR_AddBin) Invalid '#01'-encoded data!\n";
  Bytes huge = Rle({0x80, 0x84, 0x1E, 0});  // a record of 2,000,000 bytes
  std::vector<Bytes> huge_chunks;
  for (int k = 0; k < 7753; ++k) {
    huge.insert(huge.end(), {0xB0, 254, 0});
    if (huge.size() + 3 > kChunk) huge_chunks.push_back(huge), huge = Rle({});
  }
  huge_chunks.push_back(huge);
  return {
      {"unknown tag", {{'#', '9', '9', 1, 2}}, 1, "(COMPR_AddBin) Invalid '#99'-encoded data!\n"},
      {"tag only partly there", {{'#', '0'}}, 1, "(COMPR_AddBin) Invalid '#0\0'-encoded data!\n"s},
      {"run mark at the end", {Rle({'a', 0xB0})}, 1, rle},
      {"run without its byte", {Rle({0xB0, 7})}, 1, rle},
      {"no Pelko header",
       {{'#', '5', '0', 'x', 'y'}},
       2,
       "(Uncompress_Init) Not in Pelko-format!\n(COMPR_Reset) Invalid '#50'-encoded data!\n"},
      {"empty stream", {Rle({})}, 1, "(get_struct) Out of data!\n"},
      {"size word 0", {Rle({0, 0, 0, 0, 1, 1, 1, 1})}, 1, "(get_struct) Invalid data!\n"},
      {"record past the end", {Rle({40, 0, 0, 0, 0xB0, 20, 0})}, 1, "(get_struct) Out of data!\n"},
      {"record too big", huge_chunks, 1,
       "(get_struct) Size (2000000) of struct too big (max = 2000000)!\n"},
      {"record larger than its room",
       {Rle({70, 0, 0, 0, 0xB0, 62, 0})},
       1,
       "(get_struct) Invalid data!\n"},
      {"list header cut", {Rle({0xFE, 0xFF, 0xFF, 0xFF, 1, 0})}, 1, "(get_int) Out of data!\n"},
      {"list longer than its records",
       {Rle({0xFE, 0xFF, 0xFF, 0xFF, 2, 0, 0, 0, 101, 0, 0, 0, 20, 0xB0, 15, 0})},
       1,
       "(get_struct) Out of data!\n"},
      {"negative count",
       {Rle({0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 101, 0, 0, 0})},
       1,
       "(get_struct) Invalid data!\n"},
  };
}

int ReadBack(const Damage& d, bool fatal = true) {
  COMPR obj;
  Init(&obj, d.mode, kChunk, fatal);
  for (const Bytes& b : d.chunks) {
    RECORD_BINARY bin{};
    bin.length = static_cast<uint16_t>(b.size());
    std::copy(b.begin(), b.end(), bin.data);
    if (!COMPR_AddBin(&obj, bin)) return 0;
  }
  ARRAY list;
  RECORD_HEADER rec[3] = {};  // room for 60 bytes
  return COMPR_Reset(&obj) && get_struct(&obj, &list, rec, sizeof rec);
}

TEST_F(ComprTest, DamageIsReportedAndFailsWhenNotFatal) {
  for (const Damage& d : DamageCases()) {
    SCOPED_TRACE(d.name);
    StderrCapture capture;
    EXPECT_EQ(ReadBack(d, false), 0);
    EXPECT_EQ(capture.Text(), d.message);
  }
}

// A stream whose decoding reaches its limit exactly reads back; one byte
// more is damage, and the decoded buffer never grows past the limit on
// the way (a few bytes of code can stand for gigabytes).
TEST_F(ComprTest, DecodingStopsAtTheLimit) {
  const Bytes stream = MixedBytes(3 * 1048576 + 5, 41);  // more than one Pelko block
  for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
    const std::vector<RECORD_BINARY> chunks = Chunks(stream, mode);
    const std::string where = mode == COMPR_MODE_RLE ? "(COMPR_AddBin)" : "(COMPR_Reset)";
    for (std::size_t limit : {stream.size(), stream.size() - 1, std::size_t{1}}) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " limit " + std::to_string(limit));
      COMPR obj;
      Init(&obj, mode, kChunk, false);
      COMPR_SetLimit(&obj, limit);
      StderrCapture capture;
      bool ok = true;
      for (const RECORD_BINARY& c : chunks) ok = ok && COMPR_AddBin(&obj, c);
      ok = ok && COMPR_Reset(&obj);
      const bool fits = limit >= stream.size();
      EXPECT_EQ(ok, fits);
      EXPECT_EQ(
          capture.Text(),
          fits ? "" : where + " Decoded data too long (max = " + std::to_string(limit) + ")!\n");
      EXPECT_LE(obj.buffer.capacity(), limit);
      EXPECT_TRUE(!fits || obj.buffer == stream);
      COMPR_Free(&obj);
    }
  }
}

// The chunker, given a stream in pieces of any size, cuts the chunks that
// COMPR_GetBin cuts from the whole stream, byte for byte: runs across
// pieces, 0xB0 bytes at chunk ends, one and several Pelko blocks.
TEST_F(ComprTest, ChunkerCutsTheChunksOfTheWholeStream) {
  Bytes runs;
  for (int k = 0; k < 300; ++k)
    runs.insert(runs.end(), 1 + k % 263, static_cast<unsigned char>(k % 3 ? 0xB0 : k));
  const std::vector<Bytes> streams = {
      {}, {7}, MixedBytes(30000, 8), runs, Bytes(70000, 0xB0), MixedBytes(1048576 + 300, 9)};
  for (const Bytes& stream : streams) {
    for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
      for (int chunk : {kChunk, COMPR_MINCHUNK}) {
        if (chunk == COMPR_MINCHUNK && stream.size() > 70000) continue;
        const std::vector<RECORD_BINARY> whole = Chunks(stream, mode, chunk);
        for (std::size_t piece :
             {std::size_t{1}, std::size_t{300}, std::size_t{65536}, stream.size()}) {
          SCOPED_TRACE(std::to_string(stream.size()) + " bytes, mode " + std::to_string(mode) +
                       ", chunk " + std::to_string(chunk) + ", pieces of " + std::to_string(piece));
          COMPR_CHUNKS cut;
          COMPR_CHUNKER chunker(mode, chunk, &cut);
          for (std::size_t at = 0; at < stream.size(); at += piece) {
            chunker.Add(stream.data() + at, std::min(piece, stream.size() - at));
          }
          chunker.Finish();
          ASSERT_EQ(cut.lengths.size(), whole.size());
          COMPR_CHUNKWALK walk;
          RECORD_BINARY got;
          for (const RECORD_BINARY& expected : whole) {
            ASSERT_TRUE(COMPR_NextChunk(cut, &walk, &got));
            ASSERT_EQ(Bytes(got.data, got.data + got.length),
                      Bytes(expected.data, expected.data + expected.length));
          }
          EXPECT_FALSE(COMPR_NextChunk(cut, &walk, &got));
          if (piece >= stream.size()) break;
        }
      }
    }
  }
}

// The stream reader against the whole decoding: on good chunks of both
// encodings, with empty chunks among them, cut, flipped, mixed, past the
// limit and in the wrong mode, whatever it hands on whole is what
// COMPR_AddBin and COMPR_Reset give, and where it fails quietly they fail
// (but for the mixes it leaves to them). A sink that stops, or a
// source that fails, fails it.
TEST_F(ComprTest, StreamReaderHandsOnWhatTheWholeDecodingGives) {
  struct Case {
    std::vector<RECORD_BINARY> chunks;
    int mode;
    std::size_t limit;
    bool mixed;  // left to the whole decoding
  };
  std::vector<Case> cases;
  std::mt19937 gen(42);
  for (const Bytes& stream : {MixedBytes(1, 1), MixedBytes(30000, 2), Bytes(200000, 0xB0),
                              MixedBytes(2 * 1048576 + 77, 3)}) {
    for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
      std::vector<RECORD_BINARY> chunks = Chunks(stream, mode);
      cases.push_back({chunks, mode, SIZE_MAX, false});
      cases.push_back({chunks, mode, stream.size(), false});
      cases.push_back({chunks, mode, stream.size() - 1, false});
      cases.push_back({chunks, 3 - mode, SIZE_MAX, mode == COMPR_MODE_PELKO});
      std::vector<RECORD_BINARY> spaced;
      for (const RECORD_BINARY& c : chunks) spaced.push_back(RECORD_BINARY{}), spaced.push_back(c);
      cases.push_back({spaced, mode, SIZE_MAX, false});
      if (chunks.size() > 1) {
        cases.push_back({{chunks.begin(), chunks.end() - 1}, mode, SIZE_MAX, false});
        std::vector<RECORD_BINARY> skipped = chunks;
        skipped.erase(skipped.begin() + 1);
        cases.push_back({skipped, mode, SIZE_MAX, false});
      }
      for (int k = 0; k < 6; ++k) {
        std::vector<RECORD_BINARY> bad = chunks;
        RECORD_BINARY& c = bad[gen() % bad.size()];
        c.data[k < 2 ? k : gen() % c.length] ^= static_cast<unsigned char>(1 + gen() % 255);
        cases.push_back({bad, mode, SIZE_MAX, k < 2});
      }
    }
  }
  cases.push_back({{}, COMPR_MODE_RLE, SIZE_MAX, false});
  std::vector<RECORD_BINARY> mix = Chunks(MixedBytes(9000, 4), COMPR_MODE_PELKO);
  mix.push_back(Chunks(MixedBytes(10, 5), COMPR_MODE_RLE)[0]);
  cases.push_back({mix, COMPR_MODE_PELKO, SIZE_MAX, true});
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    const Case& c = cases[i];
    COMPR whole;
    Init(&whole, c.mode, kChunk, false);
    COMPR_SetLimit(&whole, c.limit);
    bool whole_ok = true;
    {
      StderrCapture capture;
      for (const RECORD_BINARY& chunk : c.chunks)
        whole_ok = whole_ok && COMPR_AddBin(&whole, chunk);
      whole_ok = whole_ok && COMPR_Reset(&whole);
    }
    std::size_t next = 0;
    const COMPR_CHUNKSOURCE source = [&](const RECORD_BINARY** out) {
      if (next == c.chunks.size()) return 0;
      *out = &c.chunks[next++];
      return 1;
    };
    Bytes streamed;
    StderrCapture capture;
    const int ok =
        COMPR_ReadStream(c.mode, c.limit, source, [&](const unsigned char* data, std::size_t n) {
          streamed.insert(streamed.end(), data, data + n);
          return true;
        });
    EXPECT_EQ(capture.Text(), "");
    EXPECT_TRUE(ok ? whole_ok && streamed == whole.buffer : !whole_ok || c.mixed);
    COMPR_Free(&whole);
  }
  const std::vector<RECORD_BINARY> chunks = Chunks(MixedBytes(30000, 6), COMPR_MODE_RLE);
  const auto all = [&](int fail_at) {
    std::size_t next = 0;
    return COMPR_CHUNKSOURCE([&chunks, next, fail_at](const RECORD_BINARY** out) mutable {
      if (static_cast<int>(next) == fail_at) return -1;
      if (next == chunks.size()) return 0;
      *out = &chunks[next++];
      return 1;
    });
  };
  const COMPR_STREAMSINK take = [](const unsigned char*, std::size_t) { return true; };
  EXPECT_EQ(COMPR_ReadStream(COMPR_MODE_RLE, SIZE_MAX, all(-1), take), 1);
  EXPECT_EQ(COMPR_ReadStream(COMPR_MODE_RLE, SIZE_MAX, all(1), take), 0);
  EXPECT_EQ(COMPR_ReadStream(COMPR_MODE_RLE, SIZE_MAX, all(-1),
                             [](const unsigned char*, std::size_t) { return false; }),
            0);
}

// The message as a regular expression for the death test.
std::string Pattern(const std::string& text) {
  std::string out;
  for (char c : text) out += (std::strchr("\\^$.|?*+()[]{}", c) != nullptr ? "\\"s : ""s) + c;
  return out;
}

TEST_F(ComprDeathTest, DamageEndsTheProcessByDefault) {
  for (const Damage& d : DamageCases()) {
    if (d.message.find('\0') != std::string::npos) continue;  // a pattern cannot hold it
    SCOPED_TRACE(d.name);
    EXPECT_EXIT((void)ReadBack(d), ::testing::ExitedWithCode(1), Pattern(d.message));
  }
}

TEST_F(ComprDeathTest, OverlongChunkSizeAndSizelessRecordsEndTheProcess) {
  COMPR obj;
  EXPECT_EXIT(COMPR_Init(&obj, 4001, -1, -1, -1, -1), ::testing::ExitedWithCode(1),
              Pattern("(COMPR_Init) Data-size 4001 too long (max = 4000)!\n"));
  const std::string array_of_arrays = "(add_struct) Error: Invalid data (array of arrays!)\n";
  COMPR_Init(&obj, kChunk, -1, -1, -1, -1);
  const RECORD_HEADER sizeless = {};
  EXPECT_EXIT((void)add_struct(&obj, sizeless), ::testing::ExitedWithCode(1),
              Pattern(array_of_arrays));
  COMPR_SetFatalOnDamage(&obj, false);
  StderrCapture capture;
  EXPECT_EQ(add_struct(&obj, sizeless), 0);
  EXPECT_EQ(capture.Text(), array_of_arrays);
  EXPECT_TRUE(obj.buffer.empty());
}

// Flipped chunk bytes: every outcome is a read without any message (the
// format has no checksum, so a flipped content byte reads back changed)
// or one of the documented messages; never a crash.
TEST_F(ComprTest, FlippedChunkBytesGiveDataOrTheDocumentedMessage) {
  const std::vector<std::string> known = {
      "(COMPR_AddBin) Invalid '#01'-encoded data!\n",
      "(Uncompress_Init) Not in Pelko-format!\n(COMPR_Reset) Invalid '#50'-encoded data!\n",
      "(COMPR_Reset) Invalid '#50'-encoded data!\n",
      "(get_struct) Invalid data!\n",
      "(get_struct) Out of data!\n",
      "(get_int) Out of data!\n"};
  const ARRAY list = PayloadList(MixedBytes(20000, 36));
  std::mt19937 gen(37);
  for (int mode : {COMPR_MODE_RLE, COMPR_MODE_PELKO}) {
    COMPR obj;
    Init(&obj, mode);
    ASSERT_EQ(add_struct(&obj, list), 1);
    std::vector<RECORD_BINARY> chunks;
    RECORD_BINARY bin;
    while (COMPR_GetBin(&obj, &bin)) chunks.push_back(bin);
    int failed = 0;
    for (int trial = 0; trial < 160; ++trial) {
      SCOPED_TRACE("mode " + std::to_string(mode) + " trial " + std::to_string(trial));
      std::vector<RECORD_BINARY> bad = chunks;
      RECORD_BINARY& c = bad[gen() % bad.size()];
      c.data[trial < 40 ? trial % 16 : gen() % c.length] ^=
          static_cast<unsigned char>(1 + gen() % 255);
      StderrCapture capture;
      COMPR back;
      ARRAY read;
      const bool ok = Join(bad, mode, &back, false) && get_struct(&back, &read, nullptr, 0);
      const std::string text = capture.Text();
      failed += ok ? 0 : 1;
      EXPECT_TRUE(ok ? text.empty()
                     : std::find(known.begin(), known.end(), text) != known.end() ||
                           text.rfind("(COMPR_AddBin) Invalid '#", 0) == 0)
          << text;
    }
    EXPECT_GT(failed, 0);
  }
}

}  // namespace

namespace {
// CRC-32C one bit at a time, as the polynomial defines it.
uint32_t BitwiseChecksum(const unsigned char* p, std::size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0x82F63B78u & (0u - (crc & 1u)));
  }
  return ~crc;
}
}  // namespace

TEST(Checksum, MatchesTheCrcBitByBitWhateverThePieces) {
  EXPECT_EQ(CHECKSUM_Of("123456789", 9), 0xE3069283u);
  EXPECT_EQ(CHECKSUM_Of("", 0), 0u);
  // Lengths around the eight-byte steps, at an odd start, whole and in
  // pieces of every few sizes.
  std::vector<unsigned char> data(3 * 4096 * 2 + 64);
  std::mt19937 gen(7);
  for (unsigned char& b : data) b = static_cast<unsigned char>(gen());
  for (std::size_t n : {1u, 7u, 8u, 9u, 3071u, 3072u, 3073u, 4000u, 6144u, 24577u}) {
    SCOPED_TRACE(n);
    const unsigned char* start = data.data() + 3;
    const uint32_t expected = BitwiseChecksum(start, n);
    EXPECT_EQ(CHECKSUM_Of(start, n), expected);
    for (std::size_t piece : {1u, 5u, 4096u, 5000u}) {
      uint32_t state = CHECKSUM_START;
      for (std::size_t at = 0; at < n; at += piece) {
        state = CHECKSUM_Update(state, start + at, std::min(piece, n - at));
      }
      EXPECT_EQ(CHECKSUM_Value(state), expected) << "pieces of " << piece;
    }
  }
}
