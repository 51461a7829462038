// datelib.h: the client date library (DATE_, TIME_ and DATI_ functions):
// reading and writing date, time and timestamp texts in the date styles,
// weekdays, date arithmetic and durations.
// Owns the client's copy of the calendar (days per month, the leap rule of
// every fourth year, years 1800..2800) and its own once-only leap warning,
// whose flag and check are those of the engine's dates.h; it shares no
// state with the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/types/dates.h"

// Client record fields of type 12 (date), 13 (time) and 14 (timestamp).
// They carry the same bytes as the engine's row forms, so a field can be
// copied to and from a row or a message unchanged:
//
//   ADATE (4)               ATIME (3)            ADATI (12)
//   0  2 year (int16)       0 1 hour             0 2 year (int16)
//   2  1 month              1 1 minute           2 1 month, 3 1 day
//   3  1 day                2 1 second           4 1 hour, 5 1 minute
//                                                6 1 second, 7 1 pad
//                                                8 4 usec (int32)
struct ADATE {
  int16_t year;
  uint8_t month;
  uint8_t day;
};
struct ATIME {
  uint8_t hour, minute, second;
};
struct ADATI {
  int16_t year;
  uint8_t month, day, hour, minute, second, pad;
  int32_t usec;
};
static_assert(sizeof(ADATE) == 4 && offsetof(ADATE, month) == 2 && offsetof(ADATE, day) == 3);
static_assert(sizeof(ATIME) == 3 && offsetof(ATIME, second) == 2);
static_assert(sizeof(ADATI) == 12 && offsetof(ADATI, hour) == 4 && offsetof(ADATI, pad) == 7 &&
              offsetof(ADATI, usec) == 8);

// Date styles (dattyp) of DATE_FromString and DATE_ToString.
inline constexpr int DATE_STYLE_COMPACT = 1;  // 20030712
inline constexpr int DATE_STYLE_GERMAN = 2;   // 12.07.2003
inline constexpr int DATE_STYLE_DEFAULT = 3;  // 2003-07-12 read, 2003.07.12 written
// The one timestamp style (datityp) of DATI_ToString.
inline constexpr int DATI_STYLE_DEFAULT = 1;  // 2003-07-12-10.30.00.000000

// Modes of DATE_Diff.
inline constexpr int DATE_DIFF_30_360_FEB = 1;  // 30/360, February days above 27 count 30
inline constexpr int DATE_DIFF_30_360 = 2;      // 30/360 (any mode but 1 and 3)
inline constexpr int DATE_DIFF_EXACT = 3;       // calendar days

// --- checks -------------------------------------------------------------
// 1 for a leap year (divisible by 4, no exceptions). The first test of a
// year outside 1970..2036 prints a warning once per run.
[[nodiscard]] int DATE_LeapYear(const ADATE& date);
// 1 when the year is 1800..2800, the month 1..12 and the day within it.
[[nodiscard]] int DATE_IsValid(const ADATE& date);
[[nodiscard]] int TIME_IsValid(const ATIME& time);
// A valid date, a valid time and microseconds 0..999999.
[[nodiscard]] int DATI_IsValid(const ADATI& dati);

// --- texts --------------------------------------------------------------
// Reads a date in the given style, trying that style's patterns in order;
// an unknown style is reported and read as DATE_STYLE_DEFAULT. *out changes
// only on success.
[[nodiscard]] int DATE_FromString(ADATE* out, std::string_view text, int dattyp);
// Writes the date in the given style; an unknown style is reported and
// written as DATE_STYLE_DEFAULT.
void DATE_ToString(const ADATE& date, std::string* out, int dattyp);
// "HH:MM:SS" (exactly 8 characters). The IsValidString forms report nothing.
[[nodiscard]] int TIME_IsValidString(std::string_view text);
[[nodiscard]] int TIME_FromString(ATIME* out, std::string_view text);
// "YYYY-MM-DD-HH.MM.SS.UUUUUU" (exactly 26 characters).
[[nodiscard]] int DATI_IsValidString(std::string_view text);
[[nodiscard]] int DATI_FromString(ADATI* out, std::string_view text);
void DATI_ToString(const ADATI& dati, std::string* out, int datityp);

// --- calendar arithmetic ------------------------------------------------
// REQUIRES for all below: a month of 1..12. Results that leave the years
// 1800..2800 are not checked.
[[nodiscard]] int DATE_DaysInMonth(const ADATE& date);
void DATE_SetLastDay(ADATE* date);
[[nodiscard]] int DATE_DayOfYear(const ADATE& date);  // 1..366
// 0 = sunday .. 6 = saturday.
[[nodiscard]] int DATE_GetWeekday(const ADATE& date);
// The lower-case English name of weekday 0..6. Any other number is a
// programming error: it is reported and the program ends with status 1.
const char* DATE_GetWeekdayStr(int weekday);
void DATE_AddDays(ADATE* date, int n);
// Moves by n months; a day past the new month's end becomes its last day.
void DATE_AddMonths(ADATE* date, int n);
// As DATE_AddMonths, but the last day of a month stays the last day.
void DATE_AddMonthsEnd(ADATE* date, int n);
// The 29 Februaries strictly between a and b; 0 unless a is before b.
[[nodiscard]] int DATE_LeapDaysBetween(const ADATE& a, const ADATE& b);
// Days from a to b (negative when b is before a), by DATE_DIFF_* mode.
[[nodiscard]] int DATE_Diff(const ADATE& a, const ADATE& b, int mode);

// -1, 0 or 1 by the timestamp order. An invalid timestamp is reported and
// gives 0, so callers that must tell "equal" from "invalid" check
// DATI_IsValid first.
[[nodiscard]] int DATI_Compare(const ADATI& a, const ADATI& b);
// The duration between a and b in seconds, in either order. Returns 1 when
// the result is exact. Within one month and year it is exact; across
// months only the time of day is counted, a warning is printed and 0 is
// returned.
[[nodiscard]] int DATI_Diff(const ADATI& a, const ADATI& b, double* seconds);

// Process-wide: only the client's once-per-run leap-year warning flag, of
// the same form as the engine's but its own (dates.h).
DATESSTATE* DATELIB_State();
void DATELIB_ResetForTest();
