// Tests of the engine's DATE, TIME and TIMESTAMP parsers and calendar rules.
#include "engine/types/dates.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

constexpr char kBadDate[] = "(StrgToDate) Invalid date";
constexpr char kBadTime[] = "(StrgToTime) Invalid time";
constexpr char kBadValue[] = "(StrgToTime) Invalid timestamp";
constexpr char kBadDati[] = "(StrgToDati) Invalid timestamp";

// Parses `text` as a literal of `kind` ('d', 't' or 's'); on success the
// value is printed back in its literal form, else the message is returned.
std::string Parse(char kind, const std::string& text, int* ok) {
  char buf[64] = "";
  CaptureStderr();
  if (kind == 'd') {
    DBDATE d{};
    *ok = StrgToDate(&d, text);
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  } else if (kind == 't') {
    DBTIME t{};
    *ok = StrgToTime(&t, text);
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  } else {
    DBDATI s{};
    s.pad = 0x55;
    *ok = StrgToDati(&s, text);
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d-%02d.%02d.%02d.%06d%s", s.year, s.month, s.day,
                  s.hour, s.minute, s.second, static_cast<int>(s.usec), s.pad == 0 ? "" : "+pad");
  }
  std::string err = GetCapturedStderr();
  return *ok ? (err.empty() ? buf : "unexpected: " + err) : err;
}

TEST(DATES, ParsersAcceptExactLiteralsAndReportEachRefusal) {
  DATES_State()->leap_warned = true;  // the leap warning has its own test
  struct Case {
    char kind;
    const char* text;
    const char* refusal;  // nullptr: accepted
  };
  // clang-format off
  const Case kCases[] = {
      {'d', "2000-02-29", nullptr},   {'d', "1900-02-29", nullptr},  {'d', "1800-01-01", nullptr},
      {'d', "2001-02-29", kBadValue}, {'d', "1799-12-31", kBadValue},
      {'d', "2801-01-01", kBadValue}, {'d', "2003-13-01", kBadValue},
      {'d', "2003-04-31", kBadValue}, {'d', "2003-7-12", kBadDate},  {'d', "2003-07-120", kBadDate},
      {'d', "2003-07-1x", kBadDate},  {'d', "", kBadDate},           {'t', "12:00:00", nullptr},
      {'t', "23:59:59", nullptr},     {'t', "12:00", kBadTime},      {'t', "12:00:000", kBadTime},
      {'t', "24:00:00", kBadValue},   {'t', "12:00:60", kBadValue},  {'t', "-1:00:00", kBadValue},
      {'t', "12.00.00", kBadValue},   {'t', "12:00:0x", kBadValue},
      {'s', "2003-07-12-10.30.00.000000", nullptr}, {'s', "2800-12-31-23.59.59.999999", nullptr},
      {'s', "2003-07-12-10.30.00.0000001", kBadDati}, {'s', "2003-07-12 10:30:00.000000", kBadDati},
      {'s', "2003-02-30-10.30.00.000000", kBadDati}, {'s', "2003-07-12-24.00.00.000000", kBadValue},
      {'s', "2003-07-12-10.30.00.-00001", kBadValue},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    int ok = -1;
    std::string got = Parse(c.kind, c.text, &ok);
    EXPECT_EQ(ok, c.refusal == nullptr ? 1 : 0);
    EXPECT_EQ(got, c.refusal == nullptr ? c.text : std::string(c.refusal) + " (" + c.text + ")\n");
  }
}

TEST(DATES, TextWithEmbeddedNulIsRefused) {
  DBTIME t{};
  CaptureStderr();
  EXPECT_EQ(StrgToTime(&t, std::string_view("12:00:0\0", 8)), 0);
  EXPECT_NE(GetCapturedStderr(), "");
}

TEST(DATES, EveryFourthYearIsLeapAndWarnsOnceOutsideKnownRange) {
  DATES_ResetForTest();
  const int kLeap[] = {1800, 1900, 2000, 2100, 2800, -4};
  const int kCommon[] = {1801, 1970, 2001, 2799, -3};
  CaptureStderr();
  EXPECT_EQ(DATE_LeapYear(DBDATE{2036, 1, 1}), 1);
  EXPECT_EQ(DATE_IsValid(DBDATE{1850, 3, 31}), 1) << "no February, no leap test";
  EXPECT_EQ(GetCapturedStderr(), "");
  CaptureStderr();
  for (int y : kLeap) EXPECT_EQ(DATE_LeapYear(DBDATE{static_cast<int16_t>(y), 1, 1}), 1) << y;
  for (int y : kCommon) EXPECT_EQ(DATE_LeapYear(DBDATE{static_cast<int16_t>(y), 1, 1}), 0) << y;
  EXPECT_EQ(GetCapturedStderr(), "(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n");
}

TEST(DATES, EachSideHasALeapWarningOfItsOwn) {
  DATES_ResetForTest();
  DATESSTATE other;  // as the client keeps one
  CaptureStderr();
  DATES_WarnLeapOnce(DATES_State(), 2037);
  DATES_WarnLeapOnce(DATES_State(), 1969);
  DATES_WarnLeapOnce(&other, 2036);
  EXPECT_FALSE(other.leap_warned) << "years the plain rule gets right warn nobody";
  DATES_WarnLeapOnce(&other, 1800);
  DATES_WarnLeapOnce(&other, 2800);
  const std::string warning = "(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n";
  EXPECT_EQ(GetCapturedStderr(), warning + warning);
}

TEST(DATES, ScanClampsHugeNumbersAndHonoursWidths) {
  int f[3] = {0, 0, 0};
  EXPECT_EQ(DATES_Scan(" -99999999999999:12345", "%d:%2d%c", f), 3);
  EXPECT_EQ(f[0], INT_MIN);
  EXPECT_EQ(f[1], 12);
  EXPECT_EQ(f[2], '3');
}

}  // namespace
