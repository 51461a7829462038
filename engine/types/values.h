// values.h: the engine's eight data types (DBTYPE) and the value order.
// Owns the type bytes, the size, alignment and no-value marker of each
// type in a row, and the comparison of two values of one type.
//
// Row forms (all numbers little-endian, the host order):
//
//   type        code  bytes  align  layout
//   CHARACTER   '0'   n + 1  1      text blank-padded to n characters, NUL
//   SMALLINT    '1'   2      4      int16
//   INTEGER     '2'   4      4      int32
//   FLOAT       '3'   8      4      IEEE-754 double
//   DATE        '4'   4      4      off 0 int16 year, 2 u8 month, 3 u8 day
//   TIME        '5'   3      4      off 0 u8 hour, 1 u8 minute, 2 u8 second
//   TIMESTAMP   '6'   12     4      off 0 int16 year, 2 month, 3 day,
//                                   4 hour, 5 minute, 6 second (u8 each),
//                                   7 pad, 8 int32 microseconds
//   BINARY      0xA6  n + 2  1      int16 length, then up to n bytes
//
// There is no NULL flag: a column without a value holds its type's
// no-value marker, which compares and sorts like any other value.
#pragma once

#include "engine/types/tokens.h"

// A type byte is the token kind of the type's keyword.
inline constexpr unsigned char DBTYPE_CHARACTER = '0', DBTYPE_SMALLINT = '1', DBTYPE_INTEGER = '2',
                               DBTYPE_FLOAT = '3', DBTYPE_DATE = '4', DBTYPE_TIME = '5',
                               DBTYPE_TIMESTAMP = '6', DBTYPE_BINARY = 0xA6;
static_assert(DBTYPE_CHARACTER == DBTK_CHARACTER && DBTYPE_TIMESTAMP == DBTK_TIMESTAMP &&
              DBTYPE_BINARY == DBTK_BINARY);

// Fixed row sizes of the types without a user size.
inline constexpr int DB_SMALLINT_SIZE = 2;
inline constexpr int DB_INTEGER_SIZE = 4;
inline constexpr int DB_FLOAT_SIZE = 8;
inline constexpr int DB_DATE_SIZE = 4;
inline constexpr int DB_TIME_SIZE = 3;
inline constexpr int DB_TIMESTAMP_SIZE = 12;

// No-value markers: what a row holds for a column that received no value.
inline constexpr short DB_NOSMALLINT = -32768;    // bits 0x8000
inline constexpr int DB_NOINTEGER = -2147483647;  // bits 0x80000001
inline constexpr double DB_NOFLOAT = -1e20;
inline constexpr short DB_NODATE_YEAR = 1800;  // 1800-01-01, 00:00:00

// Row size of a field of `type` whose definition gave the size `n` (only
// CHARACTER and BINARY use it: n + 1 and n + 2). Fails for a type byte
// that is not a data type.
[[nodiscard]] int VALUE_FieldSize(int type, int n, int* out_size);

// Alignment of a field's offset: 1 for CHARACTER and BINARY, 4 otherwise.
// Fails for a type byte that is not a data type.
[[nodiscard]] int VALUE_Alignment(int type, int* out_align);

// Places one field in a row being laid out: rounds *running_offset up to the
// alignment of `type`, stores that as *out_offset and advances
// *running_offset by `field_size`. The row size is the final running offset.
// An unknown type reports "(get_offset) Unknown datatype\n", stores the
// unchanged running offset as *out_offset, still advances by `field_size`,
// and fails.
[[nodiscard]] int VALUE_PlaceField(int type, int field_size, int* running_offset, int* out_offset);

// Writes the no-value marker of `type` into a field of `field_size` row bytes.
// CHARACTER and BINARY fields are cleared whole, so two rows without a value
// compare and hash alike byte for byte. Fails for an unknown type (the field
// is then untouched).
[[nodiscard]] int VALUE_WriteMissing(int type, int field_size, void* field);

// Total order of two values of one type, given as pointers to their row
// forms: -1 if a sorts before b, 0 if equal, 1 if after. An unknown type
// reports "(CmpData) <datatype unknown>\n" and ends through the fatal exit.
int CmpData(int type, const void* a, const void* b);

// 1 if `a op b` holds, else 0. `op` is a comparison kind: DBTK_LT 'N',
// DBTK_GT 'O', DBTK_LE 'P', DBTK_GE 'Q', DBTK_EQ 'R', DBTK_NE 'S', or
// DBTK_LIKE 'V' (CHARACTER only, b is the pattern). An unknown type or an
// operator the type does not have reports and ends through the fatal exit:
// both can only come from a catalogue or message the engine built wrongly.
int CmpValues(int op, int type, const void* a, const void* b);

// The comparison kind that holds for `b op' a` exactly when `op` holds for
// `a op b`, so a comparison can be turned around its operands: '<' for
// '>', '<=' for '>=' and back; any other kind is its own mirror.
[[nodiscard]] unsigned char VALUE_Mirror(unsigned char op);

// The per-type operator tests behind CmpValues, each taking (op, a, b).
int CmpStringValues(int op, const void* a, const void* b);
int CmpShortValues(int op, const void* a, const void* b);
int CmpIntValues(int op, const void* a, const void* b);
int CmpDoubleValues(int op, const void* a, const void* b);
int CmpDateValues(int op, const void* a, const void* b);
int CmpTimeValues(int op, const void* a, const void* b);
int CmpDatiValues(int op, const void* a, const void* b);
int CmpBinaryValues(int op, const void* a, const void* b);

// Tolerant order of two doubles: equal when twice their difference lies
// within a tolerance that grows with their magnitude (1e-14 up to 100,
// ten times more per decade, 1.0 above 1e15). -1/0/1.
int CmpDouble(double x, double y);

// Text order with bytes as signed chars, where trailing blanks never
// matter ("ab" equals "ab   "). -1/0/1.
int CmpString(const char* a, const char* b);

// 1 if `text` matches the LIKE `pattern`: '%' matches any run of characters,
// every other character only itself (case-sensitive, no escape, trailing
// blanks significant).
int LikeMatch(const char* text, const char* pattern);
