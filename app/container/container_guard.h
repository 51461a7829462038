// container_guard.h: what keeps a save from writing over data it should
// not (GUARD): the lock of the current container file, its look when it
// was read or saved, a load that failed, and paths that name no file.
// Owns no state of its own; it keeps the lock, stamp and unread mark of
// the application state.
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

#include "platform/locks.h"

// What a container path names, links followed.
enum GUARDPATH {
  GUARD_PATH_FILE,     // a regular file
  GUARD_PATH_NONE,     // nothing (a dangling link too): the first save makes the file
  GUARD_PATH_REFUSED,  // anything else; the warning naming the path was printed
};
[[nodiscard]] GUARDPATH GUARD_CheckPath(const std::string& path);

// Makes `path` the current container: drops the lock of the previous one,
// takes this file's lock (printing a notice when another session holds
// it, or when the system takes no lock), notes how the file looks and forgets
// any failed load.
void GUARD_Enter(const std::string& path);

// The load of the current container failed: saves will ask first. Says
// how many items were read.
void GUARD_LoadFailed();

// How a save may write the current container's file.
enum GUARDSAVE {
  GUARD_REFUSED,  // not at all (the reason was printed, or the user said no)
  GUARD_CREATE,   // there is no file: make one, but replace none that appears meanwhile
  GUARD_REPLACE,  // write over the file there
};

// Whether and how the current container may be saved now: it is a
// regular file or none, its lock is held or taken now (or the system
// keeps none), and the user allowed writing over a file that could not be
// read or that changed on disk. Prints or asks why not. A save that finds
// a file appeared where GUARD_CREATE found none asks this again.
[[nodiscard]] GUARDSAVE GUARD_MaySave();

// After a successful save: `fresh` (taken over) is the new file's lock,
// whose look is noted; a failed load no longer counts.
void GUARD_Saved(PLATFORM_LOCK* fresh);
