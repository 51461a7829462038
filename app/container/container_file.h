// container_file.h: the one owner of the open container file
// (CONTAINERFILE): its path, its lock, how it looked when this session
// read or saved it, and whether it could be read whole. It keeps a save
// from writing over data it should not. Main thread only.
//
// A session holds the container's lock while the container is current, so
// a second session on the same file can read it but not save over it. A
// save asks before it writes over a file that could not be read whole, or
// one that changed on disk since this session read or saved it. Each
// question's default is no, and "no" leaves the changes unsaved. Where the
// system keeps no locks, the user is told so once and the questions are
// the only guard. A path that names a directory, a pipe, a device (or a
// link to one) is never read or written as a container.
#pragma once

#include <string>

#include "platform/file_stamp.h"
#include "platform/locks.h"

// What a container path names, links followed.
enum CFILEPATH {
  CFILE_PATH_FILE,     // a regular file
  CFILE_PATH_NONE,     // nothing (a dangling link too): the first save makes the file
  CFILE_PATH_REFUSED,  // anything else; the warning naming the path was printed
};
[[nodiscard]] CFILEPATH CFILE_CheckPath(const std::string& path);

// How a save may write the container's file.
enum CFILESAVE {
  CFILE_SAVE_REFUSED,  // not at all (the reason was printed, or the user said no)
  CFILE_SAVE_CREATE,   // there is no file: make one, but replace none that appears meanwhile
  CFILE_SAVE_REPLACE,  // write over the file there
};

class CONTAINERFILE {
 public:
  CONTAINERFILE() = default;
  // One owner: its lock moves with it, and is let go when it ends.
  CONTAINERFILE(CONTAINERFILE&&) = default;
  CONTAINERFILE& operator=(CONTAINERFILE&&) = default;
  CONTAINERFILE(const CONTAINERFILE&) = delete;
  CONTAINERFILE& operator=(const CONTAINERFILE&) = delete;

  // The path; empty while none is named, opened or created.
  [[nodiscard]] const std::string& Path() const { return path_; }
  [[nodiscard]] bool Named() const { return !path_.empty(); }

  // Names the container before it can be entered (the command line's,
  // before the engine runs); an empty path names none. Drops any lock.
  void Name(const std::string& path);

  // Makes `path` the current container: drops the lock of the previous
  // one, takes this file's lock (printing a notice when another session
  // holds it, or when the system takes no lock), notes how the file looks
  // and forgets any failed load.
  void Enter(const std::string& path);

  // The load failed: saves will ask first. Says how many items were read.
  void LoadFailed();

  // Whether and how the container may be saved now: it is a regular file
  // or none, its lock is held or taken now (or the system keeps none), and
  // the user allowed writing over a file that could not be read or that
  // changed on disk. Prints or asks why not. A save that finds a file
  // appeared where CFILE_SAVE_CREATE found none asks this again.
  [[nodiscard]] CFILESAVE MaySave();

  // After a successful save: `fresh` is the new file's lock, whose look is
  // noted; a failed load no longer counts.
  void Saved(PLATFORM_LOCK fresh);

  // How the file the path names looks now (nothing there while none is
  // named): what else writes files must not replace that one.
  void StampNow(PLATFORM_FILESTAMP* out) const;

 private:
  PLATFORM_LOCKRESULT TakeLock();

  std::string path_;
  // Held while this is the current container (when no other session
  // holds it; a session without it saves nothing there).
  PLATFORM_LOCK lock_;
  // The file as this session last read or wrote it; a save that finds
  // another asks first.
  PLATFORM_FILESTAMP stamp_;
  // Its load failed: the session may lack part of it, so a save asks
  // before it writes over it.
  bool unread_ = false;
  // The system took no lock on it (a file system that keeps none), and
  // the user was told so: once per container, not at every save.
  bool lock_warned_ = false;
};
