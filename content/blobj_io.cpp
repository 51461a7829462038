// blobj_io.cpp: item content to chunk rows and back.
#include "content/blobj_io.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

#include "content/checksum.h"
#include "content/chunk_read.h"
#include "content/chunk_write.h"
#include "platform/files.h"
#include "platform/report.h"
#include "records/blobj.h"
#include "records/blobj_data.h"
#include "records/chunk_walk.h"
#include "records/fields.h"
#include "records/record.h"

namespace {
constexpr char kDeleteFkError[] = "BLOBJ_Delete_FK error!";
constexpr char kInsertError[] = "(BLOBJ_Write) Error in BLOBJ_Insert\n";
constexpr char kTooManyChunks[] = "(BLOBJ_Write) Too many chunks (max = %d)!\n";
constexpr char kSelectFkError[] = "(BLOBJ_Read) Error in BLOBJ_Select_FK\n";
constexpr char kFetchFkError[] = "(BLOBJ_Read) Error in BLOBJ_Fetch_FK\n";
constexpr char kBadHeader[] = "(BLOBJ_Read) Corrupted BLOBJ data-header\n";
constexpr char kBadContent[] = "(BLOBJ_Read) Corrupted BLOBJ data-content\n";
constexpr char kBeginError[] = "DB_Begin error!";

// Where a payload record's content length and its content begin.
constexpr std::size_t kBinStart = offsetof(BLOBJ_DATA, bin_data);
constexpr std::size_t kDataStart = kBinStart + 2;
// Payload records handed to the chunker at a time, and the bytes of a file
// read at a time: as many records' content.
constexpr std::size_t kRecordsAtOnce = 16;
constexpr std::size_t kReadPiece = kRecordsAtOnce * BLOBJIO_PAYLOAD;

void StoreWord(unsigned char* p, int32_t value) {
  const uint32_t v = static_cast<uint32_t>(value);
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}

// Sizes of the chunk encoder: its buffer's first size and growth, and the
// compressor's output first size and growth.
constexpr int kFirstCapacity = 100000;
constexpr int kGrowth = 1000000;
constexpr int kOutFirst = 100000;
constexpr int kOutGrowth = 1000000;

// Fills the fault and fails. `with_db_text` keeps the collected error
// text as it stands now: the next database call empties it.
int Fail(BLOBJIO_FAULT* out_fault, BLOBJIO_FAULTKIND kind, std::string message, bool with_db_text) {
  out_fault->kind = kind;
  out_fault->message = std::move(message);
  out_fault->db_text = with_db_text ? DBHANDLE_ErrorText() : std::string();
  return 0;
}

// Commits a read's own transaction; a failure goes into the fault.
void CommitRead(DBHANDLE* handle, BLOBJIO_FAULT* out_fault) {
  if (DB_Commit(handle)) return;
  out_fault->commit_failed = true;
  out_fault->commit_db_text = DBHANDLE_ErrorText();
}

// Frees the encoder on every path.
struct ComprGuard {
  COMPR obj;
  ComprGuard() {
    COMPR_Init(&obj, BLOBJIO_CHUNKSIZE, kFirstCapacity, kGrowth, kOutFirst, kOutGrowth);
  }
  ~ComprGuard() { COMPR_Free(&obj); }
  ComprGuard(const ComprGuard&) = delete;
  ComprGuard& operator=(const ComprGuard&) = delete;
};

void PrepareChunkRow(BLOBJ* row, const char* fk_id, int fk_table) {
  BLOBJ_Init(row);
  std::memset(row->fk_id, 0, sizeof row->fk_id);
  std::strncpy(row->fk_id, fk_id, BLOBJ_IDLEN);
  row->fk_table = static_cast<int16_t>(fk_table);
}

// Inserts one BLOBJ row per chunk.
int InsertChunks(DBHANDLE* handle, const COMPR_CHUNKS& chunks, BLOBJ* row,
                 BLOBJIO_FAULT* out_fault) {
  COMPR_CHUNKWALK walk;
  for (int number = 1; COMPR_NextChunk(chunks, &walk, &row->compr_data); ++number) {
    row->item_number = static_cast<int16_t>(number);
    if (!BLOBJ_Insert(row, handle))
      return Fail(out_fault, BLOBJIO_INSERTFAILED, kInsertError, false);
  }
  return 1;
}

// The content of one chunk row, as far as its field can hold.
BLOBJIO_CHUNK ChunkOf(const BLOBJ& row) {
  const uint16_t n = std::min<uint16_t>(row.compr_data.length, RECORD_BINMAX);
  return {row.item_number,
          std::vector<unsigned char>(row.compr_data.data, row.compr_data.data + n)};
}

// Checks one payload record of the stream and appends its bytes.
bool TakePayload(const RECORD_HEADER* header, std::vector<unsigned char>* out_data) {
  if (header->size < static_cast<int>(kDataStart) || header->table_id != RECORD_TABLE_BLOBJ_DATA) {
    return false;
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(header);
  uint16_t length = 0;
  std::memcpy(&length, bytes + kBinStart, sizeof length);
  if (length > BLOBJIO_PAYLOAD || length > header->size - static_cast<int>(kDataStart))
    return false;
  out_data->insert(out_data->end(), bytes + kDataStart, bytes + kDataStart + length);
  return true;
}
}  // namespace

std::size_t BLOBJIO_StreamMax(int64_t recorded_size) {
  const uint64_t size = recorded_size > 0 ? static_cast<uint64_t>(recorded_size) : 0;
  const uint64_t records = (size + BLOBJIO_PAYLOAD - 1) / BLOBJIO_PAYLOAD;
  return static_cast<std::size_t>(BLOBJIO_LISTHEAD + records * BLOBJ_DATA_SIZE);
}

BLOBJIO_ENCODER::BLOBJIO_ENCODER(bool compress, uint64_t length, COMPR_CHUNKS* out_chunks,
                                 PELKO_WRITER* writer)
    : chunker_(compress ? COMPR_MODE_PELKO : COMPR_MODE_RLE, BLOBJIO_CHUNKSIZE, out_chunks, writer),
      length_(length) {
  const uint64_t records = (length + BLOBJIO_PAYLOAD - 1) / BLOBJIO_PAYLOAD;
  unsigned char head[BLOBJIO_LISTHEAD];
  StoreWord(head, -2);
  StoreWord(head + 4, static_cast<int32_t>(records));
  StoreWord(head + 8, RECORD_TABLE_BLOBJ_DATA);
  chunker_.Add(head, sizeof head);
}

void BLOBJIO_ENCODER::Add(const unsigned char* data, std::size_t length) {
  while (length > 0) {
    if (filling_ == 0) {
      // A fresh record as Blobj_Data_Init makes it, header words zero.
      BLOBJ_DATA record;
      Blobj_Data_Init(&record);
      const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
      records_.insert(records_.end(), bytes, bytes + BLOBJ_DATA_SIZE);
    }
    unsigned char* record = records_.data() + records_.size() - BLOBJ_DATA_SIZE;
    const std::size_t take = std::min<std::size_t>(length, BLOBJIO_PAYLOAD - filling_);
    std::memcpy(record + kDataStart + filling_, data, take);
    filling_ += take;
    taken_ += take;
    data += take;
    length -= take;
    const uint16_t fill = static_cast<uint16_t>(filling_);
    std::memcpy(record + kBinStart, &fill, sizeof fill);
    if (filling_ == BLOBJIO_PAYLOAD) {
      filling_ = 0;
      if (records_.size() >= kRecordsAtOnce * BLOBJ_DATA_SIZE) Flush();
    }
  }
}

bool BLOBJIO_ENCODER::Finish() {
  filling_ = 0;
  Flush();
  chunker_.Finish();
  return taken_ == length_;
}

void BLOBJIO_ENCODER::Flush() {
  chunker_.Add(records_.data(), records_.size());
  records_.clear();
}

void BLOBJIO_Encode(bool compress, const unsigned char* data, std::size_t length,
                    COMPR_CHUNKS* out_chunks) {
  BLOBJIO_ENCODER encoder(compress, length, out_chunks);
  encoder.Add(data, length);
  (void)encoder.Finish();  // as long as announced
}

BLOBJIO_FILEREAD BLOBJIO_EncodeFile(const char* path, bool compress, uint64_t max_length,
                                    const BLOBJIO_OPENED& on_opened, COMPR_CHUNKS* out_chunks,
                                    BLOBJIO_FILEFACTS* out_facts, PELKO_WRITER* writer,
                                    const std::atomic<bool>* abandon) {
  *out_chunks = COMPR_CHUNKS{};
  *out_facts = BLOBJIO_FILEFACTS{};
  PLATFORM_FILEPTR file;
  PLATFORM_SOURCEFACTS source;
  switch (PLATFORM_OpenSource(path, &file, &source)) {
    case PLATFORM_SOURCE_OPENED: break;
    case PLATFORM_SOURCE_NOT_REGULAR: return BLOBJIO_FILE_NOT_REGULAR;
    case PLATFORM_SOURCE_FAILED: return BLOBJIO_FILE_FAILED;
  }
  out_facts->length = static_cast<uint64_t>(source.size);
  out_facts->mode = source.mode;
  out_facts->mtime = source.mtime;
  if (out_facts->length > max_length) return BLOBJIO_FILE_TOO_LONG;
  if (on_opened.call != nullptr) on_opened.call(out_facts->length, on_opened.context);
  BLOBJIO_ENCODER encoder(compress, out_facts->length, out_chunks, writer);
  std::vector<unsigned char> piece(kReadPiece);
  uint32_t checksum = CHECKSUM_START;
  uint64_t read = 0;
  // A short read is the end of the file: the read that found it already
  // asked past the length the file had, so a file that grew shows there.
  for (std::size_t got = piece.size(); got == piece.size();) {
    if (abandon != nullptr && abandon->load()) return BLOBJIO_FILE_FAILED;
    if (!PLATFORM_Read(file.get(), piece.data(), piece.size(), &got)) return BLOBJIO_FILE_FAILED;
    if (got > out_facts->length - read) return BLOBJIO_FILE_CHANGED;
    encoder.Add(piece.data(), got);
    checksum = CHECKSUM_Update(checksum, piece.data(), got);
    read += got;
  }
  if (read != out_facts->length || !encoder.Finish()) return BLOBJIO_FILE_CHANGED;
  out_facts->checksum = CHECKSUM_Value(checksum);
  return BLOBJIO_FILE_READ;
}

int BLOBJIO_Store(DBHANDLE* handle, const char* fk_id, int fk_table, const COMPR_CHUNKS& chunks,
                  BLOBJIO_FAULT* out_fault) {
  *out_fault = BLOBJIO_FAULT{};
  if (chunks.lengths.size() > static_cast<std::size_t>(BLOBJIO_MAXCHUNKS)) {
    return Fail(out_fault, BLOBJIO_TOOMANYCHUNKS,
                PLATFORM_Format(kTooManyChunks, BLOBJIO_MAXCHUNKS), false);
  }
  BLOBJ row;
  PrepareChunkRow(&row, fk_id, fk_table);
  // A new item has no chunks to delete, and a delete of none would still
  // make the commit pass over every chunk row: count them first.
  int old_chunks = 0;
  int deleted = 0;
  if (!BLOBJ_Count_FK(&row, &old_chunks, handle) ||
      (old_chunks > 0 && !BLOBJ_Delete_FK(&row, &deleted, handle))) {
    return Fail(out_fault, BLOBJIO_DELETEFAILED, kDeleteFkError, true);
  }
  row.compressed = chunks.mode == COMPR_MODE_PELKO ? '1' : '0';
  return InsertChunks(handle, chunks, &row, out_fault);
}

int BLOBJ_Write(DBHANDLE* handle, const char* fk_id, int fk_table, bool compress,
                const unsigned char* data, std::size_t length, BLOBJIO_FAULT* out_fault) {
  COMPR_CHUNKS chunks;
  BLOBJIO_Encode(compress, data, length, &chunks);
  return BLOBJIO_Store(handle, fk_id, fk_table, chunks, out_fault);
}

int BLOBJIO_Decode(std::vector<BLOBJIO_CHUNK>* chunks, bool compressed, int64_t recorded_size,
                   std::vector<unsigned char>* out_data, BLOBJIO_FAULT* out_fault) {
  *out_fault = BLOBJIO_FAULT{};
  out_data->clear();
  std::stable_sort(
      chunks->begin(), chunks->end(),
      [](const BLOBJIO_CHUNK& a, const BLOBJIO_CHUNK& b) { return a.item_number < b.item_number; });
  ComprGuard decoder;
  // Damaged content must fail the one item, not end the program: the
  // decoder only reports.
  COMPR_SetFatalOnDamage(&decoder.obj, false);
  if (compressed) COMPR_Set_Mode(&decoder.obj, COMPR_MODE_PELKO);
  COMPR_SetLimit(&decoder.obj, BLOBJIO_StreamMax(recorded_size));
  RECORD_BINARY bin;
  for (BLOBJIO_CHUNK& chunk : *chunks) {
    bin.length = static_cast<uint16_t>(chunk.bytes.size());
    // An empty chunk row has no buffer to copy from; it adds nothing.
    if (!chunk.bytes.empty()) std::memcpy(bin.data, chunk.bytes.data(), chunk.bytes.size());
    chunk.bytes = std::vector<unsigned char>();
    if (!COMPR_AddBin(&decoder.obj, bin)) return Fail(out_fault, BLOBJIO_BADCHUNKS, {}, false);
  }
  if (!COMPR_Reset(&decoder.obj)) return Fail(out_fault, BLOBJIO_BADCHUNKS, {}, false);
  if (COMPR_GetTableId(decoder.obj) != RECORD_TABLE_BLOBJ_DATA) {
    return Fail(out_fault, BLOBJIO_BADHEADER, kBadHeader, false);
  }
  ARRAY payload;
  bool good = get_struct(&decoder.obj, &payload, nullptr, 0);
  for (int k = 0; good && k < ARRAY_Count(payload); ++k) {
    good = TakePayload(ARRAY_GetPtr(payload, k), out_data);
  }
  if (good) return 1;
  out_data->clear();
  return Fail(out_fault, BLOBJIO_BADCONTENT, kBadContent, false);
}

namespace {
// The payload stream of an item, taken piece by piece: its content goes
// to the sink as the records come. Accepts exactly the streams that
// BLOBJIO_Decode reads back, with the same content; anything else it
// refuses (quietly: the whole decoding then tells why).
class PAYLOADREADER {
 public:
  explicit PAYLOADREADER(BLOBJIO_SINK* sink) : sink_(sink) {}

  // False when the stream cannot be a good payload stream.
  bool Take(const unsigned char* data, std::size_t n) {
    while (n > 0 && stage_ != kDone) {
      if (stage_ == kContent || stage_ == kSkip) {
        const std::size_t take = std::min(n, left_);
        if (stage_ == kContent) sink_->Put(data, take);
        data += take, n -= take, left_ -= take;
        if (left_ == 0) NextPart();
        continue;
      }
      const std::size_t want = stage_ == kHead ? BLOBJIO_LISTHEAD : kDataStart;
      const std::size_t take = std::min(n, want - have_);
      std::memcpy(part_ + have_, data, take);
      data += take, n -= take, have_ += take;
      if (have_ == want && !(stage_ == kHead ? TakeHead() : TakeRecordHead())) return false;
    }
    return true;
  }

  // Whether every record of the stream came.
  bool Complete() const { return stage_ == kDone; }

 private:
  enum Stage { kHead, kRecordHead, kContent, kSkip, kDone };

  static int32_t Word(const unsigned char* p) {
    uint32_t v = 0;
    for (int k = 3; k >= 0; --k) v = v << 8 | p[k];
    return static_cast<int32_t>(v);
  }

  // The list marker, the count and the table id.
  bool TakeHead() {
    if (part_[0] != 0xFE || Word(part_) != -2 || Word(part_ + 4) < 0 ||
        (part_[8] | part_[9] << 8) != RECORD_TABLE_BLOBJ_DATA) {
      return false;
    }
    records_left_ = Word(part_ + 4);
    stage_ = records_left_ == 0 ? kDone : kRecordHead;
    have_ = 0;
    return true;
  }

  // A record's header and content length, checked as the whole decoding
  // checks them.
  bool TakeRecordHead() {
    const int32_t size = Word(part_);
    const uint16_t length = static_cast<uint16_t>(part_[kBinStart] | part_[kBinStart + 1] << 8);
    if (size < static_cast<int32_t>(kDataStart) || size >= COMPR_MAXSTRUCT ||
        Word(part_ + 8) != RECORD_TABLE_BLOBJ_DATA || length > BLOBJIO_PAYLOAD ||
        length > static_cast<std::size_t>(size) - kDataStart) {
      return false;
    }
    skip_after_ = static_cast<std::size_t>(size) - kDataStart - length;
    left_ = length;
    stage_ = kContent;
    if (left_ == 0) NextPart();
    return true;
  }

  // After the content: the rest of the record, then the next record.
  void NextPart() {
    if (stage_ == kContent && skip_after_ > 0) {
      left_ = skip_after_;
      stage_ = kSkip;
      return;
    }
    have_ = 0;
    stage_ = --records_left_ == 0 ? kDone : kRecordHead;
  }

  BLOBJIO_SINK* sink_;
  Stage stage_ = kHead;
  unsigned char part_[kDataStart] = {};
  std::size_t have_ = 0;
  int32_t records_left_ = 0;
  std::size_t left_ = 0;
  std::size_t skip_after_ = 0;
};

// Reads every row of `refs` as it stands into `out_chunks`.
bool FetchChunks(DBHANDLE* handle, const std::vector<CHUNKREF>& refs,
                 std::vector<BLOBJIO_CHUNK>* out_chunks) {
  CHUNKREADER reader;
  CHUNKREADER_Start(&reader, &refs);
  auto row = BLOBJ_New();
  while (CHUNKREADER_Next(handle, &reader, row.get())) out_chunks->push_back(ChunkOf(*row));
  return DBHANDLE_ErrorText().empty();
}

// Whether the item whose rows are `refs` (in the order its search gave
// them) was written compressed: the Compressed value of the last row.
bool Compressed(const std::vector<CHUNKREF>& refs) {
  return !refs.empty() && refs.back().compressed == '1';
}

// Puts the rows of an item in the order of reading: by number.
void SortByNumber(std::vector<CHUNKREF>::iterator begin, std::vector<CHUNKREF>::iterator end) {
  std::stable_sort(begin, end, [](const CHUNKREF& a, const CHUNKREF& b) {
    return a.item_number < b.item_number;
  });
}

// Reads the item whose rows are reader->refs[begin, end) (sorted by
// number) into the sink. The chunks are decoded as they come; when that
// fails they are decoded whole, which reports why, and which also reads
// the rare mixes of chunk kinds the streaming leaves to it.
int ReadRows(DBHANDLE* handle, CHUNKREADER* reader, std::size_t begin, std::size_t end,
             bool compressed, int64_t recorded_size, BLOBJIO_SINK* sink, BLOBJIO_FAULT* out_fault) {
  CHUNKREADER_Seek(reader, begin);
  auto row = BLOBJ_New();
  bool source_failed = false;
  const COMPR_CHUNKSOURCE source = [&](const RECORD_BINARY** out_chunk) {
    if (reader->next >= end) return 0;
    // Within the item's rows a row that does not come is an error.
    source_failed = !CHUNKREADER_Next(handle, reader, row.get());
    *out_chunk = &row->compr_data;
    return source_failed ? -1 : 1;
  };
  if (BLOBJIO_DecodeStream(source, compressed, recorded_size, sink)) return 1;
  // The whole decoding holds the item in memory: only an item small enough
  // is decoded again to tell why. A larger one that does not stream is
  // damaged, whatever the exact reason.
  if (!source_failed && BLOBJIO_StreamMax(recorded_size) > BLOBJIO_WHOLEMAX) {
    return Fail(out_fault, BLOBJIO_BADCONTENT, kBadContent, false);
  }
  const auto first = reader->refs->begin();
  const std::vector<CHUNKREF> refs(first + static_cast<std::ptrdiff_t>(begin),
                                   first + static_cast<std::ptrdiff_t>(end));
  std::vector<BLOBJIO_CHUNK> chunks;
  if (source_failed || !FetchChunks(handle, refs, &chunks)) {
    return Fail(out_fault, BLOBJIO_FETCHFAILED, kFetchFkError, true);
  }
  std::vector<unsigned char> content;
  if (!BLOBJIO_Decode(&chunks, compressed, recorded_size, &content, out_fault)) return 0;
  sink->Restart();
  sink->Put(content.data(), content.size());
  return 1;
}

// The content in memory.
class VECTORSINK : public BLOBJIO_SINK {
 public:
  explicit VECTORSINK(std::vector<unsigned char>* out) : out_(out) {}
  void Put(const unsigned char* data, std::size_t n) override {
    out_->insert(out_->end(), data, data + n);
  }
  void Restart() override { out_->clear(); }

 private:
  std::vector<unsigned char>* out_;
};
}  // namespace

int BLOBJIO_DecodeStream(const COMPR_CHUNKSOURCE& source, bool compressed, int64_t recorded_size,
                         BLOBJIO_SINK* sink) {
  PAYLOADREADER payload(sink);
  const COMPR_STREAMSINK take = [&payload](const unsigned char* data, std::size_t n) {
    return payload.Take(data, n);
  };
  return COMPR_ReadStream(compressed ? COMPR_MODE_PELKO : COMPR_MODE_RLE,
                          BLOBJIO_StreamMax(recorded_size), source, take) &&
         payload.Complete();
}

int BLOBJIO_ReadItem(DBHANDLE* handle, const char* fk_id, int fk_table, int64_t recorded_size,
                     BLOBJIO_SINK* sink, BLOBJIO_FAULT* out_fault) {
  *out_fault = BLOBJIO_FAULT{};
  if (!DB_Begin(handle)) return Fail(out_fault, BLOBJIO_BEGINFAILED, kBeginError, true);
  std::vector<CHUNKREF> refs;
  if (!CHUNKWALK_ItemKeys(handle, fk_id, fk_table, &refs)) {
    Fail(out_fault, BLOBJIO_SELECTFAILED, kSelectFkError, false);
    CommitRead(handle, out_fault);
    return 0;
  }
  const bool compressed = Compressed(refs);
  SortByNumber(refs.begin(), refs.end());
  CHUNKREADER reader;
  CHUNKREADER_Start(&reader, &refs);
  const int read =
      ReadRows(handle, &reader, 0, refs.size(), compressed, recorded_size, sink, out_fault);
  CommitRead(handle, out_fault);
  return read && !out_fault->commit_failed;
}

int BLOBJ_Read(DBHANDLE* handle, const char* fk_id, int fk_table, int64_t recorded_size,
               std::vector<unsigned char>* out_data, BLOBJIO_FAULT* out_fault) {
  out_data->clear();
  VECTORSINK sink(out_data);
  if (BLOBJIO_ReadItem(handle, fk_id, fk_table, recorded_size, &sink, out_fault)) return 1;
  out_data->clear();
  return 0;
}

int BLOBJIO_ReadBatch(DBHANDLE* handle, const std::vector<std::string>& fk_ids, int fk_table,
                      BLOBJIO_BATCH* out_batch) {
  *out_batch = BLOBJIO_BATCH{};
  std::vector<CHUNKREF> all;
  if (!CHUNKWALK_Keys(handle, &all)) {
    DBHANDLE_ClearError();
    return 0;
  }
  std::unordered_map<std::string, std::vector<CHUNKREF>> by_item;
  for (const std::string& id : fk_ids) by_item[RECFIELD_Text(id.c_str())];
  for (const CHUNKREF& ref : all) {
    if (ref.fk_table != fk_table) continue;
    auto it = by_item.find(RECFIELD_Text(ref.fk_id));
    if (it != by_item.end()) it->second.push_back(ref);
  }
  // The items one after the other, in the order they are read.
  for (const std::string& id : fk_ids) {
    const std::string key = RECFIELD_Text(id.c_str());
    if (out_batch->items.count(key) != 0) continue;
    std::vector<CHUNKREF>& refs = by_item[key];
    BLOBJIO_BATCH::SPAN span;
    span.begin = out_batch->refs.size();
    span.compressed = Compressed(refs);
    out_batch->refs.insert(out_batch->refs.end(), refs.begin(), refs.end());
    span.end = out_batch->refs.size();
    SortByNumber(out_batch->refs.begin() + static_cast<std::ptrdiff_t>(span.begin),
                 out_batch->refs.end());
    out_batch->items[key] = span;
  }
  CHUNKREADER_Start(&out_batch->reader, &out_batch->refs);
  return 1;
}

int BLOBJIO_TakeFromBatch(DBHANDLE* handle, BLOBJIO_BATCH* batch, const std::string& fk_id,
                          int64_t recorded_size, BLOBJIO_SINK* sink, BLOBJIO_FAULT* out_fault) {
  *out_fault = BLOBJIO_FAULT{};
  auto it = batch->items.find(RECFIELD_Text(fk_id.c_str()));
  const BLOBJIO_BATCH::SPAN span = it != batch->items.end() ? it->second : BLOBJIO_BATCH::SPAN{};
  return ReadRows(handle, &batch->reader, span.begin, span.end, span.compressed, recorded_size,
                  sink, out_fault);
}
