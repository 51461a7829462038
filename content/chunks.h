// compr.h: the chunk encoder (COMPR). Turns a record or a record list into
// a byte stream, encodes it ("#01" run-length code or "#50" block
// compressor) and hands it out in chunks of bounded size; in the other
// direction collects chunks, removes the encoding and reads the records
// back. Each COMPR owns its buffer, the sizes set by COMPR_Init and its
// damage setting; the block compressor's state is process-wide (pelko.h).
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
#include <functional>
#include <vector>

#include "records/record.h"

inline constexpr int COMPR_MAXCHUNK = RECORD_BINMAX;   // largest chunk, tag included
inline constexpr int COMPR_MINCHUNK = 5;               // smallest chunk that always makes progress
inline constexpr int COMPR_TAGLEN = 3;                 // "#01" / "#50"
inline constexpr int COMPR_MAXRUN = 258;               // longest run one "#01" code carries
inline constexpr int COMPR_MAXSTRUCT = 2000000;        // a stored record must be smaller
inline constexpr int COMPR_FIRST_DEFAULT = 10000;      // buffer first size for -1
inline constexpr int COMPR_GROWTH_DEFAULT = 100000;    // buffer growth step for -1
inline constexpr int COMPR_OUT_FIRST_DEFAULT = 10000;  // compressor output first size for -1
inline constexpr int COMPR_OUT_GROWTH_DEFAULT = 100000;  // compressor output growth for -1
inline constexpr int COMPR_MODE_RLE = 1;                 // chunks "#01"
inline constexpr int COMPR_MODE_PELKO = 2;               // chunks "#50"

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

// Appends a record list (marker, count, table id, records) or a single
// record to the stream. A record whose size word is 0 or below prints
// "(add_struct) Error: Invalid data (array of arrays!)\n" (fatal unless
// damage is set non-fatal; then 0 and nothing appended).
// REQUIRES: `record` points to at least `record.size` readable bytes.
[[nodiscard]] int add_struct(COMPR* obj, const ARRAY& list);
[[nodiscard]] int add_struct(COMPR* obj, const RECORD_HEADER& record);

// The next chunk of the stream into `out_chunk`; 0 when none is left.
[[nodiscard]] int COMPR_GetBin(COMPR* obj, RECORD_BINARY* out_chunk);

// Appends one chunk read back. A chunk of length 0 adds nothing.
[[nodiscard]] int COMPR_AddBin(COMPR* obj, const RECORD_BINARY& chunk);

// Ends the adding: in mode 2 a buffer that begins with "#50" is replaced
// by the decoded stream. The read position becomes 0.
[[nodiscard]] int COMPR_Reset(COMPR* obj);

// The 16-bit value at bytes 8..9 of the stream (a list's table id); 0 for
// a stream too short to hold it.
int COMPR_GetTableId(const COMPR& obj);

// Reads the value at the read position: a record list into `out_list`
// (tagged with the stream's table id), or a single record into
// `out_record`, which has room for `record_capacity` bytes. Reading a kind
// whose destination is null, or a record larger than its room, counts as
// invalid data.
[[nodiscard]] int get_struct(COMPR* obj, ARRAY* out_list, RECORD_HEADER* out_record,
                             int record_capacity);

// Reads one 32-bit integer at the read position.
[[nodiscard]] int get_int(COMPR* obj, int32_t* out_value);

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

// Where a walk over the chunks of a COMPR_CHUNKS stands.
struct COMPR_CHUNKWALK {
  std::size_t next = 0;  // the chunk handed out next
  std::size_t block = 0;
  std::size_t offset = 0;  // of its body in the block
};

// The next chunk of the walk, tag included, into `out_chunk`; 0 after the
// last one.
[[nodiscard]] int COMPR_NextChunk(const COMPR_CHUNKS& chunks, COMPR_CHUNKWALK* walk,
                                  RECORD_BINARY* out_chunk);

// Cuts a value's stream, given piece by piece, into chunks (COMPR_CHUNKER):
// the chunks COMPR_GetBin hands out for the whole stream, byte for byte,
// each kept as soon as it is complete. "#01" chunks are made as soon as
// the stream reaches a little past them, so only that little of the
// stream is held; "#50" chunks are cut from the compressed stream as the
// block compressor codes it, and the compressor holds one block of the
// stream and of its code (its state is process-wide: one chunker of "#50"
// chunks at a time).
class COMPR_CHUNKER {
 public:
  // Starts the chunks of `mode` in `out`, which is emptied.
  // REQUIRES: COMPR_MINCHUNK <= chunk_size <= COMPR_MAXCHUNK.
  COMPR_CHUNKER(int mode, int chunk_size, COMPR_CHUNKS* out);
  // Appends stream bytes.
  void Add(const unsigned char* data, std::size_t length);
  // Ends the stream and makes its last chunks.
  void Finish();

 private:
  void Code(bool more);
  void Keep(const unsigned char* body, std::size_t length);
  void Slice(const unsigned char* data, std::size_t length);

  int mode_;
  std::size_t room_;  // body bytes of a chunk
  COMPR_CHUNKS* out_;
  bool packing_ = false;               // "#50": a compression is open
  std::vector<unsigned char> window_;  // "#01": the stream not coded yet
  std::size_t at_ = 0;
  // The body being made: "#01" code, or a "#50" slice.
  unsigned char chunk_[COMPR_MAXCHUNK] = {};
  std::size_t fill_ = 0;
};

// Where a reader of chunks takes them: each call points `*out_chunk` at
// the next chunk (valid until the next call) and returns 1, returns 0
// after the last one, or -1 when the chunks cannot be had.
using COMPR_CHUNKSOURCE = std::function<int(const RECORD_BINARY** out_chunk)>;
// Where a decoded stream goes, piece by piece; false stops the reading.
using COMPR_STREAMSINK = std::function<bool(const unsigned char* data, std::size_t length)>;

// Decodes the chunks of one value as they come and hands the stream on
// piece by piece: the stream that COMPR_AddBin of every chunk and then
// COMPR_Reset in `mode` would hold, bounded by `limit` as COMPR_SetLimit
// bounds it, without ever holding the chunks or the stream whole (one
// chunk's decoding, or a window of a compressed stream). Returns 1 when
// the whole stream was handed on. Returns 0, without a message, when the
// chunks are damaged, decode past the limit or mix their tags (the whole
// decoding takes "#01" chunks within "#50" ones), when the sink stopped
// or the source failed: a caller that must tell why decodes the chunks
// with COMPR_AddBin and COMPR_Reset, which report it.
[[nodiscard]] int COMPR_ReadStream(int mode, std::size_t limit, const COMPR_CHUNKSOURCE& source,
                                   const COMPR_STREAMSINK& sink);

// Frees the buffers; the object may be initialised again.
void COMPR_Free(COMPR* obj);

// Whether damaged input ends the process (the default) or only makes the
// calls on `obj` report and fail.
void COMPR_SetFatalOnDamage(COMPR* obj, bool fatal);
