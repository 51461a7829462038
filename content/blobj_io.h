// blobj_io.h: an item's content as BLOBJ chunk rows (BLOBJ_Write,
// BLOBJ_Read). Owns nothing between calls: each call builds its chunk
// encoder, uses it once and frees it.
//
// The content is cut into Blobj_Data payload records of 4000 bytes (the
// last one shorter; its BinData is blank past its length word), the
// records are serialised as one record list, and the list is encoded and
// cut into chunks of at most 4000 bytes by the chunk encoder: "#01"
// run-length chunks, or "#50" slices of one compressed stream when the
// item is written compressed. Payload stream (integers 32-bit
// little-endian):
//
// | Offset | Size     | Content                                          |
// |--------|----------|--------------------------------------------------|
// | 0      | 4        | -2, the record-list marker                       |
// | 4      | 4        | n, the number of payload records                 |
// | 8      | 4        | 101, the table id of Blobj_Data                  |
// | 12     | 4024 x n | the records: size 4024, a zero word, table id    |
// |        |          | 101, two zero words, BinData (16-bit length and  |
// |        |          | 4000 bytes), 2 zero filler bytes                 |
//
// One BLOBJ row per chunk: FK_Id and FK_Table name the item, ItemNumber
// counts the chunks from 1 without gaps, Compressed is '1' for "#50" and
// '0' for "#01" in every row of the item.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "content/chunk_read.h"
#include "content/chunk_write.h"
#include "content/limits.h"
#include "records/chunk_walk.h"
#include "records/dbhandle.h"
#include "records/record.h"

// Chunk bytes per BLOBJ row, tag included: the COMPRDATA column's size.
inline constexpr int BLOBJIO_CHUNKSIZE = RECORD_BINMAX;
// Content bytes per payload record.
inline constexpr int BLOBJIO_PAYLOAD = RECORD_BINMAX;
// Bytes of the payload stream before its records: marker, count, table id.
inline constexpr int BLOBJIO_LISTHEAD = 12;

// Chunks of one item as they come from, or go to, its BLOBJ rows.
struct BLOBJIO_CHUNK {
  int item_number;
  std::vector<unsigned char> bytes;  // the COMPRDATA content, tag included
};

// What made a content call fail. The content layer prints nothing of its
// own: the caller prints the fault (its collected text, then its message)
// where the failure happened, and ends the process after a failed commit.
enum BLOBJIO_FAULTKIND {
  BLOBJIO_NOFAULT,
  BLOBJIO_TOOMANYCHUNKS,  // "(BLOBJ_Write) Too many chunks (max = %d)!\n"
  BLOBJIO_DELETEFAILED,   // "BLOBJ_Delete_FK error!", after the collected text
  BLOBJIO_INSERTFAILED,   // "(BLOBJ_Write) Error in BLOBJ_Insert\n"
  BLOBJIO_BEGINFAILED,    // "DB_Begin error!", after the collected text
  BLOBJIO_SELECTFAILED,   // "(BLOBJ_Read) Error in BLOBJ_Select_FK\n"
  BLOBJIO_FETCHFAILED,    // "(BLOBJ_Read) Error in BLOBJ_Fetch_FK\n", after the collected text
  BLOBJIO_BADHEADER,      // "(BLOBJ_Read) Corrupted BLOBJ data-header\n"
  BLOBJIO_BADCONTENT,     // "(BLOBJ_Read) Corrupted BLOBJ data-content\n"
  BLOBJIO_BADCHUNKS,      // no message: the chunk decoder printed why as it found it
};

struct BLOBJIO_FAULT {
  BLOBJIO_FAULTKIND kind = BLOBJIO_NOFAULT;
  // The database's collected error text as it stood at the failure, to be
  // printed before the message: the next database call (a read's own
  // commit) empties it. Empty when the failure has none.
  std::string db_text;
  std::string message;  // the text above, formatted; empty for BLOBJIO_BADCHUNKS
  // The read's own commit failed, after `kind` or after a good read: the
  // handle's transaction state can no longer be trusted, and the caller
  // ends the process (exit status 1) once it has printed the fault,
  // `commit_db_text` and its failed-commit message.
  bool commit_failed = false;
  std::string commit_db_text;
};

// The longest payload stream of an item whose recorded size (KASPO SIZE)
// is `recorded_size`: the list head and one record per 4000 bytes begun.
// Decoding stops there: a few bytes of code can stand for gigabytes, and
// content longer than its item's size is damaged anyway. A size below 0
// (none recorded) leaves room for the head only.
[[nodiscard]] std::size_t BLOBJIO_StreamMax(int64_t recorded_size);

// Encodes an item's content, given piece by piece, into the chunks that
// BLOBJ_Write stores (BLOBJIO_ENCODER): the payload records are made as
// the content comes and go to the chunker at once, so besides the chunks
// only a few records and what the chunker holds wait in memory. The
// stream's head names the number of records first, so the content's
// length must be known at the start.
class BLOBJIO_ENCODER {
 public:
  // `writer`: the compressor's state this encoder uses (COMPR_CHUNKER).
  BLOBJIO_ENCODER(bool compress, uint64_t length, COMPR_CHUNKS* out_chunks,
                  PELKO_WRITER* writer = nullptr);
  void Add(const unsigned char* data, std::size_t length);
  // Ends the content. False when it was not as long as announced: the
  // chunks then hold no good stream.
  [[nodiscard]] bool Finish();

 private:
  void Flush();

  COMPR_CHUNKER chunker_;
  uint64_t length_;
  uint64_t taken_ = 0;
  std::vector<unsigned char> records_;  // whole records, the last one being filled
  std::size_t filling_ = 0;             // content bytes in the last record; 0: none begun
};

// The chunks of `data` as BLOBJ_Write would store them. Changes nothing,
// so a caller can count the chunks before it decides.
void BLOBJIO_Encode(bool compress, const unsigned char* data, std::size_t length,
                    COMPR_CHUNKS* out_chunks);

// What reading a file for an item found.
enum BLOBJIO_FILEREAD {
  BLOBJIO_FILE_READ,         // encoded; its facts are filled in
  BLOBJIO_FILE_FAILED,       // cannot be opened or read
  BLOBJIO_FILE_NOT_REGULAR,  // a link, FIFO, device or directory: not opened
  BLOBJIO_FILE_TOO_LONG,     // longer than allowed: not encoded
  BLOBJIO_FILE_CHANGED,      // grew or shrank while it was read
};

// A file as it was read for an item: its length, the checksum of its
// content (compress/checksum.h), its permission bits and modification time.
struct BLOBJIO_FILEFACTS {
  uint64_t length = 0;
  uint32_t checksum = 0;
  int mode = 0;
  int64_t mtime = 0;
};

// Told the length of a file once it is open and before its content is
// read, so that a notice about a long read can come before the wait.
struct BLOBJIO_OPENED {
  void (*call)(uint64_t length, const void* context) = nullptr;
  const void* context = nullptr;
};

// Reads the regular file `path` and encodes its content, piece by piece.
// The file is opened without following a link or blocking, and read to
// exactly the length it had when opened: a file that changes meanwhile is
// refused, not read without end. A file longer than `max_length` is not
// encoded (out_facts->length says how long it is); for any other,
// `on_opened` is called before the first read. A thread other than the
// main one passes a `writer` of its own (COMPR_CHUNKER), and then gets
// std::bad_alloc when memory runs out. Once `abandon` is set the read
// stops between two pieces, as if it had failed.
[[nodiscard]] BLOBJIO_FILEREAD BLOBJIO_EncodeFile(
    const char* path, bool compress, uint64_t max_length, const BLOBJIO_OPENED& on_opened,
    COMPR_CHUNKS* out_chunks, BLOBJIO_FILEFACTS* out_facts, PELKO_WRITER* writer = nullptr,
    const std::atomic<bool>* abandon = nullptr);

// Replaces the chunks of the item (fk_id, fk_table) by `chunks`, numbered
// from 1. REQUIRES: the caller holds a transaction (DB_Begin); the old
// chunks are deleted and the new ones inserted inside it. More than
// BLOBJIO_MAXCHUNKS chunks are refused before anything changes. On
// failure `out_fault` says why and the transaction is left for the
// caller to roll back: this function never rolls back, so exactly one
// rollback is applied.
[[nodiscard]] int BLOBJIO_Store(DBHANDLE* handle, const char* fk_id, int fk_table,
                                const COMPR_CHUNKS& chunks, BLOBJIO_FAULT* out_fault);

// BLOBJIO_Encode, then BLOBJIO_Store.
[[nodiscard]] int BLOBJ_Write(DBHANDLE* handle, const char* fk_id, int fk_table, bool compress,
                              const unsigned char* data, std::size_t length,
                              BLOBJIO_FAULT* out_fault);

// Where an item's content goes as it is read, piece by piece.
class BLOBJIO_SINK {
 public:
  virtual ~BLOBJIO_SINK() = default;
  // Takes the next bytes of the content.
  virtual void Put(const unsigned char* data, std::size_t length) = 0;
  // Drops what it took so far: the content starts again.
  virtual void Restart() = 0;
};

// Reads the content of the item (fk_id, fk_table) into `sink`, one chunk
// row after the other, decoding as the rows come; `recorded_size` is the
// item's recorded size, which bounds the decoding (BLOBJIO_StreamMax).
// Reads inside a transaction of its own (nested into the caller's when
// one is open), which it closes on every path. Damaged content (bad chunk
// tags, bad "#01" or "#50" data, data decoding past the bound, bad record
// sizes, a wrong stream header) fails the read with its fault; the sink
// may have taken part of the content by then. A failed commit fails it
// too, with out_fault->commit_failed set.
[[nodiscard]] int BLOBJIO_ReadItem(DBHANDLE* handle, const char* fk_id, int fk_table,
                                   int64_t recorded_size, BLOBJIO_SINK* sink,
                                   BLOBJIO_FAULT* out_fault);

// BLOBJIO_ReadItem into `out_data`; on failure it is empty.
[[nodiscard]] int BLOBJ_Read(DBHANDLE* handle, const char* fk_id, int fk_table,
                             int64_t recorded_size, std::vector<unsigned char>* out_data,
                             BLOBJIO_FAULT* out_fault);

// Decodes the chunks of one item (in any order) into its content, the
// whole of it in memory. `compressed` is the Compressed value of the
// item's rows. Fails on damaged content, `out_fault` saying why. (A read
// falls back to this to report damage exactly.)
[[nodiscard]] int BLOBJIO_Decode(std::vector<BLOBJIO_CHUNK>* chunks, bool compressed,
                                 int64_t recorded_size, std::vector<unsigned char>* out_data,
                                 BLOBJIO_FAULT* out_fault);

// Decodes the chunks that `source` hands out (in item-number order) as
// they come, the content going to `sink` piece by piece: BLOBJIO_Decode
// without holding the item whole. Quiet: 0 when the chunks do not read
// back this way (damage, or a mix of chunk kinds only the whole decoding
// takes); BLOBJIO_Decode then tells why. The sink may have taken part of
// the content by then.
[[nodiscard]] int BLOBJIO_DecodeStream(const COMPR_CHUNKSOURCE& source, bool compressed,
                                       int64_t recorded_size, BLOBJIO_SINK* sink);

// Items from which on an export finds the chunk rows of all its items in
// one pass over the keys: each item's own search passes over every chunk
// row, so many single searches cost more than one pass.
inline constexpr int BLOBJIO_BATCHMIN = 32;

// The chunk keys of several items, gathered in one pass and laid out item
// after item in the order the items are read, so that their rows are read
// a group at a time across items (CHUNKWALK_GROUP), not per item.
struct BLOBJIO_BATCH {
  struct SPAN {
    std::size_t begin = 0;  // the item's rows in `refs`, sorted by number
    std::size_t end = 0;
    bool compressed = false;  // the Compressed value of its last row found
  };
  std::vector<CHUNKREF> refs;
  std::unordered_map<std::string, SPAN> items;  // by FK_Id without trailing blanks
  CHUNKREADER reader;                           // over `refs`
};

// Gathers the chunk keys of the items `fk_ids` (of table fk_table, in the
// order they will be read) in one pass over the keys of all chunk rows.
// REQUIRES: the caller holds a transaction, in which the items are then
// read. Quiet: on any failure it returns 0 and the caller reads the items
// one by one.
[[nodiscard]] int BLOBJIO_ReadBatch(DBHANDLE* handle, const std::vector<std::string>& fk_ids,
                                    int fk_table, BLOBJIO_BATCH* out_batch);

// Reads one gathered item as BLOBJIO_ReadItem would, inside the caller's
// transaction. Items may be skipped or read in another order; each is
// read as often as asked.
[[nodiscard]] int BLOBJIO_TakeFromBatch(DBHANDLE* handle, BLOBJIO_BATCH* batch,
                                        const std::string& fk_id, int64_t recorded_size,
                                        BLOBJIO_SINK* sink, BLOBJIO_FAULT* out_fault);
