// Tests of the key generator: the generator itself, its reseeding, the
// range rule and the keys it draws.
#include "records/keygen.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "client/value_strings.h"

namespace {

constexpr uint32_t kFakeSeed = 123456789u;
uint32_t FakeSource() { return kFakeSeed; }

// The state words of the reference seeding, all at once.
std::vector<uint32_t> SeededWords(uint32_t seed) {
  std::vector<uint32_t> mt(KEYGEN_STATEWORDS);
  for (uint32_t& word : mt) {
    word = seed & 0xffff0000u;
    seed = 69069u * seed + 1;
    word |= (seed & 0xffff0000u) >> 16;
    seed = 69069u * seed + 1;
  }
  return mt;
}

// A standard MT19937 engine in the state of the reference seeding.
std::mt19937 StandardTwin(uint32_t seed) {
  std::stringstream state;
  for (uint32_t word : SeededWords(seed)) state << word << ' ';
  state << KEYGEN_STATEWORDS;
  std::mt19937 twin;
  state >> twin;
  return twin;
}

// Seeds that differ at every reseed, as the counter's do: seed n of the
// run, and a source that hands them out in turn.
uint32_t SeedNumber(int n) { return static_cast<uint32_t>(n) * 2654435761u + 7u; }
int g_seeds_taken = 0;
uint32_t SeedsInTurn() { return SeedNumber(g_seeds_taken++); }

class KeygenTest : public ::testing::Test {
 protected:
  void SetUp() override { KEYGEN_ResetForTest(); }
  void TearDown() override { KEYGEN_ResetForTest(); }
};

TEST_F(KeygenTest, DrawsTheMersenneTwisterSequenceOfTheReferenceSeeding) {
  // Before any seeding the seed is 4357; the state words come from two
  // steps of x -> 69069 x + 1 each.
  std::mt19937 twin = StandardTwin(KEYGEN_DEFAULTSEED);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(KEYGEN_Next(), twin()) << "draw " << i;
}

TEST_F(KeygenTest, ReseedingDrawsAreThoseOfSeedingAndTwistingWholeStates) {
  // The reference seeds every word and twists every word at each round and
  // reseed; reseeds that end a round early, late or not at all must give
  // the same draws.
  for (int interval : {KEYGEN_RESEEDDRAWS, 300, 700}) {
    SCOPED_TRACE(interval);
    KEYGEN_ResetForTest();
    g_seeds_taken = 0;
    KEYGEN_State().source = SeedsInTurn;
    KEYGEN_SetInterval(interval);
    KEYGEN_Reseed();
    std::mt19937 twin = StandardTwin(SeedNumber(0));
    int seeds = 1;
    int draws = 0;
    for (int i = 0; i < 50000; ++i) {
      ASSERT_EQ(KEYGEN_Next(), twin()) << "draw " << i;
      if (++draws > interval) {
        twin = StandardTwin(SeedNumber(seeds++));
        draws = 0;
      }
    }
    EXPECT_EQ(g_seeds_taken, seeds);
  }
}

TEST_F(KeygenTest, ReseedsAfterTheTwentyFirstDraw) {
  std::mt19937 old_sequence = StandardTwin(77);
  std::mt19937 new_sequence = StandardTwin(kFakeSeed);
  KEYGEN_Seed(77);
  KEYGEN_State().source = FakeSource;
  KEYGEN_SetInterval(KEYGEN_RESEEDDRAWS);
  // The 21st draw brings the counter above 20 and still comes from the old
  // state; the 22nd is the first of the new seed.
  for (int i = 1; i <= 21; ++i) ASSERT_EQ(KEYGEN_Next(), old_sequence()) << "draw " << i;
  for (int i = 22; i <= 42; ++i) ASSERT_EQ(KEYGEN_Next(), new_sequence()) << "draw " << i;
}

TEST_F(KeygenTest, RangeRuleAndKeyAlphabet) {
  std::mt19937 twin = StandardTwin(99);
  KEYGEN_Seed(99);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(irand(32, 127), 32 + static_cast<int>(twin() % 96u));
  testing::internal::CaptureStderr();
  EXPECT_EQ(irand(9, 3), 3);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "(irand) Value-range (9 - 3) not valid!\n");
  std::set<std::string> keys;
  std::set<char> seen;
  for (int i = 0; i < 2000; ++i) {
    char key[VALSTR_KEYLEN + 1];
    KEYGEN_Key(key);
    ASSERT_EQ(std::string(key).size(), static_cast<size_t>(VALSTR_KEYLEN));
    for (char c : std::string(key)) {
      ASSERT_TRUE(c >= 32 && c <= 127) << key;
      ASSERT_EQ(std::string("%'\\;@\",/").find(c), std::string::npos) << key;
      seen.insert(c);
    }
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), 2000u);
  EXPECT_EQ(seen.size(), 96u - 8u);
}

}  // namespace
