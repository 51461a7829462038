// pelko_write.cpp: the writer of the Pelko block format (pelko.h).
#include "compress/pelko.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "platform/report.h"

namespace {
constexpr int kHashBits = 16;            // hash chain buckets of (byte, signature)
constexpr int kChainSteps = 32;          // chain steps before the ring scan takes over
constexpr int kMaxCodeBitsPerByte = 11;  // no input byte costs more than a literal
constexpr uint32_t kCheapMatch = 10;     // nonzero mode weighs shorter matches against literals
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

struct Writer {
  bool open = false;
  int mode = 0;
  int comp_min = PELKO_MINMATCH_DEFAULT;
  int cache = PELKO_CACHE_DEFAULT;
  bool ranks_written = false;
  std::vector<unsigned char> block;
  std::size_t fill = 0;
  uint32_t lit_code[256] = {};
  uint8_t lit_bits[256] = {};
  // Per byte value, the `cache` newest positions where that byte began a
  // coded step (ring of byte b: entries b * cache ..). The signature of an
  // entry, the 4 bytes that followed it, is read from the block itself.
  std::vector<uint32_t> ring_pos;
  uint32_t ring_count[256] = {};  // entries in the ring, at most `cache`
  uint32_t ring_slot[256] = {};   // the slot written next: the oldest entry once full
  // The oldest position in each full ring (0 while a ring is filling):
  // chains stop below it. Kept apart so the search need not touch the rings.
  uint32_t ring_oldest[256] = {};
  // Mode 0 finds its candidate through hash chains of (byte, signature)
  // over the positions entered into the rings: head holds the newest
  // position + 1 of a bucket, prev the next older one. A chain is only
  // followed down to the oldest position still in the byte's ring, so it
  // finds exactly the ring entry the ring scan would find.
  std::vector<uint32_t> head;
  std::vector<uint32_t> prev;
  BitSink sink;
  std::vector<unsigned char> out;
  std::size_t out_len = 0;
};

// The one compression of the process and the output sizes set for it.
struct WRITERSTATE {
  Writer writer;
  std::size_t out_first = PELKO_OUT_FIRST;
  std::size_t out_growth = PELKO_OUT_GROWTH;
};

WRITERSTATE& State() {
  static WRITERSTATE state;
  return state;
}

// Makes room for `extra` more output bytes. The growth step is a floor:
// growing by half the size keeps large outputs from being copied over and
// over.
[[nodiscard]] int EnsureOut(Writer& w, std::size_t extra) {
  const std::size_t need = w.out_len + extra;
  if (need <= w.out.size()) return 1;
  const std::size_t grown = w.out.size() + std::max(State().out_growth, w.out.size() / 2);
  try {
    w.out.resize(std::max(need, grown));
  } catch (const std::bad_alloc&) {
    DBreport(kOutOfMemory);
    return 0;
  }
  return 1;
}

uint32_t SigHash(uint32_t byte, uint32_t sig) {
  const uint64_t key = (static_cast<uint64_t>(sig) << 8) | byte;
  return static_cast<uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kHashBits));
}

void SetLiteralCode(Writer& w, int value, int rank) {
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
void WriteRanks(Writer& w, const unsigned char* data, std::size_t len) {
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

struct Match {
  uint32_t pos = 0;
  uint32_t len = 0;
};

uint32_t MatchLength(const unsigned char* d, std::size_t p, std::size_t i, uint32_t max_len) {
  uint32_t len = 5;  // the ring's byte and the signature already agree
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

// Bits of the literal codes of d[i .. i+len-1].
uint32_t LiteralBits(const Writer& w, const unsigned char* d, std::size_t i, uint32_t len) {
  uint32_t bits = 0;
  for (uint32_t k = 0; k < len; ++k) bits += w.lit_bits[d[i + k]];
  return bits;
}

int DistanceBits(uint32_t d) { return std::max(8, BitLength(d)); }

int LengthClass(uint32_t excess) { return excess <= 15 ? 0 : (excess <= 31 ? 1 : 2); }

// The candidate search of one position: the ring of `b` from the newest
// entry to the oldest. Mode 0 takes the first qualifying candidate; other
// modes the longest (the newest among equals). A match never grows past
// the reference cap, its distance or the byte before the block's last.
Match FindMatch(const Writer& w, const unsigned char* d, std::size_t len, std::size_t i, unsigned b,
                uint32_t sig) {
  Match best;
  const uint32_t cache = static_cast<uint32_t>(w.cache);
  const uint32_t* ring = w.ring_pos.data() + std::size_t{b} * cache;
  const std::size_t cmin = static_cast<std::size_t>(w.comp_min);
  const uint32_t cap = static_cast<uint32_t>(std::min(cmin + 255, len - i - 1));
  uint32_t slot = w.ring_slot[b];
  for (uint32_t k = 0; k < w.ring_count[b]; ++k) {
    slot = slot == 0 ? cache - 1 : slot - 1;
    const uint32_t p = ring[slot];
    if (PELKO_LoadWord(d + p + 1) != sig || p + cmin >= i) continue;
    const uint32_t m = MatchLength(d, p, i, std::min(cap, static_cast<uint32_t>(i - p)));
    if (w.mode == 0) return Match{p, m};
    if (m > best.len) best = Match{p, m};
  }
  return best;
}

void RingInsert(Writer& w, unsigned b, uint32_t pos, uint32_t hash) {
  const uint32_t cache = static_cast<uint32_t>(w.cache);
  const uint32_t next = w.ring_slot[b];
  uint32_t* ring = w.ring_pos.data() + std::size_t{b} * cache;
  ring[next] = pos;
  const uint32_t after = next + 1 == cache ? 0 : next + 1;
  w.ring_slot[b] = after;
  if (w.ring_count[b] < cache) ++w.ring_count[b];
  if (w.ring_count[b] == cache) w.ring_oldest[b] = ring[after];
  w.prev[pos] = w.head[hash];
  w.head[hash] = pos + 1;
}

// The first qualifying candidate through the hash chain; the ring scan
// takes over when the chain is crowded by other keys.
Match ChainFind(const Writer& w, const unsigned char* d, std::size_t len, std::size_t i, unsigned b,
                uint32_t sig, uint32_t hash) {
  const uint32_t oldest = w.ring_oldest[b];
  const std::size_t cmin = static_cast<std::size_t>(w.comp_min);
  uint32_t link = w.head[hash];
  for (int steps = 0; link != 0 && link - 1 >= oldest; ++steps) {
    if (steps == kChainSteps) return FindMatch(w, d, len, i, b, sig);
    const uint32_t p = link - 1;
    if (p + cmin < i && d[p] == b && PELKO_LoadWord(d + p + 1) == sig) {
      const uint32_t cap = static_cast<uint32_t>(std::min(cmin + 255, len - i - 1));
      return Match{p, MatchLength(d, p, i, std::min(cap, static_cast<uint32_t>(i - p)))};
    }
    link = w.prev[p];
  }
  return Match{};
}

// Drops a match the format cannot use or the nonzero mode finds dearer
// than literals. Returns its length, or 0 when dropped.
uint32_t KeepMatch(const Writer& w, const unsigned char* d, std::size_t i, const Match& m) {
  const uint32_t cmin = static_cast<uint32_t>(w.comp_min);
  if (m.len < cmin) return 0;
  if (w.mode != 0 && m.len < kCheapMatch) {
    const uint32_t ref_bits =
        static_cast<uint32_t>(11 + DistanceBits(static_cast<uint32_t>(i - m.pos)) +
                              PELKO_LENGTHBITS[LengthClass(m.len - cmin)]);
    if (LiteralBits(w, d, i, m.len) < ref_bits) return 0;
  }
  return m.len;
}

void PutRun(Writer& w, BitSink& s, unsigned b, uint32_t r) {
  const int width = std::max(3, BitLength(r - 3));
  const uint32_t v = static_cast<uint32_t>(208 - width);
  s.Put(((0x700u | v) << width) | (r - 3), 11 + width);
  s.Put(w.lit_code[b], w.lit_bits[b]);
}

void PutReference(const Writer& w, BitSink& s, uint32_t distance, uint32_t length) {
  const int o = DistanceBits(distance);
  const uint32_t excess = length - static_cast<uint32_t>(w.comp_min);
  const int c = LengthClass(excess);
  const uint32_t v = static_cast<uint32_t>(PELKO_FIRSTREF + 3 * (o - 8) + c);
  s.Put(((0x700u | v) << o) | distance, 11 + o);
  s.Put(excess, PELKO_LENGTHBITS[c]);
}

// Length of the run starting at i (at least 4 equal bytes are known); it
// never takes in the block's last byte.
uint32_t RunLength(const unsigned char* d, std::size_t len, std::size_t i, unsigned b) {
  const std::size_t limit = std::min<std::size_t>(PELKO_MAXRUN, len - 1 - i);
  std::size_t r = 4;
  const uint64_t pattern = 0x0101010101010101ull * b;
  while (r + 8 <= limit && Load64(d + i + r) == pattern) r += 8;
  while (r < limit && d[i + r] == b) ++r;
  return static_cast<uint32_t>(r);
}

// Codes one block: every step is a run, a back-reference or a literal.
void CodeSteps(Writer& w, const unsigned char* d, std::size_t len) {
  BitSink s = w.sink;
  const std::size_t cmin = static_cast<std::size_t>(w.comp_min);
  std::size_t i = 0;
  while (i < len) {
    const unsigned b = d[i];
    if (i + 4 < len && PELKO_LoadWord(d + i) == 0x01010101u * b) {
      const uint32_t r = RunLength(d, len, i, b);
      PutRun(w, s, b, r);
      i += r;
      continue;
    }
    if (i + cmin + 1 < len) {
      const uint32_t sig = PELKO_LoadWord(d + i + 1);
      const uint32_t hash = SigHash(b, sig);
      // Most positions become literals, and then the next one's bucket is
      // wanted at once: fetch it while this one is searched.
      __builtin_prefetch(&w.head[SigHash(d[i + 1], PELKO_LoadWord(d + i + 2))]);
      const Match m =
          w.mode == 0 ? ChainFind(w, d, len, i, b, sig, hash) : FindMatch(w, d, len, i, b, sig);
      RingInsert(w, b, static_cast<uint32_t>(i), hash);
      const uint32_t kept = KeepMatch(w, d, i, m);
      if (kept != 0) {
        PutReference(w, s, static_cast<uint32_t>(i - m.pos), kept);
        i += kept;
        continue;
      }
    }
    s.Put(w.lit_code[b], w.lit_bits[b]);
    ++i;
  }
  w.out_len = static_cast<std::size_t>(s.p - w.out.data());
  s.p = nullptr;
  w.sink = s;
}

[[nodiscard]] int CodeBlock(Writer& w, const unsigned char* d, std::size_t len) {
  if (!w.ranks_written) {
    if (!EnsureOut(w, 256)) return 0;
    WriteRanks(w, d, len);
  }
  if (len == 0) return 1;
  if (!EnsureOut(w, len * kMaxCodeBitsPerByte / 8 + 16)) return 0;
  std::fill(w.ring_count, w.ring_count + 256, 0u);
  std::fill(w.ring_slot, w.ring_slot + 256, 0u);
  std::fill(w.ring_oldest, w.ring_oldest + 256, 0u);
  std::fill(w.head.begin(), w.head.end(), 0u);
  w.sink.p = w.out.data() + w.out_len;
  CodeSteps(w, d, len);
  return 1;
}

// The compressed data to the caller: copied out of a buffer small enough
// to keep for the next compression, moved out of a larger one.
void HandOut(Writer& w, std::vector<unsigned char>* out_data) {
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

// Closes the compression but keeps the work buffers: items are mostly
// small, and allocating and zero-filling a block, its chains and an output
// buffer anew for each one costs more than coding it. An output buffer
// grown past kKeptOutput is let go.
void ClearWriter(Writer& w) {
  Writer kept;
  kept.block = std::move(w.block);
  kept.ring_pos = std::move(w.ring_pos);
  kept.head = std::move(w.head);
  kept.prev = std::move(w.prev);
  if (w.out.size() <= kKeptOutput) kept.out = std::move(w.out);
  w = std::move(kept);
}

// Sizes the work buffers; what they held before is never read: ring
// entries are read only below the ring's count, chain links only for
// positions entered in the current block, and CodeBlock empties the
// chain heads.
[[nodiscard]] int AllocateWriter(Writer& w) {
  const std::size_t ring = 256 * static_cast<std::size_t>(w.cache);
  try {
    w.block.resize(PELKO_BLOCK);
    w.ring_pos.resize(ring);
    w.head.resize(std::size_t{1} << kHashBits);
    w.prev.resize(PELKO_BLOCK);
    w.out.resize(std::max({w.out.size(), State().out_first, std::size_t{PELKO_HEADER + 16}}));
  } catch (const std::bad_alloc&) {
    w = Writer{};
    return 0;
  }
  return 1;
}
}  // namespace

int Compress_Init(int mode, int comp_min, int comp_cache) {
  Writer& w = State().writer;
  ClearWriter(w);
  w.mode = mode;
  w.comp_min = CheckedCompMin(comp_min);
  w.cache = CheckedCompCache(comp_cache);
  if (!AllocateWriter(w)) return 0;
  std::memcpy(w.out.data(), PELKO_MAGIC, PELKO_MAGICLEN);
  StoreLe32(w.out.data() + PELKO_COMPMINAT, static_cast<uint32_t>(w.comp_min));
  w.out_len = PELKO_RANKSAT;
  w.open = true;
  return 1;
}

int Compress_Add(const void* data, std::size_t length) {
  Writer& w = State().writer;
  if (!w.open) return 0;
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

void Compress_Drain(
    const std::function<void(const unsigned char* data, std::size_t length)>& take) {
  Writer& w = State().writer;
  if (!w.open) return;
  take(w.out.data(), w.out_len);
  w.out_len = 0;
}

int Compress_End(std::vector<unsigned char>* out_data) {
  Writer& w = State().writer;
  out_data->clear();
  if (!w.open) return 0;
  int ok = CodeBlock(w, w.block.data(), w.fill) && EnsureOut(w, 16);
  if (ok) {
    w.sink.p = w.out.data() + w.out_len;
    w.sink.Put((0x7u << 8) | PELKO_ENDCODE, 11);
    w.sink.Flush();
    w.out_len = static_cast<std::size_t>(w.sink.p - w.out.data());
    HandOut(w, out_data);
  }
  ClearWriter(w);
  return ok;
}

void PELKO_SetOutputSizes(int first_size, int growth) {
  WRITERSTATE& state = State();
  state.out_first = first_size > 0 ? static_cast<std::size_t>(first_size) : PELKO_OUT_FIRST;
  state.out_growth = growth > 0 ? static_cast<std::size_t>(growth) : PELKO_OUT_GROWTH;
}

void PELKO_ResetWriterForTest() { State() = WRITERSTATE{}; }
