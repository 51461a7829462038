// dates.cpp: the engine's calendar rules and the DATE, TIME and TIMESTAMP
// literal parsers.
#include "engine/types/dates.h"

#include <cctype>
#include <climits>
#include <cstdint>
#include <cstring>

#include "engine/types/values.h"
#include "platform/report.h"

namespace {

constexpr char kLeapWarning[] = "(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n";
constexpr char kInvalidDate[] = "(StrgToDate) Invalid date (%.*s)\n";
constexpr char kInvalidTime[] = "(StrgToTime) Invalid time (%.*s)\n";
// A bad date inside a date literal, and a bad time part of any literal,
// report under this text: callers and scripts match it as printed.
constexpr char kInvalidTimeValue[] = "(StrgToTime) Invalid timestamp (%.*s)\n";
constexpr char kInvalidDati[] = "(StrgToDati) Invalid timestamp (%.*s)\n";

// The engine's own day table; February is settled by the leap rule.
constexpr int kDaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

// Clamp for a scanned number: larger magnitudes cannot be valid fields, and
// stopping there keeps the accumulation from overflowing.
constexpr int64_t kScanClamp = int64_t{INT_MAX} + 1;

bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool HasNul(std::string_view text) { return text.find('\0') != std::string_view::npos; }
int Len(std::string_view text) { return static_cast<int>(text.size()); }
const char* Data(std::string_view text) { return text.empty() ? "" : text.data(); }

// One %d conversion starting at *pos; returns 0 when no digit is there.
int ScanNumber(std::string_view text, size_t* pos, int width, int* out) {
  size_t p = *pos;
  while (p < text.size() && IsSpace(text[p])) ++p;
  size_t end = width > 0 ? p + static_cast<size_t>(width) : text.size();
  if (end > text.size()) end = text.size();
  bool negative = false;
  if (p < end && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  size_t digits_from = p;
  int64_t value = 0;
  for (; p < end && IsDigit(text[p]); ++p) {
    if (value < kScanClamp) value = value * 10 + (text[p] - '0');
  }
  if (p == digits_from) return 0;
  if (negative) value = -value;
  *out = static_cast<int>(value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : value);
  *pos = p;
  return 1;
}

bool TimeInRange(int hour, int minute, int second) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// Stores the fields only when they fit the row form, so that an out-of-range
// number can never wrap into a valid one.
bool FitDate(int year, int month, int day, DBDATE* out) {
  if (year < INT16_MIN || year > INT16_MAX || month < 0 || month > 255 || day < 0 || day > 255) {
    return false;
  }
  out->year = static_cast<int16_t>(year);
  out->month = static_cast<uint8_t>(month);
  out->day = static_cast<uint8_t>(day);
  return true;
}

}  // namespace

void DATES_WarnLeapOnce(DATESSTATE* state, int year) {
  if (year >= DATES_EXACTLEAPFROM && year <= DATES_EXACTLEAPTO) return;
  if (state->leap_warned) return;
  state->leap_warned = true;
  DBreport(kLeapWarning);
}

DATESSTATE* DATES_State() {
  static DATESSTATE state;
  return &state;
}

void DATES_ResetForTest() { *DATES_State() = DATESSTATE{}; }

int DATES_Scan(std::string_view text, const char* pattern, int* fields) {
  size_t pos = 0;
  int count = 0;
  for (const char* f = pattern; *f != '\0'; ++f) {
    if (*f != '%') {
      if (IsSpace(*f)) {
        while (pos < text.size() && IsSpace(text[pos])) ++pos;
      } else if (pos < text.size() && text[pos] == *f) {
        ++pos;
      } else {
        return count;
      }
      continue;
    }
    int width = 0;
    while (IsDigit(f[1])) width = width * 10 + (*++f - '0');
    ++f;
    if (*f == 'c') {
      if (pos >= text.size()) return count;
      fields[count++] = static_cast<unsigned char>(text[pos++]);
    } else {
      if (!ScanNumber(text, &pos, width, &fields[count])) return count;
      ++count;
    }
  }
  return count;
}

int DATE_LeapYear(const DBDATE& date) {
  DATES_WarnLeapOnce(DATES_State(), date.year);
  return date.year % 4 == 0 ? 1 : 0;
}

int DATES_ToRow(int type, std::string_view text, unsigned char* raw) {
  if (type == DBTYPE_DATE) {
    DBDATE date{};
    if (!StrgToDate(&date, text)) return 0;
    std::memcpy(raw, &date, sizeof date);
  } else if (type == DBTYPE_TIME) {
    DBTIME time{};
    if (!StrgToTime(&time, text)) return 0;
    std::memcpy(raw, &time, sizeof time);
  } else {
    DBDATI dati{};
    if (!StrgToDati(&dati, text)) return 0;
    std::memcpy(raw, &dati, sizeof dati);
  }
  return 1;
}

int DATE_IsValid(const DBDATE& date) {
  if (date.year < DATES_MINYEAR || date.year > DATES_MAXYEAR) return 0;
  if (date.month < 1 || date.month > 12) return 0;
  int days = kDaysPerMonth[date.month - 1];
  if (date.month == 2) days = DATE_LeapYear(date) ? 29 : 28;
  return date.day >= 1 && date.day <= days ? 1 : 0;
}

int StrgToDate(DBDATE* out, std::string_view text) {
  int f[4];
  if (HasNul(text) || text.size() != DATES_DATELEN || DATES_Scan(text, "%4d-%2d-%2d%c", f) != 3) {
    DBreport(kInvalidDate, Len(text), Data(text));
    return 0;
  }
  if (!FitDate(f[0], f[1], f[2], out) || !DATE_IsValid(*out)) {
    DBreport(kInvalidTimeValue, Len(text), Data(text));
    return 0;
  }
  return 1;
}

int StrgToTime(DBTIME* out, std::string_view text) {
  int f[4];
  if (HasNul(text) || text.size() != DATES_TIMELEN) {
    DBreport(kInvalidTime, Len(text), Data(text));
    return 0;
  }
  if (DATES_Scan(text, "%2d:%2d:%2d%c", f) != 3 || !TimeInRange(f[0], f[1], f[2])) {
    DBreport(kInvalidTimeValue, Len(text), Data(text));
    return 0;
  }
  out->hour = static_cast<uint8_t>(f[0]);
  out->minute = static_cast<uint8_t>(f[1]);
  out->second = static_cast<uint8_t>(f[2]);
  return 1;
}

int StrgToDati(DBDATI* out, std::string_view text) {
  int f[8];
  DBDATE date;
  if (HasNul(text) || text.size() != DATES_DATILEN ||
      DATES_Scan(text, "%4d-%2d-%2d-%2d.%2d.%2d.%6d%c", f) != 7 ||
      !FitDate(f[0], f[1], f[2], &date) || !DATE_IsValid(date)) {
    DBreport(kInvalidDati, Len(text), Data(text));
    return 0;
  }
  out->year = date.year;
  out->month = date.month;
  out->day = date.day;
  if (!TimeInRange(f[3], f[4], f[5]) || f[6] < 0 || f[6] > DATES_MAXUSEC) {
    DBreport(kInvalidTimeValue, Len(text), Data(text));
    return 0;
  }
  out->hour = static_cast<uint8_t>(f[3]);
  out->minute = static_cast<uint8_t>(f[4]);
  out->second = static_cast<uint8_t>(f[5]);
  out->pad = 0;
  out->usec = f[6];
  return 1;
}
