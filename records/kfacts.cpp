// kfacts.cpp: the KFACTS record module.
#include "records/kfacts.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "client/struct_assign.h"
#include "engine/types/values.h"
#include "records/kaspo.h"
#include "records/record_io.h"

// The facts name their item by its key.
static_assert(KFACTS_IDLEN == KASPO_IDLEN);

namespace {
constexpr char kSelectAll[] = "SELECT * FROM KFACTS";

constexpr RECIO_FIELD kFields[] = {
    {"KASPO_Id", offsetof(KFACTS, kaspo_id), STRUCT_STRING, KFACTS_IDLEN + 1},
    {"Checksum", offsetof(KFACTS, checksum), STRUCT_STRING, KFACTS_SUMLEN + 1},
    {"Mode", offsetof(KFACTS, mode), STRUCT_LONG, 4},
    {"Mtime", offsetof(KFACTS, mtime), STRUCT_DOUBLE, 8},
};
constexpr RECIO_TABLE kShape = {"KFACTS", RECORD_TABLE_KFACTS, KFACTS_SIZE, kFields,
                                static_cast<int>(std::size(kFields))};
constexpr RECIO_KEYED kKeyed = {&kShape, "kfacts"};

// Times a double holds to the second.
constexpr double kExactSeconds = 9007199254740992.0;  // 2^53
}  // namespace

void KFACTS_Init(KFACTS* record) {
  std::memset(record, 0, sizeof *record);
  record->header.size = KFACTS_SIZE;
  record->header.table_id = RECORD_TABLE_KFACTS;
  std::memset(record->kaspo_id, ' ', KFACTS_IDLEN);
  record->mode = DB_NOINTEGER;
  record->mtime = DB_NOFLOAT;
}

const char* KFACTS_Descriptor() {
  static const std::string descriptor = RECIO_Descriptor(kShape);
  return descriptor.c_str();
}

void KFACTS_Make(KFACTS* record, const char* kaspo_id, uint32_t checksum, int mode, int64_t mtime) {
  KFACTS_Init(record);
  std::snprintf(record->kaspo_id, sizeof record->kaspo_id, "%s", kaspo_id);
  std::snprintf(record->checksum, sizeof record->checksum, "%08" PRIx32, checksum);
  record->mode = mode & 07777;
  const double seconds = static_cast<double>(mtime);
  record->mtime = std::fmin(std::fmax(seconds, -kExactSeconds), kExactSeconds);
}

void KFACTS_MakeChecksum(KFACTS* record, const char* kaspo_id, uint32_t checksum) {
  KFACTS_Make(record, kaspo_id, checksum, 0, 0);
  record->mode = DB_NOINTEGER;
  record->mtime = DB_NOFLOAT;
}

int KFACTS_Checksum(const KFACTS& record, uint32_t* out_checksum) {
  const char* text = record.checksum;
  if (strnlen(text, sizeof record.checksum) != KFACTS_SUMLEN) return 0;
  uint32_t value = 0;
  for (int k = 0; k < KFACTS_SUMLEN; ++k) {
    const char c = text[k];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return 0;
    value = value << 4 | static_cast<uint32_t>(digit);
  }
  *out_checksum = value;
  return 1;
}

int KFACTS_Store(const KFACTS* record, DBHANDLE* handle) {
  return RECIO_DeleteByKey(kKeyed, record, handle) && RECIO_LoadInsert(kShape, record, handle);
}

int KFACTS_Load_Batch(std::span<const unsigned char* const> records, DBHANDLE* handle) {
  return RECIO_LoadBatch(kShape, records, handle);
}

int KFACTS_Delete(const KFACTS* record, DBHANDLE* handle) {
  return RECIO_DeleteByKey(kKeyed, record, handle);
}

int KFACTS_Delete_All(DBHANDLE* handle) { return RECIO_DeleteAll(kShape, handle); }

int KFACTS_Select_All(DBHANDLE* handle, std::vector<KFACTS>* out_rows) {
  out_rows->clear();
  MYDB_RESULT result;
  int status = 0;
  if (!RECIO_SelectAll(kShape, handle, kSelectAll, &result, &status)) return 0;
  const int rows = DBresult_rows(result.get());
  out_rows->resize(static_cast<std::size_t>(rows));
  for (int row = 0; row < rows; ++row) {
    KFACTS& record = (*out_rows)[static_cast<std::size_t>(row)];
    KFACTS_Init(&record);
    if (!RECIO_Fill(kShape, &record, result.get(), row, status)) return 0;
  }
  return 1;
}
