// replace_file.cpp: temporary file, sync and rename.
#include "app/replace_file.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files.h"

namespace {
constexpr char kTempMark[] = ".tmp";
// Names tried before giving up: each holds the process id and a number,
// so only a stale file of an earlier run with the same id can collide.
constexpr int kTempTries = 100;
constexpr mode_t kNewFileMode = 0666;  // before the umask, as for any new file
constexpr std::size_t kWriteBuffer = 1 << 20;  // sections are written in large pieces

// The directory part of `path` ("." for a bare name), for its sync.
std::string DirectoryOf(const std::string& path) {
  const std::size_t slash = path.rfind(PLATFORM_SEPARATOR);
  if (slash == std::string::npos) return ".";
  if (slash == 0) return std::string(1, PLATFORM_SEPARATOR);
  return path.substr(0, slash);
}

// Makes the rename itself last across a crash. A directory that cannot be
// synced leaves the rename done, only less certain; that is not a failure.
void SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  (void)::fsync(fd);
  ::close(fd);
}

int CreateTemp(const std::string& target, std::string* out_temp) {
  for (int n = 0; n < kTempTries; ++n) {
    *out_temp = target + "." + std::to_string(::getpid()) + "-" + std::to_string(n) + kTempMark;
    const int fd = ::open(out_temp->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kNewFileMode);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  out_temp->clear();
  return -1;
}
}  // namespace

REPLACEFILE::~REPLACEFILE() { REPLACEFILE_Abandon(this); }

int REPLACEFILE_Open(REPLACEFILE* rf, const std::string& target) {
  REPLACEFILE_Abandon(rf);
  rf->target = target;
  const int fd = CreateTemp(target, &rf->temp);
  if (fd < 0) return 0;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
    (void)::fchmod(fd, old.st_mode & 07777);
  }
  rf->file = ::fdopen(fd, "wb");
  if (rf->file == nullptr) {
    ::close(fd);
    REPLACEFILE_Abandon(rf);
    return 0;
  }
  std::setvbuf(rf->file, nullptr, _IOFBF, kWriteBuffer);
  return 1;
}

int REPLACEFILE_Commit(REPLACEFILE* rf) {
  if (rf->file == nullptr) return 0;
  const bool written = std::fflush(rf->file) == 0 && !std::ferror(rf->file) &&
                       ::fsync(::fileno(rf->file)) == 0;
  const bool closed = std::fclose(rf->file) == 0;
  rf->file = nullptr;
  if (!written || !closed || ::rename(rf->temp.c_str(), rf->target.c_str()) != 0) {
    REPLACEFILE_Abandon(rf);
    return 0;
  }
  rf->temp.clear();
  SyncDirectory(DirectoryOf(rf->target));
  return 1;
}

void REPLACEFILE_Abandon(REPLACEFILE* rf) {
  if (rf->file != nullptr) {
    std::fclose(rf->file);
    rf->file = nullptr;
  }
  if (!rf->temp.empty()) {
    (void)::unlink(rf->temp.c_str());
    rf->temp.clear();
  }
}
