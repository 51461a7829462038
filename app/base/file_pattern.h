// file_pattern.h: the file-name patterns of the add and open dialogues
// (FPATTERN). Owns nothing; pure text matching, no file access.
//
// A name is taken when the whole name matches the pattern, read left to
// right in one pass, without backtracking:
//   "*"   skips name characters up to the first one equal to the pattern's
//         next character (zero or more); as the last pattern character it
//         takes the rest of the name, which must not be empty;
//   "$"   skips digits, blanks and "-" up to the first character equal to
//         the pattern's next character (as the last one: to the end);
//   "\"   makes the next pattern character literal;
//   other characters must equal the name's character (case counts).
// So "*.txt" takes "a.txt" but not "a.b.txt" (the "*" stops at the first
// dot), and "a*" does not take "a".
#pragma once

#include <string>
#include <string_view>
#include <vector>

[[nodiscard]] bool FPATTERN_Match(std::string_view pattern, std::string_view name);

// The regular files of `dir` whose names match `pattern`, sorted ascending
// byte by byte. Returns 0 when the directory cannot be read.
[[nodiscard]] int FPATTERN_List(const std::string& dir, std::string_view pattern,
                                std::vector<std::string>* out_names);

// The shell's matching, for item names given on the command line: "*"
// any run of characters ("/" too), "?" any one character, "[...]" one of
// a set ("a-z" ranges, "!" or "^" first to negate), "\" makes the next
// character literal; with backtracking, so "*.txt" takes "a.b.txt".
[[nodiscard]] bool FPATTERN_Glob(std::string_view pattern, std::string_view name);

// Whether `text` holds a character FPATTERN_Glob treats as a wildcard.
[[nodiscard]] bool FPATTERN_IsGlob(std::string_view text);
