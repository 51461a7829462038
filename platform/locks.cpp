// locks.cpp: flock on a POSIX system.
#include "platform/locks.h"

#include "platform/fault.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

void PLATFORM_LOCK::Release() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}

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
    out_lock->Release();
    out_lock->fd_ = fd;
    return PLATFORM_LOCK_TAKEN;
  }
  const int error = errno;
  close(fd);
  if (error == EWOULDBLOCK) return PLATFORM_LOCK_BUSY;
  if (out_error != nullptr) *out_error = error;
  return PLATFORM_LOCK_FAILED;
}

void PLATFORM_StampLocked(const PLATFORM_LOCK& lock, PLATFORM_FILESTAMP* out) {
  PLATFORM_StampDescriptor(lock.fd_, out);
}
