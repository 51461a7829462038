// newfile.h: a file replaced as a whole (PLATFORM_NEWFILE).
// Owns one temporary file per PLATFORM_NEWFILE between Open and
// Commit or Discard, and that file's lock; the final path belongs to the
// caller. Any thread, one PLATFORM_NEWFILE in one thread at a time: the
// export writer (platform/newfile_queue.h) runs these calls in its own.
//
// The new content goes to a temporary file beside the final path (same
// directory, so the rename cannot cross file systems), named
// "<path>.<process id>-<n>.tmp", and is renamed over the final path once
// complete: a reader sees the old file or the new one, never part of one,
// and a failed or abandoned write removes the temporary file again.
// The temporary name is created exclusively, so two processes writing the
// same file never share one, and a name already taken (a file left by an
// earlier run, or a symbolic link put there) is passed over, never opened.
// Nothing is written through a link: a link at the final path is replaced
// by the new file, and whatever it pointed at stays as it was.
//
// The temporary file is made with mode 0600, so nobody else can open what
// is being written; the commit gives it its final permission bits (those
// of the file it replaces, or those of any new file under the umask), and
// on request the replaced file's owner and group, before the rename.
//
// The temporary file is locked (platform/locks.h) from its creation on:
// one that is unlocked and whose process has ended is what a killed write
// left behind. The lock goes with the file through the rename, so an
// owner of the final file can hold its lock without a gap.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/locks.h"

// What a new file gets back of the one it restores: permission bits and a
// modification time, set on the temporary file before it is renamed.
struct PLATFORM_FILEMETA {
  int mode = -1;  // permission bits (0777 at most are set); -1: leave them
  bool has_mtime = false;
  int64_t mtime = 0;  // seconds since 1970
};

struct PLATFORM_NEWFILE {
  std::string path;  // final name
  std::string temp;  // name while being written; empty while none is open
  // The write buffer of `file`: declared first, so that it outlives it.
  std::unique_ptr<char[]> buffer;
  PLATFORM_FILEPTR file;   // open on `temp` between Open and Commit/Discard
  PLATFORM_LOCK lock;      // on the temporary file, then on the committed file
  PLATFORM_FILEMETA meta;  // applied by the commit
  // What the commit gives the file before its rename: the permission
  // bits, and with `keep_owner` the owner and group of the file replaced.
  mode_t mode = 0;
  bool replaces = false;  // a regular file was at `path` at the open
  bool keep_owner = false;
  uid_t owner = 0;
  gid_t group = 0;
  // False after a commit that could not give the file `owner` and
  // `group` (the process may not): it then belongs to this process.
  bool owner_kept = true;

  PLATFORM_NEWFILE() = default;
  PLATFORM_NEWFILE(const PLATFORM_NEWFILE&) = delete;
  PLATFORM_NEWFILE& operator=(const PLATFORM_NEWFILE&) = delete;
  ~PLATFORM_NEWFILE();  // discards a file that was not committed; drops the lock
};

// How a commit treats the disk.
enum PLATFORM_DURABILITY {
  PLATFORM_CACHED,   // the system writes the file when it likes
  PLATFORM_DURABLE,  // the file and the rename are on the disk before Commit returns
};

// Whether the temporary file is locked. A file whose left-overs nothing
// looks for (see PLATFORM_NewFileRemoveStale) need not be: the lock costs
// an open of its own.
enum PLATFORM_NEWFILELOCK { PLATFORM_NEWFILE_LOCKED, PLATFORM_NEWFILE_UNLOCKED };

// Temporary names tried for one file before giving up: each holds the
// process id and a number below this, so only files left by an earlier
// process of the same id, or planted ones, take a name away.
inline constexpr int PLATFORM_NEWFILE_TRIES = 100;

// What the caller knows of the final path. A caller that has just seen
// nothing there spares the look for permission bits to pass on: writing
// thousands of new files, that look is a system call per file for nothing.
enum PLATFORM_NEWFILETARGET { PLATFORM_NEWFILE_ANY, PLATFORM_NEWFILE_ABSENT };

// Creates the temporary file for `path` (mode 0600) and opens it for
// writing. Notes the permission bits, owner and group of the file it
// replaces, when there is one (and the target is not given as absent),
// else the bits of any new file. Fails when the directory cannot take a
// new file.
[[nodiscard]] int PLATFORM_NewFileOpen(PLATFORM_NEWFILE* out, const std::string& path,
                                       PLATFORM_NEWFILELOCK lock = PLATFORM_NEWFILE_LOCKED,
                                       PLATFORM_NEWFILETARGET target = PLATFORM_NEWFILE_ANY);

// Appends `size` bytes. Fails when they could not all be written, or when
// no file is open.
[[nodiscard]] int PLATFORM_NewFileWrite(PLATFORM_NEWFILE* file, const void* bytes,
                                        std::size_t size);

// Empties the temporary file: what was written to it so far is dropped.
// Fails when no file is open or it cannot be emptied.
[[nodiscard]] int PLATFORM_NewFileRestart(PLATFORM_NEWFILE* file);

// After a successful open: the commit also gives the file the owner and
// group of the file it replaces (when there is one and the process may
// set them; `owner_kept` tells afterwards).
void PLATFORM_NewFileKeepOwner(PLATFORM_NEWFILE* file);

// What a commit does to whatever has the final name meanwhile.
enum PLATFORM_NEWFILEPLACE {
  PLATFORM_NEWFILE_REPLACE,  // the rename replaces it
  PLATFORM_NEWFILE_CREATE,   // the name must be free: the commit fails rather than replace
};

// Gives the temporary file its final permission bits (and owner), then
// `file->meta` over them (setuid, setgid and sticky bits are never set),
// closes it and renames it to the final path. Fails (removing the temporary
// file, leaving the final path as it was) when that, the flush, the close
// or the rename fails; with PLATFORM_NEWFILE_CREATE also when something
// has the final name, which sets *out_taken. A durable commit that cannot
// sync the directory after the rename still succeeds: the new content is
// in place, only less certain to survive a crash.
[[nodiscard]] int PLATFORM_NewFileCommit(PLATFORM_NEWFILE* file, PLATFORM_DURABILITY durability,
                                         PLATFORM_NEWFILEPLACE place = PLATFORM_NEWFILE_REPLACE,
                                         bool* out_taken = nullptr);

// Closes and removes the temporary file and drops the lock; the final
// path stays as it was.
void PLATFORM_NewFileDiscard(PLATFORM_NEWFILE* file);

// Writes `size` bytes as the whole new content of `path` (Open, Write,
// Commit). On failure the old file is as it was and no temporary is left.
[[nodiscard]] int PLATFORM_NewFileReplace(const std::string& path, const void* bytes,
                                          std::size_t size, PLATFORM_DURABILITY durability);

// After a successful commit: hands the lock of the new file to `out`
// (which must hold nothing); it stays held from before the rename on.
void PLATFORM_NewFileTakeLock(PLATFORM_NEWFILE* file, PLATFORM_LOCK* out);

// Removes the temporary files of `path` that writes of ended processes
// left behind: names of this module's pattern only, as this module writes
// them (a process id and a number below PLATFORM_NEWFILE_TRIES, without
// leading zeros; the id one a process of this machine can have, below
// /proc/sys/kernel/pid_max), not locked, and of a process that no longer
// runs. `out_removed` gets their paths.
void PLATFORM_NewFileRemoveStale(const std::string& path, std::vector<std::string>* out_removed);

// The same for every file of `dir` (writes of any final path there, such
// as exports cut short): names "<name>.<process id>-<n>.tmp" only, not
// locked, of a process id that no longer runs. `out_removed` gets their
// names, without the directory.
void PLATFORM_NewFileRemoveStaleIn(const std::string& dir, std::vector<std::string>* out_removed);
