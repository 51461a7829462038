// keygen.h: the random source of record keys (KEYGEN).
// Owns the process-wide Mersenne Twister (MT19937) state, its draw counter
// and reseed interval. Keys must differ between runs and between records
// inserted in quick succession, so the generator is seeded from the
// high-resolution counter and reseeded every few draws.
#pragma once

#include <cstdint>

// Words of the generator state.
inline constexpr int KEYGEN_STATEWORDS = 624;
// The seed used when a draw comes before any seeding.
inline constexpr uint32_t KEYGEN_DEFAULTSEED = 4357;
// Draws between two reseeds once the handle has started (0: never reseed).
inline constexpr int KEYGEN_RESEEDDRAWS = 20;

// Where a reseed takes its seed from; by default the low 32 bits of
// PLATFORM_Counter. Tests put a fixed source in its place.
using KEYGEN_SeedSource = uint32_t (*)();

// A reseed comes every 21 draws, which use 21 of the 624 words: so the
// words are seeded and twisted as the draws reach them, not all at once.
// A word is twisted just before it is drawn; the twist of word k reads
// words k + 1 and k + 397 as seeded, so those are seeded on demand by two
// runs of the seeding sequence, one from word 0 and one from word 397
// (started by jumping ahead). The draws are exactly those of seeding and
// twisting every word at once.
struct KEYGEN {
  uint32_t mt[KEYGEN_STATEWORDS];      // words [0, index) twisted in this round
  int index = KEYGEN_STATEWORDS + 1;   // STATEWORDS + 1: never seeded
  int draws = 0;                       // draws since the last (re)seed
  int interval = 0;                    // reseed after this many draws; 0: never
  KEYGEN_SeedSource source = nullptr;  // nullptr: the platform counter
  // Seeding still to do: words [low_next, 397) and [high_next, 624) hold
  // no seeded value yet; low_lcg and high_lcg make their next ones.
  int low_next = 0;
  int high_next = 0;
  uint32_t low_lcg = 0;
  uint32_t high_lcg = 0;
};

KEYGEN& KEYGEN_State();

// Seeds the state with the 1998 reference procedure (two steps of the
// linear congruential generator 69069 x + 1 per state word). The words
// are filled as the draws need them.
void KEYGEN_Seed(uint32_t seed);

// Seeds from the seed source and restarts the draw counter.
void KEYGEN_Reseed();

// Sets the number of draws after which the generator reseeds itself
// (0: never).
void KEYGEN_SetInterval(int draws);

// The next raw 32-bit output. A draw that brings the draw counter above the
// interval is still taken from the old state; the generator is reseeded
// right after it.
uint32_t KEYGEN_Next();

// A whole number in lo..hi: lo + (raw modulo (hi - lo + 1)). A range whose
// lo is not below hi reports "(irand) Value-range (%d - %d) not valid!\n"
// and gives hi.
int irand(int lo, int hi);

// Writes a fresh key of VALSTR_KEYLEN characters and its NUL into `out`.
// REQUIRES: `out` has room for VALSTR_KEYLEN + 1 bytes.
void KEYGEN_Key(char* out);

// Forgets all seeding and restores the defaults. Only tests call it.
void KEYGEN_ResetForTest();
