// datelib.cpp: the client date library.
#include "client/datelib.h"

#include <climits>
#include <cstdio>

#include "engine/types/dates.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kTimeBadLength[] = "(TIME_FromString) Invalid time (%.*s)\n";
constexpr char kTimeBadValue[] = "(TIME_FromString) Invalid timestamp (%.*s)\n";
constexpr char kDatiBad[] = "(DATI_FromString) Invalid timestamp (%.*s)\n";
constexpr char kFromStringBadStyle[] = "(DATE_FromString) Invalid dattyp (%d) -> using default.\n";
constexpr char kFromStringNoMatch[] = "(DATE_FromString) Warning: Invalid DATE-string\n";
constexpr char kToStringBadStyle[] = "(DATE_ToString) Invalid dattyp (%d) -> using default.\n";
constexpr char kDatiToStringBadStyle[] = "(DATI_ToString) Invalid datityp (%d) -> using default.\n";
constexpr char kBadWeekday[] = "(DATE_GetWeekdayStr) Error: Invalid weekday-number %d\n";
constexpr char kCompareInvalid[] = "(DATI_Compare) Invalid timestamp\n";
constexpr char kDiffInaccurate[] =
    "(DATI_Diff) Warning: Inaccurate time-duration, because duration is too long!\n";

// The client's own day table; February is settled by the leap rule.
constexpr int kDaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr const char* kWeekdayNames[7] = {"sunday",   "monday", "tuesday", "wednesday",
                                          "thursday", "friday", "saturday"};

// Weekdays count from 1998-01-01, a thursday (4).
constexpr int kAnchorYear = 1998;
constexpr int kAnchorWeekday = 4;

constexpr int64_t kUsecPerSecond = 1000000;
constexpr int64_t kSecondsPerDay = 86400;

struct DatePattern {
  const char* format;
  int year, month, day;  // which scanned field holds each part
};
constexpr DatePattern kYmdDot{"%4d.%2d.%2d%c", 0, 1, 2};
constexpr DatePattern kYmdDash{"%4d-%2d-%2d%c", 0, 1, 2};
constexpr DatePattern kYmdPlain{"%4d%2d%2d%c", 0, 1, 2};
constexpr DatePattern kDmyDot{"%2d.%2d.%4d%c", 2, 1, 0};
constexpr DatePattern kDmyDash{"%2d-%2d-%4d%c", 2, 1, 0};
constexpr DatePattern kDmyPlain{"%2d%2d%4d%c", 2, 1, 0};
// Per style, its three patterns in the order they are tried.
constexpr const DatePattern* kStylePatterns[3][3] = {
    {&kYmdDot, &kYmdDash, &kYmdPlain},
    {&kDmyDot, &kDmyDash, &kDmyPlain},
    {&kYmdDash, &kYmdDot, &kDmyDash},
};

int Len(std::string_view text) { return static_cast<int>(text.size()); }
const char* Data(std::string_view text) { return text.empty() ? "" : text.data(); }
bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }

bool IsLeap(int year) { return year % 4 == 0; }

int64_t FloorDiv(int64_t a, int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

void WarnLeapOnce(int year) { DATES_WarnLeapOnce(DATELIB_State(), year); }

// The rule was applied to every year lo..hi: warn as testing each would.
void WarnLeapRange(int lo, int hi) {
  if (lo > hi) return;
  WarnLeapOnce(lo < DATES_EXACTLEAPFROM ? lo : hi);
}

int MonthDays(int year, int month) {
  if (month < 1 || month > 12) return 0;
  if (month == 2) return IsLeap(year) ? 29 : 28;
  return kDaysPerMonth[month - 1];
}

// Days before 1 January of `year`, counted from 1 January of year 0.
int64_t DaysBeforeYear(int64_t year) { return 365 * year + FloorDiv(year + 3, 4); }

int DaysBeforeMonth(int year, int month) {
  int days = 0;
  for (int m = 1; m < month && m <= 12; ++m) days += MonthDays(year, m);
  return days;
}

int64_t DayNumber(const ADATE& d) {
  return DaysBeforeYear(d.year) + DaysBeforeMonth(d.year, d.month) + d.day - 1;
}

ADATE FromDayNumber(int64_t n) {
  int64_t year = FloorDiv(n * 4, 1461);
  while (DaysBeforeYear(year) > n) --year;
  while (DaysBeforeYear(year + 1) <= n) ++year;
  int left = static_cast<int>(n - DaysBeforeYear(year));
  int month = 1;
  while (month < 12 && left >= MonthDays(static_cast<int>(year), month)) {
    left -= MonthDays(static_cast<int>(year), month++);
  }
  return ADATE{static_cast<int16_t>(year), static_cast<uint8_t>(month),
               static_cast<uint8_t>(left + 1)};
}

// Leap years in lo..hi.
int64_t LeapYearsIn(int64_t lo, int64_t hi) {
  return lo > hi ? 0 : FloorDiv(hi, 4) - FloorDiv(lo - 1, 4);
}

int DaysOfYears(int lo, int hi) {
  if (lo > hi) return 0;
  WarnLeapRange(lo, hi);
  return static_cast<int>(DaysBeforeYear(int64_t{hi} + 1) - DaysBeforeYear(lo));
}

bool FitTime(int hour, int minute, int second) {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

// Scans the 26-character timestamp text; 0 when it does not fit ADATI.
int ScanDati(std::string_view text, ADATI* out) {
  int f[7];
  if (HasNul(text) || text.size() != DATES_DATILEN ||
      DATES_Scan(text, "%d-%d-%d-%d.%d.%d.%d", f) != 7) {
    return 0;
  }
  if (f[0] < INT16_MIN || f[0] > INT16_MAX || f[1] < 1 || f[1] > 12 || f[2] < 1 || f[2] > 31 ||
      !FitTime(f[3], f[4], f[5])) {
    return 0;
  }
  ADATI d{static_cast<int16_t>(f[0]),
          static_cast<uint8_t>(f[1]),
          static_cast<uint8_t>(f[2]),
          static_cast<uint8_t>(f[3]),
          static_cast<uint8_t>(f[4]),
          static_cast<uint8_t>(f[5]),
          0,
          f[6]};
  if (!DATI_IsValid(d)) return 0;
  *out = d;
  return 1;
}

int ScanTime(std::string_view text, ATIME* out) {
  int f[3];
  if (DATES_Scan(text, "%d:%d:%d", f) != 3 || !FitTime(f[0], f[1], f[2])) return 0;
  *out = ATIME{static_cast<uint8_t>(f[0]), static_cast<uint8_t>(f[1]), static_cast<uint8_t>(f[2])};
  return 1;
}

int TimeOfDayCmp(const ADATI& a, const ADATI& b) {
  const int av[4] = {a.hour, a.minute, a.second, a.usec};
  const int bv[4] = {b.hour, b.minute, b.second, b.usec};
  for (int i = 0; i < 4; ++i) {
    if (av[i] != bv[i]) return av[i] < bv[i] ? -1 : 1;
  }
  return 0;
}

int FieldOrder(const ADATI& a, const ADATI& b) {
  const int av[3] = {a.year, a.month, a.day};
  const int bv[3] = {b.year, b.month, b.day};
  for (int i = 0; i < 3; ++i) {
    if (av[i] != bv[i]) return av[i] < bv[i] ? -1 : 1;
  }
  return TimeOfDayCmp(a, b);
}

int64_t TimeOfDayUsec(const ADATI& d) {
  return ((int64_t{d.hour} * 60 + d.minute) * 60 + d.second) * kUsecPerSecond + d.usec;
}

}  // namespace

DATESSTATE* DATELIB_State() {
  static DATESSTATE state;
  return &state;
}

void DATELIB_ResetForTest() { *DATELIB_State() = DATESSTATE{}; }

int DATE_LeapYear(const ADATE& date) {
  WarnLeapOnce(date.year);
  return IsLeap(date.year) ? 1 : 0;
}

int DATE_IsValid(const ADATE& date) {
  if (date.year < DATES_MINYEAR || date.year > DATES_MAXYEAR) return 0;
  if (date.month < 1 || date.month > 12) return 0;
  return date.day >= 1 && date.day <= DATE_DaysInMonth(date) ? 1 : 0;
}

int TIME_IsValid(const ATIME& time) { return FitTime(time.hour, time.minute, time.second); }

int DATI_IsValid(const ADATI& dati) {
  ADATE date{dati.year, dati.month, dati.day};
  ATIME time{dati.hour, dati.minute, dati.second};
  return DATE_IsValid(date) && TIME_IsValid(time) && dati.usec >= 0 && dati.usec <= DATES_MAXUSEC
             ? 1
             : 0;
}

int DATE_FromString(ADATE* out, std::string_view text, int dattyp) {
  if (dattyp < DATE_STYLE_COMPACT || dattyp > DATE_STYLE_DEFAULT) {
    DBreport(kFromStringBadStyle, dattyp);
    dattyp = DATE_STYLE_DEFAULT;
  }
  if (HasNul(text)) text = text.substr(0, 0);
  for (const DatePattern* p : kStylePatterns[dattyp - 1]) {
    int f[4];
    if (DATES_Scan(text, p->format, f) != 3) continue;
    // Widths of at most 4 digits keep every field inside the row form.
    ADATE date{static_cast<int16_t>(f[p->year]), static_cast<uint8_t>(f[p->month]),
               static_cast<uint8_t>(f[p->day])};
    if (f[p->month] < 0 || f[p->day] < 0 || !DATE_IsValid(date)) return 0;
    *out = date;
    return 1;
  }
  DBreport(kFromStringNoMatch);
  return 0;
}

void DATE_ToString(const ADATE& date, std::string* out, int dattyp) {
  char buf[48];
  if (dattyp == DATE_STYLE_COMPACT) {
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", date.year, date.month, date.day);
  } else if (dattyp == DATE_STYLE_GERMAN) {
    std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", date.day, date.month, date.year);
  } else {
    if (dattyp != DATE_STYLE_DEFAULT) DBreport(kToStringBadStyle, dattyp);
    std::snprintf(buf, sizeof buf, "%04d.%02d.%02d", date.year, date.month, date.day);
  }
  out->assign(buf);
}

int TIME_IsValidString(std::string_view text) {
  ATIME time;
  return !HasNul(text) && text.size() == DATES_TIMELEN && ScanTime(text, &time) ? 1 : 0;
}

int TIME_FromString(ATIME* out, std::string_view text) {
  if (HasNul(text) || text.size() != DATES_TIMELEN) {
    DBreport(kTimeBadLength, Len(text), Data(text));
    return 0;
  }
  if (!ScanTime(text, out)) {
    DBreport(kTimeBadValue, Len(text), Data(text));
    return 0;
  }
  return 1;
}

int DATI_IsValidString(std::string_view text) {
  ADATI dati;
  return ScanDati(text, &dati);
}

int DATI_FromString(ADATI* out, std::string_view text) {
  if (!ScanDati(text, out)) {
    DBreport(kDatiBad, Len(text), Data(text));
    return 0;
  }
  return 1;
}

void DATI_ToString(const ADATI& dati, std::string* out, int datityp) {
  if (datityp != DATI_STYLE_DEFAULT) DBreport(kDatiToStringBadStyle, datityp);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06d", dati.year, dati.month,
                dati.day, dati.hour, dati.minute, dati.second, static_cast<int>(dati.usec));
  out->assign(buf);
}

int DATE_DaysInMonth(const ADATE& date) {
  if (date.month == 2) return DATE_LeapYear(date) ? 29 : 28;
  return MonthDays(date.year, date.month);
}

void DATE_SetLastDay(ADATE* date) { date->day = static_cast<uint8_t>(DATE_DaysInMonth(*date)); }

int DATE_DayOfYear(const ADATE& date) {
  if (date.month > 2) WarnLeapOnce(date.year);
  return DaysBeforeMonth(date.year, date.month) + date.day;
}

int DATE_GetWeekday(const ADATE& date) {
  if (date.year >= kAnchorYear) {
    int64_t w = DATE_DayOfYear(date) + int64_t{DaysOfYears(kAnchorYear, date.year - 1)};
    return static_cast<int>((w + kAnchorWeekday - 1) % 7);
  }
  int64_t w = DaysOfYears(date.year, date.year) - DATE_DayOfYear(date) +
              int64_t{DaysOfYears(date.year + 1, kAnchorYear - 1)};
  return static_cast<int>(((-w - kAnchorWeekday) % 7 + 7) % 7);
}

const char* DATE_GetWeekdayStr(int weekday) {
  if (weekday < 0 || weekday > 6) {
    DBreport(kBadWeekday, weekday);
    PLATFORM_Exit(1);
  }
  return kWeekdayNames[weekday];
}

void DATE_AddDays(ADATE* date, int n) {
  ADATE result = FromDayNumber(DayNumber(*date) + n);
  WarnLeapRange(date->year < result.year ? date->year : result.year,
                date->year < result.year ? result.year : date->year);
  *date = result;
}

void DATE_AddMonths(ADATE* date, int n) {
  int64_t months = int64_t{date->year} * 12 + (date->month - 1) + n;
  date->year = static_cast<int16_t>(FloorDiv(months, 12));
  date->month = static_cast<uint8_t>(months - FloorDiv(months, 12) * 12 + 1);
  int last = DATE_DaysInMonth(*date);
  if (date->day > last) date->day = static_cast<uint8_t>(last);
}

void DATE_AddMonthsEnd(ADATE* date, int n) {
  bool on_last_day = date->day == DATE_DaysInMonth(*date);
  DATE_AddMonths(date, n);
  if (on_last_day) DATE_SetLastDay(date);
}

int DATE_LeapDaysBetween(const ADATE& a, const ADATE& b) {
  if (DayNumber(a) >= DayNumber(b)) return 0;
  // The first 29 February strictly after a, the last strictly before b.
  int from = (a.month < 2 || (a.month == 2 && a.day < 29)) ? a.year : a.year + 1;
  int to = b.month > 2 ? b.year : b.year - 1;
  WarnLeapRange(from, to);
  return static_cast<int>(LeapYearsIn(from, to));
}

int DATE_Diff(const ADATE& a, const ADATE& b, int mode) {
  if (mode == DATE_DIFF_EXACT) {
    WarnLeapRange(a.year < b.year ? a.year : b.year, a.year < b.year ? b.year : a.year);
    return static_cast<int>(DayNumber(b) - DayNumber(a));
  }
  int day_a = a.day == 31 ? 30 : a.day;
  int day_b = b.day == 31 ? 30 : b.day;
  if (mode == DATE_DIFF_30_360_FEB && (a.month == 2 || b.month == 2)) {
    if (day_a > 27) day_a = 30;
    if (day_b > 27) day_b = 30;
  }
  return (b.year - a.year) * 360 + (b.month - a.month) * 30 + (day_b - day_a);
}

int DATI_Compare(const ADATI& a, const ADATI& b) {
  if (!DATI_IsValid(a) || !DATI_IsValid(b)) {
    DBreport(kCompareInvalid);
    return 0;
  }
  return FieldOrder(a, b);
}

int DATI_Diff(const ADATI& a, const ADATI& b, double* seconds) {
  const ADATI& from = FieldOrder(a, b) <= 0 ? a : b;
  const ADATI& to = FieldOrder(a, b) <= 0 ? b : a;
  int64_t usec = TimeOfDayUsec(to) - TimeOfDayUsec(from);
  int64_t days = 0;
  if (usec < 0) {
    usec += kSecondsPerDay * kUsecPerSecond;  // the borrowed day
    days = -1;
  }
  int accurate = from.year == to.year && from.month == to.month;
  if (accurate) {
    days += to.day - from.day;
    usec += days * kSecondsPerDay * kUsecPerSecond;
  } else {
    DBreport(kDiffInaccurate);
  }
  *seconds = static_cast<double>(usec) / static_cast<double>(kUsecPerSecond);
  return accurate;
}
