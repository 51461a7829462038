// scratch_dir.cpp: temporary directories for tests.
#include "support/scratch_dir.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/engine_env.h"

ScratchDir::ScratchDir() {
  std::string dir;
  if (!MakeTempDir("kaspo-test-", &dir)) throw std::runtime_error("mkdtemp failed: " + dir);
  path_ = std::filesystem::canonical(dir).string();
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
