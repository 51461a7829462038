// struct_assign.h: the client structure type codes and the record copy
// (STRUCT). Records of the record access layer start with a 32-bit word
// holding their own size; their descriptors name each field's type by one
// of these codes, which differ from the engine's type bytes.
#pragma once

#include "client/limits.h"

inline constexpr int STRUCT_CHAR = 1;   // single character: CHARACTER(1)
inline constexpr int STRUCT_SHORT = 2;  // SMALLINT
inline constexpr int STRUCT_INT = 3;
inline constexpr int STRUCT_LONG = 4;  // 32-bit: INTEGER
inline constexpr int STRUCT_USHORT = 5;
inline constexpr int STRUCT_UINT = 6;
inline constexpr int STRUCT_ULONG = 7;
inline constexpr int STRUCT_FLOAT = 8;
inline constexpr int STRUCT_DOUBLE = 9;
inline constexpr int STRUCT_CHAR2 = 10;   // second single-character code
inline constexpr int STRUCT_STRING = 11;  // n + 1 bytes: CHARACTER(n)
inline constexpr int STRUCT_DATE = 12;
inline constexpr int STRUCT_TIME = 13;
inline constexpr int STRUCT_TIMESTAMP = 14;
inline constexpr int STRUCT_BINARY = 18;  // 16-bit length + n bytes: BINARY(n)

// The engine type byte a client field code carries (STRUCT_CHAR2 counts as
// STRUCT_CHAR). Fails for codes without an engine type.
[[nodiscard]] int STRUCT_EngineType(int code, int* out_type);

// Copies the record `from`, whose first 32-bit word is its size, into `to`.
// A size outside 1..STRUCT_SIZEMAX reports "(STRUCT_Assign) Warning: Struct
// not initialized (size %d)???\n" and still copies. At most `capacity`
// bytes are copied (the size both records are known to have), and all of
// them when the size word is not a usable count, so a garbage size can
// never copy past either record.
// REQUIRES: both records hold at least `capacity` bytes, and capacity >= 4.
void STRUCT_Assign(void* to, const void* from, int capacity);
