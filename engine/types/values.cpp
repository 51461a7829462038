// values.cpp: row sizes, no-value markers and the order of each data type.
#include "engine/types/values.h"

#include <cstdint>
#include <cstring>

#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kUnknownOffsetType[] = "(get_offset) Unknown datatype\n";
constexpr char kCmpDataUnknown[] = "(CmpData) <datatype unknown>\n";
constexpr char kCmpValuesUnknown[] = "(CmpValues) <datatype unknown>\n";
constexpr char kShortOpUnknown[] = "(CmpShortValues) <cmp-func unknown>\n";
constexpr char kIntOpUnknown[] = "(CmpIntValues) <cmp-func unknown>\n";
constexpr char kDoubleOpUnknown[] = "(CmpDoubleValues) <cmp-func unknown>\n";
constexpr char kStringOpUnknown[] = "(CmpStringValues) <cmp-func unknown>\n";
constexpr char kBinaryOpUnknown[] = "(CmpBinaryValues) <cmp-func unknown>\n";
constexpr char kDateOpUnknown[] = "(CmpDateValues) <cmp-func unknown>\n";
constexpr char kTimeOpUnknown[] = "(CmpTimeValues) <cmp-func unknown>\n";
constexpr char kDatiOpUnknown[] = "(CmpDatiValues) <cmp-func unknown>\n";

// Row fields are aligned to 4 at most, so multi-byte numbers are read
// through memcpy rather than through casted pointers.
template <typename T>
T ReadAt(const void* base, int offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(base) + offset, sizeof value);
  return value;
}

template <typename T>
void WriteAt(void* base, int offset, T value) {
  std::memcpy(static_cast<unsigned char*>(base) + offset, &value, sizeof value);
}

template <typename T>
int Order(T a, T b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

int ByteAt(const void* base, int offset) { return static_cast<const unsigned char*>(base)[offset]; }

[[noreturn]] void Fatal(const char* message) {
  DBreport("%s", message);
  PLATFORM_FatalExit();
}

// Applies one of the six relations to an order result. Returns 0 and sets
// *known to 0 for any other operator code.
int Relation(int op, int order, int* known) {
  *known = 1;
  switch (op) {
    case DBTK_LT: return order < 0;
    case DBTK_GT: return order > 0;
    case DBTK_LE: return order <= 0;
    case DBTK_GE: return order >= 0;
    case DBTK_EQ: return order == 0;
    case DBTK_NE: return order != 0;
    default: *known = 0; return 0;
  }
}

int RelationOrFatal(int op, int order, const char* unknown_message) {
  int known = 0;
  int result = Relation(op, order, &known);
  if (!known) Fatal(unknown_message);
  return result;
}

int CmpDate(const void* a, const void* b) {
  int order = Order(ReadAt<int16_t>(a, 0), ReadAt<int16_t>(b, 0));
  for (int offset = 2; order == 0 && offset < DB_DATE_SIZE; ++offset) {
    order = Order(ByteAt(a, offset), ByteAt(b, offset));
  }
  return order;
}

int CmpTime(const void* a, const void* b) {
  int order = 0;
  for (int offset = 0; order == 0 && offset < DB_TIME_SIZE; ++offset) {
    order = Order(ByteAt(a, offset), ByteAt(b, offset));
  }
  return order;
}

// Year, month and day as a date, then hour, minute and second (offsets
// 4..6), then the microseconds; the pad byte at 7 never counts.
int CmpDati(const void* a, const void* b) {
  int order = CmpDate(a, b);
  for (int offset = 4; order == 0 && offset < 7; ++offset) {
    order = Order(ByteAt(a, offset), ByteAt(b, offset));
  }
  if (order == 0) order = Order(ReadAt<int32_t>(a, 8), ReadAt<int32_t>(b, 8));
  return order;
}

// Length first, then the bytes as unsigned. A damaged negative length is
// read as an empty value rather than passed to memcmp.
int CmpBinary(const void* a, const void* b) {
  int len_a = ReadAt<int16_t>(a, 0);
  int len_b = ReadAt<int16_t>(b, 0);
  if (len_a != len_b) return len_a < len_b ? -1 : 1;
  if (len_a <= 0) return 0;
  int order = std::memcmp(static_cast<const unsigned char*>(a) + 2,
                          static_cast<const unsigned char*>(b) + 2, static_cast<size_t>(len_a));
  return Order(order, 0);
}

}  // namespace

int VALUE_FieldSize(int type, int n, int* out_size) {
  switch (type) {
    case DBTYPE_CHARACTER: *out_size = n + 1; return 1;
    case DBTYPE_SMALLINT: *out_size = DB_SMALLINT_SIZE; return 1;
    case DBTYPE_INTEGER: *out_size = DB_INTEGER_SIZE; return 1;
    case DBTYPE_FLOAT: *out_size = DB_FLOAT_SIZE; return 1;
    case DBTYPE_DATE: *out_size = DB_DATE_SIZE; return 1;
    case DBTYPE_TIME: *out_size = DB_TIME_SIZE; return 1;
    case DBTYPE_TIMESTAMP: *out_size = DB_TIMESTAMP_SIZE; return 1;
    case DBTYPE_BINARY: *out_size = n + 2; return 1;
    default: return 0;
  }
}

int VALUE_Alignment(int type, int* out_align) {
  int size = 0;
  if (!VALUE_FieldSize(type, 0, &size)) return 0;
  *out_align = (type == DBTYPE_CHARACTER || type == DBTYPE_BINARY) ? 1 : 4;
  return 1;
}

int VALUE_PlaceField(int type, int field_size, int* running_offset, int* out_offset) {
  int align = 1;
  int ok = VALUE_Alignment(type, &align);
  if (!ok) DBreport("%s", kUnknownOffsetType);
  int offset = (*running_offset + align - 1) / align * align;
  *out_offset = offset;
  *running_offset = offset + field_size;
  return ok;
}

int VALUE_WriteMissing(int type, int field_size, void* field) {
  switch (type) {
    case DBTYPE_CHARACTER:
    case DBTYPE_BINARY: std::memset(field, 0, static_cast<size_t>(field_size)); return 1;
    case DBTYPE_SMALLINT: WriteAt<int16_t>(field, 0, DB_NOSMALLINT); return 1;
    case DBTYPE_INTEGER: WriteAt<int32_t>(field, 0, DB_NOINTEGER); return 1;
    case DBTYPE_FLOAT: WriteAt<double>(field, 0, DB_NOFLOAT); return 1;
    case DBTYPE_TIME: std::memset(field, 0, DB_TIME_SIZE); return 1;
    case DBTYPE_DATE:
    case DBTYPE_TIMESTAMP: {
      int size = type == DBTYPE_DATE ? DB_DATE_SIZE : DB_TIMESTAMP_SIZE;
      std::memset(field, 0, static_cast<size_t>(size));
      WriteAt<int16_t>(field, 0, DB_NODATE_YEAR);
      WriteAt<uint8_t>(field, 2, 1);  // January
      WriteAt<uint8_t>(field, 3, 1);  // the first
      return 1;
    }
    default: return 0;
  }
}

int CmpData(int type, const void* a, const void* b) {
  switch (type) {
    case DBTYPE_CHARACTER:
      return CmpString(static_cast<const char*>(a), static_cast<const char*>(b));
    case DBTYPE_SMALLINT: return Order(ReadAt<int16_t>(a, 0), ReadAt<int16_t>(b, 0));
    case DBTYPE_INTEGER: return Order(ReadAt<int32_t>(a, 0), ReadAt<int32_t>(b, 0));
    case DBTYPE_FLOAT: return CmpDouble(ReadAt<double>(a, 0), ReadAt<double>(b, 0));
    case DBTYPE_DATE: return CmpDate(a, b);
    case DBTYPE_TIME: return CmpTime(a, b);
    case DBTYPE_TIMESTAMP: return CmpDati(a, b);
    case DBTYPE_BINARY: return CmpBinary(a, b);
    default: Fatal(kCmpDataUnknown);
  }
}

unsigned char VALUE_Mirror(unsigned char op) {
  switch (op) {
    case DBTK_LT: return DBTK_GT;
    case DBTK_GT: return DBTK_LT;
    case DBTK_LE: return DBTK_GE;
    case DBTK_GE: return DBTK_LE;
    default: return op;
  }
}

int CmpValues(int op, int type, const void* a, const void* b) {
  switch (type) {
    case DBTYPE_CHARACTER: return CmpStringValues(op, a, b);
    case DBTYPE_SMALLINT: return CmpShortValues(op, a, b);
    case DBTYPE_INTEGER: return CmpIntValues(op, a, b);
    case DBTYPE_FLOAT: return CmpDoubleValues(op, a, b);
    case DBTYPE_DATE: return CmpDateValues(op, a, b);
    case DBTYPE_TIME: return CmpTimeValues(op, a, b);
    case DBTYPE_TIMESTAMP: return CmpDatiValues(op, a, b);
    case DBTYPE_BINARY: return CmpBinaryValues(op, a, b);
    default: Fatal(kCmpValuesUnknown);
  }
}

int CmpStringValues(int op, const void* a, const void* b) {
  const char* text_a = static_cast<const char*>(a);
  const char* text_b = static_cast<const char*>(b);
  if (op == DBTK_LIKE) return LikeMatch(text_a, text_b);
  return RelationOrFatal(op, CmpString(text_a, text_b), kStringOpUnknown);
}

int CmpShortValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpData(DBTYPE_SMALLINT, a, b), kShortOpUnknown);
}

int CmpIntValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpData(DBTYPE_INTEGER, a, b), kIntOpUnknown);
}

int CmpDoubleValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpData(DBTYPE_FLOAT, a, b), kDoubleOpUnknown);
}

int CmpDateValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpDate(a, b), kDateOpUnknown);
}

int CmpTimeValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpTime(a, b), kTimeOpUnknown);
}

int CmpDatiValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpDati(a, b), kDatiOpUnknown);
}

int CmpBinaryValues(int op, const void* a, const void* b) {
  return RelationOrFatal(op, CmpBinary(a, b), kBinaryOpUnknown);
}
