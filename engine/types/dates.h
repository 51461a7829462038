// dates.h: the engine's DATE, TIME and TIMESTAMP row forms and the parsers
// that turn SQL literal text into them (DATES).
// Owns the engine's copy of the calendar rules: years 1800..2800, and a leap
// year every fourth year without exception. The client date library keeps a
// copy of its own, so the two sides never share calendar state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// Row forms. These bytes are stored in rows, written to table files and sent
// in binary command messages and replies, so the layouts are fixed:
//
//   DBDATE (4 bytes)          DBTIME (3 bytes)       DBDATI (12 bytes)
//   off size field            off size field         off size field
//     0   2  year (int16)       0   1  hour            0   2  year (int16)
//     2   1  month              1   1  minute          2   1  month
//     3   1  day                2   1  second          3   1  day
//                                                      4   1  hour
//                                                      5   1  minute
//                                                      6   1  second
//                                                      7   1  pad (0)
//                                                      8   4  usec (int32)
//
// Numbers are little-endian (the host order). A row places each of them at
// an offset that is a multiple of 4.
struct DBDATE {
  int16_t year;
  uint8_t month;
  uint8_t day;
};
struct DBTIME {
  uint8_t hour, minute, second;
};
struct DBDATI {
  int16_t year;
  uint8_t month, day, hour, minute, second, pad;
  int32_t usec;
};

static_assert(sizeof(DBDATE) == 4 && alignof(DBDATE) <= 4);
static_assert(offsetof(DBDATE, year) == 0 && offsetof(DBDATE, month) == 2 &&
              offsetof(DBDATE, day) == 3);
static_assert(sizeof(DBTIME) == 3);
static_assert(offsetof(DBTIME, hour) == 0 && offsetof(DBTIME, minute) == 1 &&
              offsetof(DBTIME, second) == 2);
static_assert(sizeof(DBDATI) == 12 && alignof(DBDATI) <= 4);
static_assert(offsetof(DBDATI, year) == 0 && offsetof(DBDATI, month) == 2 &&
              offsetof(DBDATI, day) == 3 && offsetof(DBDATI, hour) == 4 &&
              offsetof(DBDATI, minute) == 5 && offsetof(DBDATI, second) == 6 &&
              offsetof(DBDATI, pad) == 7 && offsetof(DBDATI, usec) == 8);

inline constexpr int DATES_MINYEAR = 1800;    // earliest year any date check accepts
inline constexpr int DATES_MAXYEAR = 2800;    // latest year any date check accepts
inline constexpr int DATES_MAXUSEC = 999999;  // largest microseconds of a timestamp
// Years for which the rule of every fourth year agrees with the calendar
// in use; a test of a year outside them draws the leap warning once.
inline constexpr int DATES_EXACTLEAPFROM = 1970;
inline constexpr int DATES_EXACTLEAPTO = 2036;

// Exact text lengths of the three literal forms.
inline constexpr size_t DATES_DATELEN = 10;  // YYYY-MM-DD
inline constexpr size_t DATES_TIMELEN = 8;   // HH:MM:SS
inline constexpr size_t DATES_DATILEN = 26;  // YYYY-MM-DD-HH.MM.SS.UUUUUU

// The parsers print their message through DBreport and return 0 when the text
// is refused; on failure *out may already hold some of the parsed fields.
// A text with an embedded NUL is refused.
[[nodiscard]] int StrgToDate(DBDATE* out, std::string_view text);
[[nodiscard]] int StrgToTime(DBTIME* out, std::string_view text);
[[nodiscard]] int StrgToDati(DBDATI* out, std::string_view text);

// Parses `text` as a value of the row type `type` (DATE, TIME, or else
// TIMESTAMP: the type bytes of values.h) and stores its row form at `raw`.
// A refused text leaves `raw` untouched and returns 0; the caller reports
// its own message.
[[nodiscard]] int DATES_ToRow(int type, std::string_view text, unsigned char* raw);

// 1 when the year is 1800..2800, the month 1..12 and the day within it.
[[nodiscard]] int DATE_IsValid(const DBDATE& date);
// 1 for a leap year (every year divisible by 4). The first test of a year
// outside 1970..2036 prints a warning once per run.
[[nodiscard]] int DATE_LeapYear(const DBDATE& date);

// Matches `text` against a scanf-like pattern of literal characters, %d,
// %<width>d and %c, the way sscanf does (a %d skips leading white space and
// takes an optional sign; the width counts sign and digits; a %c takes the
// next character). Each conversion is stored in fields[i] (a %c as its
// character code); a number too large for an int is clamped to INT_MIN or
// INT_MAX. Returns the number of conversions before the first mismatch.
// REQUIRES: `fields` has room for every conversion in `pattern`.
int DATES_Scan(std::string_view text, const char* pattern, int* fields);

// The once-per-run leap-year warning flag, the only state of a date
// library. Each side of the channel keeps one of its own, so the client's
// warning never silences the engine's; the engine's is DATES_State().
struct DATESSTATE {
  bool leap_warned = false;
};
DATESSTATE* DATES_State();
void DATES_ResetForTest();

// Prints "(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n"
// through DBreport the first time `state` sees a year outside 1970..2036,
// the years for which the plain rule of every fourth year is right.
void DATES_WarnLeapOnce(DATESSTATE* state, int year);
