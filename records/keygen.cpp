// keygen.cpp: MT19937 with the 1998 reference seeding, and the key draw.
#include "records/keygen.h"

#include "client/value_strings.h"
#include "platform/report.h"
#include "platform/system.h"

namespace {

constexpr char kBadRange[] = "(irand) Value-range (%d - %d) not valid!\n";

// The parameters of MT19937.
constexpr int kN = KEYGEN_STATEWORDS;
constexpr int kM = 397;
constexpr uint32_t kMatrixA = 0x9908b0dfu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7fffffffu;
constexpr uint32_t kLcgMultiplier = 69069u;

uint32_t CounterSeed() { return static_cast<uint32_t>(PLATFORM_Counter()); }

uint32_t Twist(uint32_t upper, uint32_t lower, uint32_t far) {
  const uint32_t y = (upper & kUpperMask) | (lower & kLowerMask);
  return far ^ (y >> 1) ^ ((y & 1u) ? kMatrixA : 0u);
}

// One state word of the reference seeding: two steps of the sequence.
uint32_t SeedWord(uint32_t* lcg) {
  uint32_t word = *lcg & 0xffff0000u;
  *lcg = kLcgMultiplier * *lcg + 1;
  word |= (*lcg & 0xffff0000u) >> 16;
  *lcg = kLcgMultiplier * *lcg + 1;
  return word;
}

// The sequence value `steps` steps after x, as a x + c: the run of the
// seeding that starts at word kM begins 2 kM steps after the seed.
struct LCGJUMP {
  uint32_t a = 1;
  uint32_t c = 0;
};
constexpr LCGJUMP Jump(int steps) {
  LCGJUMP jump;
  for (int i = 0; i < steps; ++i) jump = {kLcgMultiplier * jump.a, kLcgMultiplier * jump.c + 1};
  return jump;
}
constexpr LCGJUMP kToHigh = Jump(2 * kM);

// Gives word w its seeded value unless it has one.
void EnsureSeeded(KEYGEN* g, int w) {
  if (w < kM) {
    while (g->low_next <= w) g->mt[g->low_next++] = SeedWord(&g->low_lcg);
  } else {
    while (g->high_next <= w) g->mt[g->high_next++] = SeedWord(&g->high_lcg);
  }
}

// Twists word k in place as the full twist of a round would: the words
// after it are still those of the last round (or the seeding), the words
// before it, which the last ones read, are already this round's.
void TwistWord(KEYGEN* g, int k) {
  EnsureSeeded(g, k);
  const int next = k + 1 < kN ? k + 1 : 0;
  const int far = k + kM < kN ? k + kM : k + kM - kN;
  if (next > k) EnsureSeeded(g, next);
  if (far > k) EnsureSeeded(g, far);
  g->mt[k] = Twist(g->mt[k], g->mt[next], g->mt[far]);
}

uint32_t Temper(uint32_t y) {
  y ^= y >> 11;
  y ^= (y << 7) & 0x9d2c5680u;
  y ^= (y << 15) & 0xefc60000u;
  y ^= y >> 18;
  return y;
}

int KeyDraw(void* /*ctx*/, int lo, int hi) { return irand(lo, hi); }

}  // namespace

KEYGEN& KEYGEN_State() {
  static KEYGEN state;
  return state;
}

void KEYGEN_Seed(uint32_t seed) {
  KEYGEN& g = KEYGEN_State();
  g.low_next = 0;
  g.low_lcg = seed;
  g.high_next = kM;
  g.high_lcg = kToHigh.a * seed + kToHigh.c;
  g.index = kN;
}

void KEYGEN_Reseed() {
  KEYGEN& g = KEYGEN_State();
  KEYGEN_Seed(g.source != nullptr ? g.source() : CounterSeed());
  g.draws = 0;
}

void KEYGEN_SetInterval(int draws) { KEYGEN_State().interval = draws; }

uint32_t KEYGEN_Next() {
  KEYGEN& g = KEYGEN_State();
  if (g.index > kN) KEYGEN_Seed(KEYGEN_DEFAULTSEED);
  if (g.index >= kN) g.index = 0;
  TwistWord(&g, g.index);
  const uint32_t value = Temper(g.mt[g.index++]);
  ++g.draws;
  if (g.interval > 0 && g.draws > g.interval) KEYGEN_Reseed();
  return value;
}

int irand(int lo, int hi) {
  if (lo >= hi) {
    DBreport(kBadRange, lo, hi);
    lo = hi;
  }
  const int64_t span = static_cast<int64_t>(hi) - lo + 1;
  return static_cast<int>(lo + static_cast<int64_t>(KEYGEN_Next() % static_cast<uint64_t>(span)));
}

void KEYGEN_Key(char* out) { VALSTR_RandomKey(out, KeyDraw, nullptr); }

void KEYGEN_ResetForTest() { KEYGEN_State() = KEYGEN{}; }
