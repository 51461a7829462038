// app_state.h: the application state of the console program (APP).
// Owns the current directory, the container path, the changed flag and
// what the session knows of the container's file (its lock, how it looked
// when read or saved, whether it could be read): one instance for the
// whole process, reached through APP_State().
#pragma once

#include <string>

#include "platform/locks.h"

struct APPSTATE {
  // A prefix put in front of file names; the process working directory is
  // never changed. Shown in the main prompt.
  std::string current_dir = ".";
  // The open container file; empty while none is named, opened or
  // created. Every item command needs it.
  std::string container_path;
  // Set by every command that changes the tables, cleared when the
  // container is saved or a new one is created; quit saves when it is set.
  bool changed = false;
  // The container file's lock, held while it is the current one (when no
  // other session holds it; a session without it saves nothing there).
  PLATFORM_LOCK lock;
  // The file as this session last read or wrote it; a save that finds
  // another asks first.
  PLATFORM_FILESTAMP stamp;
  // Its load failed: the session may lack part of it, so a save asks
  // before it writes over it.
  bool unread = false;
  // The system took no lock on it (a file system that keeps none), and
  // the user was told so: once per container, not at every save.
  bool lock_warned = false;
};

APPSTATE& APP_State();

// True once a container path is set (named, opened or created).
[[nodiscard]] bool APP_HasContainer();

// Back to the state at start-up. Only tests call this.
void APP_ResetForTest();
