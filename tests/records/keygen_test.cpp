// Tests of the key generator: the generator itself, its seeding and
// reseeding, the range rule and the keys it draws.
#include "records/keygen.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <sstream>
#include <string>

#include "client/value_strings.h"

namespace {

constexpr uint32_t kFakeSeed = 123456789u;
uint32_t FakeSource() { return kFakeSeed; }

// A standard MT19937 engine put into the generator's current state.
std::mt19937 StandardTwin();

// The first draw after seeding with kFakeSeed.
uint32_t FakeSeedFirstDraw() {
  KEYGEN saved = KEYGEN_State();
  KEYGEN_Seed(kFakeSeed);
  const uint32_t first = StandardTwin()();
  KEYGEN_State() = saved;
  return first;
}

std::mt19937 StandardTwin() {
  std::stringstream state;
  for (uint32_t word : KEYGEN_State().mt) state << word << ' ';
  state << KEYGEN_State().index;
  std::mt19937 twin;
  state >> twin;
  return twin;
}

class KeygenTest : public ::testing::Test {
 protected:
  void SetUp() override { KEYGEN_ResetForTest(); }
  void TearDown() override { KEYGEN_ResetForTest(); }
};

TEST_F(KeygenTest, DrawsTheMersenneTwisterSequence) {
  for (uint32_t seed : {4357u, 1u, 0xdeadbeefu}) {
    SCOPED_TRACE(seed);
    KEYGEN_Seed(seed);
    std::mt19937 twin = StandardTwin();
    for (int i = 0; i < 2000; ++i) ASSERT_EQ(KEYGEN_Next(), twin()) << "draw " << i;
  }
}

TEST_F(KeygenTest, SeedingFillsTheStateFromTwoCongruentialSteps) {
  KEYGEN_Seed(4357);
  uint32_t x = 4357;
  for (int i = 0; i < 3; ++i) {
    const uint32_t high = x & 0xffff0000u;
    x = 69069u * x + 1;
    const uint32_t low = (x & 0xffff0000u) >> 16;
    x = 69069u * x + 1;
    EXPECT_EQ(KEYGEN_State().mt[i], high | low) << "word " << i;
  }
}

TEST_F(KeygenTest, UnseededDrawUsesSeed4357) {
  const uint32_t first = KEYGEN_Next();
  const uint32_t second = KEYGEN_Next();
  KEYGEN_ResetForTest();
  KEYGEN_Seed(KEYGEN_DEFAULTSEED);
  EXPECT_EQ(KEYGEN_Next(), first);
  EXPECT_EQ(KEYGEN_Next(), second);
}

TEST_F(KeygenTest, ReseedsAfterTheTwentyFirstDraw) {
  KEYGEN_Seed(kFakeSeed);
  std::mt19937 new_sequence = StandardTwin();
  KEYGEN_Seed(77);
  std::mt19937 old_sequence = StandardTwin();
  KEYGEN_State().source = FakeSource;
  KEYGEN_SetInterval(KEYGEN_RESEEDDRAWS);
  // The 21st draw brings the counter above 20 and still comes from the old
  // state; the 22nd is the first of the new seed.
  for (int i = 1; i <= 21; ++i) ASSERT_EQ(KEYGEN_Next(), old_sequence()) << "draw " << i;
  EXPECT_EQ(KEYGEN_State().draws, 0);
  for (int i = 22; i <= 42; ++i) ASSERT_EQ(KEYGEN_Next(), new_sequence()) << "draw " << i;
  EXPECT_EQ(KEYGEN_Next(), FakeSeedFirstDraw());
}

TEST_F(KeygenTest, WithoutIntervalNeverReseeds) {
  KEYGEN_State().source = FakeSource;
  KEYGEN_Seed(5);
  std::mt19937 twin = StandardTwin();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(KEYGEN_Next(), twin());
}

TEST_F(KeygenTest, RangeRule) {
  KEYGEN_Seed(99);
  std::mt19937 twin = StandardTwin();
  for (int i = 0; i < 200; ++i) {
    const uint32_t raw = twin();
    ASSERT_EQ(irand(32, 127), 32 + static_cast<int>(raw % 96u));
  }
  testing::internal::CaptureStderr();
  EXPECT_EQ(irand(9, 3), 3);
  EXPECT_EQ(irand(4, 4), 4);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "(irand) Value-range (9 - 3) not valid!\n(irand) Value-range (4 - 4) not valid!\n");
  EXPECT_GE(irand(-2147483647 - 1, 2147483647), -2147483647 - 1);
}

TEST_F(KeygenTest, KeysUseTheKeyAlphabet) {
  KEYGEN_SetInterval(KEYGEN_RESEEDDRAWS);
  KEYGEN_Reseed();
  std::set<std::string> keys;
  std::set<char> seen;
  for (int i = 0; i < 2000; ++i) {
    char key[VALSTR_KEYLEN + 1];
    KEYGEN_Key(key);
    ASSERT_EQ(std::string(key).size(), static_cast<size_t>(VALSTR_KEYLEN));
    for (char c : std::string(key)) {
      ASSERT_GE(static_cast<unsigned char>(c), 32);
      ASSERT_LE(static_cast<unsigned char>(c), 127);
      ASSERT_EQ(std::string("%'\\;@\",/").find(c), std::string::npos) << key;
      seen.insert(c);
    }
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), 2000u);
  EXPECT_EQ(seen.size(), 96u - 8u);
}

}  // namespace
