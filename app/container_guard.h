// container_guard.h: what keeps a save from writing over data it should
// not (GUARD): the lock of the current container file, its look when it
// was read or saved, and a load that failed. Owns no state of its own;
// it keeps the lock, stamp and unread mark of the application state.
//
// A session holds the container's lock while the container is current, so
// a second session on the same file can read it but not save over it. A
// save asks before it writes over a file that could not be read whole, or
// one that changed on disk since this session read or saved it. Each
// question's default is no, and "no" leaves the changes unsaved.
#pragma once

#include <string>

#include "platform/locks.h"

// Makes `path` the current container: drops the lock of the previous one,
// takes this file's lock (saying so when another session holds it), notes
// how the file looks and forgets any failed load.
void GUARD_Enter(const std::string& path);

// The load of the current container failed: saves will ask first. Says
// how many items were read.
void GUARD_LoadFailed();

// Whether the current container may be saved now: its lock is held or
// taken now, and the user allowed writing over a file that could not be
// read or that changed on disk. Prints or asks why not.
[[nodiscard]] bool GUARD_MaySave();

// After a successful save: `fresh` (taken over) is the new file's lock,
// whose look is noted; a failed load no longer counts.
void GUARD_Saved(PLATFORM_LOCK* fresh);
