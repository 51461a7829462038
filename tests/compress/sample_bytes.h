// sample_bytes.h: seeded data for the compression tests: uniform random
// bytes and text-like data with repeats and runs.
#pragma once

#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

namespace kaspo_test {

using Bytes = std::vector<unsigned char>;

inline Bytes RandomBytes(std::size_t n, unsigned seed, int alphabet = 256) {
  std::mt19937 gen(seed);
  Bytes out(n);
  for (auto& b : out) b = static_cast<unsigned char>(gen() % static_cast<unsigned>(alphabet));
  return out;
}

// Text-like data with repeats at many distances, long runs and rare bytes.
inline Bytes MixedBytes(std::size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  Bytes out;
  out.reserve(n);
  while (out.size() < n) {
    const unsigned kind = gen() % 10;
    if (kind < 4 && out.size() > 16) {
      const std::size_t back = 1 + gen() % std::min<std::size_t>(out.size(), 300000);
      const std::size_t from = out.size() - back;
      for (std::size_t k = 0, len = 3 + gen() % 300; k < len; ++k)
        out.push_back(out[from + k % back]);
    } else if (kind < 5) {
      out.insert(out.end(), 1 + gen() % 5000, static_cast<unsigned char>(gen()));
    } else {
      for (unsigned k = gen() % 40; k > 0; --k)
        out.push_back(static_cast<unsigned char>('a' + gen() % 26));
    }
  }
  out.resize(n);
  return out;
}

}  // namespace kaspo_test
