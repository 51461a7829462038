// compr.cpp: the chunk encoder.
#include "content/chunks.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <new>
#include <string>

#include "compress/pelko.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kDataSizeTooLong[] = "(COMPR_Init) Data-size %d too long (max = %d)!\n";
constexpr char kArrayOfArrays[] = "(add_struct) Error: Invalid data (array of arrays!)\n";
constexpr char kOutOfMemory[] = "(add_memory) Error: Out of memory!\n";
constexpr char kInvalidRle[] = "(COMPR_AddBin) Invalid '#01'-encoded data!\n";
constexpr char kInvalidTag[] = "(COMPR_AddBin) Invalid '#%c%c'-encoded data!\n";
constexpr char kInvalidPelko[] = "(COMPR_Reset) Invalid '#50'-encoded data!\n";
constexpr char kRleTooLong[] = "(COMPR_AddBin) Decoded data too long (max = %lld)!\n";
constexpr char kPelkoTooLong[] = "(COMPR_Reset) Decoded data too long (max = %lld)!\n";
constexpr char kStructInvalid[] = "(get_struct) Invalid data!\n";
constexpr char kStructOutOfData[] = "(get_struct) Out of data!\n";
constexpr char kStructTooBig[] = "(get_struct) Size (%d) of struct too big (max = %d)!\n";
constexpr char kIntOutOfData[] = "(get_int) Out of data!\n";

constexpr unsigned char kRunMark = 0xB0;
constexpr unsigned char kListFirstByte = 0xFE;  // first byte of -2, little-endian
constexpr int32_t kListMarker = -2;
constexpr int kRleMinRun = 4;      // shortest run worth a code
constexpr int kPelkoMode = 0;      // first qualifying match candidate
constexpr int kPelkoMinMatch = 5;  // shortest back-reference of item content
constexpr int kPelkoCache = 64;    // ring entries per byte value for item content

// After the message of damaged input: ends the process, or fails.
[[nodiscard]] int Damaged(const COMPR* obj) {
  if (obj->fatal_on_damage) PLATFORM_Exit(1);
  return 0;
}

int32_t LoadInt(const unsigned char* p) {
  uint32_t v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
               static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(v);
}

// Room for `extra` more bytes. The first allocation is the chunk size (or
// the first capacity without one); later ones add at least the growth
// step, and half the size for large buffers so they are not copied over
// and over, but never more than the limit holds.
// REQUIRES: the bytes fit within the limit.
void Reserve(COMPR* obj, std::size_t extra) {
  std::vector<unsigned char>& buf = obj->buffer;
  const std::size_t need = buf.size() + extra;
  if (need <= buf.capacity()) return;
  std::size_t next =
      buf.capacity() == 0
          ? (obj->chunk_size > 0 ? static_cast<std::size_t>(obj->chunk_size) : obj->first_capacity)
          : buf.capacity() + std::max(obj->growth, buf.capacity() / 2);
  next = std::min(next, obj->limit);
  try {
    buf.reserve(std::max(need, next));
  } catch (const std::bad_alloc&) {
    DBreport(kOutOfMemory);
    PLATFORM_Exit(1);
  }
}

void Append(COMPR* obj, const unsigned char* bytes, std::size_t n) {
  Reserve(obj, n);
  obj->buffer.insert(obj->buffer.end(), bytes, bytes + n);
}

void AppendInt(COMPR* obj, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                  static_cast<unsigned char>(u >> 16),
                                  static_cast<unsigned char>(u >> 24)};
  Append(obj, bytes, 4);
}

// The iDB code and the compare slots mean something only in memory.
void ClearHeaderWords(unsigned char* record, std::size_t size) {
  for (std::size_t k = 4; k < std::min<std::size_t>(size, 8); ++k) record[k] = 0;
  for (std::size_t k = 12; k < std::min<std::size_t>(size, RECORD_HEADER_SIZE); ++k) record[k] = 0;
}

void AppendRecord(COMPR* obj, const unsigned char* record, int size) {
  const std::size_t at = obj->buffer.size();
  Append(obj, record, static_cast<std::size_t>(size));
  ClearHeaderWords(obj->buffer.data() + at, static_cast<std::size_t>(size));
}

// Codes s[*at..n) as "#01" into out[o..room) and returns the new fill,
// advancing *at. Stops when the chunk is full (*out_ended set) or the
// stream ends; with `more` (the stream goes on past n) also as soon as
// fewer bytes are left than a step may look at, so that no step sees an
// end that is not the stream's.
int EncodeRleSteps(const unsigned char* s, std::size_t n, std::size_t* at, bool more,
                   unsigned char* out, int o, int room, bool* out_ended) {
  std::size_t i = *at;
  *out_ended = false;
  while (i < n && (!more || n - i > COMPR_MAXRUN)) {
    if (o >= room) {
      *out_ended = true;
      break;
    }
    const unsigned char c = s[i];
    if (i + 3 < n && s[i + 1] == c && s[i + 2] == c && s[i + 3] == c && room - o >= 4) {
      std::size_t r = kRleMinRun;
      while (r < COMPR_MAXRUN && i + r < n && s[i + r] == c) ++r;
      // The count byte of a 180-byte run would read as 0xB0 0xB0.
      if (r == kRunMark + kRleMinRun) --r;
      out[o++] = kRunMark;
      out[o++] = static_cast<unsigned char>(r - kRleMinRun);
      out[o++] = c;
      i += r;
    } else if (c == kRunMark) {
      if (room - o < 2) {
        *out_ended = true;
        break;
      }
      out[o++] = kRunMark;
      out[o++] = kRunMark;
      ++i;
    } else {
      out[o++] = c;
      ++i;
    }
  }
  if (o >= room) *out_ended = true;
  *at = i;
  return o;
}

// "#01" code of the stream from the read position into `out` (room for
// `room` bytes); returns the bytes written and advances the position.
int EncodeRle(COMPR* obj, unsigned char* out, int room) {
  std::size_t i = static_cast<std::size_t>(obj->position);
  bool ended = false;
  const int o =
      EncodeRleSteps(obj->buffer.data(), obj->buffer.size(), &i, false, out, 0, room, &ended);
  obj->position = static_cast<std::ptrdiff_t>(i);
  return o;
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
    const void* mark = std::memchr(in + i, kRunMark, n - i);
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
    const bool escaped = in[i + 1] == kRunMark;
    if (!escaped && i + 2 >= n) return RleDecoded::kMalformed;
    const std::size_t copies = escaped ? 1 : in[i + 1] + static_cast<std::size_t>(kRleMinRun);
    if (copies > room) return RleDecoded::kTooLong;
    run(copies, escaped ? kRunMark : in[i + 2]);
    room -= copies;
    i += escaped ? 2 : 3;
  }
  return RleDecoded::kOk;
}

// Appends the decoding of one "#01" chunk body.
RleDecoded DecodeRle(COMPR* obj, const unsigned char* in, std::size_t n) {
  return DecodeRleWith(
      in, n, obj->limit - obj->buffer.size(),
      [obj](const unsigned char* bytes, std::size_t count) { Append(obj, bytes, count); },
      [obj](std::size_t count, unsigned char byte) {
        Reserve(obj, count);
        obj->buffer.insert(obj->buffer.end(), count, byte);
      });
}

// Hands out the next "#50" slice; compresses the whole stream first.
int GetPelkoChunk(COMPR* obj, RECORD_BINARY* out_chunk) {
  if (obj->position != -1) {
    std::vector<unsigned char> packed;
    if (!Compress_Init(kPelkoMode, kPelkoMinMatch, kPelkoCache) ||
        !Compress_Add(obj->buffer.data(), obj->buffer.size()) || !Compress_End(&packed)) {
      PLATFORM_Exit(1);  // out of memory, reported by the compressor
    }
    obj->packed = std::move(packed);
    obj->packed_pos = 0;
    obj->position = -1;
  }
  const std::size_t rest = obj->packed.size() - obj->packed_pos;
  if (rest == 0) {
    obj->packed = std::vector<unsigned char>();
    obj->packed_pos = 0;
    return 0;
  }
  const std::size_t take = std::min(rest, static_cast<std::size_t>(obj->chunk_size - COMPR_TAGLEN));
  std::memcpy(out_chunk->data, "#50", COMPR_TAGLEN);
  std::memcpy(out_chunk->data + COMPR_TAGLEN, obj->packed.data() + obj->packed_pos, take);
  out_chunk->length = static_cast<uint16_t>(COMPR_TAGLEN + take);
  obj->packed_pos += take;
  return 1;
}
}  // namespace

void COMPR_Init(COMPR* obj, int chunk_size, int first_capacity, int growth, int out_first,
                int out_growth) {
  if (chunk_size > COMPR_MAXCHUNK) {
    DBreport(kDataSizeTooLong, chunk_size, COMPR_MAXCHUNK);
    PLATFORM_Exit(1);
  }
  PELKO_SetOutputSizes(out_first == -1 ? COMPR_OUT_FIRST_DEFAULT : out_first,
                       out_growth == -1 ? COMPR_OUT_GROWTH_DEFAULT : out_growth);
  *obj = COMPR{};
  obj->chunk_size = chunk_size;
  obj->first_capacity =
      static_cast<std::size_t>(first_capacity == -1 ? COMPR_FIRST_DEFAULT : first_capacity);
  obj->growth = static_cast<std::size_t>(growth == -1 ? COMPR_GROWTH_DEFAULT : growth);
}

void COMPR_Set_Mode(COMPR* obj, int mode) {
  assert(mode == COMPR_MODE_RLE || mode == COMPR_MODE_PELKO);
  obj->mode = mode;
}

void COMPR_SetLimit(COMPR* obj, std::size_t max_bytes) { obj->limit = max_bytes; }

int add_struct(COMPR* obj, const ARRAY& list) {
  for (const std::vector<unsigned char>& entry : list.records) {
    if (reinterpret_cast<const RECORD_HEADER*>(entry.data())->size <= 0) {
      DBreport(kArrayOfArrays);
      return Damaged(obj);
    }
  }
  AppendInt(obj, kListMarker);
  AppendInt(obj, ARRAY_Count(list));
  AppendInt(obj, list.table_id);
  for (const std::vector<unsigned char>& entry : list.records) {
    AppendRecord(obj, entry.data(), reinterpret_cast<const RECORD_HEADER*>(entry.data())->size);
  }
  return 1;
}

int add_struct(COMPR* obj, const RECORD_HEADER& record) {
  if (record.size <= 0) {
    DBreport(kArrayOfArrays);
    return Damaged(obj);
  }
  AppendRecord(obj, reinterpret_cast<const unsigned char*>(&record), record.size);
  return 1;
}

int COMPR_GetBin(COMPR* obj, RECORD_BINARY* out_chunk) {
  if (obj->position == static_cast<std::ptrdiff_t>(obj->buffer.size())) return 0;
  assert(obj->chunk_size >= COMPR_MINCHUNK);
  if (obj->chunk_size < COMPR_MINCHUNK) return 0;
  if (obj->mode == COMPR_MODE_PELKO) return GetPelkoChunk(obj, out_chunk);
  std::memcpy(out_chunk->data, "#01", COMPR_TAGLEN);
  const int n = EncodeRle(obj, out_chunk->data + COMPR_TAGLEN, obj->chunk_size - COMPR_TAGLEN);
  out_chunk->length = static_cast<uint16_t>(COMPR_TAGLEN + n);
  return 1;
}

int COMPR_AddBin(COMPR* obj, const RECORD_BINARY& chunk) {
  const std::size_t n = chunk.length;
  if (n == 0) return 1;
  const unsigned char* d = chunk.data;
  const bool fits = n >= COMPR_TAGLEN && n <= COMPR_MAXCHUNK;
  if (fits && std::memcmp(d, "#01", COMPR_TAGLEN) == 0) {
    const std::size_t before = obj->buffer.size();
    const RleDecoded result = DecodeRle(obj, d + COMPR_TAGLEN, n - COMPR_TAGLEN);
    if (result == RleDecoded::kOk) return 1;
    obj->buffer.resize(before);
    if (result == RleDecoded::kTooLong) {
      DBreport(kRleTooLong, static_cast<long long>(obj->limit));
    } else {
      DBreport(kInvalidRle);
    }
    return Damaged(obj);
  }
  if (fits && std::memcmp(d, "#50", COMPR_TAGLEN) == 0) {
    const std::size_t skip = obj->buffer.empty() ? 0 : COMPR_TAGLEN;
    Append(obj, d + skip, n - skip);
    return 1;
  }
  DBreport(kInvalidTag, d[1], d[2]);
  return Damaged(obj);
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
      DBreport(kOutOfMemory);
      PLATFORM_Exit(1);
    }
  }
  Append(obj, piece, n);
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
  return Damaged(obj);
}
}  // namespace

int COMPR_Reset(COMPR* obj) {
  int ok = 1;
  if (obj->mode == COMPR_MODE_PELKO && obj->buffer.size() >= COMPR_TAGLEN &&
      std::memcmp(obj->buffer.data(), "#50", COMPR_TAGLEN) == 0) {
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
    return Damaged(obj);
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
    return Damaged(obj);
  }
  const int32_t size = LoadInt(obj->buffer.data() + at);
  // A record always holds at least its header.
  if (size < RECORD_HEADER_SIZE) {
    DBreport(kStructInvalid);
    return Damaged(obj);
  }
  if (static_cast<std::size_t>(size) > length - at) {
    DBreport(kStructOutOfData);
    return Damaged(obj);
  }
  if (size >= COMPR_MAXSTRUCT) {
    DBreport(kStructTooBig, size, COMPR_MAXSTRUCT);
    return Damaged(obj);
  }
  obj->position += size;
  *out_at = at;
  *out_size = size;
  return 1;
}

int ReadList(COMPR* obj, ARRAY* out_list) {
  int32_t marker = 0, count = 0, table_id = 0;
  if (!get_int(obj, &marker) || !get_int(obj, &count) || !get_int(obj, &table_id)) return 0;
  if (marker != kListMarker || count < 0) {
    DBreport(kStructInvalid);
    return Damaged(obj);
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
    return Damaged(obj);
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
    return Damaged(obj);
  }
  const bool is_list = obj->buffer[static_cast<std::size_t>(start)] == kListFirstByte;
  if ((is_list && out_list == nullptr) || (!is_list && out_record == nullptr)) {
    DBreport(kStructInvalid);
    return Damaged(obj);
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
    if (!IsChunkOf(*chunk, "#01")) return 0;
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
      if (mode == COMPR_MODE_PELKO && head == "#50") return 0;
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
    if (!IsChunkOf(*chunk, "#50")) return -1;
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
  if (IsChunkOf(*chunk, "#50")) {
    return mode == COMPR_MODE_PELKO && ReadPelkoStream(limit, chunk, source, sink);
  }
  return ReadRleStream(mode, limit, chunk, source, sink);
}

int COMPR_NextChunk(const COMPR_CHUNKS& chunks, COMPR_CHUNKWALK* walk, RECORD_BINARY* out_chunk) {
  if (walk->next >= chunks.lengths.size()) return 0;
  const std::size_t n = chunks.lengths[walk->next++];
  std::memcpy(out_chunk->data, chunks.mode == COMPR_MODE_PELKO ? "#50" : "#01", COMPR_TAGLEN);
  if (n > 0) {
    if (walk->offset + n > chunks.blocks[walk->block].size()) {
      ++walk->block;
      walk->offset = 0;
    }
    std::memcpy(out_chunk->data + COMPR_TAGLEN, chunks.blocks[walk->block].data() + walk->offset,
                n);
    walk->offset += n;
  }
  out_chunk->length = static_cast<uint16_t>(COMPR_TAGLEN + n);
  return 1;
}

COMPR_CHUNKER::COMPR_CHUNKER(int mode, int chunk_size, COMPR_CHUNKS* out)
    : mode_(mode), room_(static_cast<std::size_t>(chunk_size - COMPR_TAGLEN)), out_(out) {
  assert(chunk_size >= COMPR_MINCHUNK && chunk_size <= COMPR_MAXCHUNK);
  *out_ = COMPR_CHUNKS{};
  out_->mode = mode;
}

void COMPR_CHUNKER::Add(const unsigned char* data, std::size_t length) {
  if (length == 0) return;
  if (mode_ == COMPR_MODE_PELKO) {
    if (!packing_ && !Compress_Init(kPelkoMode, kPelkoMinMatch, kPelkoCache)) PLATFORM_Exit(1);
    packing_ = true;
    if (!Compress_Add(data, length)) PLATFORM_Exit(1);  // out of memory, reported by the compressor
    Compress_Drain([this](const unsigned char* code, std::size_t n) { Slice(code, n); });
    return;
  }
  window_.insert(window_.end(), data, data + length);
  Code(true);
  window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(at_));
  at_ = 0;
}

void COMPR_CHUNKER::Finish() {
  if (mode_ == COMPR_MODE_RLE) {
    Code(false);
    window_ = std::vector<unsigned char>();
  } else if (packing_) {  // an empty stream has no chunks
    packing_ = false;
    std::vector<unsigned char> rest;
    if (!Compress_End(&rest)) PLATFORM_Exit(1);
    Slice(rest.data(), rest.size());
  }
  if (fill_ > 0) Keep(chunk_, fill_);
  fill_ = 0;
}

void COMPR_CHUNKER::Code(bool more) {
  while (at_ < window_.size()) {
    bool ended = false;
    const std::size_t before = at_;
    fill_ = static_cast<std::size_t>(EncodeRleSteps(window_.data(), window_.size(), &at_, more,
                                                    chunk_, static_cast<int>(fill_),
                                                    static_cast<int>(room_), &ended));
    if (ended) {
      Keep(chunk_, fill_);
      fill_ = 0;
    }
    if (!ended && (more || at_ == before)) break;
  }
}

void COMPR_CHUNKER::Slice(const unsigned char* data, std::size_t length) {
  while (length > 0) {
    const std::size_t take = std::min(length, room_ - fill_);
    std::memcpy(chunk_ + fill_, data, take);
    fill_ += take;
    data += take;
    length -= take;
    if (fill_ == room_) {
      Keep(chunk_, fill_);
      fill_ = 0;
    }
  }
}

void COMPR_CHUNKER::Keep(const unsigned char* body, std::size_t length) {
  std::vector<std::vector<unsigned char>>& blocks = out_->blocks;
  try {
    if (blocks.empty() || blocks.back().size() + length > blocks.back().capacity()) {
      blocks.emplace_back();
      blocks.back().reserve(COMPR_CHUNKBLOCK);
    }
    blocks.back().insert(blocks.back().end(), body, body + length);
    out_->lengths.push_back(static_cast<uint16_t>(length));
  } catch (const std::bad_alloc&) {
    DBreport(kOutOfMemory);
    PLATFORM_Exit(1);
  }
}

void COMPR_Free(COMPR* obj) {
  obj->buffer = std::vector<unsigned char>();
  obj->packed = std::vector<unsigned char>();
  obj->packed_pos = 0;
  obj->position = 0;
}

void COMPR_SetFatalOnDamage(COMPR* obj, bool fatal) { obj->fatal_on_damage = fatal; }
