// limits.h: the bounds of an item's content: its chunks, and what a read
// holds in memory at most. Owns nothing.
#pragma once

#include <cstddef>

// Chunks one item can have: ITEMNUMBER is a SMALLINT, and a number that
// wrapped round would put the chunks out of order.
inline constexpr int BLOBJIO_MAXCHUNKS = 32767;

// The largest payload stream a read decodes whole after streaming failed
// (to report the damage exactly): beyond it, a read that does not stream
// reports "(BLOBJ_Read) Corrupted BLOBJ data-content" alone, so that no
// recorded size, true or forged, makes a read hold more than this.
inline constexpr std::size_t BLOBJIO_WHOLEMAX = std::size_t{64} << 20;

inline constexpr int COMPR_MAXSTRUCT = 2000000;  // a stored record must be smaller
