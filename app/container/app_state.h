// app_state.h: the application state of the console program (APP).
// Owns the current directory, the open container file and the changed
// flag: one instance for the whole process, reached through APP_State().
// The container commands, export and the rescue at the end are handed
// the container file; the command loop and the end of the process reach
// it here. Main thread only.
#pragma once

#include <string>

#include "app/container/container_file.h"

struct APPSTATE {
  // A prefix put in front of file names; the process working directory is
  // never changed. Shown in the main prompt.
  std::string current_dir = ".";
  // The open container file; none while none is named, opened or
  // created. Every item command needs it.
  CONTAINERFILE container;
  // Set by every command that changes the tables, cleared when the
  // container is saved or a new one is created; quit saves when it is set.
  bool changed = false;
};

APPSTATE& APP_State();

// True once a container path is set (named, opened or created).
[[nodiscard]] bool APP_HasContainer();

// Back to the state at start-up. Only tests call this.
void APP_ResetForTest();
