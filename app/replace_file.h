// replace_file.h: writing a file so that its old content survives any
// failure (REPLACEFILE). Owns one temporary file at a time per REPLACEFILE,
// and its lock.
//
// The new content goes to a temporary file beside the target (same
// directory, so the final rename cannot cross file systems), named
// "<target>.<process id>-<n>.tmp". Commit flushes it to the disk and
// renames it over the target; until then the old file is untouched, and a
// failed or abandoned write removes the temporary file again.
//
// The temporary file is locked (platform/locks.h) from its creation on:
// one that is unlocked and whose process has ended is what a killed write
// left behind. The lock goes with the file through the rename, so an
// owner of the target can hold its lock without a gap.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "platform/locks.h"

struct REPLACEFILE {
  std::string target;
  std::string temp;      // empty while none is open
  FILE* file = nullptr;  // open on `temp` between Open and Commit/Abandon
  PLATFORM_LOCK lock;    // on the temporary file, then on the committed target

  REPLACEFILE() = default;
  REPLACEFILE(const REPLACEFILE&) = delete;
  REPLACEFILE& operator=(const REPLACEFILE&) = delete;
  ~REPLACEFILE();  // abandons a write that was not committed; drops the lock
};

// Creates the temporary file for `target` and opens it for writing. It
// gets the permissions of the old file when there is one.
[[nodiscard]] int REPLACEFILE_Open(REPLACEFILE* rf, const std::string& target);

// Flushes and syncs the temporary file and renames it over the target.
// On failure the temporary file is removed and the target is unchanged.
[[nodiscard]] int REPLACEFILE_Commit(REPLACEFILE* rf);

// Closes and removes the temporary file and drops the lock; the target is
// unchanged.
void REPLACEFILE_Abandon(REPLACEFILE* rf);

// After a successful commit: hands the lock of the new target to `out`
// (which must hold nothing); it stays held from before the rename on.
void REPLACEFILE_TakeLock(REPLACEFILE* rf, PLATFORM_LOCK* out);

// Removes the temporary files of `target` that writes of ended processes
// left behind: names of this module's pattern only, not locked, and of a
// process id that no longer runs. `out_removed` gets their paths.
void REPLACEFILE_RemoveStale(const std::string& target, std::vector<std::string>* out_removed);
