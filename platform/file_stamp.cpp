// file_stamp.cpp: stat and fstat on a POSIX system.
#include "platform/file_stamp.h"

#include <sys/stat.h>

namespace {
void FillStamp(const struct stat& info, PLATFORM_FILESTAMP* out) {
  out->exists = true;
  out->device = static_cast<uint64_t>(info.st_dev);
  out->inode = static_cast<uint64_t>(info.st_ino);
  out->size = static_cast<int64_t>(info.st_size);
  out->mtime_sec = static_cast<int64_t>(info.st_mtim.tv_sec);
  out->mtime_nsec = static_cast<int64_t>(info.st_mtim.tv_nsec);
}
}  // namespace

void PLATFORM_StampPath(const char* path, PLATFORM_FILESTAMP* out) {
  *out = PLATFORM_FILESTAMP{};
  struct stat info;
  if (stat(path, &info) == 0) FillStamp(info, out);
}

void PLATFORM_StampDescriptor(int fd, PLATFORM_FILESTAMP* out) {
  *out = PLATFORM_FILESTAMP{};
  struct stat info;
  if (fd >= 0 && fstat(fd, &info) == 0) FillStamp(info, out);
}

bool PLATFORM_SameStamp(const PLATFORM_FILESTAMP& a, const PLATFORM_FILESTAMP& b) {
  return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtime_sec == b.mtime_sec && a.mtime_nsec == b.mtime_nsec;
}

bool PLATFORM_SameFile(const PLATFORM_FILESTAMP& a, const PLATFORM_FILESTAMP& b) {
  return a.exists && b.exists && a.device == b.device && a.inode == b.inode;
}
