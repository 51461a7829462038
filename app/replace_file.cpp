// replace_file.cpp: temporary file, sync and rename.
#include "app/replace_file.h"

#include <cerrno>
#include <cstdio>

#include "platform/files.h"
#include "platform/process.h"

namespace {
constexpr char kTempMark[] = ".tmp";
// Names tried before giving up: each holds the process id and a number,
// so only a stale file of an earlier run with the same id can collide.
constexpr int kTempTries = 100;
constexpr std::size_t kWriteBuffer = 1 << 20;  // sections are written in large pieces

// The directory part of `path` ("." for a bare name), for its sync.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return std::string(1, PLATFORM_SEPARATOR);
  return path.substr(0, slash);
}

FILE* CreateTemp(const std::string& target, std::string* out_temp) {
  for (int n = 0; n < kTempTries; ++n) {
    *out_temp = target + "." + std::to_string(PLATFORM_ProcessId()) + "-" + std::to_string(n) +
                kTempMark;
    // The new file gets the old one's permissions: a saved container must
    // not become readable to others, or unreadable to its owner.
    FILE* file = PLATFORM_OpenNew(out_temp->c_str(), target.c_str());
    if (file != nullptr) return file;
    if (errno != EEXIST) break;
  }
  out_temp->clear();
  return nullptr;
}
}  // namespace

REPLACEFILE::~REPLACEFILE() { REPLACEFILE_Abandon(this); }

int REPLACEFILE_Open(REPLACEFILE* rf, const std::string& target) {
  REPLACEFILE_Abandon(rf);
  rf->target = target;
  rf->file = CreateTemp(target, &rf->temp);
  if (rf->file == nullptr) return 0;
  std::setvbuf(rf->file, nullptr, _IOFBF, kWriteBuffer);
  return 1;
}

int REPLACEFILE_Commit(REPLACEFILE* rf) {
  if (rf->file == nullptr) return 0;
  const bool written = PLATFORM_Flush(rf->file) != 0;
  const bool closed = PLATFORM_Close(rf->file) != 0;
  rf->file = nullptr;
  if (!written || !closed || !PLATFORM_Rename(rf->temp.c_str(), rf->target.c_str())) {
    REPLACEFILE_Abandon(rf);
    return 0;
  }
  rf->temp.clear();
  // Makes the rename itself last across a crash. A directory that cannot
  // be synced leaves the rename done, only less certain: the new content
  // is in place, so the save has not failed.
  (void)PLATFORM_SyncDirectory(DirectoryOf(rf->target).c_str());
  return 1;
}

void REPLACEFILE_Abandon(REPLACEFILE* rf) {
  if (rf->file != nullptr) {
    (void)PLATFORM_Close(rf->file);
    rf->file = nullptr;
  }
  if (!rf->temp.empty()) {
    (void)PLATFORM_RemoveFile(rf->temp.c_str());
    rf->temp.clear();
  }
}
