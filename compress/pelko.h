// pelko.h: the block compressor: the Pelko format, its writer
// (pelko_write.cpp) and its reader (pelko_read.cpp).
// A writer is an object (PELKO_WRITER), so that compressions may run side
// by side; the Compress_* calls use one process-wide default writer. The
// reader owns process-wide state: one decompression at a time. The writer
// hands its output to the caller at the end; the reader keeps its own copy
// of the input. Both keep their work buffers from one use to the next
// (PELKO_ResetForTest frees the default writer's and the reader's).
//
// Compressed data:
//
// | Offset | Size  | Content                                                   |
// |--------|-------|-----------------------------------------------------------|
// | 0      | 9     | the magic "z01morvek" (no terminator)                     |
// | 9      | 4     | comp_min, signed 32-bit little-endian, 5..256             |
// | 13     | 256   | rank table: byte 13 + r is the byte value of rank r       |
// | 269    | 4 x n | bit stream: n 32-bit words, each little-endian            |
//
// Ranks order the byte values of the first block by ascending count (ties
// by ascending value): rank 0 is the rarest, rank 255 the most frequent.
// Codes are packed most significant bit first; a code may straddle two
// words; the last word is padded with zero bits at its low end.
//
// | Code             | Bits          | Meaning                                    |
// |------------------|---------------|--------------------------------------------|
// | 0 xx             | 3             | literal of rank 255 - xx                   |
// | 100 xxx          | 6             | literal of rank 251 - xxx                  |
// | 101 xxxx         | 7             | literal of rank 243 - xxxx                 |
// | 110 xxxxx        | 8             | literal of rank 227 - xxxxx                |
// | 111 V, V 0..195  | 11            | literal of rank 195 - V                    |
// | 111 V, V 196..205| 11 + w + lit  | run: w = 208 - V bits of length - 3, then  |
// |                  |               | the run's byte as a literal code           |
// | 111 V, V 210     | 11            | end of data                                |
// | 111 V, V 217..255| 11 + o + l    | back-reference, k = V - 217: o = 8 + k/3   |
// |                  |               | distance bits, then l = 4, 5, 8 (k mod 3)  |
// |                  |               | bits of length - comp_min                  |
// | 111 V, other V   |               | invalid                                    |
//
// Data are coded in blocks of PELKO_BLOCK bytes (the last one shorter,
// possibly empty); the bit stream runs on between blocks. Runs and
// references stay inside their block, references never overlap their
// target, and the last byte of every block is a literal.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

// The layout above, as writer and reader both see it.
inline constexpr char PELKO_MAGIC[] = "z01morvek";
inline constexpr int PELKO_MAGICLEN = 9;
inline constexpr int PELKO_COMPMINAT = 9;              // offset of comp_min
inline constexpr int PELKO_RANKSAT = 13;               // offset of the rank table
inline constexpr int PELKO_ENDCODE = 210;              // V of the end of data
inline constexpr int PELKO_FIRSTREF = 217;             // V of the first back-reference
inline constexpr int PELKO_LENGTHBITS[3] = {4, 5, 8};  // length bits of a reference, by k mod 3

// One 32-bit little-endian word, as comp_min and the bit stream hold them.
inline uint32_t PELKO_LoadWord(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

inline constexpr int PELKO_BLOCK = 1048576;       // bytes per block; references stay inside one
inline constexpr int PELKO_HEADER = 269;          // magic, comp_min and rank table
inline constexpr int PELKO_MINMATCH_LOW = 5;      // smallest comp_min accepted
inline constexpr int PELKO_MINMATCH_HIGH = 256;   // largest comp_min accepted
inline constexpr int PELKO_MINMATCH_DEFAULT = 5;  // comp_min used for an invalid one
inline constexpr int PELKO_CACHE_LOW = 5;         // smallest comp_cache accepted
inline constexpr int PELKO_CACHE_HIGH = 4096;     // largest comp_cache accepted
inline constexpr int PELKO_CACHE_DEFAULT = 256;   // comp_cache used for an invalid one
inline constexpr int PELKO_MAXRUN = 4095;         // longest run one code carries
inline constexpr int PELKO_OUT_FIRST = 10000;     // first output buffer size when none is set
inline constexpr int PELKO_OUT_GROWTH = 100000;   // output growth step when none is set
// Candidates a position weighs at most, the newest of its bucket: past 16
// the output shrinks by a fraction of a percent while the search takes
// twice as long.
inline constexpr int PELKO_CANDIDATES = 16;

// A compression in progress and its work buffers (some 4 MiB, kept from
// one compression to the next). Writers share nothing but DBreport, which
// prints their warnings and their out-of-memory message: any thread may
// use a writer of its own, one call at a time.
struct PELKO_WORK;
struct PELKO_WORKFREE {
  void operator()(PELKO_WORK* work) const;
};
struct PELKO_WRITER {
  std::unique_ptr<PELKO_WORK, PELKO_WORKFREE> work;  // made by the first PELKO_WriterInit
  std::size_t out_first = PELKO_OUT_FIRST;           // first output buffer size
  std::size_t out_growth = PELKO_OUT_GROWTH;         // output growth step
};

// Starts a compression on `writer`. Every position weighs the newest
// comp_cache (at most PELKO_CANDIDATES) earlier positions that begin with
// the same 5 bytes and is coded as the reference that saves most bits over
// literals, unless one a byte later saves more. Mode 0 takes a long match
// at once and enters only the ends of a long reference for later
// searches; any other mode does neither (a little smaller, slower). A
// comp_min outside 5..256 or a comp_cache outside 5..4096 prints a warning
// and falls back to 5 resp. 256. Writes the magic and comp_min. A
// compression still open is dropped. Fails (keeping nothing) when memory
// runs out.
[[nodiscard]] int PELKO_WriterInit(PELKO_WRITER* writer, int mode, int comp_min, int comp_cache);

// Appends data; every full block is coded at once. Fails when memory runs
// out or no compression is open.
[[nodiscard]] int PELKO_WriterAdd(PELKO_WRITER* writer, const void* data, std::size_t length);

// Hands the output coded so far to `take` and forgets it, so that the
// output of a long compression need not be held whole: what all drains
// and PELKO_WriterEnd hand out, joined, is the compressed data. Does
// nothing when no compression is open.
void PELKO_WriterDrain(
    PELKO_WRITER* writer,
    const std::function<void(const unsigned char* data, std::size_t length)>& take);

// Codes the rest, writes the end code and moves the compressed data to
// `out_data`. Fails when memory runs out or no compression is open; the
// compression is closed in every case.
[[nodiscard]] int PELKO_WriterEnd(PELKO_WRITER* writer, std::vector<unsigned char>* out_data);

// The same on the process's default writer, for callers that compress one
// item at a time. Main thread only.
[[nodiscard]] int Compress_Init(int mode, int comp_min, int comp_cache);
[[nodiscard]] int Compress_Add(const void* data, std::size_t length);
void Compress_Drain(const std::function<void(const unsigned char* data, std::size_t length)>& take);
[[nodiscard]] int Compress_End(std::vector<unsigned char>* out_data);

// Sets the first size and the growth step of the default writer's output
// buffer for later compressions (values below 1 keep the defaults).
void PELKO_SetOutputSizes(int first_size, int growth);

// Starts reading compressed data (copied). A missing magic or an input
// that ends right after comp_min prints "(Uncompress_Init) Not in
// Pelko-format!\n"; an input that ends within or right after the rank
// table fails without a message. A comp_min outside 5..256, which no
// writer produces, counts as a missing magic.
[[nodiscard]] int Uncompress_Init(const void* data, std::size_t length);

// Where a reader fed piece by piece takes its input: each call hands the
// next piece (valid until the next call; it may be empty) and returns 1,
// returns 0 at the end of the input, or -1 when the input cannot be had.
using PELKO_SOURCE = std::function<int(const unsigned char** out_data, std::size_t* out_length)>;

// Starts reading compressed data that `source` hands out piece by piece,
// holding only a window of them: what Uncompress_Init on all pieces joined
// would read, byte for byte. Quiet: where Uncompress_Init prints, this
// only fails. A source that fails makes the data count as corrupt.
[[nodiscard]] int Uncompress_InitSource(PELKO_SOURCE source);

// Delivers up to `length` decoded bytes: fewer at the end of the data,
// 0 after it, and a negative value for corrupt data (also on every read
// after one). Input that runs out within a code ends the data before that
// code; input that runs out between codes ends it there.
[[nodiscard]] std::ptrdiff_t Uncompress_Read(void* buffer, std::size_t length);

// Delivers the next decoded bytes where they lie: `*out_data` holds
// `*out_length` bytes (at least one) until the next call of the reader;
// `*out_last` tells that the data end after them. Returns 1, 0 after the
// end of the data, or a negative value for corrupt data (also on every
// read after one). Spares the caller a buffer of its own that would have
// to be sized before the length of the data is known.
[[nodiscard]] int Uncompress_ReadView(const unsigned char** out_data, std::size_t* out_length,
                                      bool* out_last);

// Ends the reading. The reader's block (and an input buffer of moderate
// size) is kept for the next one.
void Uncompress_End();

// Drop the default writer (with its output sizes) and the reader. Only tests call
// them.
void PELKO_ResetWriterForTest();
void PELKO_ResetReaderForTest();
inline void PELKO_ResetForTest() {
  PELKO_ResetWriterForTest();
  PELKO_ResetReaderForTest();
}
