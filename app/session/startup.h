// startup.h: the start of the console program, from the command line to
// the end of the command loop (APP).
#pragma once

#include <string>

// Scans the arguments after the program name. "--help", "-?" and "-h" ask
// for the usage line, as does a second file argument. Returns 0 when the
// usage line is due; otherwise 1 with the file argument (empty if none)
// in `out_path`, unchanged.
[[nodiscard]] int APP_ScanArgs(int argc, const char* const* argv, std::string* out_path);

// Sets the current directory from KASPO_PATH: its value when it names an
// existing directory, else "." (with a warning when it is set but names
// none).
void APP_ChooseDirectory();

// The whole program: banner, arguments, directory, database, the named
// container, menu and command loop, and the save at quit. Returns the
// exit status main asks for when the loop ended; a usage request and fatal
// errors end the process before that.
[[nodiscard]] int APP_Main(int argc, const char* const* argv);
