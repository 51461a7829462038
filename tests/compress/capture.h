// capture.h: helpers of the compression and record tests: standard error
// captured into a file of a fresh temporary directory, and seeded data.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/engine_env.h"

namespace kaspo_test {

using Bytes = std::vector<unsigned char>;

// Redirects file descriptor 2 from construction to Text().
class StderrCapture {
 public:
  StderrCapture() {
    if (!MakeTempDir("kaspo-cap-", &dir_)) std::abort();
    path_ = dir_ + "/stderr";
    std::fflush(stderr);
    saved_ = dup(2);
    const int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (saved_ < 0 || fd < 0) std::abort();
    dup2(fd, 2);
    close(fd);
  }
  ~StderrCapture() {
    Restore();
    unlink(path_.c_str());
    rmdir(dir_.c_str());
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string Text() {
    Restore();
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    saved_ = -1;
  }
  std::string dir_, path_;
  int saved_ = -1;
};

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
