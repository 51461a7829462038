// chunk_format.h: the chunk code of item content (COMPR): its byte
// formats, limits and tags, and the COMPR object that a writer
// (chunk_write.h) and a reader (chunk_read.h) of chunks share. A COMPR
// turns a record or a record list into a byte stream, encodes it ("#01"
// run-length code or "#50" block compressor) and hands it out in chunks
// of bounded size; in the other direction it collects chunks, removes the
// encoding and reads the records back. Each COMPR owns its buffer, the
// sizes set by COMPR_Init and its damage setting; the block compressor's
// state is process-wide (pelko.h).
//
// Byte stream of a value (integers 32-bit little-endian):
//
// | Offset | Size | Content (record list)                               |
// |--------|------|-----------------------------------------------------|
// | 0      | 4    | -2, the list marker (so the first byte is 0xFE)      |
// | 4      | 4    | n, the number of records                            |
// | 8      | 4    | the list's table id                                 |
// | 12     | ...  | the n records, each as long as its size word says   |
//
// A single record is just its bytes. Records carry their iDB code and
// compare slots as 0.
//
// Chunks, each at most the chunk size (tag included):
//
// | Offset | Size | Content                                                  |
// |--------|------|----------------------------------------------------------|
// | 0      | 3    | tag "#01" or "#50"                                       |
// | 3      | ...  | "#01": run-length code of the next stream bytes; every   |
// |        |      | chunk decodes by itself. "#50": the next slice of one    |
// |        |      | compressed stream holding the whole byte stream.         |
//
// "#01" code: a byte other than 0xB0 stands for itself; 0xB0 0xB0 for one
// 0xB0; 0xB0 k c (k not 0xB0) for k + 4 copies of c.
//
// Damaged input (bad tags, bad codes, bad record sizes, data running
// out, a decoded stream longer than the object's limit) is reported with
// its message and then ends the process with exit status 1, unless the
// object was told otherwise (COMPR_SetFatalOnDamage): then the function
// only reports and returns 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "content/limits.h"
#include "records/record.h"

inline constexpr int COMPR_MAXCHUNK = RECORD_BINMAX;   // largest chunk, tag included
inline constexpr int COMPR_MINCHUNK = 5;               // smallest chunk that always makes progress
inline constexpr int COMPR_TAGLEN = 3;                 // "#01" / "#50"
inline constexpr int COMPR_MAXRUN = 258;               // longest run one "#01" code carries
inline constexpr int COMPR_MINRUN = 4;                 // shortest run worth a "#01" code
inline constexpr unsigned char COMPR_RUNMARK = 0xB0;   // the "#01" escape byte
inline constexpr int32_t COMPR_LISTMARKER = -2;        // first word of a record list
inline constexpr int COMPR_FIRST_DEFAULT = 10000;      // buffer first size for -1
inline constexpr int COMPR_GROWTH_DEFAULT = 100000;    // buffer growth step for -1
inline constexpr int COMPR_OUT_FIRST_DEFAULT = 10000;  // compressor output first size for -1
inline constexpr int COMPR_OUT_GROWTH_DEFAULT = 100000;  // compressor output growth for -1
inline constexpr int COMPR_MODE_RLE = 1;                 // chunks "#01"
inline constexpr int COMPR_MODE_PELKO = 2;               // chunks "#50"
inline constexpr char COMPR_TAG_RLE[] = "#01";
inline constexpr char COMPR_TAG_PELKO[] = "#50";

struct COMPR {
  std::vector<unsigned char> buffer;  // the byte stream; its size is the length
  // Read position in the buffer; -1 while a "#50" encoding is handed out.
  std::ptrdiff_t position = 0;
  int chunk_size = 0;
  int mode = COMPR_MODE_RLE;
  // The "#50" encoding being handed out, and how much of it is gone.
  std::vector<unsigned char> packed;
  std::size_t packed_pos = 0;
  // Most bytes the decoded stream may hold (COMPR_SetLimit). A few bytes
  // of code can stand for megabytes, so a reader that knows how long the
  // value is stops damaged or crafted data before they take the memory.
  std::size_t limit = SIZE_MAX;
  // Buffer sizes set by COMPR_Init: the first allocation without a chunk
  // size, and the least growth step.
  std::size_t first_capacity = COMPR_FIRST_DEFAULT;
  std::size_t growth = COMPR_GROWTH_DEFAULT;
  bool fatal_on_damage = true;  // damaged input ends the process
};

// Empties `obj` (mode 1, damage fatal) and sets its buffer sizes and the
// block compressor's output sizes; -1 for any of the last four takes its
// default. A chunk size above 4000 prints
// "(COMPR_Init) Data-size %d too long (max = %d)!\n" and ends the process.
// REQUIRES: chunk_size >= COMPR_MINCHUNK when chunks will be handed out.
void COMPR_Init(COMPR* obj, int chunk_size, int first_capacity, int growth, int out_first,
                int out_growth);

// Selects "#01" (1) or "#50" (2) for the chunks handed out.
void COMPR_Set_Mode(COMPR* obj, int mode);

// Bounds the decoded stream to `max_bytes`: a "#01" chunk whose decoding
// would take it further prints "(COMPR_AddBin) Decoded data too long
// (max = %lld)!\n", a "#50" stream "(COMPR_Reset) Decoded data too long
// (max = %lld)!\n"; both count as damaged input. The buffer never grows
// past the bound. The raw "#50" slices are not decoded data and are not
// bounded. COMPR_Init lifts the bound.
void COMPR_SetLimit(COMPR* obj, std::size_t max_bytes);

// Frees the buffers; the object may be initialised again.
void COMPR_Free(COMPR* obj);

// Whether damaged input ends the process (the default) or only makes the
// calls on `obj` report and fail.
void COMPR_SetFatalOnDamage(COMPR* obj, bool fatal);

// The chunks of one value, kept together: their bodies (each chunk
// without its tag) one after the other in blocks of COMPR_CHUNKBLOCK
// bytes, which are never grown and so never copied (a body lies wholly in
// one block), and the length of each body.
struct COMPR_CHUNKS {
  int mode = COMPR_MODE_RLE;
  std::vector<std::vector<unsigned char>> blocks;
  std::vector<uint16_t> lengths;
};
inline constexpr std::size_t COMPR_CHUNKBLOCK = std::size_t{1} << 20;

// What the writer and the reader share of a COMPR's buffer.

// Room for `extra` more bytes in the buffer. The first allocation is the
// chunk size (or the first capacity without one); later ones add at least
// the growth step, and half the size for large buffers so they are not
// copied over and over, but never more than the limit holds.
// REQUIRES: the bytes fit within the limit.
void COMPR_Reserve(COMPR* obj, std::size_t extra);
// Appends bytes to the buffer.
void COMPR_Append(COMPR* obj, const unsigned char* bytes, std::size_t n);
// After the message of damaged input: ends the process, or returns 0.
[[nodiscard]] int COMPR_Damaged(const COMPR* obj);
// Prints "(add_memory) Error: Out of memory!\n" and ends the process.
[[noreturn]] void COMPR_OutOfMemory();
