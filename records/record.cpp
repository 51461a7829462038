// record.cpp: record lists.
#include "records/record.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kStructNotInitialized[] =
    "(ARRAY_Add) Warning: Struct not initialized (size %d)???\n";
constexpr char kIndexOutOfRange[] = "(ARRAY_GetPtr) Index out of range!\n";
constexpr char kReallocFailed[] = "(realloc) Out of memory!\n";

void AppendEntry(ARRAY* list, const unsigned char* bytes, int size) {
  try {
    if (list->records.size() == list->records.capacity()) {
      list->records.reserve(list->records.capacity() + ARRAY_GROWTH);
    }
    const int copied = std::max(size, 0);
    // Entries never shrink below a header: readers look at the header of
    // every entry, even of one added with a broken size word.
    std::vector<unsigned char> entry(std::max(copied, RECORD_HEADER_SIZE), 0);
    if (copied > 0) std::memcpy(entry.data(), bytes, static_cast<std::size_t>(copied));
    list->records.push_back(std::move(entry));
  } catch (const std::bad_alloc&) {
    DBreport(kReallocFailed);
    PLATFORM_Exit(1);
  }
}

void CheckIndex(const ARRAY& list, int index) {
  if (index < 0 || index >= ARRAY_Count(list)) {
    DBreport(kIndexOutOfRange);
    PLATFORM_Exit(1);
  }
}
}  // namespace

void ARRAY_Init(ARRAY* list, int table_id) {
  list->records.clear();
  list->records.shrink_to_fit();
  list->table_id = table_id;
}

void ARRAY_Add(ARRAY* list, const RECORD_HEADER* record) {
  const int size = record->size;
  if (size < 1 || size > ARRAY_SANE_SIZE) DBreport(kStructNotInitialized, size);
  AppendEntry(list, reinterpret_cast<const unsigned char*>(record), size);
}

void ARRAY_AddBytes(ARRAY* list, const unsigned char* bytes, int size) {
  AppendEntry(list, bytes, size);
}

RECORD_HEADER* ARRAY_GetPtr(ARRAY* list, int index) {
  CheckIndex(*list, index);
  return reinterpret_cast<RECORD_HEADER*>(list->records[static_cast<std::size_t>(index)].data());
}

const RECORD_HEADER* ARRAY_GetPtr(const ARRAY& list, int index) {
  CheckIndex(list, index);
  return reinterpret_cast<const RECORD_HEADER*>(
      list.records[static_cast<std::size_t>(index)].data());
}

int ARRAY_Count(const ARRAY& list) { return static_cast<int>(list.records.size()); }

void ARRAY_Free(ARRAY* list) {
  list->records.clear();
  list->records.shrink_to_fit();
}
