// report.h: DBreport, the reporter for every engine and client diagnostic
// that is not a reply, and the output buffers that keep printed text back
// (PLATFORM_OUTPUTBUFFER). It sits below both sides so that the engine
// never includes client code to report. Any thread: an output buffer is
// its thread's own and buffers only what that thread prints.
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

// Output buffered instead of printed: each write with its stream, in
// the order written.
struct PLATFORM_BUFFERED {
  std::vector<std::pair<FILE*, std::string>> pieces;
};

// An output buffer in force from its making until End (or its scope
// ends): what DBreport and the console (PLATFORM_VPrint) print in this
// thread is buffered in it, to be written later in the same order. A
// caller that finishes things out of order keeps each one's messages with
// the lines that belong to them. Buffers nest; the newest is in force. A
// buffer owns what it buffered, so nothing is ever printed into a buffer
// that is gone.
class PLATFORM_OUTPUTBUFFER {
 public:
  PLATFORM_OUTPUTBUFFER();
  // A buffer still in force writes what it buffered, so that nothing is
  // lost on an early way out.
  ~PLATFORM_OUTPUTBUFFER();
  PLATFORM_OUTPUTBUFFER(const PLATFORM_OUTPUTBUFFER&) = delete;
  PLATFORM_OUTPUTBUFFER& operator=(const PLATFORM_OUTPUTBUFFER&) = delete;

  // Ends the buffering and hands over what was buffered, for the caller
  // to write (PLATFORM_WriteBuffered), sift or drop. The buffer before it
  // is in force again. REQUIRES: this is the newest buffer of its thread.
  [[nodiscard]] PLATFORM_BUFFERED End();

 private:
  friend void PLATFORM_VPrint(FILE* stream, const char* format, va_list args);
  friend void PLATFORM_FlushOutputBuffers();
  PLATFORM_BUFFERED buffered_;
  PLATFORM_OUTPUTBUFFER* outer_;  // the buffer in force before this one
  bool in_force_ = true;
};

// Writes the formatted text to `stream`, or into this thread's buffer.
void PLATFORM_VPrint(FILE* stream, const char* format, va_list args);

// Writes the pieces to their streams, each flushed, and empties `buffered`.
void PLATFORM_WriteBuffered(PLATFORM_BUFFERED* buffered);

// Ends every output buffer in force in this thread, writing what each
// buffered, the oldest first. The process's end (PLATFORM_Exit) calls it,
// as it leaves the buffers' scopes without ending them.
void PLATFORM_FlushOutputBuffers();
