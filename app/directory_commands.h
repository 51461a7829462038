// directory_commands.h: the commands "cd" and "ls" of the main prompt
// (DIRCMD). They work on APP_State().current_dir, a prefix for file names;
// the process working directory is never changed.
#pragma once

// Asks for a directory (default: the current one) until the answer names
// an existing directory, which becomes the current directory. "q", or the
// end of input, leaves it unchanged.
void DIRCMD_ChangeDirectory();

// Prints the regular files of the current directory, sorted, each as
// "[%s]\t", then a newline; or a message when there is none.
void DIRCMD_ListDirectory();
