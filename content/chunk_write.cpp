// chunk_write.cpp: values into "#01" and "#50" chunks.
#include "content/chunk_write.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <new>

#include "compress/pelko.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kArrayOfArrays[] = "(add_struct) Error: Invalid data (array of arrays!)\n";

constexpr int kPelkoMode = 0;      // with the writer's shortcuts on long matches
constexpr int kPelkoMinMatch = 5;  // shortest back-reference of item content
constexpr int kPelkoCache = 64;    // candidates per position (the writer takes 16 at most)

void AppendInt(COMPR* obj, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  const unsigned char bytes[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                                  static_cast<unsigned char>(u >> 16),
                                  static_cast<unsigned char>(u >> 24)};
  COMPR_Append(obj, bytes, 4);
}

// The iDB code and the compare slots mean something only in memory.
void ClearHeaderWords(unsigned char* record, std::size_t size) {
  for (std::size_t k = 4; k < std::min<std::size_t>(size, 8); ++k) record[k] = 0;
  for (std::size_t k = 12; k < std::min<std::size_t>(size, RECORD_HEADER_SIZE); ++k) record[k] = 0;
}

void AppendRecord(COMPR* obj, const unsigned char* record, int size) {
  const std::size_t at = obj->buffer.size();
  COMPR_Append(obj, record, static_cast<std::size_t>(size));
  ClearHeaderWords(obj->buffer.data() + at, static_cast<std::size_t>(size));
}

// Eight stream bytes as one word, byte k of the stream in bits 8k..8k+7
// whatever order the machine keeps them in.
uint64_t LoadWord(const unsigned char* p) {
  uint64_t w = 0;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&w, p, sizeof w);
  } else {
    for (int k = 0; k < 8; ++k) w |= uint64_t{p[k]} << (8 * k);
  }
  return w;
}

constexpr uint64_t kOnes = 0x0101010101010101;
constexpr uint64_t kHighs = 0x8080808080808080;

// The high bit of each zero byte of `v`. Only the lowest is exact (a
// borrow may flag a byte above it), and only the lowest is used.
uint64_t ZeroBytes(uint64_t v) { return (v - kOnes) & ~v & kHighs; }

// The offset of the lowest byte of `flags` that is not 0.
std::size_t FirstFlagged(uint64_t flags) {
  return static_cast<std::size_t>(std::countr_zero(flags) / 8);
}

// Whether s[i] starts COMPR_MINRUN equal bytes.
bool StartsRun(const unsigned char* s, std::size_t n, std::size_t i) {
  const unsigned char c = s[i];
  return i + 3 < n && s[i + 1] == c && s[i + 2] == c && s[i + 3] == c;
}

// The bytes from s[i] on, before s[end], that code as themselves
// whatever room is left: no 0xB0, none starting a run. Eight positions
// are tested at once wherever the stream holds the three bytes after them.
std::size_t PlainSpan(const unsigned char* s, std::size_t n, std::size_t i, std::size_t end) {
  std::size_t p = i;
  for (; p + 8 <= end && p + 11 <= n; p += 8) {
    const uint64_t a = LoadWord(s + p);
    const uint64_t b = LoadWord(s + p + 1);
    const uint64_t c = LoadWord(s + p + 2);
    // Byte k is 0 where s[p + k] starts four equal bytes.
    const uint64_t unequal = (a ^ b) | (b ^ c) | (c ^ LoadWord(s + p + 3));
    const uint64_t stops = ZeroBytes(unequal) | ZeroBytes(a ^ (kOnes * COMPR_RUNMARK));
    if (stops != 0) return p - i + FirstFlagged(stops);
  }
  while (p < end && s[p] != COMPR_RUNMARK && !StartsRun(s, n, p)) ++p;
  return p - i;
}

// The length of the run that starts at s[i]: at least COMPR_MINRUN
// (REQUIRES: StartsRun), at most COMPR_MAXRUN, and not past the stream's
// end. Compares eight bytes at once.
std::size_t RunLength(const unsigned char* s, std::size_t n, std::size_t i) {
  const unsigned char c = s[i];
  const std::size_t max = std::min<std::size_t>(COMPR_MAXRUN, n - i);
  const uint64_t pattern = kOnes * c;
  std::size_t r = COMPR_MINRUN;
  for (; r + 8 <= max; r += 8) {
    const uint64_t diff = LoadWord(s + i + r) ^ pattern;
    if (diff != 0) return r + FirstFlagged(diff);
  }
  while (r < max && s[i + r] == c) ++r;
  return r;
}

// Codes the byte s[*i] that PlainSpan stopped at: its run, its escape,
// or the byte itself (a run without room for its whole code). False,
// with nothing written, when the escape does not fit.
bool CodeStop(const unsigned char* s, std::size_t n, std::size_t* i, unsigned char* out, int* o,
              int room) {
  const unsigned char c = s[*i];
  if (StartsRun(s, n, *i) && room - *o >= 4) {
    std::size_t r = RunLength(s, n, *i);
    // The count byte of a 180-byte run would read as 0xB0 0xB0.
    if (r == COMPR_RUNMARK + COMPR_MINRUN) --r;
    out[(*o)++] = COMPR_RUNMARK;
    out[(*o)++] = static_cast<unsigned char>(r - COMPR_MINRUN);
    out[(*o)++] = c;
    *i += r;
    return true;
  }
  if (c == COMPR_RUNMARK) {
    if (room - *o < 2) return false;
    out[(*o)++] = COMPR_RUNMARK;
  }
  out[(*o)++] = c;
  ++*i;
  return true;
}

// Codes s[*at..n) as "#01" into out[o..room) and returns the new fill,
// advancing *at. Stops when the chunk is full (*out_ended set) or the
// stream ends; with `more` (the stream goes on past n) also as soon as
// fewer bytes are left than a step may look at, so that no step sees an
// end that is not the stream's. Plain stretches are copied whole.
int EncodeRleSteps(const unsigned char* s, std::size_t n, std::size_t* at, bool more,
                   unsigned char* out, int o, int room, bool* out_ended) {
  const std::size_t end = !more ? n : n > COMPR_MAXRUN ? n - COMPR_MAXRUN : 0;
  std::size_t i = *at;
  bool blocked = false;
  while (i < end && o < room && !blocked) {
    const std::size_t limit = std::min(end, i + static_cast<std::size_t>(room - o));
    const std::size_t plain = PlainSpan(s, n, i, limit);
    std::memcpy(out + o, s + i, plain);
    o += static_cast<int>(plain);
    i += plain;
    if (i < limit) blocked = !CodeStop(s, n, &i, out, &o, room);
  }
  *out_ended = blocked || o >= room;
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
  std::memcpy(out_chunk->data, COMPR_TAG_PELKO, COMPR_TAGLEN);
  std::memcpy(out_chunk->data + COMPR_TAGLEN, obj->packed.data() + obj->packed_pos, take);
  out_chunk->length = static_cast<uint16_t>(COMPR_TAGLEN + take);
  obj->packed_pos += take;
  return 1;
}
}  // namespace

int add_struct(COMPR* obj, const ARRAY& list) {
  for (const std::vector<unsigned char>& entry : list.records) {
    if (reinterpret_cast<const RECORD_HEADER*>(entry.data())->size <= 0) {
      DBreport(kArrayOfArrays);
      return COMPR_Damaged(obj);
    }
  }
  AppendInt(obj, COMPR_LISTMARKER);
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
    return COMPR_Damaged(obj);
  }
  AppendRecord(obj, reinterpret_cast<const unsigned char*>(&record), record.size);
  return 1;
}

int COMPR_GetBin(COMPR* obj, RECORD_BINARY* out_chunk) {
  if (obj->position == static_cast<std::ptrdiff_t>(obj->buffer.size())) return 0;
  assert(obj->chunk_size >= COMPR_MINCHUNK);
  if (obj->chunk_size < COMPR_MINCHUNK) return 0;
  if (obj->mode == COMPR_MODE_PELKO) return GetPelkoChunk(obj, out_chunk);
  std::memcpy(out_chunk->data, COMPR_TAG_RLE, COMPR_TAGLEN);
  const int n = EncodeRle(obj, out_chunk->data + COMPR_TAGLEN, obj->chunk_size - COMPR_TAGLEN);
  out_chunk->length = static_cast<uint16_t>(COMPR_TAGLEN + n);
  return 1;
}

int COMPR_NextChunk(const COMPR_CHUNKS& chunks, COMPR_CHUNKWALK* walk, RECORD_BINARY* out_chunk) {
  if (walk->next >= chunks.lengths.size()) return 0;
  const std::size_t n = chunks.lengths[walk->next++];
  std::memcpy(out_chunk->data, chunks.mode == COMPR_MODE_PELKO ? COMPR_TAG_PELKO : COMPR_TAG_RLE,
              COMPR_TAGLEN);
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

COMPR_CHUNKER::COMPR_CHUNKER(int mode, int chunk_size, COMPR_CHUNKS* out, PELKO_WRITER* writer)
    : mode_(mode),
      writer_(writer),
      room_(static_cast<std::size_t>(chunk_size - COMPR_TAGLEN)),
      out_(out) {
  assert(chunk_size >= COMPR_MINCHUNK && chunk_size <= COMPR_MAXCHUNK);
  *out_ = COMPR_CHUNKS{};
  out_->mode = mode;
}

// The compressor has reported it.
void COMPR_CHUNKER::OutOfMemory() const {
  if (writer_ != nullptr) throw std::bad_alloc();
  PLATFORM_Exit(1);
}

void COMPR_CHUNKER::Add(const unsigned char* data, std::size_t length) {
  if (length == 0) return;
  if (mode_ == COMPR_MODE_PELKO) {
    const auto slice = [this](const unsigned char* code, std::size_t n) { Slice(code, n); };
    if (writer_ == nullptr) {
      if (!packing_ && !Compress_Init(kPelkoMode, kPelkoMinMatch, kPelkoCache)) OutOfMemory();
      packing_ = true;
      if (!Compress_Add(data, length)) OutOfMemory();
      Compress_Drain(slice);
      return;
    }
    if (!packing_ && !PELKO_WriterInit(writer_, kPelkoMode, kPelkoMinMatch, kPelkoCache)) {
      OutOfMemory();
    }
    packing_ = true;
    if (!PELKO_WriterAdd(writer_, data, length)) OutOfMemory();
    PELKO_WriterDrain(writer_, slice);
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
    if (!(writer_ == nullptr ? Compress_End(&rest) : PELKO_WriterEnd(writer_, &rest))) {
      OutOfMemory();
    }
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
    if (writer_ != nullptr) throw;
    COMPR_OutOfMemory();
  }
}
