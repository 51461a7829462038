// report.h: DBreport, the reporter for every engine and client diagnostic
// that is not a reply, and the holds that keep output back (PLATFORM_HOLD).
// It sits below both sides so that the engine never includes client code
// to report. Any thread: a hold is its thread's own and keeps back only
// what that thread writes.
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

// Output kept back: each piece with its stream, in the order written.
struct PLATFORM_HELD {
  std::vector<std::pair<FILE*, std::string>> pieces;
};

// A hold in force from its making until End (or its scope ends): what
// DBreport and the console (PLATFORM_VPrint) write in this thread goes
// into it, to be written later in the same order. A caller that finishes
// things out of order keeps each one's messages with the lines that belong
// to it. Holds nest; the newest is in force. The hold owns what it keeps,
// so nothing can be written into a hold that is gone.
class PLATFORM_HOLD {
 public:
  PLATFORM_HOLD();
  // A hold still in force writes what it kept, so that nothing is lost on
  // an early way out.
  ~PLATFORM_HOLD();
  PLATFORM_HOLD(const PLATFORM_HOLD&) = delete;
  PLATFORM_HOLD& operator=(const PLATFORM_HOLD&) = delete;

  // Ends the hold and hands over what it kept, for the caller to write
  // (PLATFORM_WriteHeld), sift or drop. The hold before it is in force
  // again. REQUIRES: this is the newest hold of its thread.
  [[nodiscard]] PLATFORM_HELD End();

 private:
  friend void PLATFORM_VPrint(FILE* stream, const char* format, va_list args);
  friend void PLATFORM_ReleaseHold();
  PLATFORM_HELD held_;
  PLATFORM_HOLD* outer_;  // the hold in force before this one
  bool in_force_ = true;
};

// Writes the formatted text to `stream`, or into this thread's hold.
void PLATFORM_VPrint(FILE* stream, const char* format, va_list args);

// Writes the pieces to their streams, each flushed, and empties `held`.
void PLATFORM_WriteHeld(PLATFORM_HELD* held);

// Ends every hold in force in this thread, writing what each kept, the
// oldest first. The process's end (PLATFORM_Exit) calls it, as it leaves
// the holds' scopes without ending them.
void PLATFORM_ReleaseHold();
