// files.h: files and directories as the program sees them (PLATFORM).
// Owns nothing: the whole-file calls work on paths and leave no handle
// open; a stream opened here belongs to the caller until PLATFORM_Close.
// Paths use the native separator PLATFORM_SEPARATOR; a relative path is
// taken from the process working directory, which nothing changes.
// Any thread: the export writer (platform/newfile_queue.h) writes its
// files through these calls beside the main thread; a stream is used by
// one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
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

// Whether `path` itself is a symbolic link, dangling or not: unlike the
// questions above, this one does not follow it.
[[nodiscard]] bool PLATFORM_IsSymbolicLink(const char* path);

// What `path` itself names, in one look that does not follow a link:
// *out_is_link tells a symbolic link (its kind is then PLATFORM_OTHER).
[[nodiscard]] PLATFORM_FILEKIND PLATFORM_OwnKind(const char* path, bool* out_is_link);

// Where a chain of symbolic links starting at `path` ends: `path` itself
// when it is no link. The end need not exist (a dangling link leads to
// where its file would be). Returns 0 for a chain too long to follow
// (PLATFORM_MAXLINKS, a loop).
inline constexpr int PLATFORM_MAXLINKS = 40;  // links followed, as the system does
[[nodiscard]] int PLATFORM_FinalPath(const std::string& path, std::string* out);

// The names (without directory) of the regular files in `dir`, sorted
// ascending byte by byte. Subdirectories and other kinds are left out.
// Returns 0 when the directory cannot be read; `out_names` is then empty.
// With a `prefix`, only names that begin with it are looked at: a
// directory of many files costs no look at each of them.
[[nodiscard]] int PLATFORM_ListRegularFiles(const char* dir, std::vector<std::string>* out_names,
                                            std::string_view prefix = {});

// The names (without directory) of every entry of `dir` but "." and ".."
// (with a `prefix`, those that begin with it), sorted ascending byte by
// byte, whatever their kind. 0 when the directory cannot be read.
[[nodiscard]] int PLATFORM_ListEntries(const char* dir, std::vector<std::string>* out_names,
                                       std::string_view prefix = {});

// Every open, read, write, flush and rename below can be made to fail by
// the test seam of platform/fault.h, so tests can show what a failing disk
// does to their caller.

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

// Streams, for files read or written piece by piece. Binary throughout.

// Opens an existing file for reading. Null when it cannot be opened.
[[nodiscard]] FILE* PLATFORM_OpenRead(const char* path);

// Creates or truncates a file for writing. Null on failure.
[[nodiscard]] FILE* PLATFORM_OpenWrite(const char* path);

// Creates a file for writing that must not exist yet (errno EEXIST when it
// does), readable and writable by its owner only (mode 0600, whatever the
// umask): what is written into it stays private until its owner gives it
// other permission bits.
[[nodiscard]] FILE* PLATFORM_OpenNew(const char* path);

// Gives `path` the permission bits of the file `like` (when `like` is a
// regular file; else leaves them). 0 when they could not be set.
[[nodiscard]] int PLATFORM_TakeModeOf(const char* path, const char* like);

// Reads up to `size` bytes. Returns 1 with *out_got bytes read (fewer than
// `size` only at the end of the file) or 0 on a read error.
[[nodiscard]] int PLATFORM_Read(FILE* file, void* buffer, std::size_t size, std::size_t* out_got);

// Writes all `size` bytes. Returns 0 when they could not all be written.
// A failure does not always mark the stream: check every call.
[[nodiscard]] int PLATFORM_Write(FILE* file, const void* data, std::size_t size);

// Hands the stream's buffered bytes to the system and waits until they are
// on the disk. Returns 0 on failure; the file's content is then unknown.
[[nodiscard]] int PLATFORM_Flush(FILE* file);

// Closes the stream (also after a failure). Returns 0 when the system
// reported an error, which can be the first sign of a failed write.
[[nodiscard]] int PLATFORM_Close(FILE* file);

// Makes the directory's entries (a file just created or renamed in it)
// last across a crash. Returns 0 on failure.
[[nodiscard]] int PLATFORM_SyncDirectory(const char* dir);

// Renames `from` to `to`, replacing `to` in one step: a reader sees the
// old file or the new one, never a mix. Both must be on one file system.
[[nodiscard]] int PLATFORM_Rename(const char* from, const char* to);

// Renames `from` to `to` only while nothing has that name: fails with
// errno EEXIST when anything is there (a file, a link, a pipe), even one
// that appears at the same moment. Where the file system cannot rename
// without replacing, a hard link is made instead and `from` removed.
[[nodiscard]] int PLATFORM_RenameNew(const char* from, const char* to);

// Closes a stream when it goes out of scope; for owners that may end early.
struct PLATFORM_FILECLOSER {
  void operator()(FILE* file) const { (void)PLATFORM_Close(file); }
};
using PLATFORM_FILEPTR = std::unique_ptr<FILE, PLATFORM_FILECLOSER>;

// What an opened source file is: its length, permission bits and
// modification time (seconds since 1970), as they were when it was opened.
struct PLATFORM_SOURCEFACTS {
  int64_t size = 0;
  int mode = 0;
  int64_t mtime = 0;
};

// Why a source file was not opened.
enum PLATFORM_SOURCEOPEN {
  PLATFORM_SOURCE_OPENED,
  PLATFORM_SOURCE_FAILED,       // missing, unreadable
  PLATFORM_SOURCE_NOT_REGULAR,  // a link, FIFO, device, socket or directory
};

// Opens a regular file for reading its content whole, without following
// a link at the path and without blocking on a FIFO or a device (such a
// file is not opened at all). *out_facts describes the file as opened.
// The stream is unbuffered: read it in large pieces.
[[nodiscard]] PLATFORM_SOURCEOPEN PLATFORM_OpenSource(const char* path, PLATFORM_FILEPTR* out_file,
                                                      PLATFORM_SOURCEFACTS* out_facts);

// Makes the directories of `relative` ("a/b/c", "/" between them) below
// the directory `base`, each as the user's umask allows, and makes sure
// none of them is a symbolic link: each is descended into by its own
// handle, never followed through a link. 0 when one of them is a link or
// no directory, or cannot be made.
[[nodiscard]] int PLATFORM_MakeDirectoriesBelow(const std::string& base,
                                                const std::string& relative);
