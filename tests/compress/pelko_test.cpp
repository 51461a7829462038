// Tests of the block compressor: the format (through a bit-by-bit parser
// written from the code table), the writer's choice of codes, writers side
// by side, round trips, truncation and damaged streams.
#include "compress/pelko.h"

#include <gtest/gtest.h>
#include <algorithm>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "tests/compress/sample_bytes.h"
#include "tests/support/stderr_capture.h"

namespace {
using kaspo_test::Bytes;
using kaspo_test::MixedBytes;
using kaspo_test::RandomBytes;
using kaspo_test::StderrCapture;

constexpr char kNotPelko[] = "(Uncompress_Init) Not in Pelko-format!\n";

Bytes Compress(const Bytes& data, int mode = 0, int comp_min = 5, int cache = 64) {
  Bytes out;
  EXPECT_TRUE(Compress_Init(mode, comp_min, cache) && Compress_Add(data.data(), data.size()) &&
              Compress_End(&out));
  return out;
}

// The same through a writer of its own.
Bytes CompressWith(PELKO_WRITER* writer, const Bytes& data) {
  Bytes out;
  EXPECT_TRUE(PELKO_WriterInit(writer, 0, 5, 64) &&
              PELKO_WriterAdd(writer, data.data(), data.size()) && PELKO_WriterEnd(writer, &out));
  return out;
}

// Reads everything in pieces of `piece` bytes; false on a negative read.
bool Decompress(const Bytes& z, Bytes* out, std::size_t piece = 100000) {
  out->clear();
  if (!Uncompress_Init(z.data(), z.size())) return false;
  Bytes buf(piece);
  std::ptrdiff_t got;
  while ((got = Uncompress_Read(buf.data(), piece)) > 0)
    out->insert(out->end(), buf.begin(), buf.begin() + got);
  Uncompress_End();
  return got == 0;
}

// One code: 'L' literal, 'R' run, 'B' back-reference, 'E' end, 'X' invalid.
struct Code {
  char kind;
  int v;           // the value after "111", -1 for short literals
  int rank;        // of a literal or of the run's byte
  uint32_t count;  // bytes the code stands for
  uint32_t distance;
};

std::vector<Code> ParseCodes(const Bytes& z, int comp_min) {
  std::size_t bit = 0;
  auto get = [&](int n) {
    uint32_t v = 0;
    for (int k = 0; k < n; ++k, ++bit) {
      const std::size_t at =
          PELKO_HEADER + 4 * (bit / 32) + 3 - (bit % 32) / 8;  // little-endian words
      v = v << 1 | ((z[at] >> (7 - bit % 8)) & 1);
    }
    return v;
  };
  auto literal = [&]() -> int {  // rank, or -1 - V for "111" V >= 196
    if (get(1) == 0) return 255 - static_cast<int>(get(2));
    const uint32_t t = get(2);
    if (t < 3) return (t == 0 ? 251 : t == 1 ? 243 : 227) - static_cast<int>(get(3 + t));
    const int v = static_cast<int>(get(8));
    return v < 196 ? 195 - v : -1 - v;
  };
  std::vector<Code> codes;
  for (;;) {
    const int lit = literal();
    const int v = -1 - lit;
    if (lit >= 0) {
      codes.push_back({'L', -1, lit, 1, 0});
    } else if (v <= 205) {
      const uint32_t count = get(208 - v) + 3;
      codes.push_back({'R', v, literal(), count, 0});
    } else if (v >= 217) {
      const uint32_t d = get(8 + (v - 217) / 3);
      codes.push_back({'B', v, 0, get((v - 217) % 3 == 2 ? 8 : 4 + (v - 217) % 3) + comp_min, d});
    } else {
      codes.push_back({v == 210 ? 'E' : 'X', v, 0, 0, 0});
      return codes;
    }
  }
}

// Test-side writer of streams: header, rank table, codes.
struct BitWriter {
  Bytes z;
  std::vector<int> bits;
  explicit BitWriter(int comp_min = 5, const unsigned char* ranks = nullptr)
      : z({'z', '0', '1', 'm', 'o', 'r', 'v', 'e', 'k'}) {
    for (int k = 0; k < 4; ++k) z.push_back(static_cast<unsigned char>(comp_min >> (8 * k)));
    for (int r = 0; r < 256; ++r)
      z.push_back(ranks != nullptr ? ranks[r] : static_cast<unsigned char>(r));
  }
  void Put(uint32_t v, int n) {
    for (int k = n - 1; k >= 0; --k) bits.push_back((v >> k) & 1);
  }
  Bytes Finish() {
    Bytes out = z;
    for (std::size_t w = 0; w < bits.size(); w += 32) {
      uint32_t word = 0;
      for (std::size_t k = 0; k < 32; ++k)
        word = word << 1 | (w + k < bits.size() ? bits[w + k] : 0);
      for (int k = 0; k < 4; ++k) out.push_back(static_cast<unsigned char>(word >> (8 * k)));
    }
    return out;
  }
};

// The block rules: nothing crosses a block boundary, the last byte of
// every block is a literal, references stay within the block written so
// far, keep their distance above comp_min and never overlap.
void CheckBlockRules(const Bytes& z, int comp_min, std::size_t size) {
  std::size_t at = 0;
  for (const Code& c : ParseCodes(z, comp_min)) {
    ASSERT_NE(c.kind, 'X');
    if (c.kind == 'E') break;
    const std::size_t block_end = (at / PELKO_BLOCK + 1) * PELKO_BLOCK;
    ASSERT_LE(at + c.count, block_end);
    if (at + c.count == block_end || at + c.count == size) {
      ASSERT_EQ(c.kind, 'L') << at;
    }
    if (c.kind == 'B') {
      ASSERT_GT(c.distance, static_cast<uint32_t>(comp_min));
      ASSERT_LE(c.count, c.distance);
      ASSERT_LE(c.distance, at % PELKO_BLOCK);
    }
    at += c.count;
  }
  EXPECT_EQ(at, size);
}

class PelkoTest : public ::testing::Test {
 protected:
  void SetUp() override { PELKO_ResetForTest(); }
  void TearDown() override { PELKO_ResetForTest(); }
};

TEST_F(PelkoTest, EmptyInputIsHeaderIdentityRanksAndOneEndWord) {
  const Bytes z = Compress({});
  ASSERT_EQ(z.size(), 273u);
  EXPECT_EQ(Bytes(z.begin(), z.begin() + 13),
            Bytes({'z', '0', '1', 'm', 'o', 'r', 'v', 'e', 'k', 5, 0, 0, 0}));
  for (int r = 0; r < 256; ++r) EXPECT_EQ(z[13 + r], r);
  EXPECT_EQ(ParseCodes(z, 5)[0].kind, 'E');
  Bytes back = {1};
  ASSERT_TRUE(Decompress(z, &back));
  EXPECT_TRUE(back.empty());
}

TEST_F(PelkoTest, FourEqualBytesAndOneOtherAreARunThenALiteral) {
  const Bytes z = Compress({'a', 'a', 'a', 'a', 'b'});
  // Ranks by count, ties by value: 'b' (1) is 254, 'a' (4) 255.
  EXPECT_EQ(z[13 + 253], 255);
  EXPECT_EQ(z[13 + 254], 'b');
  EXPECT_EQ(z[13 + 255], 'a');
  // "111" 205 "001", "0" "00" for rank 255, "0" "01" for rank 254, end:
  // 31 bits in one word.
  ASSERT_EQ(z.size(), 273u);
  const uint32_t word = z[269] | z[270] << 8 | z[271] << 16 | uint32_t{z[272]} << 24;
  EXPECT_EQ(word, 0b1111100110100100000111111010010u << 1);
}

TEST_F(PelkoTest, ZeroRunsAndTheRarestByte) {
  Bytes rare;  // every value 40 times but 0x37, which comes once as a run of 6
  for (int k = 0; k < 40; ++k) {
    for (int v = 0; v < 256; ++v)
      if (v != 0x37) rare.push_back(static_cast<unsigned char>(v));
    if (k == 20) rare.insert(rare.end(), 6, 0x37);
  }
  struct Case {
    const char* name;
    Bytes data;
    std::vector<uint32_t> runs;  // the runs expected, in order
    int run_rank;
  };
  const Case kCases[] = {{"10,000 zeros", Bytes(10000, 0), {4095, 4095, 1809}, 255},
                         {"run of the rarest byte", rare, {6}, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes z = Compress(c.data);
    std::vector<uint32_t> runs;
    for (const Code& code : ParseCodes(z, 5)) {
      if (code.kind != 'R') continue;
      runs.push_back(code.count);
      EXPECT_EQ(code.rank, c.run_rank);
    }
    EXPECT_EQ(runs, c.runs);
    CheckBlockRules(z, 5, c.data.size());
    Bytes back;
    ASSERT_TRUE(Decompress(z, &back));
    EXPECT_TRUE(back == c.data);
  }
}

// Literal bits of each byte value by the rank table of `z`.
std::vector<int> LiteralBitsOf(const Bytes& z) {
  std::vector<int> bits(256);
  for (int r = 0; r < 256; ++r) {
    bits[z[13 + r]] = r >= 252 ? 3 : r >= 244 ? 6 : r >= 228 ? 7 : r >= 196 ? 8 : 11;
  }
  return bits;
}

// The writer's choice of codes: no reference costs more bits than the
// literals of its bytes (a repeat of frequent bytes stays literals), and a
// reference one byte later that saves more wins over the one at a place:
// there a literal comes first.
TEST_F(PelkoTest, WriterChoosesCodesByTheirBits) {
  Bytes lazy = RandomBytes(3000, 31, 200);
  const Bytes shortfirst = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4};
  const Bytes longnext = {0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC};
  std::copy(shortfirst.begin(), shortfirst.end(), lazy.begin() + 500);
  std::copy(longnext.begin(), longnext.end(), lazy.begin() + 1000);
  lazy[2000] = 0xF0;
  std::copy(longnext.begin(), longnext.end(), lazy.begin() + 2001);
  struct Case {
    const char* name;
    Bytes data;
    std::string kinds;  // the codes from offset 2000 on
  };
  const Case kCases[] = {{"a longer reference a byte later", lazy, "LB"},
                         {"four byte values", RandomBytes(30000, 32, 4), ""},
                         {"text-like", MixedBytes(200000, 35), ""}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes z = Compress(c.data);
    CheckBlockRules(z, 5, c.data.size());
    const std::vector<int> literal = LiteralBitsOf(z);
    std::string kinds;
    std::size_t at = 0;
    for (const Code& code : ParseCodes(z, 5)) {
      if (code.kind == 'B') {
        int bits = 0;
        for (std::size_t k = at; k < at + code.count; ++k) bits += literal[c.data[k]];
        const int k = code.v - 217;
        ASSERT_GT(bits, 11 + 8 + k / 3 + (k % 3 == 2 ? 8 : 4 + k % 3)) << at;
      }
      if (at >= 2000 && kinds.size() < c.kinds.size()) kinds += code.kind;
      at += code.count;
    }
    EXPECT_EQ(kinds, c.kinds);
  }
}

// Two writers on two threads at once give what one writer gives for the
// same inputs one after the other.
TEST_F(PelkoTest, WritersSideBySideMatchOneAfterTheOther) {
  const Bytes inputs[2] = {MixedBytes(PELKO_BLOCK + 70000, 33), MixedBytes(900000, 34)};
  PELKO_WRITER one;
  Bytes alone[2];
  for (int k = 0; k < 2; ++k) alone[k] = CompressWith(&one, inputs[k]);
  PELKO_WRITER writers[2];
  Bytes together[2];
  std::thread second([&] { together[1] = CompressWith(&writers[1], inputs[1]); });
  together[0] = CompressWith(&writers[0], inputs[0]);
  second.join();
  for (int k = 0; k < 2; ++k) {
    EXPECT_TRUE(together[k] == alone[k]) << k;
    Bytes back;
    ASSERT_TRUE(Decompress(together[k], &back));
    EXPECT_TRUE(back == inputs[k]);
  }
}

TEST_F(PelkoTest, RoundTripsAcrossSizesModesAndSettings) {
  Bytes runs;
  for (int k = 0; k < 60; ++k) runs.insert(runs.end(), 4 + k * 97, static_cast<unsigned char>(k));
  // A byte seen nowhere else starts a repeat over 512 KiB back: the
  // widest distance field, which only the match cache of that byte finds.
  Bytes far = RandomBytes(700000, 5);
  std::replace(far.begin(), far.end(), static_cast<unsigned char>(255),
               static_cast<unsigned char>(0));
  far[0] = far[650000] = 255;
  std::copy(far.begin() + 1, far.begin() + 400, far.begin() + 650001);
  // One 5-byte key thousands of times, each with other bytes after it.
  Bytes crowded = RandomBytes(140000, 6);
  for (std::size_t at = 0; at + 7 <= crowded.size(); at += 7)
    std::fill(crowded.begin() + static_cast<std::ptrdiff_t>(at),
              crowded.begin() + static_cast<std::ptrdiff_t>(at) + 5, 0xAB);
  // A block that ends with its own first 300 bytes (the widest distance)
  // and a next block that begins with them again (out of reach).
  Bytes edges = RandomBytes(PELKO_BLOCK + 1000, 7);
  std::copy(edges.begin(), edges.begin() + 300, edges.begin() + (PELKO_BLOCK - 300));
  std::copy(edges.begin(), edges.begin() + 300, edges.begin() + PELKO_BLOCK);
  const std::vector<std::pair<const char*, Bytes>> data = {
      {"one byte", {42}},
      {"one key crowding its bucket", crowded},
      {"block edges", edges},
      {"random", RandomBytes(70000, 1)},
      {"runs", runs},
      {"far repeat", far},
      {"one block", MixedBytes(PELKO_BLOCK, 2)},
      {"one block and a byte", MixedBytes(PELKO_BLOCK + 1, 3)},
      {"2.5 MiB", MixedBytes(2621440 + 17, 4)},
  };
  struct Setting {
    int mode, comp_min, cache;
  };
  constexpr Setting kSettings[] = {{0, 5, 64}, {1, 5, 64}, {0, 20, 5}, {1, 256, 300}};
  for (const auto& [name, bytes] : data) {
    for (const Setting& s : kSettings) {
      SCOPED_TRACE(std::string(name) + " mode " + std::to_string(s.mode) + " cache " +
                   std::to_string(s.cache));
      const Bytes z = Compress(bytes, s.mode, s.comp_min, s.cache);
      CheckBlockRules(z, s.comp_min, bytes.size());
      // Small pieces pass through the reader's block; larger ones are
      // decoded in place.
      for (std::size_t piece : {7 + bytes.size() / 3, bytes.size() + PELKO_BLOCK}) {
        Bytes back;
        ASSERT_TRUE(Decompress(z, &back, piece));
        EXPECT_TRUE(back == bytes);
      }
    }
  }
}

// Everything through the view reader; false on a negative read. Every
// piece but the last is a whole block, and only the last is marked last.
bool DecompressViews(const Bytes& z, Bytes* out) {
  out->clear();
  if (!Uncompress_Init(z.data(), z.size())) return false;
  const unsigned char* piece = nullptr;
  std::size_t n = 0;
  bool last = false;
  bool seen_last = false;
  int got;
  while ((got = Uncompress_ReadView(&piece, &n, &last)) > 0) {
    EXPECT_FALSE(seen_last);
    EXPECT_GT(n, 0u);
    if (!last) {
      EXPECT_EQ(n, static_cast<std::size_t>(PELKO_BLOCK));
    }
    seen_last = last;
    out->insert(out->end(), piece, piece + n);
  }
  Uncompress_End();
  return got == 0;
}

// Everything the view reader delivers after a start; false when the start
// failed or a read was negative.
bool DrainViews(bool started, Bytes* out) {
  out->clear();
  const unsigned char* view = nullptr;
  std::size_t n = 0;
  bool last = false;
  int got = -1;
  while (started && (got = Uncompress_ReadView(&view, &n, &last)) > 0) {
    out->insert(out->end(), view, view + n);
  }
  Uncompress_End();
  return got == 0;
}

// The same, the reader fed in pieces of `piece` bytes with empty pieces
// between them.
bool DecompressFed(const Bytes& z, std::size_t piece, Bytes* out) {
  std::size_t at = 0;
  bool empty_next = true;
  PELKO_SOURCE source = [&](const unsigned char** data, std::size_t* n) {
    empty_next = !empty_next;
    if (at == z.size()) return 0;
    const std::size_t take = empty_next ? 0 : std::min(piece, z.size() - at);
    *data = z.data() + at;
    *n = take;
    at += take;
    return 1;
  };
  return DrainViews(Uncompress_InitSource(source), out);
}

// A reader fed piece by piece gives what the whole input gives, on good
// streams of one and several blocks, cut ones, damaged ones and headers
// alone; it reports nothing, and a source that fails is corrupt data.
TEST_F(PelkoTest, FedPieceByPieceReadsAsTheWholeInput) {
  std::vector<Bytes> inputs = {{}, Bytes(13, 'z'), Compress({}), Compress(MixedBytes(300, 1))};
  for (std::size_t size : {1, 70000, PELKO_BLOCK, 2 * PELKO_BLOCK + 5000}) {
    inputs.push_back(Compress(MixedBytes(size, static_cast<uint32_t>(size))));
  }
  const Bytes good = inputs.back();
  for (std::size_t len : {269, 270, 273, 5000, 70001}) {
    inputs.emplace_back(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(len));
  }
  std::mt19937 gen(16);
  for (int k = 0; k < 12; ++k) {
    Bytes bad = good;
    bad[gen() % bad.size()] ^= static_cast<unsigned char>(1 + gen() % 255);
    inputs.push_back(bad);
  }
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    Bytes whole;
    bool whole_ok;
    {
      StderrCapture capture;
      whole_ok = DrainViews(Uncompress_Init(inputs[i].data(), inputs[i].size()), &whole);
    }
    for (std::size_t piece : {1, 7, 3997, 65536 + 3, 1 << 20}) {
      SCOPED_TRACE(std::to_string(i) + " in pieces of " + std::to_string(piece));
      StderrCapture capture;
      Bytes fed;
      EXPECT_EQ(DecompressFed(inputs[i], piece, &fed), whole_ok);
      EXPECT_TRUE(fed == whole);
      EXPECT_EQ(capture.Text(), "");
    }
  }
  PELKO_SOURCE failing = [](const unsigned char**, std::size_t*) { return -1; };
  EXPECT_FALSE(Uncompress_InitSource(failing));
}

// The writer and reader keep their buffers from one use to the next:
// nothing of an earlier use, larger or with other settings, or damaged,
// may show in a later one.
TEST_F(PelkoTest, KeptBuffersCarryNothingOver) {
  Bytes damaged = Compress(MixedBytes(5000, 40));
  for (int k = 0; k < 4; ++k) damaged[PELKO_HEADER + k] = 0xFF;  // reference before the start
  struct Case {
    const char* name;
    Bytes data;
    int mode, comp_min, cache;
  };
  const Case kCases[] = {
      {"two blocks", MixedBytes(PELKO_BLOCK + 20000, 41), 0, 5, 64},
      {"small after large", MixedBytes(3000, 42), 0, 5, 64},
      {"small ring", RandomBytes(20000, 43, 4), 0, 5, 5},
      {"large ring, mode 1", MixedBytes(30000, 44), 1, 7, 300},
      {"empty", {}, 0, 5, 64},
      {"same bytes again", MixedBytes(3000, 42), 0, 5, 64},
      {"one block", MixedBytes(PELKO_BLOCK, 45), 0, 5, 64},
      {"one byte", {7}, 0, 5, 64},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const Bytes z = Compress(c.data, c.mode, c.comp_min, c.cache);
    PELKO_WRITER fresh;
    Bytes fresh_z;
    ASSERT_TRUE(PELKO_WriterInit(&fresh, c.mode, c.comp_min, c.cache) &&
                PELKO_WriterAdd(&fresh, c.data.data(), c.data.size()) &&
                PELKO_WriterEnd(&fresh, &fresh_z));
    EXPECT_TRUE(z == fresh_z);
    Bytes back;
    EXPECT_FALSE(DecompressViews(damaged, &back));
    ASSERT_TRUE(DecompressViews(z, &back));
    EXPECT_TRUE(back == c.data);
    ASSERT_TRUE(Decompress(z, &back, 1000));
    EXPECT_TRUE(back == c.data);
  }
}

TEST_F(PelkoTest, ViewReaderRefusesWithoutInputAndAfterDamage) {
  const unsigned char* piece = nullptr;
  std::size_t n = 0;
  bool last = false;
  EXPECT_LT(Uncompress_ReadView(&piece, &n, &last), 0);  // nothing opened
  Bytes z = Compress(MixedBytes(5000, 46));
  z[PELKO_HEADER + 3] = 0xFF;
  ASSERT_TRUE(Uncompress_Init(z.data(), z.size()));
  EXPECT_LT(Uncompress_ReadView(&piece, &n, &last), 0);
  EXPECT_LT(Uncompress_ReadView(&piece, &n, &last), 0);
  Uncompress_End();
  EXPECT_LT(Uncompress_ReadView(&piece, &n, &last), 0);  // closed
}

TEST_F(PelkoTest, InvalidSettingsWarnAndFallBack) {
  const std::string min_warning = " invalid (must be between 5 and 256) -> using 5.\n";
  const std::string cache_warning = " invalid (must be between 5 and 4096) -> using 256.\n";
  struct Case {
    int comp_min, cache;
    std::string message;
    int used_min;
  };
  const Case kCases[] = {{4, 64, "(Compress_Init) Warning: Comp_Min = 4" + min_warning, 5},
                         {257, 64, "(Compress_Init) Warning: Comp_Min = 257" + min_warning, 5},
                         {9, 4, "(Compress_Init) Warning: Comp_Cache = 4" + cache_warning, 9},
                         {9, 4097, "(Compress_Init) Warning: Comp_Cache = 4097" + cache_warning, 9},
                         {256, 4096, "", 256}};
  const Bytes data = MixedBytes(50000, 11);
  for (const Case& c : kCases) {
    StderrCapture capture;
    const Bytes z = Compress(data, 0, c.comp_min, c.cache);
    EXPECT_EQ(capture.Text(), c.message);
    EXPECT_EQ(z[9] | z[10] << 8, c.used_min);
    Bytes back;
    EXPECT_TRUE(Decompress(z, &back) && back == data);
  }
}

TEST_F(PelkoTest, ShortOrForeignHeadersFail) {
  const Bytes z = Compress(MixedBytes(1000, 12));
  struct Case {
    std::size_t length;
    int flip_at;  // -1: none
    const char* message;
  };
  const Case kCases[] = {{0, -1, kNotPelko},
                         {9, -1, kNotPelko},
                         {13, -1, kNotPelko},
                         {14, -1, ""},
                         {269, -1, ""},
                         {z.size(), 0, kNotPelko},
                         {z.size(), 8, kNotPelko},
                         {z.size(), 12, kNotPelko}};  // comp_min far out
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.length) + " flip " + std::to_string(c.flip_at));
    Bytes in(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(c.length));
    if (c.flip_at >= 0) in[static_cast<std::size_t>(c.flip_at)] ^= 0x40;
    StderrCapture capture;
    EXPECT_EQ(Uncompress_Init(in.data(), in.size()), 0);
    EXPECT_EQ(capture.Text(), c.message);
    EXPECT_LT(Uncompress_Read(in.data(), 1), 0);
  }
}

TEST_F(PelkoTest, StreamsCutAnywhereDecodeToAPrefixAndEndNormally) {
  const Bytes data = MixedBytes(6000, 13);
  const Bytes z = Compress(data);
  for (std::size_t len = 270; len < z.size();
       ++len) {  // z.size() - 4: cut after the last full word
    SCOPED_TRACE(len);
    Bytes back;
    ASSERT_TRUE(
        Decompress(Bytes(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(len)), &back, 1000));
    ASSERT_LE(back.size(), data.size());
    ASSERT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
    if (len == z.size() - 4) {
      EXPECT_GT(back.size(), data.size() - 200);
    }
  }
}

TEST_F(PelkoTest, HandMadeDamageIsCorrupt) {
  const std::vector<std::pair<uint32_t, int>> ten_literals(10, {0, 3});
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int>> codes;
    int repeat;
    bool corrupt;
  };
  const Case kCases[] = {
      {"invalid value 206", {{0x700 | 206, 11}}, 1, true},
      {"invalid value 211", {{0x700 | 211, 11}}, 1, true},
      {"invalid value 216", {{0x700 | 216, 11}}, 1, true},
      {"reference past the start", {{0x700 | 217, 11}, {11, 8}, {0, 4}}, 1, true},
      {"zero distance", {{0x700 | 217, 11}, {0, 8}, {0, 4}}, 1, true},
      {"run whose byte is no literal", {{0x700 | 205, 11}, {1, 3}, {0x700 | 210, 11}}, 1, true},
      {"overlapping reference", {{0x700 | 217, 11}, {6, 8}, {2, 4}}, 1, true},  // length 7
      {"runs beyond the block", {{0x700 | 196, 11}, {4092, 12}, {0, 3}}, 257, true},
      {"reference as long as its distance",
       {{0x700 | 217, 11}, {7, 8}, {2, 4}, {0x700 | 210, 11}},
       1,
       false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BitWriter w;
    for (const auto& [v, n] : ten_literals) w.Put(v, n);
    for (int k = 0; k < c.repeat; ++k) {
      for (const auto& [v, n] : c.codes) w.Put(v, n);
    }
    Bytes back;
    EXPECT_EQ(Decompress(w.Finish(), &back), !c.corrupt);
    if (!c.corrupt) {
      EXPECT_EQ(back, Bytes(17, 255));
    }
  }
}

TEST_F(PelkoTest, FlippedBytesNeverCrashAndRankFlipsOnlySubstitute) {
  const Bytes data = MixedBytes(20000, 14);
  const Bytes z = Compress(data);
  std::mt19937 gen(15);
  int corrupt = 0;
  for (std::size_t at = 0; at < z.size(); at += 1 + at / 100) {
    SCOPED_TRACE(at);
    Bytes bad = z;
    bad[at] ^= static_cast<unsigned char>(1 + gen() % 255);
    StderrCapture capture;
    Bytes back;
    const bool ok = Decompress(bad, &back);
    const std::string text = capture.Text();
    if (at < 9) {
      EXPECT_TRUE(!ok && text == kNotPelko);
    } else if (at >= 13 && at < PELKO_HEADER) {  // ranks: a consistent substitution
      ASSERT_TRUE(ok && back.size() == data.size());
      std::map<unsigned char, unsigned char> mapping;
      for (std::size_t k = 0; k < data.size(); ++k)
        ASSERT_EQ(mapping.emplace(data[k], back[k]).first->second, back[k]);
    } else {
      EXPECT_TRUE(text.empty() || text == kNotPelko);
      corrupt += ok ? 0 : 1;
    }
  }
  EXPECT_GT(corrupt, 0);
}

}  // namespace
