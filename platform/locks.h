// locks.h: advisory file locks (PLATFORM_LOCK). A lock owns its open
// descriptor and lets it go when it is dropped, moved over or released.
// Any thread; one lock object belongs to one thread at a time.
//
// A lock belongs to the open file, not to its name: a file renamed over a
// locked one comes with its own lock (or none), and the replaced file's
// lock goes with it. So a writer that must keep a file locked across a
// replace locks the new file before the rename and drops the old lock
// after it.
#pragma once

#include <utility>

#include "platform/file_stamp.h"

enum PLATFORM_LOCKRESULT {
  PLATFORM_LOCK_TAKEN,   // the lock is held now
  PLATFORM_LOCK_BUSY,    // another open file holds it: another process
  PLATFORM_LOCK_NONE,    // no regular file there (or it cannot be opened)
  PLATFORM_LOCK_FAILED,  // a regular file, but the system took no lock (ENOLCK on a file
                         // system that keeps none, ...): nothing tells who else uses it
};

// An exclusive advisory lock (flock) held through one open descriptor.
// Other holders of a lock on the same file, in this process too, are
// refused; programs that never ask for the lock are not held back. Only
// one object holds a given lock: it moves, it is never copied.
class PLATFORM_LOCK {
 public:
  PLATFORM_LOCK() = default;
  ~PLATFORM_LOCK() { Release(); }
  PLATFORM_LOCK(PLATFORM_LOCK&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  PLATFORM_LOCK& operator=(PLATFORM_LOCK&& other) noexcept {
    if (this != &other) {
      Release();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  PLATFORM_LOCK(const PLATFORM_LOCK&) = delete;
  PLATFORM_LOCK& operator=(const PLATFORM_LOCK&) = delete;

  [[nodiscard]] bool Held() const { return fd_ >= 0; }
  // Drops the lock now (nothing when none is held).
  void Release();

 private:
  friend PLATFORM_LOCKRESULT PLATFORM_Lock(const char*, PLATFORM_LOCK*, int*);
  friend void PLATFORM_StampLocked(const PLATFORM_LOCK&, PLATFORM_FILESTAMP*);
  int fd_ = -1;  // -1 while nothing is held
};

// Takes the lock of the regular file at `path` (links followed) without
// waiting. Only TAKEN fills `out_lock`; FAILED puts the system's error
// number into `out_error` (when given).
// REQUIRES: `out_lock` holds nothing.
[[nodiscard]] PLATFORM_LOCKRESULT PLATFORM_Lock(const char* path, PLATFORM_LOCK* out_lock,
                                                int* out_error = nullptr);

// Drops the lock before its owner ends (nothing when none is held).
inline void PLATFORM_Unlock(PLATFORM_LOCK* lock) { lock->Release(); }

// The stamp of the locked file, wherever its name is now.
void PLATFORM_StampLocked(const PLATFORM_LOCK& lock, PLATFORM_FILESTAMP* out);
