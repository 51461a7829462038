// limits.h: the bounds of the record layer: handle names, the collected
// error text, binary fields. Owns nothing.
#pragma once

// Characters of a handle name (a 20-byte field with its terminator);
// longer names are cut.
inline constexpr int DBHANDLE_NAMEMAX = 19;

// Bytes the collected error text keeps; later messages are cut off.
inline constexpr int DBHANDLE_ERRTEXTMAX = 999;

inline constexpr int RECORD_BINMAX = 4000;  // bytes a BINARY(4000) field can hold
