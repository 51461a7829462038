// chunk_write.h: values into chunks (COMPR writer): a value's byte stream
// built with add_struct and handed out chunk by chunk (COMPR_GetBin), and
// the chunker that cuts a stream given piece by piece into the chunks of
// one item (COMPR_CHUNKER). The formats are drawn in chunk_format.h.
#pragma once

#include <cstddef>
#include <vector>

#include "compress/pelko.h"
#include "content/chunk_format.h"
#include "records/record.h"

// Appends a record list (marker, count, table id, records) or a single
// record to the stream. A record whose size word is 0 or below prints
// "(add_struct) Error: Invalid data (array of arrays!)\n" (fatal unless
// damage is set non-fatal; then 0 and nothing appended).
// REQUIRES: `record` points to at least `record.size` readable bytes.
[[nodiscard]] int add_struct(COMPR* obj, const ARRAY& list);
[[nodiscard]] int add_struct(COMPR* obj, const RECORD_HEADER& record);

// The next chunk of the stream into `out_chunk`; 0 when none is left.
[[nodiscard]] int COMPR_GetBin(COMPR* obj, RECORD_BINARY* out_chunk);

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
// stream and of its code. Without a writer of its own a chunker of "#50"
// chunks uses the compressor's default one (one such chunker at a time, in
// the main thread), and running out of memory ends the process; with one
// it may run in any thread, and running out of memory throws
// std::bad_alloc instead, since only the main thread may end the process.
class COMPR_CHUNKER {
 public:
  // Starts the chunks of `mode` in `out`, which is emptied.
  // REQUIRES: COMPR_MINCHUNK <= chunk_size <= COMPR_MAXCHUNK.
  COMPR_CHUNKER(int mode, int chunk_size, COMPR_CHUNKS* out, PELKO_WRITER* writer = nullptr);
  // Appends stream bytes.
  void Add(const unsigned char* data, std::size_t length);
  // Ends the stream and makes its last chunks.
  void Finish();

 private:
  void Code(bool more);
  void Keep(const unsigned char* body, std::size_t length);
  void Slice(const unsigned char* data, std::size_t length);

  void OutOfMemory() const;

  int mode_;
  PELKO_WRITER* writer_;  // null: the default writer
  std::size_t room_;      // body bytes of a chunk
  COMPR_CHUNKS* out_;
  bool packing_ = false;               // "#50": a compression is open
  std::vector<unsigned char> window_;  // "#01": the stream not coded yet
  std::size_t at_ = 0;
  // The body being made: "#01" code, or a "#50" slice.
  unsigned char chunk_[COMPR_MAXCHUNK] = {};
  std::size_t fill_ = 0;
};
