// pelko_read.cpp: the reader of the Pelko block format (pelko.h).
#include "compress/pelko.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <new>

#include "platform/report.h"

namespace {
constexpr int kBlockSlack = 32;  // reader block tail for 16-byte copies
// Largest reader input buffer kept between decompressions (4 MiB): covers
// the input of several blocks, while a large input is let go.
constexpr std::size_t kKeptInput = std::size_t{4} << 20;
// Input a reader fed piece by piece gathers before it decodes on, and the
// input it keeps ahead of its decoding while more may come: enough for
// the few codes that can end a block.
constexpr std::size_t kSourceWindow = std::size_t{64} << 10;
constexpr std::size_t kSourceMargin = 64;

constexpr char kNotPelko[] = "(Uncompress_Init) Not in Pelko-format!\n";

struct Reader {
  bool open = false;
  std::vector<unsigned char> input;  // the bit stream part of the input (a window of it when fed)
  std::size_t in_pos = 0;
  PELKO_SOURCE source;      // where more input comes from; empty when the input is whole
  bool input_ended = true;  // no more input will come
  bool source_failed = false;
  int comp_min = PELKO_MINMATCH_DEFAULT;
  // By the top 11 bits of the stream: literal length << 8 | byte value,
  // or for "111" with V >= 196 just V (length 0).
  uint16_t table[2048] = {};
  // By the top 12 bits: the one or two literals whose codes lie wholly
  // inside them: first byte | second byte << 8 | count << 16 | bits << 24;
  // count 0 when the first code is not a literal.
  uint32_t pairs[4096] = {};
  uint8_t distance_bits[256] = {};  // by V of a back-reference
  uint8_t length_bits[256] = {};
  uint64_t buf = 0;  // pending bits at the top, zeros below
  int cnt = 0;
  std::vector<unsigned char> block;
  std::size_t fill = 0;
  std::size_t read_pos = 0;
  bool end = false;
  bool failed = false;
};

// The one decompression of the process.
Reader& State() {
  static Reader reader;
  return reader;
}

// The decode tables of a rank table follow from the code table alone, by
// rank: worked out once, each reader only puts its byte values in.
struct RankTables {
  // table[] with ranks where the reader has byte values.
  uint16_t table[2048];
  // pairs[] likewise: the ranks of the first and second literal in the
  // low bytes.
  uint32_t pairs[4096];
  uint8_t distance_bits[256] = {};
  uint8_t length_bits[256] = {};

  RankTables() {
    for (uint32_t idx = 0; idx < 2048; ++idx) {
      int rank = -1;
      int bits = 0;
      if ((idx >> 10) == 0) {
        rank = 255 - static_cast<int>((idx >> 8) & 3), bits = 3;
      } else if ((idx >> 8) == 4) {
        rank = 251 - static_cast<int>((idx >> 5) & 7), bits = 6;
      } else if ((idx >> 8) == 5) {
        rank = 243 - static_cast<int>((idx >> 4) & 15), bits = 7;
      } else if ((idx >> 8) == 6) {
        rank = 227 - static_cast<int>((idx >> 3) & 31), bits = 8;
      } else if ((idx & 255) < 196) {
        rank = 195 - static_cast<int>(idx & 255), bits = 11;
      }
      table[idx] =
          rank < 0 ? static_cast<uint16_t>(idx & 255) : static_cast<uint16_t>((bits << 8) | rank);
    }
    for (uint32_t idx = 0; idx < 4096; ++idx) {
      const uint32_t first = table[idx >> 1];
      const uint32_t n1 = first >> 8;
      if (n1 == 0) {
        pairs[idx] = 0;
        continue;
      }
      uint32_t entry = (first & 255) | 1u << 16 | n1 << 24;
      const uint32_t second = table[(idx << n1 >> 1) & 2047];
      const uint32_t n2 = second >> 8;
      if (n2 != 0 && n1 + n2 <= 12)
        entry = (first & 255) | (second & 255) << 8 | 2u << 16 | (n1 + n2) << 24;
      pairs[idx] = entry;
    }
    for (int v = PELKO_FIRSTREF; v < 256; ++v) {
      distance_bits[v] = static_cast<uint8_t>(8 + (v - PELKO_FIRSTREF) / 3);
      length_bits[v] = static_cast<uint8_t>(PELKO_LENGTHBITS[(v - PELKO_FIRSTREF) % 3]);
    }
  }
};

const RankTables& ByRank() {
  static const RankTables tables;
  return tables;
}

// The reader's decode tables for the rank table `ranks`.
void BuildTables(Reader& r, const unsigned char* ranks) {
  const RankTables& t = ByRank();
  for (uint32_t idx = 0; idx < 2048; ++idx) {
    const uint16_t e = t.table[idx];
    r.table[idx] = (e >> 8) == 0 ? e : static_cast<uint16_t>((e & 0xFF00) | ranks[e & 255]);
  }
  for (uint32_t idx = 0; idx < 4096; ++idx) {
    const uint32_t e = t.pairs[idx];
    const uint32_t second = (e >> 16 & 3) == 2 ? uint32_t{ranks[e >> 8 & 255]} << 8 : 0;
    r.pairs[idx] = e == 0 ? 0 : (e & 0xFFFF0000u) | second | ranks[e & 255];
  }
  std::memcpy(r.distance_bits, t.distance_bits, sizeof r.distance_bits);
  std::memcpy(r.length_bits, t.length_bits, sizeof r.length_bits);
}

// The reader's bits, held in locals while a block is decoded. A new word
// is taken only whole; when none is left the data end (between codes or
// within one).
struct BitSource {
  uint64_t buf;
  int cnt;
  const unsigned char* p;
  const unsigned char* words_end;  // last position where a whole word starts + 1

  void Refill() {
    while (cnt <= 32 && p < words_end) {
      buf |= static_cast<uint64_t>(PELKO_LoadWord(p)) << (32 - cnt);
      p += 4;
      cnt += 32;
    }
  }
  bool Need(int n) {
    if (cnt < n) Refill();
    return cnt >= n;
  }
  uint32_t Take(int n) {
    const uint32_t v = static_cast<uint32_t>(buf >> (64 - n));
    buf <<= n;
    cnt -= n;
    return v;
  }
  void Skip(int n) {
    buf <<= n;
    cnt -= n;
  }
};

enum class Decoded { kFull, kEnd, kCorrupt };

// The decoders of single codes are forced inline: as calls they would
// keep the bit state in memory instead of registers.

// One literal code (the byte of a run). Returns 0..255, -1 when the data
// end within it, -2 when the code is not a literal.
[[gnu::always_inline]] inline int ReadLiteral(const Reader& r, BitSource& s) {
  if (s.cnt < 11) s.Refill();
  const uint32_t e = r.table[s.buf >> 53];
  const int n = static_cast<int>(e >> 8);
  if (n == 0) return s.cnt >= 11 ? -2 : -1;
  if (n > s.cnt) return -1;
  s.Skip(n);
  return static_cast<int>(e & 255);
}

[[gnu::always_inline]] inline Decoded DecodeRun(const Reader& r, BitSource& s, int v,
                                                unsigned char* out, std::size_t* fill) {
  const int width = 208 - v;
  if (!s.Need(width)) return Decoded::kEnd;
  const std::size_t run = s.Take(width) + 3;
  const int byte = ReadLiteral(r, s);
  if (byte == -1) return Decoded::kEnd;
  if (byte < 0 || run > PELKO_BLOCK - *fill) return Decoded::kCorrupt;
  std::memset(out + *fill, byte, run);
  *fill += run;
  return Decoded::kFull;
}

[[gnu::always_inline]] inline Decoded DecodeReference(const Reader& r, BitSource& s, int v,
                                                      unsigned char* out, std::size_t* fill) {
  const int o = r.distance_bits[v];
  const int l = r.length_bits[v];
  if (!s.Need(o + l)) return Decoded::kEnd;
  const uint32_t fields = s.Take(o + l);
  const std::size_t distance = fields >> l;
  const std::size_t length = (fields & ((1u << l) - 1)) + static_cast<std::size_t>(r.comp_min);
  // Writers never overlap a reference with its target nor reach out of
  // the block; damaged data that would are refused.
  if (distance == 0 || distance > *fill || length > distance || length > PELKO_BLOCK - *fill) {
    return Decoded::kCorrupt;
  }
  unsigned char* dst = out + *fill;
  const unsigned char* src = dst - distance;
  // Whole 16- or 8-byte steps may run past the end into the block's
  // slack; every byte they need lies before dst because length <= distance.
  if (distance >= 16) {
    for (std::size_t done = 0; done < length; done += 16) std::memcpy(dst + done, src + done, 16);
  } else if (distance >= 8) {
    for (std::size_t done = 0; done < length; done += 8) std::memcpy(dst + done, src + done, 8);
  } else {
    for (std::size_t done = 0; done < length; ++done) dst[done] = src[done];
  }
  *fill += length;
  return Decoded::kFull;
}

// A code that starts "111" with V >= 196.
[[gnu::always_inline]] inline Decoded DecodeSpecial(const Reader& r, BitSource& s, int v,
                                                    unsigned char* out, std::size_t* fill) {
  if (v <= 205) return DecodeRun(r, s, v, out, fill);
  if (v == PELKO_ENDCODE) return Decoded::kEnd;
  if (v < PELKO_FIRSTREF) return Decoded::kCorrupt;
  return DecodeReference(r, s, v, out, fill);
}

// Stores the bytes of a pair entry; the second even when there is none
// (later output overwrites it).
[[gnu::always_inline]] inline void StorePair(unsigned char* at, uint32_t pair) {
  uint16_t two = static_cast<uint16_t>(pair);
  if constexpr (std::endian::native == std::endian::big) two = __builtin_bswap16(two);
  std::memcpy(at, &two, 2);
}

// Codes while at least two whole words of input and four bytes of block
// room remain, so that no code can meet the end of either: the common
// path without end checks.
Decoded DecodeAmple(const Reader& r, BitSource& s, unsigned char* out, std::size_t* fill,
                    const unsigned char* ample_end) {
  std::size_t at = *fill;
  const uint32_t* const pairs = r.pairs;
  Decoded result = Decoded::kFull;
  while (at + 3 < PELKO_BLOCK && s.p + 8 <= ample_end) {
    if (s.cnt <= 32) {
      s.buf |= static_cast<uint64_t>(PELKO_LoadWord(s.p)) << (32 - s.cnt);
      s.p += 4;
      s.cnt += 32;
    }
    // Most codes are literals: one lookup yields one or two.
    uint32_t pair = pairs[s.buf >> 52];
    if (pair != 0) {
      StorePair(out + at, pair);
      at += (pair >> 16) & 3;
      s.Skip(static_cast<int>(pair >> 24));
      // At least 20 bits are left: room for a second lookup.
      pair = pairs[s.buf >> 52];
      if (pair == 0) continue;
      StorePair(out + at, pair);
      at += (pair >> 16) & 3;
      s.Skip(static_cast<int>(pair >> 24));
      continue;
    }
    const int v = static_cast<int>((s.buf >> 53) & 255);
    s.Skip(11);
    result = DecodeSpecial(r, s, v, out, &at);
    if (result != Decoded::kFull) break;
  }
  *fill = at;
  return result;
}

// Moves the unread input to the front and takes pieces from the source
// until a window is gathered or the input ends. False when the source
// failed.
bool TopUp(Reader& r) {
  if (r.input_ended) return true;
  r.input.erase(r.input.begin(), r.input.begin() + static_cast<std::ptrdiff_t>(r.in_pos));
  r.in_pos = 0;
  while (r.input.size() < kSourceWindow) {
    const unsigned char* piece = nullptr;
    std::size_t n = 0;
    const int got = r.source(&piece, &n);
    if (got <= 0) {
      r.input_ended = true;
      r.source_failed = got < 0;
      r.source = nullptr;
      return got == 0;
    }
    r.input.insert(r.input.end(), piece, piece + n);
  }
  return true;
}

// Decodes the next block into `out` (room for a block and kBlockSlack
// bytes); stops when it is full or at the end of the data. Input that
// comes piece by piece is decoded up to a margin before the end of what
// is there, then topped up, so that no code meets the end of a window.
Decoded DecodeBlock(Reader& r, unsigned char* out, std::size_t* out_fill) {
  std::size_t fill = 0;
  for (;;) {
    if (!TopUp(r)) return Decoded::kCorrupt;
    BitSource s{r.buf, r.cnt, r.input.data() + r.in_pos,
                r.input.data() + r.in_pos + ((r.input.size() - r.in_pos) & ~std::size_t{3})};
    const bool more = !r.input_ended;
    const std::size_t left = static_cast<std::size_t>(s.words_end - s.p);
    const unsigned char* ample_end =
        !more ? s.words_end : (left > kSourceMargin ? s.words_end - kSourceMargin : s.p);
    Decoded result = DecodeAmple(r, s, out, &fill, ample_end);
    const bool refill = result == Decoded::kFull && more && fill + 3 < PELKO_BLOCK;
    while (!refill && result == Decoded::kFull && fill < PELKO_BLOCK) {
      if (s.cnt < 32) s.Refill();
      const uint32_t e = r.table[s.buf >> 53];
      const int n = static_cast<int>(e >> 8);
      if (n != 0) {
        if (n > s.cnt) {
          result = Decoded::kEnd;
          break;
        }
        out[fill++] = static_cast<unsigned char>(e);
        s.Skip(n);
        continue;
      }
      if (s.cnt < 11) {
        result = Decoded::kEnd;
        break;
      }
      s.Skip(11);
      result = DecodeSpecial(r, s, static_cast<int>(e), out, &fill);
    }
    r.buf = s.buf;
    r.cnt = s.cnt;
    r.in_pos = static_cast<std::size_t>(s.p - r.input.data());
    if (refill) continue;
    *out_fill = fill;
    return result;
  }
}

// Closes the reader but keeps its block and, unless it is large, the
// buffer of its input: a fresh zero-filled block per item would cost more
// than decoding a small one.
void ClearReader(Reader& r) {
  Reader kept;
  kept.block = std::move(r.block);
  if (r.input.capacity() <= kKeptInput) {
    kept.input = std::move(r.input);
    kept.input.clear();
  }
  r = std::move(kept);
}

// Decodes the next block into the reader's block or, when `direct` is set,
// into `direct` (room for a block and kBlockSlack bytes; the bytes then
// belong to the caller). Returns 0 for corrupt data.
[[nodiscard]] int NextBlock(Reader& r, unsigned char* direct, std::size_t* out_got) {
  const Decoded result = DecodeBlock(r, direct != nullptr ? direct : r.block.data(), out_got);
  if (result == Decoded::kCorrupt) {
    r.failed = true;
    return 0;
  }
  if (result == Decoded::kEnd) r.end = true;
  r.read_pos = 0;
  r.fill = direct != nullptr ? 0 : *out_got;
  return 1;
}
}  // namespace

namespace {
// Checks the header and sets the reader up; `header` holds at least
// PELKO_RANKSAT + 1 bytes, `length` is the whole input's length. Prints the
// format message when `loud`.
int OpenReader(Reader& r, const unsigned char* header, std::size_t length, bool loud) {
  if (length <= PELKO_RANKSAT || std::memcmp(header, PELKO_MAGIC, PELKO_MAGICLEN) != 0) {
    if (loud) DBreport(kNotPelko);
    return 0;
  }
  const int32_t comp_min = static_cast<int32_t>(PELKO_LoadWord(header + PELKO_COMPMINAT));
  if (comp_min < PELKO_MINMATCH_LOW || comp_min > PELKO_MINMATCH_HIGH) {
    if (loud) DBreport(kNotPelko);
    return 0;
  }
  if (length <= PELKO_HEADER) return 0;
  try {
    r.block.resize(PELKO_BLOCK + kBlockSlack);
  } catch (const std::bad_alloc&) {
    r = Reader{};
    return 0;
  }
  r.comp_min = comp_min;
  BuildTables(r, header + PELKO_RANKSAT);
  r.open = true;
  return 1;
}
}  // namespace

int Uncompress_Init(const void* data, std::size_t length) {
  Reader& r = State();
  ClearReader(r);
  const unsigned char* in = static_cast<const unsigned char*>(data);
  if (length > PELKO_HEADER) {
    try {
      r.input.assign(in + PELKO_HEADER, in + length);
    } catch (const std::bad_alloc&) {
      r = Reader{};
      return 0;
    }
  }
  return OpenReader(r, in, length, true);
}

int Uncompress_InitSource(PELKO_SOURCE source) {
  Reader& r = State();
  ClearReader(r);
  r.source = std::move(source);
  r.input_ended = false;
  // One window holds the header and more, unless the input ends first.
  if (!TopUp(r)) {
    ClearReader(r);
    return 0;
  }
  const std::size_t length = r.input.size();
  unsigned char header[PELKO_HEADER] = {};
  if (length > 0) std::memcpy(header, r.input.data(), std::min<std::size_t>(length, PELKO_HEADER));
  if (!OpenReader(r, header, length, false)) {
    ClearReader(r);
    return 0;
  }
  r.in_pos = PELKO_HEADER;
  return 1;
}

std::ptrdiff_t Uncompress_Read(void* buffer, std::size_t length) {
  Reader& r = State();
  if (!r.open || r.failed) return -1;
  length = std::min<std::size_t>(length, PTRDIFF_MAX);
  unsigned char* dst = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < length) {
    if (r.read_pos == r.fill) {
      if (r.end) break;
      // A caller asking for more than a block (and the slack) gets it
      // decoded in place, sparing a copy.
      const bool in_place = length - done >= PELKO_BLOCK + kBlockSlack;
      std::size_t got = 0;
      if (!NextBlock(r, in_place ? dst + done : nullptr, &got)) return -1;
      done += in_place ? got : 0;
      continue;
    }
    const std::size_t take = std::min(length - done, r.fill - r.read_pos);
    std::memcpy(dst + done, r.block.data() + r.read_pos, take);
    r.read_pos += take;
    done += take;
  }
  return static_cast<std::ptrdiff_t>(done);
}

int Uncompress_ReadView(const unsigned char** out_data, std::size_t* out_length, bool* out_last) {
  Reader& r = State();
  if (!r.open || r.failed) return -1;
  while (r.read_pos == r.fill) {
    if (r.end) return 0;
    std::size_t got = 0;
    if (!NextBlock(r, nullptr, &got)) return -1;
  }
  *out_data = r.block.data() + r.read_pos;
  *out_length = r.fill - r.read_pos;
  *out_last = r.end;
  r.read_pos = r.fill;
  return 1;
}

void Uncompress_End() { ClearReader(State()); }

void PELKO_ResetReaderForTest() { State() = Reader{}; }
