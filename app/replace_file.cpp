// replace_file.cpp: temporary file, sync and rename.
#include "app/replace_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/files.h"
#include "platform/process.h"

namespace {
constexpr char kTempMark[] = ".tmp";
// Names tried before giving up: each holds the process id and a number,
// so only a stale file of an earlier run with the same id can collide.
constexpr int kTempTries = 100;
constexpr std::size_t kWriteBuffer = 1 << 20;  // sections are written in large pieces
constexpr int kMaxDigits = 18;  // of a process id or a number in a name; more is no name of ours

// The directory part of `path` ("." for a bare name), for its sync.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return std::string(1, PLATFORM_SEPARATOR);
  return path.substr(0, slash);
}

// The name part of `path`.
std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Reads the digits at `at` up to `stop`; false when there are none (or
// too many) or another character comes first.
bool ReadNumber(const std::string& text, std::size_t* at, char stop, long* out) {
  const std::size_t end = text.find(stop, *at);
  if (end == std::string::npos || end == *at || end - *at > kMaxDigits) return false;
  for (std::size_t k = *at; k < end; ++k) {
    if (text[k] < '0' || text[k] > '9') return false;
  }
  *out = std::strtol(text.c_str() + *at, nullptr, 10);
  *at = end + 1;
  return true;
}

// Whether `name` is "<base>.<pid>-<n>.tmp"; *out_pid gets the pid.
bool IsTempOf(const std::string& name, const std::string& base, long* out_pid) {
  const std::string mark = kTempMark;
  if (name.size() <= base.size() + 1 + mark.size() || name.compare(0, base.size(), base) != 0 ||
      name[base.size()] != '.' ||
      name.compare(name.size() - mark.size(), mark.size(), mark) != 0) {
    return false;
  }
  const std::string middle = name.substr(0, name.size() - mark.size()) + "|";
  std::size_t at = base.size() + 1;
  long n = 0;
  return ReadNumber(middle, &at, '-', out_pid) && ReadNumber(middle, &at, '|', &n) &&
         at == middle.size();
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
  // Without a lock (a file system that keeps none) the process id in the
  // name still keeps the file from being taken for a left-over.
  (void)PLATFORM_Lock(rf->temp.c_str(), &rf->lock);
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
  PLATFORM_Unlock(&rf->lock);
}

void REPLACEFILE_TakeLock(REPLACEFILE* rf, PLATFORM_LOCK* out) {
  *out = rf->lock;
  rf->lock = PLATFORM_LOCK{};
}

void REPLACEFILE_RemoveStale(const std::string& target, std::vector<std::string>* out_removed) {
  out_removed->clear();
  const std::string dir = DirectoryOf(target);
  const std::string base = NameOf(target);
  std::vector<std::string> names;
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &names)) return;
  for (const std::string& name : names) {
    long pid = 0;
    if (!IsTempOf(name, base, &pid) || PLATFORM_ProcessRuns(pid)) continue;
    const std::string path = target.substr(0, target.size() - base.size()) + name;
    // Held while it goes, so a writer that might still own it cannot be
    // halfway through when it disappears.
    PLATFORM_LOCK lock;
    if (PLATFORM_Lock(path.c_str(), &lock) == PLATFORM_LOCK_BUSY) continue;
    if (PLATFORM_RemoveFile(path.c_str())) out_removed->push_back(path);
    PLATFORM_Unlock(&lock);
  }
}
