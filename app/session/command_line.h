// command_line.h: Kaspo from the command line and from scripts (CLI): one
// command per run (list, extract, print, add, delete, test), exit
// statuses that mean something, no dialogue. Owns nothing beyond one run;
// the container is loaded and saved by the dialogue's own rules.
//
//   kaspo -l|--list    <kaspofile> [-v] [NAME...]
//   kaspo -x|--extract <kaspofile> [-C DIR] [--overwrite] [NAME...]
//   kaspo -p|--print   <kaspofile> NAME
//   kaspo -a|--add     <kaspofile> [-z] [-m TEXT] PATH...
//   kaspo -d|--delete  <kaspofile> NAME...
//   kaspo -t|--test    <kaspofile> [NAME...]
//   kaspo --version
//   (-q with any of them prints nothing but errors)
//
// A NAME is an exact item name, or a pattern (FPATTERN_Glob) when it holds
// "*", "?" or "[". Results go to standard output, one line each; every
// problem to standard error, naming the item or file. Questions a save
// would ask (a container that could not be read or changed on disk) are
// answered "no", and said so on standard error.
//
// Exit status: 0 when everything asked was done; 1 when something failed,
// was skipped or damaged (the rest still done); 2 for a usage error.
#pragma once

// Exit statuses of the command line.
inline constexpr int CLI_STATUS_OK = 0;
inline constexpr int CLI_STATUS_FAILED = 1;
inline constexpr int CLI_STATUS_USAGE = 2;

// Whether the arguments ask for the command line rather than the dialogue:
// the first one is an option other than the dialogue's help switches.
[[nodiscard]] bool CLI_Wanted(int argc, const char* const* argv);

// Runs the command the arguments give and returns the exit status. The
// help switches print the usage (CLI_PrintUsage) and give 1, as the
// dialogue's usage line does.
[[nodiscard]] int CLI_Run(int argc, const char* const* argv);

// "Usage: kaspo <kaspofile>" and a line per form of the command line.
void CLI_PrintUsage();
