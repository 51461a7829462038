// Tests of engine start-up: paths, the memory limit rule, and (in child
// processes, since a started engine ends every run itself) the start and
// the exit handling.
#include "engine/catalog/startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace {

// Sets or unsets an environment variable for one test and restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(STARTUP, DataDirectoryFollowsTarvicPathThenHome) {
  struct Case {
    const char* tarvic_path;
    const char* home;
    const char* engine;
    const char* expected;
  };
  constexpr Case kCases[] = {
      {"/t", "/h", "Tarvic", "/t/Tarvic.dat"},
      {nullptr, "/h", "Tarvic", "/h/Tarvic.dat"},
      {nullptr, "/h", "", "/h/.dat"},
      {"", "/h", "Tarvic", "/h/Tarvic.dat"},  // an empty value counts as unset
      {nullptr, nullptr, "Tarvic", "./Tarvic.dat"},
      {"", "", "X", "./X.dat"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.expected);
    ScopedEnv tp("TARVIC_PATH", c.tarvic_path);
    ScopedEnv home("HOME", c.home);
    EXPECT_EQ(STARTUP_DataDir(c.engine), c.expected);
  }
}

TEST(STARTUP, ResultMemoryIsATenthOfMemoryPlusSwap) {
  struct Case {
    int64_t total;
    int64_t limit;
  };
  constexpr Case kCases[] = {
      {0, 25165824},
      {-1, 25165824},
      {8388607, 25165824},           // below 8 MiB keeps the initial limit
      {8388608, 8388608},            // a tenth would be below 8 MiB
      {83886080, 8388608},
      {83886090, 8388609},
      {int64_t{20} << 30, int64_t{2147483648}},  // beyond 32 bits stays whole
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.total);
    EXPECT_EQ(STARTUP_ResultMemoryFor(c.total), c.limit);
  }
}

}  // namespace
