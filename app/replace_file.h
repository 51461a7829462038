// replace_file.h: writing a file so that its old content survives any
// failure (REPLACEFILE). Owns one temporary file at a time per REPLACEFILE.
//
// The new content goes to a temporary file beside the target (same
// directory, so the final rename cannot cross file systems). Commit
// flushes it to the disk and renames it over the target; until then the
// old file is untouched, and a failed or abandoned write removes the
// temporary file again.
#pragma once

#include <cstdio>
#include <string>

struct REPLACEFILE {
  std::string target;
  std::string temp;      // empty while none is open
  FILE* file = nullptr;  // open on `temp` between Open and Commit/Abandon

  REPLACEFILE() = default;
  REPLACEFILE(const REPLACEFILE&) = delete;
  REPLACEFILE& operator=(const REPLACEFILE&) = delete;
  ~REPLACEFILE();  // abandons a write that was not committed
};

// Creates the temporary file for `target` and opens it for writing. It
// gets the permissions of the old file when there is one.
[[nodiscard]] int REPLACEFILE_Open(REPLACEFILE* rf, const std::string& target);

// Flushes and syncs the temporary file and renames it over the target.
// On failure the temporary file is removed and the target is unchanged.
[[nodiscard]] int REPLACEFILE_Commit(REPLACEFILE* rf);

// Closes and removes the temporary file; the target is unchanged.
void REPLACEFILE_Abandon(REPLACEFILE* rf);
