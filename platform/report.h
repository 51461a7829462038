// report.h: DBreport, the reporter for every engine and client diagnostic
// that is not a reply. It sits below both sides so that the engine never
// includes client code to report.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// Writes the formatted text to standard error, unchanged (the caller puts
// the newline in where the message has one).
[[gnu::format(printf, 1, 2)]] void DBreport(const char* format, ...);

// The formatted text as a string (printf's rules).
[[gnu::format(printf, 1, 2)]] std::string PLATFORM_Format(const char* format, ...);
std::string PLATFORM_VFormat(const char* format, va_list args);

// Output held back (PLATFORM_HELD). While a hold is in force, what
// DBreport and the console (PLATFORM_VPrint) write goes into it, each
// piece with its stream, to be written later in the same order: a caller
// that finishes things out of order keeps each one's messages with the
// lines that belong to it.
struct PLATFORM_HELD {
  std::vector<std::pair<FILE*, std::string>> pieces;
};

// Puts `held` in force; null ends the hold (the pieces stay in it). The
// process's end (PLATFORM_Exit) writes the hold in force first.
void PLATFORM_Hold(PLATFORM_HELD* held);

// Writes the formatted text to `stream`, or into the hold in force.
void PLATFORM_VPrint(FILE* stream, const char* format, va_list args);

// Writes the pieces to their streams, each flushed, and empties `held`.
void PLATFORM_WriteHeld(PLATFORM_HELD* held);

// Ends the hold in force, if any, writing its pieces.
void PLATFORM_ReleaseHold();
