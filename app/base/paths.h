// paths.h: how the program forms the paths of containers and items
// (PATHS). Owns nothing; pure text operations, no file access.
#pragma once

#include <string>

// Gives the last path component the container extension ".ksp": a name
// without a dot gets it appended, a name whose text after its last dot is
// not exactly "ksp" (case counts) has that part replaced. Dots in the
// directory part never count, so "dir.x/file" becomes "dir.x/file.ksp".
void PATHS_ForceExtension(std::string* path);

// Joins a directory and a file name with one separator: "%s%s" when the
// directory already ends with it, else "%s/%s"; an empty directory gives
// the name alone.
[[nodiscard]] std::string PATHS_Join(const std::string& dir, const std::string& name);
