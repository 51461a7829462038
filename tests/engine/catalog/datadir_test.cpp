// The data directory follows the environment.
#include "engine/catalog/datadir.h"

#include <gtest/gtest.h>

#include "support/engine_fixture.h"

namespace {

TEST(DATADIR, DataDirectoryFollowsTarvicPathThenHome) {
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
    EXPECT_EQ(DATADIR_Path(c.engine), c.expected);
  }
}

}  // namespace
