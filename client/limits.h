// limits.h: the bounds of the client: records assigned from results and
// the value strings a statement builds. Owns nothing.
#pragma once

// Record sizes outside 1..STRUCT_SIZEMAX mean a record that was never
// initialised; copies and dumps warn about them.
inline constexpr int STRUCT_SIZEMAX = 10000;

// Entries the pool has room for. Once it holds more than VALSTR_POOLMAX - 2
// entries, further copies are handed out unpooled and kept for the life of
// the process, with a one-time warning.
inline constexpr int VALSTR_POOLMAX = 10000;
