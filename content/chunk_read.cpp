// chunk_read.cpp: "#01" and "#50" chunks back into values, whole or as
// they come.
#include "content/chunk_read.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>

#include "compress/pelko.h"
#include "platform/report.h"

namespace {
constexpr char kInvalidRle[] = "(COMPR_AddBin) Invalid '#01'-encoded data!\n";
constexpr char kInvalidTag[] = "(COMPR_AddBin) Invalid '#%c%c'-encoded data!\n";
constexpr char kInvalidPelko[] = "(COMPR_Reset) Invalid '#50'-encoded data!\n";
constexpr char kRleTooLong[] = "(COMPR_AddBin) Decoded data too long (max = %lld)!\n";
constexpr char kPelkoTooLong[] = "(COMPR_Reset) Decoded data too long (max = %lld)!\n";
constexpr char kStructInvalid[] = "(get_struct) Invalid data!\n";
constexpr char kStructOutOfData[] = "(get_struct) Out of data!\n";
constexpr char kStructTooBig[] = "(get_struct) Size (%d) of struct too big (max = %d)!\n";
constexpr char kIntOutOfData[] = "(get_int) Out of data!\n";

constexpr unsigned char kListFirstByte = 0xFE;  // first byte of -2, little-endian

int32_t LoadInt(const unsigned char* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}

// Whether `n` more decoded bytes stay within the limit.
bool Fits(const COMPR* obj, std::size_t n) { return n <= obj->limit - obj->buffer.size(); }

enum class RleDecoded { kOk, kMalformed, kTooLong };

// Decodes one "#01" chunk body, at most `room` bytes: `plain(bytes, n)`
// takes bytes as they are, `run(n, byte)` n copies of a byte.
template <typename Plain, typename Run>
RleDecoded DecodeRleWith(const unsigned char* in, std::size_t n, std::size_t room,
                         const Plain& plain, const Run& run) {
  std::size_t i = 0;
  while (i < n) {
    // memchr scans many bytes at a time where std::find takes one.
    const void* mark = std::memchr(in + i, COMPR_RUNMARK, n - i);
    const std::size_t count =
        mark == nullptr
            ? n - i
            : static_cast<std::size_t>(static_cast<const unsigned char*>(mark) - (in + i));
    if (count > room) return RleDecoded::kTooLong;
    plain(in + i, count);
    room -= count;
    i += count;
    if (i == n) break;
    if (i + 1 >= n) return RleDecoded::kMalformed;
    const bool escaped = in[i + 1] == COMPR_RUNMARK;
    if (!escaped && i + 2 >= n) return RleDecoded::kMalformed;
    const std::size_t copies = escaped ? 1 : in[i + 1] + static_cast<std::size_t>(COMPR_MINRUN);
    if (copies > room) return RleDecoded::kTooLong;
    run(copies, escaped ? COMPR_RUNMARK : in[i + 2]);
    room -= copies;
    i += escaped ? 2 : 3;
  }
  return RleDecoded::kOk;
}

// Appends the decoding of one "#01" chunk body.
RleDecoded DecodeRle(COMPR* obj, const unsigned char* in, std::size_t n) {
  return DecodeRleWith(
      in, n, obj->limit - obj->buffer.size(),
      [obj](const unsigned char* bytes, std::size_t count) { COMPR_Append(obj, bytes, count); },
      [obj](std::size_t count, unsigned char byte) {
        COMPR_Reserve(obj, count);
        obj->buffer.insert(obj->buffer.end(), count, byte);
      });
}

}  // namespace

int COMPR_AddBin(COMPR* obj, const RECORD_BINARY& chunk) {
  const std::size_t n = chunk.length;
  if (n == 0) return 1;
  const unsigned char* d = chunk.data;
  const bool fits = n >= COMPR_TAGLEN && n <= COMPR_MAXCHUNK;
  if (fits && std::memcmp(d, COMPR_TAG_RLE, COMPR_TAGLEN) == 0) {
    const std::size_t before = obj->buffer.size();
    const RleDecoded result = DecodeRle(obj, d + COMPR_TAGLEN, n - COMPR_TAGLEN);
    if (result == RleDecoded::kOk) return 1;
    obj->buffer.resize(before);
    if (result == RleDecoded::kTooLong) {
      DBreport(kRleTooLong, static_cast<long long>(obj->limit));
    } else {
      DBreport(kInvalidRle);
    }
    return COMPR_Damaged(obj);
  }
  if (fits && std::memcmp(d, COMPR_TAG_PELKO, COMPR_TAGLEN) == 0) {
    const std::size_t skip = obj->buffer.empty() ? 0 : COMPR_TAGLEN;
    COMPR_Append(obj, d + skip, n - skip);
    return 1;
  }
  DBreport(kInvalidTag, d[1], d[2]);
  return COMPR_Damaged(obj);
}

namespace {
// Appends one decoded piece. The length of the stream is known only at
// its end, so the buffer grows geometrically until the last piece, which
// gets exactly the room it needs: an item of one block is sized once.
void AppendPiece(COMPR* obj, const unsigned char* piece, std::size_t n, bool last) {
  std::vector<unsigned char>& buf = obj->buffer;
  if (last && buf.size() + n > buf.capacity()) {
    try {
      buf.reserve(buf.size() + n);
    } catch (const std::bad_alloc&) {
      COMPR_OutOfMemory();
    }
  }
  COMPR_Append(obj, piece, n);
}

// Replaces the buffer by the decoding of the "#50" stream it holds. The
// pieces are copied from the decompressor's block: decoding straight into
// the buffer would need it sized, and so zero-filled, ahead of the data.
int DecodePelko(COMPR* obj) {
  const std::vector<unsigned char> packed = std::move(obj->buffer);
  obj->buffer = std::vector<unsigned char>();
  const int opened = Uncompress_Init(packed.data() + COMPR_TAGLEN, packed.size() - COMPR_TAGLEN);
  int got = opened ? 1 : -1;
  bool too_long = false;
  while (got > 0 && !too_long) {
    const unsigned char* piece = nullptr;
    std::size_t n = 0;
    bool last = false;
    got = Uncompress_ReadView(&piece, &n, &last);
    too_long = got > 0 && !Fits(obj, n);
    if (got > 0 && !too_long) AppendPiece(obj, piece, n, last);
  }
  Uncompress_End();
  if (got == 0) return 1;
  obj->buffer = std::vector<unsigned char>();
  if (too_long) {
    DBreport(kPelkoTooLong, static_cast<long long>(obj->limit));
  } else {
    DBreport(kInvalidPelko);
  }
  return COMPR_Damaged(obj);
}
}  // namespace

int COMPR_Reset(COMPR* obj) {
  int ok = 1;
  if (obj->mode == COMPR_MODE_PELKO && obj->buffer.size() >= COMPR_TAGLEN &&
      std::memcmp(obj->buffer.data(), COMPR_TAG_PELKO, COMPR_TAGLEN) == 0) {
    ok = DecodePelko(obj);
  }
  obj->position = 0;
  obj->packed = std::vector<unsigned char>();
  obj->packed_pos = 0;
  return ok;
}

int COMPR_GetTableId(const COMPR& obj) {
  if (obj.buffer.size() < 10) return 0;
  return obj.buffer[8] | obj.buffer[9] << 8;
}

int get_int(COMPR* obj, int32_t* out_value) {
  const std::size_t size = obj->buffer.size();
  if (obj->position < 0 || static_cast<std::size_t>(obj->position) + 4 > size) {
    DBreport(kIntOutOfData);
    return COMPR_Damaged(obj);
  }
  *out_value = LoadInt(obj->buffer.data() + obj->position);
  obj->position += 4;
  return 1;
}

namespace {
// Checks the record at the read position and steps over it; `*out_at` is
// where it starts.
int ReadRecord(COMPR* obj, std::size_t* out_at, int* out_size) {
  const std::size_t length = obj->buffer.size();
  const std::size_t at = static_cast<std::size_t>(obj->position);
  if (at + 4 > length) {
    DBreport(kStructOutOfData);
    return COMPR_Damaged(obj);
  }
  const int32_t size = LoadInt(obj->buffer.data() + at);
  // A record always holds at least its header.
  if (size < RECORD_HEADER_SIZE) {
    DBreport(kStructInvalid);
    return COMPR_Damaged(obj);
  }
  if (static_cast<std::size_t>(size) > length - at) {
    DBreport(kStructOutOfData);
    return COMPR_Damaged(obj);
  }
  if (size >= COMPR_MAXSTRUCT) {
    DBreport(kStructTooBig, size, COMPR_MAXSTRUCT);
    return COMPR_Damaged(obj);
  }
  obj->position += size;
  *out_at = at;
  *out_size = size;
  return 1;
}

int ReadList(COMPR* obj, ARRAY* out_list) {
  int32_t marker = 0, count = 0, table_id = 0;
  if (!get_int(obj, &marker) || !get_int(obj, &count) || !get_int(obj, &table_id)) return 0;
  if (marker != COMPR_LISTMARKER || count < 0) {
    DBreport(kStructInvalid);
    return COMPR_Damaged(obj);
  }
  ARRAY_Init(out_list, table_id);
  for (int32_t k = 0; k < count; ++k) {
    std::size_t at = 0;
    int size = 0;
    if (!ReadRecord(obj, &at, &size)) {
      ARRAY_Free(out_list);
      return 0;
    }
    ARRAY_AddBytes(out_list, obj->buffer.data() + at, size);
    RECORD_HEADER* added = ARRAY_GetPtr(out_list, k);
    added->idb = 0;
    added->cmp_pk = added->cmp_lk = 0;
  }
  return 1;
}

int ReadSingle(COMPR* obj, RECORD_HEADER* out_record, int record_capacity) {
  std::size_t at = 0;
  int size = 0;
  if (!ReadRecord(obj, &at, &size)) return 0;
  if (size > record_capacity) {
    obj->position = static_cast<std::ptrdiff_t>(at);
    DBreport(kStructInvalid);
    return COMPR_Damaged(obj);
  }
  // The caller's iDB code and compare slots stay: they mean something only
  // in memory.
  const RECORD_HEADER kept = *out_record;
  std::memcpy(out_record, obj->buffer.data() + at, static_cast<std::size_t>(size));
  out_record->idb = kept.idb;
  out_record->cmp_pk = kept.cmp_pk;
  out_record->cmp_lk = kept.cmp_lk;
  return 1;
}
}  // namespace

int get_struct(COMPR* obj, ARRAY* out_list, RECORD_HEADER* out_record, int record_capacity) {
  const std::ptrdiff_t start = obj->position;
  if (start < 0 || static_cast<std::size_t>(start) >= obj->buffer.size()) {
    DBreport(kStructOutOfData);
    return COMPR_Damaged(obj);
  }
  const bool is_list = obj->buffer[static_cast<std::size_t>(start)] == kListFirstByte;
  if ((is_list && out_list == nullptr) || (!is_list && out_record == nullptr)) {
    DBreport(kStructInvalid);
    return COMPR_Damaged(obj);
  }
  const int ok = is_list ? ReadList(obj, out_list) : ReadSingle(obj, out_record, record_capacity);
  if (!ok) obj->position = start;
  return ok;
}

namespace {
bool IsChunkOf(const RECORD_BINARY& chunk, const char* tag) {
  return chunk.length >= COMPR_TAGLEN && chunk.length <= COMPR_MAXCHUNK &&
         std::memcmp(chunk.data, tag, COMPR_TAGLEN) == 0;
}

// The "#01" chunks, each decoded and handed on by itself. The first
// decoded bytes must not read "#50": in mode 2 the whole decoding would
// take them for a compressed stream.
int ReadRleStream(int mode, std::size_t limit, const RECORD_BINARY* chunk,
                  const COMPR_CHUNKSOURCE& source, const COMPR_STREAMSINK& sink) {
  std::vector<unsigned char> piece;
  std::size_t total = 0;
  std::string head;
  int got = 1;
  for (; got == 1; got = source(&chunk)) {
    if (chunk->length == 0) continue;
    if (!IsChunkOf(*chunk, COMPR_TAG_RLE)) return 0;
    piece.clear();
    const RleDecoded result = DecodeRleWith(
        chunk->data + COMPR_TAGLEN, chunk->length - COMPR_TAGLEN, limit - total,
        [&piece](const unsigned char* bytes, std::size_t n) {
          piece.insert(piece.end(), bytes, bytes + n);
        },
        [&piece](std::size_t n, unsigned char byte) { piece.insert(piece.end(), n, byte); });
    if (result != RleDecoded::kOk) return 0;
    total += piece.size();
    if (head.size() < COMPR_TAGLEN) {
      head.append(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                     piece.size(), COMPR_TAGLEN - head.size())));
      if (mode == COMPR_MODE_PELKO && head == COMPR_TAG_PELKO) return 0;
    }
    if (!piece.empty() && !sink(piece.data(), piece.size())) return 0;
  }
  return got == 0;
}

// The "#50" slices, joined without their tags into the compressed stream
// that the block decompressor reads as they come.
int ReadPelkoStream(std::size_t limit, const RECORD_BINARY* first, const COMPR_CHUNKSOURCE& source,
                    const COMPR_STREAMSINK& sink) {
  const RECORD_BINARY* pending = first;
  PELKO_SOURCE slices = [&](const unsigned char** out_data, std::size_t* out_length) {
    const RECORD_BINARY* chunk = pending;
    pending = nullptr;
    if (chunk == nullptr) {
      const int got = source(&chunk);
      if (got != 1) return got;
    }
    if (chunk->length == 0) {
      *out_length = 0;
      return 1;
    }
    if (!IsChunkOf(*chunk, COMPR_TAG_PELKO)) return -1;
    *out_data = chunk->data + COMPR_TAGLEN;
    *out_length = chunk->length - COMPR_TAGLEN;
    return 1;
  };
  int got = Uncompress_InitSource(slices) ? 1 : -1;
  std::size_t total = 0;
  while (got > 0) {
    const unsigned char* piece = nullptr;
    std::size_t n = 0;
    bool last = false;
    got = Uncompress_ReadView(&piece, &n, &last);
    if (got > 0 && (n > limit - total || !sink(piece, n))) got = -1;
    total += n;
  }
  Uncompress_End();
  return got == 0;
}
}  // namespace

int COMPR_ReadStream(int mode, std::size_t limit, const COMPR_CHUNKSOURCE& source,
                     const COMPR_STREAMSINK& sink) {
  const RECORD_BINARY* chunk = nullptr;
  int got;
  while ((got = source(&chunk)) == 1 && chunk->length == 0) {
  }
  if (got < 0) return 0;
  if (got == 0) return 1;  // no chunk: an empty stream
  if (IsChunkOf(*chunk, COMPR_TAG_PELKO)) {
    return mode == COMPR_MODE_PELKO && ReadPelkoStream(limit, chunk, source, sink);
  }
  return ReadRleStream(mode, limit, chunk, source, sink);
}
