// newfile.cpp: temporary file, rename over the final path.
#include "platform/newfile.h"

#include <cerrno>

#include "platform/process.h"

namespace {
constexpr char kTempMark[] = ".tmp";
// Names tried before giving up: each holds the process id and a number,
// so only files left by an earlier process of the same id, or planted
// ones, take a name away.
constexpr int kTempTries = 100;
}  // namespace

PLATFORM_NEWFILE::~PLATFORM_NEWFILE() { PLATFORM_NewFileDiscard(this); }

int PLATFORM_NewFileOpen(PLATFORM_NEWFILE* out, const std::string& path) {
  PLATFORM_NewFileDiscard(out);
  out->path = path;
  const std::string stem = path + "." + std::to_string(PLATFORM_ProcessId()) + "-";
  for (int n = 0; n < kTempTries; ++n) {
    out->temp = stem + std::to_string(n) + kTempMark;
    // Created with O_EXCL, which never follows a link at the name.
    out->file.reset(PLATFORM_OpenNew(out->temp.c_str(), path.c_str()));
    if (out->file) return 1;
    if (errno != EEXIST) break;
  }
  out->temp.clear();
  return 0;
}

int PLATFORM_NewFileWrite(PLATFORM_NEWFILE* file, const void* bytes, std::size_t size) {
  if (!file->file) return 0;
  if (size == 0) return 1;
  return PLATFORM_Write(file->file.get(), bytes, size);
}

int PLATFORM_NewFileCommit(PLATFORM_NEWFILE* file) {
  if (!file->file) return 0;
  const int closed = PLATFORM_Close(file->file.release());
  if (!closed || !PLATFORM_Rename(file->temp.c_str(), file->path.c_str())) {
    PLATFORM_NewFileDiscard(file);
    return 0;
  }
  file->temp.clear();
  return 1;
}

void PLATFORM_NewFileDiscard(PLATFORM_NEWFILE* file) {
  file->file.reset();
  if (file->temp.empty()) return;
  (void)PLATFORM_RemoveFile(file->temp.c_str());
  file->temp.clear();
}

int PLATFORM_NewFileReplace(const std::string& path, const void* bytes, std::size_t size) {
  PLATFORM_NEWFILE file;
  return PLATFORM_NewFileOpen(&file, path) && PLATFORM_NewFileWrite(&file, bytes, size) &&
                 PLATFORM_NewFileCommit(&file)
             ? 1
             : 0;
}
