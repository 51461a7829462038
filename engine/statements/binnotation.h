// binnotation.h: the text notation of BINARY constants (BINNOT), as the
// client writes them and WHERE, INSERT and UPDATE read them.
// Owns nothing.
//
// Notation, read from the start of the text:
//
//   | Text                     | Bytes                                      |
//   |--------------------------|--------------------------------------------|
//   | "$$"                     | one '$'                                    |
//   | '$' and two hex digits   | the byte of that value (0-9, A-F only)     |
//   | 0xA7 0xA7                | one byte 0xA7                              |
//   | 0xA7 hex pairs 0xA7      | one byte per pair (a run)                  |
//   | any other byte           | itself                                     |
//
// A '$' followed by anything else, or too close to the end for two digits,
// a run with a non-digit, an odd digit or no closing 0xA7, and more bytes
// than the maximum make the text invalid.
#pragma once

#include <string>
#include <string_view>

// Decodes `text` into *out (at most `max_bytes` bytes). Fails for an
// invalid text; *out is then unspecified.
[[nodiscard]] int BINNOT_Decode(std::string_view text, int max_bytes, std::string* out);

// Decodes `text` into a BINARY field of `field_size` row bytes: the 16-bit
// length, the bytes, the rest of the field cleared. The content may hold
// field_size - 2 bytes. Fails, leaving the field untouched, for an invalid
// text.
[[nodiscard]] int BINNOT_ToField(std::string_view text, int field_size, unsigned char* field);
