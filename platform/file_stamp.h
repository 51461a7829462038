// file_stamp.h: what a file looks like at one moment (PLATFORM_FILESTAMP),
// to tell later whether it is still the same file with the same content.
// Owns nothing. Any thread.
#pragma once

#include <cstdint>

// Which file it is (device and inode) and its size and modification time.
// Any write, touch or replacement changes the stamp.
struct PLATFORM_FILESTAMP {
  bool exists = false;  // false: nothing there (the other fields are 0)
  uint64_t device = 0;
  uint64_t inode = 0;
  int64_t size = 0;
  int64_t mtime_sec = 0;
  int64_t mtime_nsec = 0;
};

// The stamp of what `path` names now (links followed).
void PLATFORM_StampPath(const char* path, PLATFORM_FILESTAMP* out);

// The stamp of the file open at `fd`; nothing there for a descriptor that
// cannot be looked at.
void PLATFORM_StampDescriptor(int fd, PLATFORM_FILESTAMP* out);

[[nodiscard]] bool PLATFORM_SameStamp(const PLATFORM_FILESTAMP& a, const PLATFORM_FILESTAMP& b);

// Whether both stamps are of one existing file, whatever its content.
[[nodiscard]] bool PLATFORM_SameFile(const PLATFORM_FILESTAMP& a, const PLATFORM_FILESTAMP& b);
