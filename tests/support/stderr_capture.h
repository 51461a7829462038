// stderr_capture.h: standard error captured into a file of a fresh
// temporary directory below $TMPDIR, for tests that compare what a module
// reports. (gtest's own capture writes below /tmp whatever TMPDIR says.)
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/support/engine_env.h"

namespace kaspo_test {

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

}  // namespace kaspo_test
