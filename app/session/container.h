// container.h: container files (CONTAINER): loading and saving the items
// of the application tables as a container file, and the commands new,
// open and save of the main prompt. Owns nothing beyond one command: each
// is handed the open container file (app/container/container_file.h) and
// the changed flag it works on. The file format is drawn in
// app/container/table_file_io.h. Main thread only.
#pragma once

#include <string>

#include "app/container/container_file.h"

// Reads the container file at `path` into the application tables,
// replacing their rows. Returns 0 when the file could not be read whole.
[[nodiscard]] int CONTAINER_Load(const std::string& path);

// Makes `path` the current container of `file` (taking its lock) and
// reads it. A failed load prints "error reading kaspo-db '%s'!\n" and how
// many items were read; the session goes on with them, and saves ask
// before they write over the file. Returns whether it loaded whole.
[[nodiscard]] bool CONTAINER_Read(CONTAINERFILE* file, const std::string& path);

// "s": writes the open container and clears *changed. A save that is
// refused (another session holds the file, or the path leads to no
// regular file) or not allowed (the file could not be read, or changed on
// disk), or that fails, leaves the old file as it was and `changed` set.
// Where there was no file, the save makes one without replacing any that
// appeared meanwhile: that one is asked about as a file changed on disk.
void CONTAINER_Save(CONTAINERFILE* file, bool* changed);

// Saves the open container when it has changed. True when nothing
// unsaved is left; false when the save failed and the changes exist only
// in memory.
[[nodiscard]] bool CONTAINER_SaveIfChanged(CONTAINERFILE* file, bool* changed);

// "o" and "n": choose a container file to open, or the name of a new one.
// A changed container is saved first; when that fails, the command stops
// and the items stay, so that nothing unsaved is dropped. A name of a
// directory, pipe or device (or a link to one) is warned about and asked
// for again; one that became such meanwhile is not opened.
void CONTAINER_Open(CONTAINERFILE* file, bool* changed);
void CONTAINER_New(CONTAINERFILE* file, bool* changed);
