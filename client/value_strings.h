// value_strings.h: SQL literal texts built on the client side (VALSTR).
// Owns the process-wide pool of temporary value strings and its hold
// counter. A pooled text lives until the pool is freed while no hold is
// active; callers build a statement from pooled texts, send it, then free.
#pragma once

#include "client/limits.h"

// Characters of a random key text (the buffer needs one more).
inline constexpr int VALSTR_KEYLEN = 8;

// Pools a copy of `text` with a backslash before each single and double
// quote, ready to stand between quotes in SQL text. An `expected_len` below
// 0, or a text longer than `expected_len` characters, reports
// "(Make_ValueString) Error: ..." and ends the process with status 1.
const char* Make_ValueString(const char* text, int expected_len);

// Like Make_ValueString, but a blank field (only blanks, or empty) gives "".
const char* VALSTR_MakeOrEmpty(const char* text, int expected_len);

// Pools a copy of `text` without its trailing blanks.
const char* VALSTR_MakeTrimmed(const char* text);

// Holds keep the pool alive across a VALSTR_Free; they nest.
void Hold_ValueStrings();
// Ends one hold. Without a matching hold it reports
// "(Release_ValueStrings) Error: No corresponding Hold_ValueStrings!\n"
// and ends the process with status 1.
void Release_ValueStrings();
// Frees every pooled text when no hold is active; otherwise does nothing.
// Texts handed out unpooled are not freed.
void VALSTR_Free();
// Texts in the pool now.
int VALSTR_PoolCount();

// Copies `text` without its trailing blanks into `dest`. A result longer
// than `size` reports "(my_strncpy): String too long (strlen = %d; size =
// %d)!\n" and is cut to `size` characters.
// REQUIRES: `dest` has room for size + 1 bytes.
void my_strncpy(char* dest, const char* text, int size);

// Turns every '*' of `text` into '%', the wildcard of LIKE.
void VALSTR_StarToPercent(char* text);
// Wraps `text` in '*' when the result still has at most `max_len`
// characters (else leaves it), then turns every '*' into '%'. So a search
// text finds everything that contains it.
// REQUIRES: `text` has room for max_len + 1 bytes.
void VALSTR_SurroundPattern(char* text, int max_len);

// A draw of a whole number in lo..hi, both included.
using VALSTR_Draw = int (*)(void* ctx, int lo, int hi);
// Writes a key of VALSTR_KEYLEN characters and a NUL into `out`: each drawn
// from the codes 32 to 127 and drawn again while it is one of % ' \ ; @ " , /
// (characters that would need quoting in SQL text or in a path).
void VALSTR_RandomKey(char* out, VALSTR_Draw draw, void* ctx);

// A client BINARY field of content size `n` without a value: length 0 and
// the content filled with blanks.
void VALSTR_BlankBinary(void* field, int n);

// Frees everything, pooled or not, and clears the counters. Only tests call it.
void VALSTR_ResetForTest();
