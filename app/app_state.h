// app_state.h: the application state of the console program (APP).
// Owns the current directory, the container path and the changed flag:
// one instance for the whole process, reached through APP_State().
#pragma once

#include <string>

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
};

APPSTATE& APP_State();

// True once a container path is set (named, opened or created).
[[nodiscard]] bool APP_HasContainer();

// Back to the state at start-up. Only tests call this.
void APP_ResetForTest();
