// container.h: container files (CONTAINER): loading and saving the
// items of the application tables, and the commands new, open and save of
// the main prompt.
#pragma once

#include <string>

// Reads the container file at `path` into the application tables,
// replacing their rows. Returns 0 when the file could not be read whole.
[[nodiscard]] int CONTAINER_Load(const std::string& path);

void CONTAINER_Save();  // "s": write the open container; clears `changed` on success
void CONTAINER_Open();  // "o": choose and load a container file
void CONTAINER_New();   // "n": start a new, empty container
