// directory_commands.h: the commands "cd" and "ls" of the main prompt
// (DIRCMD). They work on APP_State().current_dir, a prefix for file names;
// the process working directory is never changed.
#pragma once

// What "ls" and the choice of a directory for a new container print for a
// directory without files.
inline constexpr char DIRCMD_NOFILES[] = "no files in directory '%s'!\n";

// Asks for a directory (default: the current one) until the answer names
// an existing directory, which becomes the current directory. "q", or the
// end of input, leaves it unchanged.
void DIRCMD_ChangeDirectory();

// Prints the regular files of the current directory, sorted, each as
// "[%s]\t", then a newline; or a message when there is none.
void DIRCMD_ListDirectory();
