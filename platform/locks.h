// locks.h: advisory file locks, what a file looks like at one moment, and
// where a path really leads (PLATFORM). Owns the descriptor of every lock
// it hands out, until PLATFORM_Unlock.
//
// A lock belongs to the open file, not to its name: a file renamed over a
// locked one comes with its own lock (or none), and the replaced file's
// lock goes with it. So a writer that must keep a file locked across a
// replace locks the new file before the rename and drops the old lock
// after it.
#pragma once

#include <cstdint>
#include <string>

// An exclusive advisory lock (flock) held through one open descriptor.
// Other holders of a lock on the same file, in this process too, are
// refused; programs that never ask for the lock are not held back.
struct PLATFORM_LOCK {
  int fd = -1;  // -1 while nothing is held
};

enum PLATFORM_LOCKRESULT {
  PLATFORM_LOCK_TAKEN,   // the lock is held now
  PLATFORM_LOCK_BUSY,    // another open file holds it: another process
  PLATFORM_LOCK_NONE,    // no regular file there (or it cannot be opened)
  PLATFORM_LOCK_FAILED,  // a regular file, but the system took no lock (ENOLCK on a file
                         // system that keeps none, ...): nothing tells who else uses it
};

// Takes the lock of the regular file at `path` (links followed) without
// waiting. Only TAKEN fills `out_lock`; FAILED puts the system's error
// number into `out_error` (when given).
// REQUIRES: `out_lock` holds nothing.
[[nodiscard]] PLATFORM_LOCKRESULT PLATFORM_Lock(const char* path, PLATFORM_LOCK* out_lock,
                                                int* out_error = nullptr);

// Drops the lock (nothing when none is held).
void PLATFORM_Unlock(PLATFORM_LOCK* lock);

// A file as seen at one moment: which file it is (device and inode) and
// its size and modification time. Any write, touch or replacement
// changes the stamp.
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

// The stamp of the locked file, wherever its name is now.
void PLATFORM_StampLocked(const PLATFORM_LOCK& lock, PLATFORM_FILESTAMP* out);

[[nodiscard]] bool PLATFORM_SameStamp(const PLATFORM_FILESTAMP& a, const PLATFORM_FILESTAMP& b);

// Where a chain of symbolic links starting at `path` ends: `path` itself
// when it is no link. The end need not exist (a dangling link leads to
// where its file would be). Returns 0 for a chain too long to follow
// (PLATFORM_MAXLINKS, a loop).
inline constexpr int PLATFORM_MAXLINKS = 40;  // links followed, as the system does
[[nodiscard]] int PLATFORM_FinalPath(const std::string& path, std::string* out);

// Whether a process with this id runs now, under any user.
[[nodiscard]] bool PLATFORM_ProcessRuns(long pid);
