// struct_assign.cpp: record copy and the mapping of client field codes.
#include "client/struct_assign.h"

#include <cstdint>
#include <cstring>

#include "engine/types/values.h"
#include "platform/report.h"

namespace {
constexpr char kNotInitialised[] = "(STRUCT_Assign) Warning: Struct not initialized (size %d)???\n";
}  // namespace

int STRUCT_EngineType(int code, int* out_type) {
  switch (code) {
    case STRUCT_CHAR:
    case STRUCT_CHAR2:
    case STRUCT_STRING: *out_type = DBTYPE_CHARACTER; return 1;
    case STRUCT_SHORT: *out_type = DBTYPE_SMALLINT; return 1;
    case STRUCT_LONG: *out_type = DBTYPE_INTEGER; return 1;
    case STRUCT_DOUBLE: *out_type = DBTYPE_FLOAT; return 1;
    case STRUCT_BINARY: *out_type = DBTYPE_BINARY; return 1;
    default: return 0;
  }
}

void STRUCT_Assign(void* to, const void* from, int capacity) {
  int32_t size = 0;
  std::memcpy(&size, from, sizeof size);
  if (size < 1 || size > STRUCT_SIZEMAX) DBreport(kNotInitialised, size);
  int count = (size >= 1 && size <= capacity) ? size : capacity;
  if (count > 0 && to != from) std::memcpy(to, from, static_cast<size_t>(count));
}
