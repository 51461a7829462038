// chunk_format.cpp: the COMPR object, its settings and its buffer.
#include "content/chunk_format.h"

#include <algorithm>
#include <cassert>
#include <new>

#include "compress/pelko.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {
constexpr char kDataSizeTooLong[] = "(COMPR_Init) Data-size %d too long (max = %d)!\n";
constexpr char kOutOfMemory[] = "(add_memory) Error: Out of memory!\n";
}  // namespace

int COMPR_Damaged(const COMPR* obj) {
  if (obj->fatal_on_damage) PLATFORM_Exit(1);
  return 0;
}

void COMPR_OutOfMemory() {
  DBreport(kOutOfMemory);
  PLATFORM_Exit(1);
}

void COMPR_Reserve(COMPR* obj, std::size_t extra) {
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
    COMPR_OutOfMemory();
  }
}

void COMPR_Append(COMPR* obj, const unsigned char* bytes, std::size_t n) {
  COMPR_Reserve(obj, n);
  obj->buffer.insert(obj->buffer.end(), bytes, bytes + n);
}

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

void COMPR_Free(COMPR* obj) {
  obj->buffer = std::vector<unsigned char>();
  obj->packed = std::vector<unsigned char>();
  obj->packed_pos = 0;
  obj->position = 0;
}

void COMPR_SetFatalOnDamage(COMPR* obj, bool fatal) { obj->fatal_on_damage = fatal; }
