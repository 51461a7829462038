// leftovers.h: what a session leaves for later ones when it does not end
// as planned (LEFTOVER): the rescue file of its unsaved changes, and the
// temporary files of exports cut short. Owns no state; the changes are
// the tables', the container file (app/container/container_file.h) is
// handed in. Main thread only.
//
// A session that ends with unsaved changes (a signal, the end of input)
// writes them to a rescue file beside the container, never over it:
// "<stem>-rescue.ksp", or "<stem>-rescue-<n>.ksp" (n = 2, 3, ...) when that
// name is taken, where the container is "<stem>.ksp". It is an ordinary
// container, with the permission bits of the container file, and opens
// like one.
#pragma once

#include <string>

#include "app/base/limits.h"
#include "app/container/container_file.h"

// The rescue file name number `n` (1 for the first) of `container_path`.
[[nodiscard]] std::string LEFTOVER_RescuePath(const std::string& container_path, int n);

// When `changed` (the container has unsaved changes): writes them to the
// next free rescue name beside `container` and says where (or that they
// are lost) on standard error. Run once at the end of the process, after
// its threads were stopped (platform/process.h); asks nothing.
void LEFTOVER_RescueChanges(const CONTAINERFILE& container, bool changed);

// Names each rescue file of `container_path` on standard output, with how
// to open it.
void LEFTOVER_TellRescues(const std::string& container_path);
