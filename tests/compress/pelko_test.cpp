// Tests of the block compressor: the exact format (through a bit-by-bit
// parser written from the format table), round trips, truncation and
// damaged streams.
#include "compress/pelko.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "tests/compress/capture.h"

namespace {
using Bytes = std::vector<unsigned char>;
using kaspo_test::MixedBytes;
using kaspo_test::RandomBytes;
using kaspo_test::StderrCapture;

constexpr char kNotPelko[] = "(Uncompress_Init) Not in Pelko-format!\n";

Bytes Compress(const Bytes& data, int mode = 0, int comp_min = 5, int cache = 64) {
  EXPECT_EQ(Compress_Init(mode, comp_min, cache), 1);
  EXPECT_EQ(Compress_Add(data.data(), data.size()), 1);
  Bytes out;
  EXPECT_EQ(Compress_End(&out), 1);
  return out;
}

// Reads everything in pieces of `piece` bytes; false on a negative read.
bool Decompress(const Bytes& z, Bytes* out, std::size_t piece = 100000) {
  out->clear();
  if (!Uncompress_Init(z.data(), z.size())) return false;
  Bytes buf(piece);
  for (;;) {
    const std::ptrdiff_t got = Uncompress_Read(buf.data(), piece);
    if (got < 0) {
      Uncompress_End();
      return false;
    }
    out->insert(out->end(), buf.begin(), buf.begin() + got);
    if (got == 0) break;
  }
  Uncompress_End();
  return true;
}

// One code of the bit stream, as the format table describes it.
struct Code {
  char kind;  // 'L' literal, 'R' run, 'B' back-reference, 'E' end, 'X' invalid
  int v = 0;  // the 8-bit value after "111", or -1
  int rank = 0;
  uint32_t count = 0;  // bytes the code stands for
  uint32_t distance = 0;
};

class BitParser {
 public:
  explicit BitParser(const Bytes& z) : z_(z), bit_(8 * PELKO_HEADER) {}
  bool AtEnd(int n) const { return bit_ + n > 8 * PELKO_HEADER + 32 * Words(); }
  uint32_t Get(int n) {
    uint32_t v = 0;
    for (int k = 0; k < n; ++k, ++bit_) {
      const std::size_t word = (bit_ - 8 * PELKO_HEADER) / 32;
      const std::size_t at = PELKO_HEADER + 4 * word;
      const uint32_t w = z_[at] | z_[at + 1] << 8 | z_[at + 2] << 16 | uint32_t{z_[at + 3]} << 24;
      v = v << 1 | ((w >> (31 - (bit_ - 8 * PELKO_HEADER) % 32)) & 1);
    }
    return v;
  }
  // A literal code; returns its rank, or -1 - V for "111" V >= 196.
  int Literal() {
    if (Get(1) == 0) return 255 - static_cast<int>(Get(2));
    switch (Get(2)) {
      case 0: return 251 - static_cast<int>(Get(3));
      case 1: return 243 - static_cast<int>(Get(4));
      case 2: return 227 - static_cast<int>(Get(5));
      default: {
        const int v = static_cast<int>(Get(8));
        return v < 196 ? 195 - v : -1 - v;
      }
    }
  }
  std::size_t Words() const { return (z_.size() - PELKO_HEADER) / 4; }

 private:
  const Bytes& z_;
  std::size_t bit_;
};

std::vector<Code> ParseCodes(const Bytes& z, int comp_min) {
  std::vector<Code> codes;
  BitParser bits(z);
  for (;;) {
    const int lit = bits.Literal();
    if (lit >= 0) {
      codes.push_back({'L', -1, lit, 1});
      continue;
    }
    const int v = -1 - lit;
    if (v <= 205) {
      const uint32_t count = bits.Get(208 - v) + 3;
      codes.push_back({'R', v, bits.Literal(), count});
    } else if (v == 210) {
      codes.push_back({'E', v});
      return codes;
    } else if (v >= 217) {
      const int k = v - 217;
      const uint32_t d = bits.Get(8 + k / 3);
      const uint32_t len = bits.Get(k % 3 == 0 ? 4 : (k % 3 == 1 ? 5 : 8)) + comp_min;
      codes.push_back({'B', v, 0, len, d});
    } else {
      codes.push_back({'X', v});
      return codes;
    }
  }
}

// Test-side writer of hand-made streams.
class BitWriter {
 public:
  explicit BitWriter(int comp_min = 5, const unsigned char* ranks = nullptr) {
    z_.assign(std::begin("z01morvek"), std::end("z01morvek") - 1);
    for (int k = 0; k < 4; ++k) z_.push_back(static_cast<unsigned char>(comp_min >> (8 * k)));
    for (int r = 0; r < 256; ++r) z_.push_back(ranks ? ranks[r] : static_cast<unsigned char>(r));
  }
  void Put(uint32_t v, int n) {
    for (int k = n - 1; k >= 0; --k) bits_.push_back((v >> k) & 1);
  }
  Bytes Finish() {
    Bytes z = z_;
    for (std::size_t w = 0; w < bits_.size(); w += 32) {
      uint32_t word = 0;
      for (std::size_t k = 0; k < 32; ++k) {
        word = word << 1 | (w + k < bits_.size() ? bits_[w + k] : 0);
      }
      for (int k = 0; k < 4; ++k) z.push_back(static_cast<unsigned char>(word >> (8 * k)));
    }
    return z;
  }

 private:
  Bytes z_;
  std::vector<int> bits_;
};

// The writer's algorithm taken literally, slow and plain: the fast writer
// must produce the same bytes.
class ReferenceWriter {
 public:
  ReferenceWriter(int mode, int comp_min, int cache) : mode_(mode), cmin_(comp_min), cache_(cache) {}

  Bytes Compress(const Bytes& data) {
    const std::size_t first = std::min<std::size_t>(data.size(), PELKO_BLOCK);
    std::vector<std::pair<std::size_t, int>> by_count;
    for (int v = 0; v < 256; ++v) by_count.push_back({0, v});
    for (std::size_t k = 0; k < first; ++k) ++by_count[data[k]].first;
    std::sort(by_count.begin(), by_count.end());
    unsigned char ranks[256];
    for (int r = 0; r < 256; ++r) ranks[r] = static_cast<unsigned char>(by_count[r].second), rank_[ranks[r]] = r;
    BitWriter w(cmin_, ranks);
    std::size_t at = 0;
    do {
      const std::size_t len = std::min<std::size_t>(PELKO_BLOCK, data.size() - at);
      CodeBlock(w, data.data() + at, len);
      at += len;
      if (len < PELKO_BLOCK) break;
    } while (true);
    w.Put(0x700 | 210, 11);
    return w.Finish();
  }

 private:
  struct Entry {
    long pos;
    uint32_t sig;
  };
  void Literal(BitWriter& w, unsigned char b) {
    const int r = rank_[b];
    if (r >= 252) w.Put(255 - r, 3);
    else if (r >= 244) w.Put(0x20 | (251 - r), 6);
    else if (r >= 228) w.Put(0x50 | (243 - r), 7);
    else if (r >= 196) w.Put(0xC0 | (227 - r), 8);
    else w.Put(0x700 | (195 - r), 11);
  }
  int LiteralBits(unsigned char b) {
    const int r = rank_[b];
    return r >= 252 ? 3 : r >= 244 ? 6 : r >= 228 ? 7 : r >= 196 ? 8 : 11;
  }
  void CodeBlock(BitWriter& w, const unsigned char* d, std::size_t ulen) {
    const long len = static_cast<long>(ulen);
    std::vector<std::vector<Entry>> ring(256);  // newest first
    long i = 0;
    while (i < len) {
      const unsigned char b = d[i];
      if (i + 4 < len && d[i + 1] == b && d[i + 2] == b && d[i + 3] == b) {
        long r = 4;
        while (i + r + 1 < len && d[i + r] == b) ++r;
        r = std::min(r, 4095L);
        int width = 3;
        while ((r - 3) >> width) ++width;
        w.Put(0x700 | (208 - width), 11), w.Put(static_cast<uint32_t>(r - 3), width);
        Literal(w, b);
        i += r;
        continue;
      }
      if (i < len - cmin_ - 1) {
        const uint32_t sig = d[i + 1] | d[i + 2] << 8 | d[i + 3] << 16 | uint32_t{d[i + 4]} << 24;
        long best_pos = -1, best_len = 0;
        for (const Entry& e : ring[b]) {
          if (e.sig != sig || e.pos >= i - cmin_) continue;
          long m = 5;
          while (d[e.pos + m] == d[i + m] && e.pos + m < i && m < cmin_ + 255 && i + m < len - 1) ++m;
          if (mode_ == 0) {
            best_pos = e.pos, best_len = m;
            break;
          }
          if (m > best_len) best_pos = e.pos, best_len = m;
        }
        ring[b].insert(ring[b].begin(), Entry{i, sig});
        if (static_cast<int>(ring[b].size()) > cache_) ring[b].pop_back();
        if (best_len < cmin_) best_len = 0;
        const long dist = i - best_pos;
        int o = 8;
        while (dist >> o) ++o;
        const long excess = best_len - cmin_;
        const int c = excess <= 15 ? 0 : excess <= 31 ? 1 : 2;
        const int lbits = c == 0 ? 4 : c == 1 ? 5 : 8;
        if (mode_ != 0 && best_len > 0 && best_len < 10) {
          int lit = 0;
          for (long k = 0; k < best_len; ++k) lit += LiteralBits(d[i + k]);
          if (lit < 11 + o + lbits) best_len = 0;
        }
        if (best_len > 0) {
          w.Put(0x700 | (217 + 3 * (o - 8) + c), 11), w.Put(static_cast<uint32_t>(dist), o);
          w.Put(static_cast<uint32_t>(excess), lbits);
          i += best_len;
          continue;
        }
      }
      Literal(w, b);
      ++i;
    }
  }
  int mode_, cmin_, cache_;
  int rank_[256] = {};
};

int32_t HeaderCompMin(const Bytes& z) {
  return static_cast<int32_t>(z[9] | z[10] << 8 | z[11] << 16 | uint32_t{z[12]} << 24);
}

class PelkoTest : public ::testing::Test {
 protected:
  void SetUp() override { PELKO_ResetForTest(); }
  void TearDown() override { PELKO_ResetForTest(); }
};

TEST_F(PelkoTest, EmptyInputIsHeaderIdentityRanksAndOneEndWord) {
  const Bytes z = Compress({});
  ASSERT_EQ(z.size(), 273u);
  EXPECT_EQ(std::string(z.begin(), z.begin() + 9), "z01morvek");
  EXPECT_EQ(HeaderCompMin(z), 5);
  for (int r = 0; r < 256; ++r) EXPECT_EQ(z[13 + r], r);
  const std::vector<Code> codes = ParseCodes(z, 5);
  ASSERT_EQ(codes.size(), 1u);
  EXPECT_EQ(codes[0].kind, 'E');
  Bytes back;
  ASSERT_TRUE(Decompress(z, &back));
  EXPECT_TRUE(back.empty());
}

TEST_F(PelkoTest, RanksOrderByCountThenByValue) {
  Bytes data;
  for (int k = 0; k < 10; ++k) data.insert(data.end(), {'z', 'y', 'a'});
  data.insert(data.end(), 5, 'z');
  data.push_back('Q');
  const Bytes z = Compress(data);
  // 252 unseen values fill ranks 0..251 by value; then Q (1), a and y (10
  // each, a first) and z (15).
  std::vector<int> unseen;
  for (int v = 0; v < 256; ++v) {
    if (v != 'z' && v != 'y' && v != 'a' && v != 'Q') unseen.push_back(v);
  }
  for (int r = 0; r < 252; ++r) EXPECT_EQ(z[13 + r], unseen[r]) << r;
  EXPECT_EQ(z[13 + 252], 'Q');
  EXPECT_EQ(z[13 + 253], 'a');
  EXPECT_EQ(z[13 + 254], 'y');
  EXPECT_EQ(z[13 + 255], 'z');
}

TEST_F(PelkoTest, FourEqualBytesAndOneOtherAreARunThenALiteral) {
  const Bytes data = {'a', 'a', 'a', 'a', 'b'};
  const Bytes z = Compress(data);
  const std::vector<Code> codes = ParseCodes(z, 5);
  ASSERT_EQ(codes.size(), 3u);
  EXPECT_EQ(codes[0].kind, 'R');
  EXPECT_EQ(codes[0].v, 205);
  EXPECT_EQ(codes[0].count, 4u);
  EXPECT_EQ(codes[0].rank, 255);  // 'a' is the most frequent byte
  EXPECT_EQ(codes[1].kind, 'L');
  EXPECT_EQ(codes[1].rank, 254);
  EXPECT_EQ(codes[2].kind, 'E');
  // "111" 205 "001", then "0" "00" for rank 255, "0" "01" for rank 254 and
  // the end code: 11111001101 001 000 001 11111010010, then zero padding.
  ASSERT_EQ(z.size(), 273u);  // 31 bits: one word
  const uint32_t word = z[269] | z[270] << 8 | z[271] << 16 | uint32_t{z[272]} << 24;
  EXPECT_EQ(word >> 1, 0b1111100110100100000111111010010u);
}

TEST_F(PelkoTest, LongZeroRunsAreCutAt4095AndEndInALiteral) {
  const Bytes data(10000, 0);
  const Bytes z = Compress(data);
  const std::vector<Code> codes = ParseCodes(z, 5);
  ASSERT_GE(codes.size(), 3u);
  uint32_t total = 0;
  for (std::size_t k = 0; k + 2 < codes.size(); ++k) {
    EXPECT_EQ(codes[k].kind, 'R');
    EXPECT_LE(codes[k].count, 4095u);
    total += codes[k].count;
  }
  EXPECT_EQ(codes[codes.size() - 2].kind, 'L');
  EXPECT_EQ(codes.back().kind, 'E');
  EXPECT_EQ(total + 1, 10000u);
  Bytes back;
  ASSERT_TRUE(Decompress(z, &back));
  EXPECT_EQ(back, data);
}

TEST_F(PelkoTest, RunOfTheRarestByteUsesTheLongLiteral) {
  // Every value but 0x37 is seen 40 times; 0x37 only in one run of 6.
  Bytes thin;
  for (int k = 0; k < 40; ++k) {
    for (int v = 0; v < 256; ++v) {
      if (v != 0x37) thin.push_back(static_cast<unsigned char>(v));
    }
    if (k == 20) thin.insert(thin.end(), 6, 0x37);
  }
  const Bytes z = Compress(thin);
  EXPECT_EQ(z[13], 0x37);
  bool seen = false;
  for (const Code& c : ParseCodes(z, 5)) seen |= c.kind == 'R' && c.rank == 0 && c.count == 6;
  EXPECT_TRUE(seen);
  Bytes back;
  ASSERT_TRUE(Decompress(z, &back));
  EXPECT_EQ(back, thin);
}

// Walks the codes and checks the block rules: nothing crosses a block
// boundary, the last byte of every block is a literal, references keep
// their distance above comp_min and their length within the distance.
void CheckBlockRules(const Bytes& z, int comp_min, std::size_t size) {
  std::size_t at = 0;
  for (const Code& c : ParseCodes(z, comp_min)) {
    if (c.kind == 'E') break;
    ASSERT_NE(c.kind, 'X');
    const std::size_t block_end = (at / PELKO_BLOCK + 1) * PELKO_BLOCK;
    ASSERT_LE(at + c.count, block_end);
    if (at + c.count == block_end || at + c.count == size) {
      ASSERT_EQ(c.kind, 'L');
    }
    if (c.kind == 'B') {
      ASSERT_GT(c.distance, static_cast<uint32_t>(comp_min));
      ASSERT_LE(c.count, c.distance);
      ASSERT_GE(c.count, static_cast<uint32_t>(comp_min));
      ASSERT_LE(c.distance, at % PELKO_BLOCK);
    }
    at += c.count;
  }
  EXPECT_EQ(at, size);
}

TEST_F(PelkoTest, MatchesTheAlgorithmTakenLiterally) {
  struct Case {
    const char* name;
    Bytes data;
    int mode, comp_min, cache;
  };
  Bytes periodic;
  for (int k = 0; k < 30000; ++k) periodic.push_back(static_cast<unsigned char>("abcabd"[k % 6]));
  const Case kCases[] = {
      {"mixed, mode 0", MixedBytes(100000, 21), 0, 5, 64},
      {"mixed, mode 1", MixedBytes(60000, 22), 1, 5, 64},
      {"small alphabet, small ring", RandomBytes(40000, 23, 4), 0, 5, 5},
      {"small alphabet, mode 1", RandomBytes(20000, 24, 4), 1, 6, 17},
      {"long minimum", MixedBytes(50000, 25), 0, 40, 64},
      {"short period", periodic, 0, 5, 64},
      {"two blocks", MixedBytes(PELKO_BLOCK + 30000, 26), 0, 5, 64},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    ReferenceWriter reference(c.mode, c.comp_min, c.cache);
    const Bytes expected = reference.Compress(c.data);
    EXPECT_TRUE(Compress(c.data, c.mode, c.comp_min, c.cache) == expected);
  }
}

TEST_F(PelkoTest, BlockBoundaryAtOneMebibyteAndOneByteMore) {
  for (std::size_t size : {std::size_t{PELKO_BLOCK}, std::size_t{PELKO_BLOCK} + 1}) {
    SCOPED_TRACE(size);
    const Bytes data = MixedBytes(size, 7);
    const Bytes z = Compress(data);
    CheckBlockRules(z, 5, size);
    const std::vector<Code> codes = ParseCodes(z, 5);
    if (size > PELKO_BLOCK) {
      ASSERT_GE(codes.size(), 2u);
      EXPECT_EQ(codes[codes.size() - 2].kind, 'L');
    }
    for (std::size_t piece : {std::size_t{65536}, std::size_t{PELKO_BLOCK} + 32, size + 100}) {
      Bytes back;
      ASSERT_TRUE(Decompress(z, &back, piece));
      EXPECT_TRUE(back == data) << piece;
    }
  }
}

struct RoundTrip {
  const char* name;
  Bytes data;
};

std::vector<RoundTrip> RoundTripData() {
  std::vector<RoundTrip> cases;
  cases.push_back({"one byte", {42}});
  cases.push_back({"random", RandomBytes(70000, 1)});
  cases.push_back({"small alphabet", RandomBytes(200000, 2, 3)});
  cases.push_back({"mixed", MixedBytes(300000, 3)});
  cases.push_back({"mixed 2.5 MiB", MixedBytes(2621440 + 17, 4)});
  Bytes periodic;
  for (int k = 0; k < 100000; ++k) periodic.push_back(static_cast<unsigned char>("abcabd"[k % 6]));
  cases.push_back({"short period", periodic});
  Bytes runs;
  for (int k = 0; k < 60; ++k) runs.insert(runs.end(), 4 + k * 97, static_cast<unsigned char>(k));
  cases.push_back({"runs of many lengths", runs});
  return cases;
}

TEST_F(PelkoTest, RoundTripsInBothModesAndSettings) {
  struct Setting {
    int mode, comp_min, cache;
  };
  constexpr Setting kSettings[] = {{0, 5, 64}, {1, 5, 64}, {0, 20, 5}, {1, 256, 300}, {0, 7, 4096}};
  for (const RoundTrip& c : RoundTripData()) {
    for (const Setting& s : kSettings) {
      SCOPED_TRACE(std::string(c.name) + " mode " + std::to_string(s.mode) + " comp_min " +
                   std::to_string(s.comp_min) + " cache " + std::to_string(s.cache));
      if (c.data.size() > 1000000 && s.cache == 4096) continue;  // keeps the run short
      const Bytes z = Compress(c.data, s.mode, s.comp_min, s.cache);
      EXPECT_EQ(HeaderCompMin(z), s.comp_min);
      if (c.data.size() < 400000) CheckBlockRules(z, s.comp_min, c.data.size());
      // Small pieces go through the reader's block; pieces above a block
      // are decoded in place.
      Bytes back;
      ASSERT_TRUE(Decompress(z, &back, s.mode == 0 ? 7 + c.data.size() / 3 : c.data.size() + 64));
      EXPECT_TRUE(back == c.data);
    }
  }
}

TEST_F(PelkoTest, DataAddedInPiecesCompressesLikeDataAddedAtOnce) {
  const Bytes data = MixedBytes(PELKO_BLOCK + 300000, 9);
  const Bytes whole = Compress(data);
  ASSERT_EQ(Compress_Init(0, 5, 64), 1);
  for (std::size_t at = 0; at < data.size(); at += 77777) {
    ASSERT_EQ(Compress_Add(data.data() + at, std::min<std::size_t>(77777, data.size() - at)), 1);
  }
  Bytes pieces;
  ASSERT_EQ(Compress_End(&pieces), 1);
  EXPECT_TRUE(pieces == whole);
}

TEST_F(PelkoTest, RepetitiveDataShrinks) {
  const Bytes data = MixedBytes(500000, 10);
  const Bytes z = Compress(data);
  EXPECT_LT(z.size(), data.size() / 3);
}

TEST_F(PelkoTest, InvalidSettingsWarnAndFallBack) {
  struct Case {
    int comp_min, cache;
    const char* message;
    int used_min;
  };
  const Case kCases[] = {
      {4, 64,
       "(Compress_Init) Warning: Comp_Min = 4 invalid (must be between 5 and 256) -> using 5.\n", 5},
      {257, 64,
       "(Compress_Init) Warning: Comp_Min = 257 invalid (must be between 5 and 256) -> using 5.\n",
       5},
      {9, 4,
       "(Compress_Init) Warning: Comp_Cache = 4 invalid (must be between 5 and 4096) -> using "
       "256.\n",
       9},
      {9, 4097,
       "(Compress_Init) Warning: Comp_Cache = 4097 invalid (must be between 5 and 4096) -> using "
       "256.\n",
       9},
      {256, 4096, "", 256},
  };
  const Bytes data = MixedBytes(50000, 11);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.message);
    StderrCapture capture;
    const Bytes z = Compress(data, 0, c.comp_min, c.cache);
    EXPECT_EQ(capture.Text(), c.message);
    EXPECT_EQ(HeaderCompMin(z), c.used_min);
    Bytes back;
    ASSERT_TRUE(Decompress(z, &back));
    EXPECT_TRUE(back == data);
  }
}

TEST_F(PelkoTest, ShortOrForeignHeadersFail) {
  const Bytes z = Compress(MixedBytes(1000, 12));
  struct Case {
    std::size_t length;
    int flip_at;  // -1: none
    const char* message;
  };
  const Case kCases[] = {
      {0, -1, kNotPelko},   {9, -1, kNotPelko},   {13, -1, kNotPelko}, {14, -1, ""},
      {269, -1, ""},        {z.size(), 0, kNotPelko}, {z.size(), 8, kNotPelko},
      {z.size(), 12, kNotPelko},  // comp_min far out of range
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::to_string(c.length) + " flip " + std::to_string(c.flip_at));
    Bytes in(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(c.length));
    if (c.flip_at >= 0) in[static_cast<std::size_t>(c.flip_at)] ^= 0x40;
    StderrCapture capture;
    EXPECT_EQ(Uncompress_Init(in.data(), in.size()), 0);
    EXPECT_EQ(capture.Text(), c.message);
    Bytes buf(10);
    EXPECT_LT(Uncompress_Read(buf.data(), buf.size()), 0);
  }
}

TEST_F(PelkoTest, StreamsCutAnywhereDecodeToAPrefixAndEndNormally) {
  const Bytes data = MixedBytes(6000, 13);
  const Bytes z = Compress(data);
  // Cut after the last full word (dropping the end code), and everywhere.
  for (std::size_t len = 270; len < z.size(); ++len) {
    SCOPED_TRACE(len);
    const Bytes cut(z.begin(), z.begin() + static_cast<std::ptrdiff_t>(len));
    Bytes back;
    ASSERT_TRUE(Decompress(cut, &back, 1000));
    ASSERT_LE(back.size(), data.size());
    ASSERT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
  }
  Bytes back;
  ASSERT_TRUE(Decompress(Bytes(z.begin(), z.end() - 4), &back));
  EXPECT_GT(back.size(), data.size() - 200);
}

TEST_F(PelkoTest, HandMadeDamageIsCorrupt) {
  struct Case {
    const char* name;
    std::vector<std::pair<uint32_t, int>> codes;
    bool corrupt;
  };
  const Case kCases[] = {
      {"invalid value 206", {{0x700 | 206, 11}}, true},
      {"invalid value 211", {{0x700 | 211, 11}}, true},
      {"invalid value 216", {{0x700 | 216, 11}}, true},
      {"reference before any byte", {{0x700 | 217, 11}, {1, 8}, {0, 4}}, true},
      {"reference past the start", {{0, 3}, {0, 3}, {0x700 | 217, 11}, {3, 8}, {0, 4}}, true},
      {"run whose byte is no literal",
       {{0x700 | 205, 11}, {1, 3}, {0x700 | 210, 11}}, true},
      {"end code", {{0, 3}, {0x700 | 210, 11}}, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    BitWriter w;
    for (const auto& [v, n] : c.codes) w.Put(v, n);
    Bytes back;
    EXPECT_EQ(Decompress(w.Finish(), &back), !c.corrupt);
  }
}

TEST_F(PelkoTest, OverlappingOrOverflowingCopiesAreCorrupt) {
  {
    // 10 literals, then a reference of distance 6 and length 5 + 2.
    BitWriter w;
    for (int k = 0; k < 10; ++k) w.Put(k & 3, 3);
    w.Put(0x700 | 217, 11), w.Put(6, 8), w.Put(2, 4);
    Bytes back;
    EXPECT_FALSE(Decompress(w.Finish(), &back));
  }
  {
    // Runs of 4095 until the block would overflow.
    BitWriter w;
    for (int k = 0; k < 257; ++k) w.Put(0x700 | 196, 11), w.Put(4092, 12), w.Put(0, 3);
    Bytes back;
    EXPECT_FALSE(Decompress(w.Finish(), &back));
  }
  {
    // The same reference with room: distance 7, length 7 is fine.
    BitWriter w;
    for (int k = 0; k < 10; ++k) w.Put(k & 3, 3);
    w.Put(0x700 | 217, 11), w.Put(7, 8), w.Put(2, 4), w.Put(0x700 | 210, 11);
    Bytes back;
    ASSERT_TRUE(Decompress(w.Finish(), &back));
    ASSERT_EQ(back.size(), 17u);
    EXPECT_TRUE(std::equal(back.begin() + 10, back.end(), back.begin() + 3));
  }
}

TEST_F(PelkoTest, FlippedBytesNeverCrashAndRankFlipsOnlySubstitute) {
  const Bytes data = MixedBytes(20000, 14);
  const Bytes z = Compress(data);
  std::mt19937 gen(15);
  int corrupt = 0;
  for (std::size_t at = 0; at < z.size(); at += 1 + at / 100) {
    Bytes bad = z;
    bad[at] ^= static_cast<unsigned char>(1 + gen() % 255);
    StderrCapture capture;
    Bytes back;
    const bool ok = Decompress(bad, &back);
    const std::string text = capture.Text();
    SCOPED_TRACE(at);
    if (at < 9) {
      EXPECT_FALSE(ok);
      EXPECT_EQ(text, kNotPelko);
    } else if (at >= 13 && at < PELKO_HEADER) {
      // A changed rank table swaps byte values consistently.
      ASSERT_TRUE(ok);
      ASSERT_EQ(back.size(), data.size());
      std::map<unsigned char, unsigned char> mapping;
      for (std::size_t k = 0; k < data.size(); ++k) {
        ASSERT_EQ(mapping.emplace(data[k], back[k]).first->second, back[k]);
      }
    } else {
      EXPECT_TRUE(text.empty() || text == kNotPelko);
      corrupt += ok ? 0 : 1;
    }
  }
  EXPECT_GT(corrupt, 0);
}

}  // namespace
