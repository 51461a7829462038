// Tests of the growable buffer of the request channel.
#include "engine/types/wire.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(WIREBUF, GrowsByTheDocumentedSteps) {
  const struct {
    std::vector<int> appends;
    size_t capacity;
  } kCases[] = {
      {{1}, 100000},         {{100000}, 100000},          {{100001}, 100001},
      {{99999, 2}, 1100000}, {{50000, 2000000}, 2050000}, {{100000, 1000000, 1}, 2100000},
  };
  for (const auto& c : kCases) {
    WIREBUF buf;
    int total = 0;
    for (int n : c.appends) {
      WIRE_Append(&buf, std::vector<unsigned char>(n, 0x5A).data(), n);
      total += n;
    }
    EXPECT_EQ(buf.bytes.size(), c.capacity);
    EXPECT_EQ(buf.used, total);
  }
}

}  // namespace
