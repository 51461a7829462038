// chunk_read.h: chunks back into values (COMPR reader): chunks collected
// one by one (COMPR_AddBin) and decoded (COMPR_Reset), the records read
// back from the stream, and the streaming read that decodes an item's
// chunks as they come (COMPR_ReadStream). The formats and what happens to
// damaged input are drawn in chunk_format.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "content/chunk_format.h"
#include "records/record.h"

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
