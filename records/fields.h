// fields.h: the fields of application records as their descriptors name
// them (RECFIELD): the type codes a descriptor item carries, the no-value
// mark of an INTEGER field, the text fields' fill and the old text forms
// of timestamps and times that a container may still hold.
// Owns nothing; the records belong to their callers.
#pragma once

#include <cstdint>
#include <string>

#include "client/struct_assign.h"
#include "records/record.h"

// Descriptor type codes ("NAME,TYP,SIZE,IDX") of the fields whose bytes
// have a form of their own: a text ends at its zero byte, a binary value
// begins with its 16-bit length.
inline constexpr int RECFIELD_STRING = STRUCT_STRING;  // n + 1 bytes: CHARACTER(n)
inline constexpr int RECFIELD_BINARY = STRUCT_BINARY;  // 16-bit length + n bytes: BINARY(n)

// Record sizes outside 1..RECFIELD_SIZEMAX mean a record that was never
// initialised.
inline constexpr int RECFIELD_SIZEMAX = STRUCT_SIZEMAX;
// Record lists warn by the same rule.
static_assert(RECFIELD_SIZEMAX == ARRAY_SANE_SIZE);

// Bytes of a timestamp field and of a time field in a record.
inline constexpr int RECFIELD_DATISIZE = 12;
inline constexpr int RECFIELD_TIMESIZE = 3;

// 1 when an INTEGER field holds a value, 0 when it holds the mark of a
// field without one (as a new record's fields do).
[[nodiscard]] int RECFIELD_HasInteger(int32_t field);

// The text of a record's text field without its trailing blanks.
std::string RECFIELD_Text(const char* field);

// Puts `text` (trailing blanks removed) into a text field of `size`
// characters; a longer text is cut after the value-string warning
// (my_strncpy of client/value_strings.h).
// REQUIRES: `field` has room for size + 1 bytes.
void RECFIELD_SetText(char* field, const std::string& text, int size);

// The record form of a timestamp text "YYYY-MM-DD-HH.MM.SS.UUUUUU" into
// RECFIELD_DATISIZE bytes at `out`, and of a time text "HH:MM:SS" into
// RECFIELD_TIMESIZE bytes. Return 0, and leave `out` alone, for a text
// that is no valid one.
[[nodiscard]] int RECFIELD_DatiFromText(const std::string& text, unsigned char* out);
[[nodiscard]] int RECFIELD_TimeFromText(const std::string& text, unsigned char* out);
