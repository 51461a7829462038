// scratch_dir.cpp: temporary directories for tests.
#include "support/scratch_dir.h"

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") +
                        "/kaspo-test-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  path_ = std::filesystem::canonical(buffer.data()).string();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string ScratchDir::Path(const std::string& relative) const { return path_ + "/" + relative; }

std::string ScratchDir::MakeDir(const std::string& relative) const {
  std::string path = Path(relative);
  std::filesystem::create_directories(path);
  return path;
}

std::string ScratchDir::WriteFile(const std::string& relative, const std::string& content) const {
  std::string path = Path(relative);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
  return path;
}

std::string ScratchDir::ReadFile(const std::string& relative) const {
  std::ifstream file(Path(relative), std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}
