// chunk_fuzz.cpp: the chunk decoder ("#01" and "#50" chunks, then the
// records in the stream) on arbitrary chunks, and the encoder and decoder
// together on arbitrary record lists.
//
// Damaged data are reported and refused, not fatal: the harness uses the
// decoder's non-fatal setting, as the item reader does.
//
// Input: one flag byte, then the body.
//   flag bit 0 clear: the body is a sequence of chunks, each a 16-bit
//     little-endian length (taken modulo 4001) and that many bytes; the
//     decoder adds them in mode "#50" (bit 1 set) or "#01", ends the adding
//     and reads records until the stream ends or is refused.
//   flag bit 0 set: the body is cut into records of table 101 (each a
//     length byte and that many bytes of payload); the list is encoded in
//     mode "#50" (bit 1) or "#01" with the chunk size of the second body
//     byte, and the chunks are decoded again and compared.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "content/chunk_read.h"
#include "content/chunk_write.h"
#include "records/record.h"

namespace {
constexpr int kRecordRoom = 64 * 1024;   // single records larger than this are refused
constexpr int kMaxRecordsRead = 100000;  // a list of empty records can be long

void Require(bool condition) {
  if (!condition) std::abort();
}

int ReadLength(const uint8_t* data, size_t size, size_t* pos) {
  if (*pos + 2 > size) return -1;
  const int length = (data[*pos] | data[*pos + 1] << 8) % (COMPR_MAXCHUNK + 1);
  *pos += 2;
  return length;
}

void DecodeChunks(const uint8_t* data, size_t size, int mode) {
  COMPR obj;
  COMPR_Init(&obj, COMPR_MAXCHUNK, -1, -1, -1, -1);
  COMPR_SetFatalOnDamage(&obj, false);
  COMPR_Set_Mode(&obj, mode);
  RECORD_BINARY chunk{};
  size_t pos = 0;
  for (int length = ReadLength(data, size, &pos); length >= 0;
       length = ReadLength(data, size, &pos)) {
    const size_t take = std::min<size_t>(size_t(length), size - pos);
    chunk.length = static_cast<uint16_t>(take);
    std::memcpy(chunk.data, data + pos, take);
    pos += take;
    if (!COMPR_AddBin(&obj, chunk)) break;
  }
  if (COMPR_Reset(&obj) && !obj.buffer.empty()) {
    std::vector<unsigned char> room(kRecordRoom);
    ARRAY list;
    for (int n = 0; n < kMaxRecordsRead; ++n) {
      if (static_cast<size_t>(obj.position) >= obj.buffer.size()) break;
      RECORD_HEADER* record = reinterpret_cast<RECORD_HEADER*>(room.data());
      if (!get_struct(&obj, &list, record, kRecordRoom)) break;
      Require(obj.position > 0 && static_cast<size_t>(obj.position) <= obj.buffer.size());
      ARRAY_Free(&list);
    }
  }
  COMPR_Free(&obj);
}

// Records of table 101 cut from the body: a length byte, then the payload.
ARRAY BuildList(const uint8_t* data, size_t size) {
  ARRAY list;
  ARRAY_Init(&list, RECORD_TABLE_BLOBJ_DATA);
  std::vector<unsigned char> record;
  for (size_t pos = 0; pos < size;) {
    const size_t payload = std::min<size_t>(data[pos], size - pos - 1);
    record.assign(RECORD_HEADER_SIZE + payload, 0);
    std::memcpy(record.data() + RECORD_HEADER_SIZE, data + pos + 1, payload);
    RECORD_HEADER header{static_cast<int32_t>(record.size()), 0, RECORD_TABLE_BLOBJ_DATA, 0, 0};
    std::memcpy(record.data(), &header, sizeof header);
    ARRAY_AddBytes(&list, record.data(), static_cast<int>(record.size()));
    pos += 1 + payload;
  }
  return list;
}

void RoundTrip(const uint8_t* data, size_t size, int mode) {
  if (size < 1) return;
  const int chunk_size = COMPR_MINCHUNK + data[0] * 16;  // 5 .. 4085, capped below
  ARRAY list = BuildList(data + 1, size - 1);
  COMPR out;
  COMPR_Init(&out, std::min(chunk_size, COMPR_MAXCHUNK), -1, -1, -1, -1);
  COMPR_SetFatalOnDamage(&out, false);
  COMPR_Set_Mode(&out, mode);
  Require(add_struct(&out, list));
  COMPR in;
  COMPR_Init(&in, std::min(chunk_size, COMPR_MAXCHUNK), -1, -1, -1, -1);
  COMPR_SetFatalOnDamage(&in, false);
  COMPR_Set_Mode(&in, mode);
  RECORD_BINARY chunk{};
  while (COMPR_GetBin(&out, &chunk)) {
    Require(chunk.length <= out.chunk_size && chunk.length > COMPR_TAGLEN);
    Require(COMPR_AddBin(&in, chunk));
  }
  Require(COMPR_Reset(&in));
  Require(COMPR_GetTableId(in) == RECORD_TABLE_BLOBJ_DATA);
  ARRAY back;
  Require(get_struct(&in, &back, nullptr, 0));
  Require(back.table_id == RECORD_TABLE_BLOBJ_DATA && back.records.size() == list.records.size());
  for (size_t k = 0; k < list.records.size(); ++k) {
    Require(back.records[k] == list.records[k]);
  }
  Require(static_cast<size_t>(in.position) == in.buffer.size());
  COMPR_Free(&out);
  COMPR_Free(&in);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const int mode = (data[0] & 2) != 0 ? COMPR_MODE_PELKO : COMPR_MODE_RLE;
  if ((data[0] & 1) == 0) {
    DecodeChunks(data + 1, size - 1, mode);
  } else {
    RoundTrip(data + 1, size - 1, mode);
  }
  return 0;
}
