// pelko_read.cpp: the reader of the Pelko block format (pelko.h).
#include "compress/pelko.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
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

// A step of the common path is one or two literals whose codes lie wholly
// inside the top 12 bits of the stream, or a back-reference; runs, the end
// and invalid codes are the rare rest. The bits a step takes stand lowest,
// where a shift finds its count without a mask; from STEP_PAYLOAD up,
// literal steps hold their first byte | second byte << 8, references their
// length bits | distance and length bits << 8.
constexpr uint32_t STEP_BITS = 63;        // bits the whole step takes
constexpr uint32_t STEP_COUNT_SHIFT = 6;  // literals in the step, 0 for a reference
constexpr uint32_t STEP_RARE = 1u << 8;
constexpr uint32_t STEP_PAYLOAD = 16;

struct CodeTables {
  // By the top 11 bits of the stream: literal length << 8 | byte value,
  // or for "111" with V >= 196 just V (length 0).
  uint16_t table[2048];
  // By the top 12 bits: one step (STEP_* above).
  uint32_t steps[4096];
};

// The input is held as a window of the stream whose whole words are
// turned to big-endian order as they arrive: the stream is then a plain
// run of bits, most significant first, that the decoder reads eight bytes
// at a time without caring where words begin.
struct Reader {
  bool open = false;
  std::vector<unsigned char> input;  // the input, or when fed a window of it
  std::size_t stream_at = 0;         // where the bit stream begins in `input`
  std::size_t turned = 0;            // bytes of whole words from stream_at in stream order
  std::size_t bit_pos = 0;           // bits of the stream read
  PELKO_SOURCE source;               // where more input comes from; empty when the input is whole
  bool input_ended = true;           // no more input will come
  bool source_failed = false;
  int comp_min = PELKO_MINMATCH_DEFAULT;
  // The decode tables of the input's rank table, kept from one input to
  // the next like the block: they are rewritten whole for each.
  std::unique_ptr<CodeTables> codes;
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

// The decode tables follow from the code table alone, by rank: worked out
// once, each input only puts its byte values in.
struct RankTables {
  // table[] with ranks where an input has byte values.
  uint16_t table[2048];
  // The part of steps[] after a first literal of each length (3, 6, 7, 8
  // bits): the second literal (rank << 8) and the step's count and bits
  // beyond the first code, by the bits that follow it.
  uint32_t after3[512];
  uint32_t after6[64];
  uint32_t after7[32];
  uint32_t after8[16];
  // steps[] from 0xE00 on where the first code is not a literal (V >= 196).
  uint32_t rare[4096 - 0xE00 - 2 * 196];
  uint8_t distance_bits[256] = {};  // by V of a back-reference
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
    for (int v = PELKO_FIRSTREF; v < 256; ++v) {
      distance_bits[v] = static_cast<uint8_t>(8 + (v - PELKO_FIRSTREF) / 3);
      length_bits[v] = static_cast<uint8_t>(PELKO_LENGTHBITS[(v - PELKO_FIRSTREF) % 3]);
    }
    FillAfter(3, after3);
    FillAfter(6, after6);
    FillAfter(7, after7);
    FillAfter(8, after8);
    for (uint32_t i = 0; i < std::size(rare); ++i) {
      const uint32_t v = (0xE00 + 2 * 196 + i) >> 1 & 255;
      rare[i] = v < PELKO_FIRSTREF
                    ? STEP_RARE
                    : (length_bits[v] | (distance_bits[v] + length_bits[v]) << 8) << STEP_PAYLOAD |
                          (11u + distance_bits[v] + length_bits[v]);
    }
  }

  // after[rest] for a first literal of n bits followed by the 12 - n bits
  // `rest`: a second literal when its code fits in them.
  void FillAfter(uint32_t n, uint32_t* after) const {
    for (uint32_t rest = 0; rest < 1u << (12 - n); ++rest) {
      const uint32_t second = table[(rest << (n - 1)) & 2047];
      const uint32_t n2 = second >> 8;
      after[rest] = n2 != 0 && n + n2 <= 12
                        ? (second & 255) << (STEP_PAYLOAD + 8) | 2u << STEP_COUNT_SHIFT | (n + n2)
                        : 1u << STEP_COUNT_SHIFT | n;
    }
  }
};

const RankTables& ByRank() {
  static const RankTables tables;
  return tables;
}

// Fills steps[] for the first literals of n bits: each spans 4096 >> n
// entries from `first`, its byte put in front of the shared rest.
void FillSteps(uint32_t* steps, uint32_t first, uint32_t n, uint32_t codes, int top_rank,
               const uint32_t* after, const unsigned char* ranks) {
  const uint32_t span = 4096 >> n;
  uint32_t rest[512];
  for (uint32_t i = 0; i < span; ++i) {
    rest[i] = (after[i] >> STEP_COUNT_SHIFT & 3) == 2
                  ? (after[i] & 0xFFFFu) | uint32_t{ranks[after[i] >> (STEP_PAYLOAD + 8)]}
                                               << (STEP_PAYLOAD + 8)
                  : after[i];
  }
  for (uint32_t c = 0; c < codes; ++c) {
    const uint32_t byte = ranks[top_rank - static_cast<int>(c)];
    uint32_t* to = steps + first + c * span;
    for (uint32_t i = 0; i < span; ++i) to[i] = rest[i] | byte << STEP_PAYLOAD;
  }
}

// The input's decode tables for the rank table `ranks`.
void BuildTables(CodeTables& c, const unsigned char* ranks) {
  const RankTables& t = ByRank();
  for (uint32_t idx = 0; idx < 2048; ++idx) {
    const uint16_t e = t.table[idx];
    c.table[idx] = (e >> 8) == 0 ? e : static_cast<uint16_t>((e & 0xFF00) | ranks[e & 255]);
  }
  FillSteps(c.steps, 0x000, 3, 4, 255, t.after3, ranks);
  FillSteps(c.steps, 0x800, 6, 8, 251, t.after6, ranks);
  FillSteps(c.steps, 0xA00, 7, 16, 243, t.after7, ranks);
  FillSteps(c.steps, 0xC00, 8, 32, 227, t.after8, ranks);
  // An 11-bit literal leaves one bit: never room for a second code.
  for (uint32_t idx = 0xE00; idx < 0xE00 + 2 * 196; ++idx) {
    c.steps[idx] = uint32_t{ranks[195 - static_cast<int>(idx >> 1 & 255)]} << STEP_PAYLOAD |
                   1u << STEP_COUNT_SHIFT | 11u;
  }
  std::memcpy(c.steps + 0xE00 + 2 * 196, t.rare, sizeof t.rare);
}

// Eight bytes of the stream as a number, the first byte highest.
inline uint64_t LoadStream(const unsigned char* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap64(v);
  return v;
}

// Turns the whole words that arrived since the last call to stream order.
void TurnWords(Reader& r) {
  unsigned char* words = r.input.data() + r.stream_at;
  const std::size_t whole = (r.input.size() - r.stream_at) & ~std::size_t{3};
  for (std::size_t at = r.turned; at < whole; at += 4) {
    uint32_t v = PELKO_LoadWord(words + at);
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    std::memcpy(words + at, &v, 4);
  }
  r.turned = whole;
}

// The reader's bits near the end of what is there: read at a bit
// position, never past the whole words (`avail` bits); a code they do not
// hold whole ends the data, as a new word missing does.
struct BitSource {
  const unsigned char* base;
  std::size_t pos;
  std::size_t avail;

  bool Need(int n) const { return avail - pos >= static_cast<std::size_t>(n); }
  // The next n (<= 32) bits; bits past the end read as zeros.
  uint32_t Peek(int n) const {
    const std::size_t byte = pos >> 3;
    const std::size_t bytes = avail >> 3;
    uint64_t v = 0;
    for (std::size_t i = 0; i < 8; ++i) v = v << 8 | (byte + i < bytes ? base[byte + i] : 0);
    return static_cast<uint32_t>((v << (pos & 7)) >> (64 - n));
  }
  uint32_t Take(int n) {
    const uint32_t v = Peek(n);
    pos += static_cast<std::size_t>(n);
    return v;
  }
  void Skip(int n) { pos += static_cast<std::size_t>(n); }
};

enum class Decoded { kFull, kEnd, kCorrupt };

// One literal code (the byte of a run). Returns 0..255, -1 when the data
// end within it, -2 when the code is not a literal.
int ReadLiteral(const CodeTables& c, BitSource& s) {
  const uint32_t e = c.table[s.Peek(11)];
  const int n = static_cast<int>(e >> 8);
  if (n == 0) return s.Need(11) ? -2 : -1;
  if (!s.Need(n)) return -1;
  s.Skip(n);
  return static_cast<int>(e & 255);
}

// Whether a reference of `distance` and `length` stays inside the `fill`
// bytes of the block decoded so far and the room after them: writers never
// overlap a reference with its target nor reach out of the block; damaged
// data that would are refused.
inline bool ReferenceFits(std::size_t distance, std::size_t length, std::size_t fill) {
  return distance != 0 && distance <= fill && length <= distance && length <= PELKO_BLOCK - fill;
}

// Copies a reference that ReferenceFits: whole 16- or 8-byte steps may run
// past the end into the block's slack; every byte they need lies before
// the target because length <= distance.
inline void CopyReference(unsigned char* dst, std::size_t distance, std::size_t length) {
  const unsigned char* src = dst - distance;
  if (distance >= 16) {
    for (std::size_t done = 0; done < length; done += 16) std::memcpy(dst + done, src + done, 16);
  } else if (distance >= 8) {
    for (std::size_t done = 0; done < length; done += 8) std::memcpy(dst + done, src + done, 8);
  } else {
    for (std::size_t done = 0; done < length; ++done) dst[done] = src[done];
  }
}

// A code that starts "111" with V >= 196, its first 11 bits read.
Decoded DecodeSpecial(const CodeTables& c, int comp_min, BitSource& s, int v, unsigned char* out,
                      std::size_t* fill) {
  if (v <= 205) {
    const int width = 208 - v;
    if (!s.Need(width)) return Decoded::kEnd;
    const std::size_t run = s.Take(width) + 3;
    const int byte = ReadLiteral(c, s);
    if (byte == -1) return Decoded::kEnd;
    if (byte < 0 || run > PELKO_BLOCK - *fill) return Decoded::kCorrupt;
    std::memset(out + *fill, byte, run);
    *fill += run;
    return Decoded::kFull;
  }
  if (v == PELKO_ENDCODE) return Decoded::kEnd;
  if (v < PELKO_FIRSTREF) return Decoded::kCorrupt;
  const RankTables& t = ByRank();
  const int o = t.distance_bits[v];
  const int l = t.length_bits[v];
  if (!s.Need(o + l)) return Decoded::kEnd;
  const uint32_t fields = s.Take(o + l);
  const std::size_t distance = fields >> l;
  const std::size_t length = (fields & ((1u << l) - 1)) + static_cast<std::size_t>(comp_min);
  if (!ReferenceFits(distance, length, *fill)) return Decoded::kCorrupt;
  CopyReference(out + *fill, distance, length);
  *fill += length;
  return Decoded::kFull;
}

// Stores the bytes of a literal step; the second even when there is none
// (later output overwrites it).
inline void StorePair(unsigned char* at, uint32_t step) {
  uint16_t two = static_cast<uint16_t>(step >> STEP_PAYLOAD);
  if constexpr (std::endian::native == std::endian::big) two = __builtin_bswap16(two);
  std::memcpy(at, &two, 2);
}

// Decodes codes while eight bytes of stream can be loaded before `limit`
// and four bytes of block room remain: no code can then meet the end of
// either, so the common path checks neither. The bit buffer is topped up
// to at least 56 bits before each code, without a branch, and every code
// fits in that; the next step's table index is taken from the bits before
// the top-up, so that the load does not hold the decoding up.
Decoded DecodeAmple(const Reader& r, const unsigned char* base, const unsigned char* limit,
                    std::size_t* bit_pos, unsigned char* out, std::size_t* fill) {
  const CodeTables& c = *r.codes;
  const std::size_t comp_min = static_cast<std::size_t>(r.comp_min);
  const unsigned char* p = base + (*bit_pos >> 3);
  if (p + 8 > limit || *fill + 3 >= PELKO_BLOCK) return Decoded::kFull;
  // cnt bits at the top of buf are the stream from *bit_pos on; p is the
  // byte after the bits counted.
  uint64_t buf = LoadStream(p) << (*bit_pos & 7);
  int cnt = 56 - static_cast<int>(*bit_pos & 7);
  p += 7;
  std::size_t at = *fill;
  Decoded result = Decoded::kFull;
  while (at + 3 < PELKO_BLOCK && p + 8 <= limit) {
    const uint32_t e = c.steps[buf >> 52];
    buf |= LoadStream(p) >> cnt;
    p += (63 - cnt) >> 3;
    cnt |= 56;
    if ((e >> STEP_COUNT_SHIFT & 3) != 0) [[likely]] {
      StorePair(out + at, e);
      at += e >> STEP_COUNT_SHIFT & 3;
      buf <<= e & STEP_BITS;
      cnt -= static_cast<int>(e & STEP_BITS);
      continue;
    }
    if ((e & STEP_RARE) == 0) {
      const int length_bits = static_cast<int>(e >> STEP_PAYLOAD & 15);
      const uint32_t fields =
          static_cast<uint32_t>((buf << 11) >> (64 - (e >> (STEP_PAYLOAD + 8))));
      const std::size_t distance = fields >> length_bits;
      const std::size_t length = (fields & ((1u << length_bits) - 1)) + comp_min;
      if (!ReferenceFits(distance, length, at)) {
        result = Decoded::kCorrupt;
        break;
      }
      unsigned char* const dst = out + at;
      const unsigned char* const src = dst - distance;
      // The first 16 bytes in one load: a near source may overlap them, but
      // the bytes it needs lie before dst.
      unsigned char head[16];
      std::memcpy(head, src, 16);
      std::memcpy(dst, head, 16);
      if (length > 16) [[unlikely]]
        CopyReference(dst + 16, distance, length - 16);
      at += length;
      buf <<= e & STEP_BITS;
      cnt -= static_cast<int>(e & STEP_BITS);
      continue;
    }
    // A run (at most 11 + 12 + 11 bits), the end or an invalid code.
    const int v = static_cast<int>((buf >> 53) & 255);
    buf <<= 11;
    cnt -= 11;
    if (v > 205) {
      result = v == PELKO_ENDCODE ? Decoded::kEnd : Decoded::kCorrupt;
      break;
    }
    const int width = 208 - v;
    const std::size_t run = (buf >> (64 - width)) + 3;
    buf <<= width;
    cnt -= width;
    const uint32_t lit = c.table[buf >> 53];
    const int n = static_cast<int>(lit >> 8);
    if (n == 0 || run > PELKO_BLOCK - at) {
      result = Decoded::kCorrupt;
      break;
    }
    buf <<= n;
    cnt -= n;
    std::memset(out + at, static_cast<unsigned char>(lit), run);
    at += run;
  }
  *bit_pos = static_cast<std::size_t>(p - base) * 8 - static_cast<std::size_t>(cnt);
  *fill = at;
  return result;
}

// Gathers pieces from the source after the unread input until a window is
// there or the input ends, the read whole words let go first. False when
// the source failed.
bool Gather(Reader& r) {
  if (r.input_ended) return true;
  const std::size_t done_words = (r.bit_pos >> 5) << 2;
  const std::size_t drop = std::min(r.stream_at + done_words, r.input.size());
  if (drop > 0) {
    r.input.erase(r.input.begin(), r.input.begin() + static_cast<std::ptrdiff_t>(drop));
    r.bit_pos -= done_words * 8;
    r.turned -= std::min(r.turned, done_words);
    r.stream_at = 0;
  }
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
    if (!Gather(r)) return Decoded::kCorrupt;
    TurnWords(r);
    const unsigned char* base = r.input.data() + r.stream_at;
    const bool more = !r.input_ended;
    const std::size_t ample =
        !more ? r.turned : (r.turned > kSourceMargin ? r.turned - kSourceMargin : 0);
    Decoded result = DecodeAmple(r, base, base + ample, &r.bit_pos, out, &fill);
    const bool refill = result == Decoded::kFull && more && fill + 3 < PELKO_BLOCK;
    BitSource s{base, r.bit_pos, r.turned * 8};
    while (!refill && result == Decoded::kFull && fill < PELKO_BLOCK) {
      const uint32_t e = r.codes->table[s.Peek(11)];
      const int n = static_cast<int>(e >> 8);
      if (n != 0) {
        if (!s.Need(n)) {
          result = Decoded::kEnd;
          break;
        }
        out[fill++] = static_cast<unsigned char>(e);
        s.Skip(n);
        continue;
      }
      if (!s.Need(11)) {
        result = Decoded::kEnd;
        break;
      }
      s.Skip(11);
      result = DecodeSpecial(*r.codes, r.comp_min, s, static_cast<int>(e), out, &fill);
    }
    r.bit_pos = s.pos;
    if (refill) continue;
    *out_fill = fill;
    return result;
  }
}

// Closes the reader but keeps its block, its tables and, unless it is
// large, the buffer of its input: fresh ones per item would cost more than
// decoding a small one.
void ClearReader(Reader& r) {
  Reader kept;
  kept.block = std::move(r.block);
  kept.codes = std::move(r.codes);
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
    if (!r.codes) r.codes = std::make_unique<CodeTables>();
  } catch (const std::bad_alloc&) {
    r = Reader{};
    return 0;
  }
  r.comp_min = comp_min;
  BuildTables(*r.codes, header + PELKO_RANKSAT);
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
  if (!OpenReader(r, in, length, true)) return 0;
  TurnWords(r);
  return 1;
}

int Uncompress_InitSource(PELKO_SOURCE source) {
  Reader& r = State();
  ClearReader(r);
  r.source = std::move(source);
  r.input_ended = false;
  // One window holds the header and more, unless the input ends first.
  if (!Gather(r)) {
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
  r.stream_at = PELKO_HEADER;
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
