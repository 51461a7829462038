// newfile.h: a file replaced as a whole (PLATFORM_NEWFILE).
// Owns one temporary file per PLATFORM_NEWFILE between Open and
// Commit or Discard; the final path belongs to the caller.
//
// The new content goes to a temporary file beside the final path, named
// "<path>.<process id>-<n>.tmp", and is renamed over the final path once
// complete: a reader sees the old file or the new one, never part of one.
// The temporary name is created exclusively, so two processes writing the
// same file never share one, and a name already taken (a file left by an
// earlier run, or a symbolic link put there) is passed over, never opened.
// Nothing is written through a link: a link at the final path is replaced
// by the new file, and whatever it pointed at stays as it was.
#pragma once

#include <cstddef>
#include <string>

#include "platform/files.h"

struct PLATFORM_NEWFILE {
  std::string path;       // final name
  std::string temp;       // name while being written; empty while none is open
  PLATFORM_FILEPTR file;  // open on `temp` between Open and Commit/Discard

  PLATFORM_NEWFILE() = default;
  PLATFORM_NEWFILE(const PLATFORM_NEWFILE&) = delete;
  PLATFORM_NEWFILE& operator=(const PLATFORM_NEWFILE&) = delete;
  ~PLATFORM_NEWFILE();  // discards a file that was not committed
};

// Creates the temporary file for `path` and opens it for writing. It gets
// the permission bits of the file it replaces, when there is one. Fails
// when the directory cannot take a new file.
[[nodiscard]] int PLATFORM_NewFileOpen(PLATFORM_NEWFILE* out, const std::string& path);

// Appends `size` bytes. Fails when they could not all be written, or when
// no file is open.
[[nodiscard]] int PLATFORM_NewFileWrite(PLATFORM_NEWFILE* file, const void* bytes,
                                        std::size_t size);

// Closes the temporary file and renames it over the final path. Fails
// (removing the temporary file, leaving the final path as it was) when the
// close or the rename fails.
[[nodiscard]] int PLATFORM_NewFileCommit(PLATFORM_NEWFILE* file);

// Closes and removes the temporary file; the final path stays as it was.
void PLATFORM_NewFileDiscard(PLATFORM_NEWFILE* file);

// Writes `size` bytes as the whole new content of `path` (Open, Write,
// Commit). On failure the old file is as it was and no temporary is left.
[[nodiscard]] int PLATFORM_NewFileReplace(const std::string& path, const void* bytes,
                                          std::size_t size);
