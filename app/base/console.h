// console.h: the line input of every dialogue, with its character
// whitelists, and the output streams the dialogues write to (CONSOLE).
// Owns the three console streams and what is known about the end of
// standard input; one instance for the process, reached through
// CONSOLE_Get().
#pragma once

#include "app/base/limits.h"

#include <cstdio>
#include <string>
#include <vector>

// Questions asked after standard input has ended before the process ends
// by itself. Every dialogue leaves at the end of input, so only a
// dialogue that ignored it would come this far; ending then keeps it from
// spinning forever.
inline constexpr int CONSOLE_ENDREADS = 100;

// Results of read_answer_line besides a length.
inline constexpr int READ_REJECTED = -1;  // a byte outside the set; line discarded
inline constexpr int READ_END = -2;       // standard input has ended

// The command line at the main prompt: the letters of the one-letter
// commands and a blank (enough to spell "cd" and "ls").
extern const char CONSOLE_COMMAND_SET[];
// Every other answer: file names, patterns, descriptions, directories, SQL.
// Byte for byte: "-+a-zA-Z/ _0-9", the Latin-1 letters E4 F6 FC C4 D6 DC
// DF, then "*@.(),;\'%=<>" (the backslash and the apostrophe both count).
extern const char CONSOLE_ANSWER_SET[];

// An end request (a signal, platform/signals.h) counts as the end of
// standard input: every dialogue is left as there, and the main loop
// ends the program, which keeps what is unsaved (app/leftovers.h).
// Standard input is read unbuffered, so that a wait for it can also wait
// for the request: no byte may sit in a buffer while the wait goes on.
struct CONSOLE {
  FILE* in = stdin;
  FILE* out = stdout;       // prompts, results and the answer-length messages
  FILE* err = stderr;       // error messages
  bool at_end = false;      // standard input has ended; it stays ended
  int reads_after_end = 0;  // questions asked since, bounded by CONSOLE_ENDREADS
  // Run from a script (the command line): no question is read; each is
  // printed on the error stream with the answer "n" it gets.
  bool script = false;
  int pushed_back = EOF;  // a byte read ahead and given back, EOF if none
};

CONSOLE& CONSOLE_Get();

// Points the console at other streams and forgets the end of input.
// Only tests call this.
void CONSOLE_ResetForTest(FILE* in, FILE* out, FILE* err);

// printf to the console's output resp. error stream.
[[gnu::format(printf, 1, 2)]] void CONSOLE_Print(const char* format, ...);
[[gnu::format(printf, 1, 2)]] void CONSOLE_Error(const char* format, ...);

// Whether `byte` is allowed by `set`: single bytes and ranges "x-y"
// (x itself, or above x and not above y); a leading "-" allows the
// hyphen. Each of the Latin-1 letters E4 C4 F6 D6 FC DC DF in the set also
// allows its console twin 84 8E 94 99 81 9A E1.
[[nodiscard]] bool char_in_set(const char* set, unsigned char byte);

// Reads one line (the newline is not kept) into `buffer`. Returns its
// length in bytes (0 for an empty line; CONSOLE_LINEMAX + 1 for any longer
// line, of which the first CONSOLE_LINEMAX bytes are kept), READ_REJECTED
// after printing "character '%c' is not valid!\n" for the first byte
// outside `set` and discarding the rest of the line, or READ_END when
// standard input has ended before any byte. A last line without a newline
// counts. Each of the seven Latin-1 letters of `set` is also taken in its
// UTF-8 form (C3, then the letter's byte less 0x40) and kept as those two
// bytes, so that what a UTF-8 terminal sends matches UTF-8 file names.
[[nodiscard]] int read_answer_line(const char* set, std::string* buffer);

// Asks with `prompt` ("# " if empty) for an answer of `min` to `max` bytes
// from the answer set, repeating the question for a length outside them.
// An empty or rejected line gives an empty answer when `min` is 0 and
// asks again otherwise. Returns false for the answer "q" and at the end of
// input (the caller leaves its dialogue), true otherwise.
[[nodiscard]] bool ask_string(const char* prompt, std::string* buffer, int max, int min);

// Asks with `prompt` ("# " if empty) and, when `default_answer` is not
// empty, "(%s) " with it. An empty answer, or a line rejected for an
// invalid byte, takes the default. Returns false for the answer "q" and at
// the end of input, true otherwise.
[[nodiscard]] bool ask_string_default(const char* prompt, const std::string& default_answer,
                                      std::string* buffer, int max);

// Prints `question` (nothing if empty), reads one byte and discards the
// rest of its line. Returns that byte, '\n' for an empty answer, and 'q'
// at the end of input, so that every yes/no dialogue is left there.
[[nodiscard]] int CONSOLE_AskChar(const char* question);

// Prints each name as "[%s]\t", then a newline.
void CONSOLE_PrintNames(const std::vector<std::string>& names);

// Asks `question` with CONSOLE_AskChar until the answer is one of the
// bytes of `accepted` (a zero byte never is). Other answers are read over:
// the next one is read without asking again. The end of input answers 'q',
// so `accepted` holds 'q' for every dialogue that must be left there. From
// a script (CONSOLE.script) the answer is "n" (or "q" where "n" is not
// accepted), said on the error stream after the question.
[[nodiscard]] int CONSOLE_AskAccepted(const char* question, const char* accepted);
