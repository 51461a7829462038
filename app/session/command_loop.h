// command_loop.h: the main prompt and the dispatch of its commands (LOOP).
#pragma once

// How the loop ended.
enum LOOP_END {
  LOOP_QUIT,          // the command "q": a changed container is saved
  LOOP_END_OF_INPUT,  // standard input ended: the program ends unsaved
};

// Prints the menu of commands.
void LOOP_PrintMenu();

// Runs the main prompt "[%s] > " until "q" or the end of input. A line is
// read with the command set; trailing blanks are dropped and the rest must
// be one command exactly (a leading blank makes it unknown). Commands that
// work on items ask for an open container first.
[[nodiscard]] LOOP_END LOOP_Run();
