// scratch_dir.h: a fresh temporary directory for one test, removed with
// everything in it when the test ends. Created under $TMPDIR (the test
// runner points it at a scratch area), else /tmp.
#pragma once

#include <string>

class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory's absolute path, without a trailing separator.
  const std::string& path() const { return path_; }

  // The path of `relative` inside the directory.
  std::string Path(const std::string& relative) const;

  // Creates a subdirectory (and its parents) and returns its path.
  std::string MakeDir(const std::string& relative) const;

  // Creates or replaces a file with `content` and returns its path.
  std::string WriteFile(const std::string& relative, const std::string& content) const;

  // The content of a file inside the directory ("" if it cannot be read).
  std::string ReadFile(const std::string& relative) const;

 private:
  std::string path_;
};
