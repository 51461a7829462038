// files.h: files and directories as the program sees them (PLATFORM).
// Owns nothing: every call works on paths and leaves no handle open.
// Paths use the native separator PLATFORM_SEPARATOR; a relative path is
// taken from the process working directory, which nothing changes.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

inline constexpr char PLATFORM_SEPARATOR = '/';  // between path components

// What a path names. Links are followed, so a link to a regular file is a
// regular file and a dangling link is missing.
enum PLATFORM_FILEKIND {
  PLATFORM_MISSING,    // nothing there, or it cannot be looked at
  PLATFORM_REGULAR,    // a regular file
  PLATFORM_DIRECTORY,  // a directory
  PLATFORM_OTHER,      // a device, pipe or socket
};

[[nodiscard]] PLATFORM_FILEKIND PLATFORM_FileKind(const char* path);
[[nodiscard]] bool PLATFORM_Exists(const char* path);
[[nodiscard]] bool PLATFORM_IsRegularFile(const char* path);
[[nodiscard]] bool PLATFORM_IsDirectory(const char* path);

// The names (without directory) of the regular files in `dir`, sorted
// ascending byte by byte. Subdirectories and other kinds are left out.
// Returns 0 when the directory cannot be read; `out_names` is then empty.
[[nodiscard]] int PLATFORM_ListRegularFiles(const char* dir, std::vector<std::string>* out_names);

// Reads the whole file into `out_bytes`. An empty file succeeds with no
// bytes. Returns 0 when the path cannot be opened or read (a directory too).
[[nodiscard]] int PLATFORM_ReadFile(const char* path, std::vector<unsigned char>* out_bytes);

// Creates or truncates the file and writes `size` bytes. On failure the
// file may be left partly written.
[[nodiscard]] int PLATFORM_WriteFile(const char* path, const void* data, std::size_t size);

// Creates one directory (its parent must exist). Fails if anything exists
// under that name already.
[[nodiscard]] int PLATFORM_MakeDirectory(const char* path);

// Removes an empty directory.
[[nodiscard]] int PLATFORM_RemoveDirectory(const char* path);

// Removes a file (not a directory).
[[nodiscard]] int PLATFORM_RemoveFile(const char* path);
