// pelko_write.cpp: the writer of the Pelko block format (pelko.h).
#include "compress/pelko.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "platform/report.h"

namespace {
// Buckets of the 5 bytes a position starts with, each the newest kSlots
// positions entered, side by side: a lookup reads one bucket where
// following a chain through a block takes a cache miss per step. 2^13
// buckets (768 KiB with their tags) stay in a core's second-level cache;
// twice as many make large files 1.5% smaller and the writer a fifth
// slower.
constexpr int kHashBits = 13;
constexpr int kSlots = PELKO_CANDIDATES;
constexpr int kHashBytes = 5;            // bytes a bucket's key holds: comp_min is never less
constexpr int kMaxCodeBitsPerByte = 11;  // no input byte costs more than a literal
constexpr int kRunTail = 4;              // last positions of a run entered into the buckets
// Shortcuts of mode 0, each worth a fraction of a percent of output: a
// match this long ends the search and is taken without a look one byte
// further; of a longer reference only this many positions at each end
// are entered.
constexpr uint32_t kNice = 24;
constexpr std::size_t kEnterLong = 8;
constexpr int kAhead = 16;  // positions between a bucket's prefetch and its use
// Stamps are block positions plus a base that grows block by block, so
// that stale buckets never need clearing; when a block would take the base
// past 32 bits the buckets are cleared once (every 4 GiB of input) and it
// starts over.
constexpr uint32_t kStampEnd = UINT32_MAX;
// Largest writer output buffer kept between compressions (4 MiB): covers
// the output of several blocks, while the output of a large item is handed
// out without a copy.
constexpr std::size_t kKeptOutput = std::size_t{4} << 20;

constexpr char kCompMinInvalid[] =
    "(Compress_Init) Warning: Comp_Min = %d invalid (must be between 5 and 256) -> using 5.\n";
constexpr char kCompCacheInvalid[] =
    "(Compress_Init) Warning: Comp_Cache = %d invalid (must be between 5 and 4096) -> using "
    "256.\n";
constexpr char kOutOfMemory[] = "(write_data) Out of memory!\n";

void StoreLe32(unsigned char* p, uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

uint64_t Load64(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Eight bytes, the first lowest.
uint64_t Load64Le(const unsigned char* p) {
  uint64_t v = Load64(p);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

int BitLength(uint32_t v) { return 32 - std::countl_zero(v); }

// Codes packed most significant bit first into 32-bit words. The
// accumulator keeps fewer than 32 pending bits in its low end.
struct BitSink {
  uint64_t acc = 0;
  int bits = 0;
  unsigned char* p = nullptr;

  // REQUIRES: n <= 32 and x < 2^n.
  void Put(uint32_t x, int n) {
    acc = (acc << n) | x;
    bits += n;
    if (bits >= 32) {
      bits -= 32;
      StoreLe32(p, static_cast<uint32_t>(acc >> bits));
      p += 4;
    }
  }
  void Flush() {
    if (bits == 0) return;
    StoreLe32(p, static_cast<uint32_t>(acc << (32 - bits)));
    p += 4;
    bits = 0;
  }
};

// One bucket: a ring of the stamps (base + position) of its newest
// positions, written downwards: from the newest slot up they grow older.
// A stamp below the base belongs to an earlier block or compression.
struct alignas(64) BUCKET {
  uint32_t stamp[kSlots];
};

// Beside each bucket, apart so that a lookup reads 16 bytes: 8 bits of
// the key of each slot's position, and the bucket's newest slot. Most
// positions of other keys are passed over without a look at the stamps or
// the data.
struct alignas(32) TAGS {
  uint8_t tag[kSlots];
  uint8_t newest;
};
}  // namespace

struct PELKO_WORK {
  bool open = false;
  int comp_min = PELKO_MINMATCH_DEFAULT;
  int depth = PELKO_CANDIDATES;  // candidates a position weighs
  uint32_t nice = kNice;
  std::size_t enter_long = kEnterLong;
  bool ranks_written = false;
  std::vector<unsigned char> block;
  std::size_t fill = 0;
  uint32_t lit_code[256] = {};
  uint8_t lit_bits[256] = {};
  std::vector<BUCKET> buckets;
  std::vector<TAGS> tags;
  // Literal bits of the block before each position, modulo 2^16: the
  // bits of a stretch no longer than a reference are a difference of two.
  std::vector<uint16_t> bit_sum;
  uint32_t base = 1;
  BitSink sink;
  std::vector<unsigned char> out;
  std::size_t out_len = 0;
  std::size_t out_growth = PELKO_OUT_GROWTH;
};

void PELKO_WORKFREE::operator()(PELKO_WORK* work) const { std::default_delete<PELKO_WORK>()(work); }

namespace {
// Makes room for `extra` more output bytes. The growth step is a floor:
// growing by half the size keeps large outputs from being copied over and
// over.
[[nodiscard]] int EnsureOut(PELKO_WORK& w, std::size_t extra) {
  const std::size_t need = w.out_len + extra;
  if (need <= w.out.size()) return 1;
  const std::size_t grown = w.out.size() + std::max(w.out_growth, w.out.size() / 2);
  try {
    w.out.resize(std::max(need, grown));
  } catch (const std::bad_alloc&) {
    DBreport(kOutOfMemory);
    return 0;
  }
  return 1;
}

void SetLiteralCode(PELKO_WORK& w, int value, int rank) {
  uint32_t code;
  int bits;
  if (rank >= 252) {
    code = static_cast<uint32_t>(255 - rank), bits = 3;
  } else if (rank >= 244) {
    code = (0x4u << 3) | static_cast<uint32_t>(251 - rank), bits = 6;
  } else if (rank >= 228) {
    code = (0x5u << 4) | static_cast<uint32_t>(243 - rank), bits = 7;
  } else if (rank >= 196) {
    code = (0x6u << 5) | static_cast<uint32_t>(227 - rank), bits = 8;
  } else {
    code = (0x7u << 8) | static_cast<uint32_t>(195 - rank), bits = 11;
  }
  w.lit_code[value] = code;
  w.lit_bits[value] = static_cast<uint8_t>(bits);
}

// Ranks from the byte counts of the first block, written right after the
// header (no code has been written yet).
void WriteRanks(PELKO_WORK& w, const unsigned char* data, std::size_t len) {
  // Four tables, so that runs of one byte value do not wait on one
  // counter's store after the other.
  uint32_t part[4][256] = {};
  std::size_t i = 0;
  for (; i + 4 <= len; i += 4) {
    ++part[0][data[i]], ++part[1][data[i + 1]], ++part[2][data[i + 2]], ++part[3][data[i + 3]];
  }
  for (; i < len; ++i) ++part[0][data[i]];
  uint32_t counts[256];
  for (int v = 0; v < 256; ++v) counts[v] = part[0][v] + part[1][v] + part[2][v] + part[3][v];
  unsigned char order[256];
  for (int v = 0; v < 256; ++v) order[v] = static_cast<unsigned char>(v);
  std::stable_sort(order, order + 256,
                   [&counts](unsigned char a, unsigned char b) { return counts[a] < counts[b]; });
  for (int r = 0; r < 256; ++r) SetLiteralCode(w, order[r], r);
  std::memcpy(w.out.data() + w.out_len, order, 256);
  w.out_len += 256;
  w.ranks_written = true;
}

// A reference candidate: `gain` is the bits it saves over literals.
struct Match {
  uint32_t pos = 0;
  uint32_t len = 0;
  int32_t gain = 0;
};

// REQUIRES: the first kHashBytes bytes at p and i agree, max_len >= 5.
uint32_t MatchLength(const unsigned char* d, std::size_t p, std::size_t i, uint32_t max_len) {
  uint32_t len = kHashBytes;
  while (len + 8 <= max_len) {
    const uint64_t x = Load64(d + p + len) ^ Load64(d + i + len);
    if (x != 0) {
      if constexpr (std::endian::native == std::endian::little) {
        return len + static_cast<uint32_t>(std::countr_zero(x)) / 8;
      } else {
        return len + static_cast<uint32_t>(std::countl_zero(x)) / 8;
      }
    }
    len += 8;
  }
  while (len < max_len && d[p + len] == d[i + len]) ++len;
  return len;
}

int DistanceBits(uint32_t d) { return std::max(8, BitLength(d)); }

int LengthClass(uint32_t excess) { return excess <= 15 ? 0 : (excess <= 31 ? 1 : 2); }

// Bits saved by coding the `len` bytes at i as a reference `distance` back.
int32_t Gain(const PELKO_WORK& w, std::size_t i, uint32_t len, uint32_t distance) {
  const uint16_t literal = static_cast<uint16_t>(w.bit_sum[i + len] - w.bit_sum[i]);
  const int ref = 11 + DistanceBits(distance) +
                  PELKO_LENGTHBITS[LengthClass(len - static_cast<uint32_t>(w.comp_min))];
  return static_cast<int32_t>(literal) - ref;
}

// The bucket of the kHashBytes bytes at p (high bits) and their check
// (the low 8). REQUIRES: kHashBytes bytes at p.
uint32_t KeyHash(const unsigned char* p) {
  const uint64_t key = PELKO_LoadWord(p) | uint64_t{p[4]} << 32;
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits - 8));
}

// Fetches the bucket of i ahead of its lookup: most positions would wait
// on theirs otherwise.
void Prefetch(const PELKO_WORK& w, const unsigned char* d, std::size_t len, std::size_t i) {
  if (i + kHashBytes > len) return;
  const uint32_t bucket = KeyHash(d + i) >> 8;
  __builtin_prefetch(&w.tags[bucket], 1);
  __builtin_prefetch(&w.buckets[bucket], 1);
}

// Enters position i as the newest of its bucket, over the oldest.
void EnterIn(PELKO_WORK& w, uint32_t key, std::size_t i) {
  TAGS& t = w.tags[key >> 8];
  const uint32_t at = (t.newest - 1u) % kSlots;
  w.buckets[key >> 8].stamp[at] = w.base + static_cast<uint32_t>(i);
  t.tag[at] = static_cast<uint8_t>(key);
  t.newest = static_cast<uint8_t>(at);
}

void Enter(PELKO_WORK& w, const unsigned char* d, std::size_t i) { EnterIn(w, KeyHash(d + i), i); }

// The high bit of each byte of x that is zero; a byte 1 above a zero byte
// may be marked too, which the stamps and the data then rule out.
uint64_t ZeroBytes(uint64_t x) { return (x - 0x0101010101010101ull) & ~x & 0x8080808080808080ull; }

// The 8 high bits of ZeroBytes, as the 8 low bits of the result.
uint32_t ByteMask(uint64_t high) {
  return static_cast<uint32_t>(((high >> 7) * 0x0102040810204080ull) >> 56);
}

// The slots whose tag is that of `key`, as bits, the newest first: bit j
// for the slot j older than the newest. Only the newest `depth` count.
// Eight tags at a time, without a branch per slot.
uint32_t Candidates(const PELKO_WORK& w, const TAGS& t, uint32_t key) {
  const uint64_t spread = 0x0101010101010101ull * (key & 255);
  const uint64_t low = Load64Le(t.tag);
  const uint64_t high = Load64Le(t.tag + 8);
  uint32_t mask = ByteMask(ZeroBytes(low ^ spread)) | ByteMask(ZeroBytes(high ^ spread)) << 8;
  mask = (mask >> t.newest | mask << (kSlots - t.newest)) & ((uint32_t{1} << kSlots) - 1);
  return mask & ((uint32_t{1} << w.depth) - 1);
}

// The candidate at i that saves most bits, from the newest `depth` of its
// bucket; then enters i. References stay more than comp_min back, no
// longer than their distance nor 255 past comp_min, and off the block's
// last byte. REQUIRES: i + comp_min + 1 < len.
void FindBest(PELKO_WORK& w, const unsigned char* d, std::size_t len, std::size_t i,
              Match* out_best) {
  const uint32_t cmin = static_cast<uint32_t>(w.comp_min);
  const uint32_t room = static_cast<uint32_t>(std::min<std::size_t>(cmin + 255, len - i - 1));
  const uint32_t key = KeyHash(d + i);
  const uint32_t first = PELKO_LoadWord(d + i);
  const BUCKET& b = w.buckets[key >> 8];
  const TAGS& t = w.tags[key >> 8];
  Prefetch(w, d, len, i + kAhead);
  Match best;
  for (uint32_t mask = Candidates(w, t, key); mask != 0; mask &= mask - 1) {
    const uint32_t at = (t.newest + static_cast<uint32_t>(std::countr_zero(mask))) % kSlots;
    if (b.stamp[at] < w.base) continue;
    const uint32_t p = b.stamp[at] - w.base;
    const uint32_t distance = static_cast<uint32_t>(i) - p;
    const uint32_t cap = std::min(room, distance);
    if (distance <= cmin || cap <= best.len) continue;
    if (d[p + best.len] != d[i + best.len] || PELKO_LoadWord(d + p) != first ||
        d[p + 4] != d[i + 4])
      continue;
    const uint32_t m = MatchLength(d, p, i, cap);
    if (m < cmin) continue;
    const int32_t gain = Gain(w, i, m, distance);
    if (gain > best.gain) best = Match{p, m, gain};
    if (m == room || m >= w.nice) break;
  }
  EnterIn(w, key, i);
  *out_best = best;
}

void PutLiteral(const PELKO_WORK& w, BitSink& s, unsigned b) {
  s.Put(w.lit_code[b], w.lit_bits[b]);
}

void PutRun(const PELKO_WORK& w, BitSink& s, unsigned b, uint32_t r) {
  const int width = std::max(3, BitLength(r - 3));
  const uint32_t v = static_cast<uint32_t>(208 - width);
  s.Put(((0x700u | v) << width) | (r - 3), 11 + width);
  PutLiteral(w, s, b);
}

void PutReference(const PELKO_WORK& w, BitSink& s, uint32_t distance, uint32_t length) {
  const int o = DistanceBits(distance);
  const uint32_t excess = length - static_cast<uint32_t>(w.comp_min);
  const int c = LengthClass(excess);
  const uint32_t v = static_cast<uint32_t>(PELKO_FIRSTREF + 3 * (o - 8) + c);
  s.Put(((0x700u | v) << o) | distance, 11 + o);
  s.Put(excess, PELKO_LENGTHBITS[c]);
}

// A run starts at i: four equal bytes and one more after them.
bool RunAt(const unsigned char* d, std::size_t len, std::size_t i) {
  return i + 4 < len && PELKO_LoadWord(d + i) == 0x01010101u * d[i];
}

// Length of the run starting at i (RunAt holds); it never takes in the
// block's last byte.
uint32_t RunLength(const unsigned char* d, std::size_t len, std::size_t i, unsigned b) {
  const std::size_t limit = std::min<std::size_t>(PELKO_MAXRUN, len - 1 - i);
  std::size_t r = 4;
  const uint64_t pattern = 0x0101010101010101ull * b;
  while (r + 8 <= limit && Load64(d + i + r) == pattern) r += 8;
  while (r < limit && d[i + r] == b) ++r;
  return static_cast<uint32_t>(r);
}

// Codes a run at i and enters its last positions, where what follows the
// run begins to show. Returns the run's length.
uint32_t CodeRun(PELKO_WORK& w, BitSink& s, const unsigned char* d, std::size_t len, std::size_t i,
                 std::size_t searched) {
  const uint32_t r = RunLength(d, len, i, d[i]);
  PutRun(w, s, d[i], r);
  for (std::size_t k = i + std::max<uint32_t>(r, kRunTail) - kRunTail; k < i + r && k < searched;
       ++k)
    Enter(w, d, k);
  return r;
}

// Codes a reference at i and enters the positions it covers from `from` on.
void CodeReference(PELKO_WORK& w, BitSink& s, const unsigned char* d, std::size_t len,
                   std::size_t i, std::size_t from, std::size_t searched, const Match& m) {
  PutReference(w, s, static_cast<uint32_t>(i - m.pos), m.len);
  const std::size_t end = std::min(i + m.len, searched);
  for (std::size_t k = from; k < end; ++k) {
    if (k == from + w.enter_long && end - k > w.enter_long) k = end - w.enter_long;
    Prefetch(w, d, len, k + kAhead);
    Enter(w, d, k);
  }
}

// Codes one block: runs wherever four equal bytes begin; elsewhere the
// reference that saves most bits, unless one a byte later saves more,
// then a literal comes first.
void CodeSteps(PELKO_WORK& w, const unsigned char* d, std::size_t len) {
  BitSink s = w.sink;
  const std::size_t cmin = static_cast<std::size_t>(w.comp_min);
  const std::size_t searched = len > cmin + 1 ? len - cmin - 1 : 0;  // positions looked up
  std::size_t i = 0;
  bool found = false;  // m holds the lookup of i already
  Match m;
  while (i < len) {
    if (RunAt(d, len, i)) {
      i += CodeRun(w, s, d, len, i, searched);
      continue;
    }
    if (i >= searched) {
      PutLiteral(w, s, d[i++]);
      continue;
    }
    if (!found) FindBest(w, d, len, i, &m);
    found = false;
    if (m.gain <= 0) {
      PutLiteral(w, s, d[i++]);
      continue;
    }
    std::size_t from = i + 1;
    if (m.len < w.nice && i + 1 < searched && !RunAt(d, len, i + 1)) {
      Match next;
      FindBest(w, d, len, i + 1, &next);
      if (next.gain > m.gain) {
        PutLiteral(w, s, d[i++]);
        m = next, found = true;
        continue;
      }
      from = i + 2;
    }
    CodeReference(w, s, d, len, i, from, searched, m);
    i += m.len;
  }
  w.out_len = static_cast<std::size_t>(s.p - w.out.data());
  s.p = nullptr;
  w.sink = s;
}

void SumLiteralBits(PELKO_WORK& w, const unsigned char* d, std::size_t len) {
  uint16_t sum = 0;
  w.bit_sum[0] = 0;
  for (std::size_t k = 0; k < len; ++k) {
    sum = static_cast<uint16_t>(sum + w.lit_bits[d[k]]);
    w.bit_sum[k + 1] = sum;
  }
}

[[nodiscard]] int CodeBlock(PELKO_WORK& w, const unsigned char* d, std::size_t len) {
  if (!w.ranks_written) {
    if (!EnsureOut(w, 256)) return 0;
    WriteRanks(w, d, len);
  }
  if (len == 0) return 1;
  if (!EnsureOut(w, len * kMaxCodeBitsPerByte / 8 + 16)) return 0;
  if (w.base + len >= kStampEnd) {
    std::fill(w.buckets.begin(), w.buckets.end(), BUCKET{});
    std::fill(w.tags.begin(), w.tags.end(), TAGS{});
    w.base = 1;
  }
  SumLiteralBits(w, d, len);
  w.sink.p = w.out.data() + w.out_len;
  CodeSteps(w, d, len);
  w.base += static_cast<uint32_t>(len);
  return 1;
}

// The compressed data to the caller: copied out of a buffer small enough
// to keep for the next compression, moved out of a larger one.
void HandOut(PELKO_WORK& w, std::vector<unsigned char>* out_data) {
  if (w.out.size() <= kKeptOutput) {
    out_data->assign(w.out.begin(), w.out.begin() + static_cast<std::ptrdiff_t>(w.out_len));
    return;
  }
  w.out.resize(w.out_len);
  *out_data = std::move(w.out);
  w.out = std::vector<unsigned char>();
}

int CheckedCompMin(int comp_min) {
  if (comp_min >= PELKO_MINMATCH_LOW && comp_min <= PELKO_MINMATCH_HIGH) return comp_min;
  DBreport(kCompMinInvalid, comp_min);
  return PELKO_MINMATCH_DEFAULT;
}

int CheckedCompCache(int comp_cache) {
  if (comp_cache >= PELKO_CACHE_LOW && comp_cache <= PELKO_CACHE_HIGH) return comp_cache;
  DBreport(kCompCacheInvalid, comp_cache);
  return PELKO_CACHE_DEFAULT;
}

// Closes the compression but keeps the work buffers and the chain stamps:
// items are mostly small, and allocating and zero-filling a block, its
// chains and an output buffer anew for each one costs more than coding
// it. An output buffer grown past kKeptOutput is let go.
void ClearWork(PELKO_WORK& w) {
  PELKO_WORK kept;
  kept.block = std::move(w.block);
  kept.buckets = std::move(w.buckets);
  kept.tags = std::move(w.tags);
  kept.bit_sum = std::move(w.bit_sum);
  kept.base = w.base;
  if (w.out.size() <= kKeptOutput) kept.out = std::move(w.out);
  w = std::move(kept);
}

// Sizes the work buffers; what they held before is never read: stamps
// below the base end a bucket, bit_sum entries are written for a block
// before they are read.
[[nodiscard]] int AllocateWork(PELKO_WRITER* writer) {
  try {
    if (!writer->work) writer->work.reset(std::make_unique<PELKO_WORK>().release());
    PELKO_WORK& w = *writer->work;
    w.block.resize(PELKO_BLOCK);
    w.buckets.resize(std::size_t{1} << kHashBits);
    w.tags.resize(std::size_t{1} << kHashBits);
    w.bit_sum.resize(PELKO_BLOCK + 1);
    w.out.resize(std::max({w.out.size(), writer->out_first, std::size_t{PELKO_HEADER + 16}}));
  } catch (const std::bad_alloc&) {
    writer->work.reset();
    return 0;
  }
  return 1;
}

// The writer of the Compress_* calls and the output sizes set for it.
PELKO_WRITER& State() {
  static PELKO_WRITER writer;
  return writer;
}
}  // namespace

int PELKO_WriterInit(PELKO_WRITER* writer, int mode, int comp_min, int comp_cache) {
  if (writer->work) ClearWork(*writer->work);
  comp_min = CheckedCompMin(comp_min);
  comp_cache = CheckedCompCache(comp_cache);
  if (!AllocateWork(writer)) return 0;
  PELKO_WORK& w = *writer->work;
  w.comp_min = comp_min;
  w.depth = std::min(comp_cache, kSlots);
  if (mode != 0) w.nice = UINT32_MAX, w.enter_long = PELKO_BLOCK;
  w.out_growth = writer->out_growth;
  std::memcpy(w.out.data(), PELKO_MAGIC, PELKO_MAGICLEN);
  StoreLe32(w.out.data() + PELKO_COMPMINAT, static_cast<uint32_t>(w.comp_min));
  w.out_len = PELKO_RANKSAT;
  w.open = true;
  return 1;
}

int PELKO_WriterAdd(PELKO_WRITER* writer, const void* data, std::size_t length) {
  if (!writer->work || !writer->work->open) return 0;
  PELKO_WORK& w = *writer->work;
  const unsigned char* p = static_cast<const unsigned char*>(data);
  while (length > 0) {
    if (w.fill == 0 && length >= PELKO_BLOCK) {
      // A whole block in the caller's data is coded where it lies.
      if (!CodeBlock(w, p, PELKO_BLOCK)) return 0;
      p += PELKO_BLOCK;
      length -= PELKO_BLOCK;
      continue;
    }
    const std::size_t take = std::min(length, PELKO_BLOCK - w.fill);
    std::memcpy(w.block.data() + w.fill, p, take);
    w.fill += take;
    p += take;
    length -= take;
    if (w.fill == PELKO_BLOCK) {
      if (!CodeBlock(w, w.block.data(), PELKO_BLOCK)) return 0;
      w.fill = 0;
    }
  }
  return 1;
}

void PELKO_WriterDrain(
    PELKO_WRITER* writer,
    const std::function<void(const unsigned char* data, std::size_t length)>& take) {
  if (!writer->work || !writer->work->open) return;
  PELKO_WORK& w = *writer->work;
  take(w.out.data(), w.out_len);
  w.out_len = 0;
}

int PELKO_WriterEnd(PELKO_WRITER* writer, std::vector<unsigned char>* out_data) {
  out_data->clear();
  if (!writer->work || !writer->work->open) return 0;
  PELKO_WORK& w = *writer->work;
  int ok = CodeBlock(w, w.block.data(), w.fill) && EnsureOut(w, 16);
  if (ok) {
    w.sink.p = w.out.data() + w.out_len;
    w.sink.Put((0x7u << 8) | PELKO_ENDCODE, 11);
    w.sink.Flush();
    w.out_len = static_cast<std::size_t>(w.sink.p - w.out.data());
    HandOut(w, out_data);
  }
  ClearWork(w);
  return ok;
}

int Compress_Init(int mode, int comp_min, int comp_cache) {
  return PELKO_WriterInit(&State(), mode, comp_min, comp_cache);
}

int Compress_Add(const void* data, std::size_t length) {
  return PELKO_WriterAdd(&State(), data, length);
}

void Compress_Drain(
    const std::function<void(const unsigned char* data, std::size_t length)>& take) {
  PELKO_WriterDrain(&State(), take);
}

int Compress_End(std::vector<unsigned char>* out_data) {
  return PELKO_WriterEnd(&State(), out_data);
}

void PELKO_SetOutputSizes(int first_size, int growth) {
  PELKO_WRITER& writer = State();
  writer.out_first = first_size > 0 ? static_cast<std::size_t>(first_size) : PELKO_OUT_FIRST;
  writer.out_growth = growth > 0 ? static_cast<std::size_t>(growth) : PELKO_OUT_GROWTH;
}

void PELKO_ResetWriterForTest() {
  State().work.reset();
  State() = PELKO_WRITER{};
}
