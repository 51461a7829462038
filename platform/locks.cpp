// locks.cpp: flock, stat and readlink on a POSIX system.
#include "platform/locks.h"

#include "platform/fault.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {
void FillStamp(const struct stat& info, PLATFORM_FILESTAMP* out) {
  out->exists = true;
  out->device = static_cast<uint64_t>(info.st_dev);
  out->inode = static_cast<uint64_t>(info.st_ino);
  out->size = static_cast<int64_t>(info.st_size);
  out->mtime_sec = static_cast<int64_t>(info.st_mtim.tv_sec);
  out->mtime_nsec = static_cast<int64_t>(info.st_mtim.tv_nsec);
}

// The target of the link at `path`, taken from the link's directory when
// it is relative. False when `path` is no link (or cannot be read).
bool ReadLink(const std::string& path, std::string* out) {
  std::vector<char> text(256);
  for (;;) {
    const ssize_t n = readlink(path.c_str(), text.data(), text.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) < text.size()) {
      out->assign(text.data(), static_cast<std::size_t>(n));
      break;
    }
    text.resize(text.size() * 2);
  }
  const std::size_t slash = path.rfind('/');
  if ((*out)[0] != '/' && slash != std::string::npos) *out = path.substr(0, slash + 1) + *out;
  return true;
}
}  // namespace

PLATFORM_LOCKRESULT PLATFORM_Lock(const char* path, PLATFORM_LOCK* out_lock, int* out_error) {
  // Non-blocking, so that a pipe put where a file was expected cannot
  // hold the program up; it is refused below like any other non-file.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return PLATFORM_LOCK_NONE;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return PLATFORM_LOCK_NONE;
  }
  int status = -1;
  if (!PLATFORM_FaultHit(PLATFORM_FAULT_LOCK)) {
    do {
      status = flock(fd, LOCK_EX | LOCK_NB);
    } while (status != 0 && errno == EINTR);
  }
  if (status == 0) {
    out_lock->fd = fd;
    return PLATFORM_LOCK_TAKEN;
  }
  const int error = errno;
  close(fd);
  if (error == EWOULDBLOCK) return PLATFORM_LOCK_BUSY;
  if (out_error != nullptr) *out_error = error;
  return PLATFORM_LOCK_FAILED;
}

void PLATFORM_Unlock(PLATFORM_LOCK* lock) {
  if (lock->fd < 0) return;
  close(lock->fd);
  lock->fd = -1;
}

void PLATFORM_StampPath(const char* path, PLATFORM_FILESTAMP* out) {
  *out = PLATFORM_FILESTAMP{};
  struct stat info;
  if (stat(path, &info) == 0) FillStamp(info, out);
}

void PLATFORM_StampLocked(const PLATFORM_LOCK& lock, PLATFORM_FILESTAMP* out) {
  *out = PLATFORM_FILESTAMP{};
  struct stat info;
  if (lock.fd >= 0 && fstat(lock.fd, &info) == 0) FillStamp(info, out);
}

bool PLATFORM_SameStamp(const PLATFORM_FILESTAMP& a, const PLATFORM_FILESTAMP& b) {
  return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtime_sec == b.mtime_sec && a.mtime_nsec == b.mtime_nsec;
}

int PLATFORM_FinalPath(const std::string& path, std::string* out) {
  *out = path;
  for (int links = 0; links <= PLATFORM_MAXLINKS; ++links) {
    struct stat info;
    if (lstat(out->c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return 1;
    std::string next;
    if (!ReadLink(*out, &next) || next.empty()) return 1;
    *out = next;
  }
  return 0;
}

bool PLATFORM_ProcessRuns(long pid) {
  if (pid <= 0) return false;
  // EPERM: it runs, under a user whom we may not signal.
  return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}
