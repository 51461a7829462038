// Tests of the client date library: texts in the date styles, the calendar
// rules, weekdays, date arithmetic and durations.
#include "client/datelib.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "engine/types/dates.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class DatelibTest : public testing::Test {
 protected:
  // The once-only leap warning is tested on its own; keep it quiet here.
  void SetUp() override { DATELIB_State()->leap_warned = true; }
};

ADATE D(int y, int m, int d) {
  return ADATE{static_cast<int16_t>(y), static_cast<uint8_t>(m), static_cast<uint8_t>(d)};
}
ADATI T(int y, int mo, int d, int h, int mi, int s, int us) {
  auto u8 = [](int v) { return static_cast<uint8_t>(v); };
  return ADATI{static_cast<int16_t>(y), u8(mo), u8(d), u8(h), u8(mi), u8(s), 0, us};
}
std::string Text(const ADATE& d, int style = DATE_STYLE_COMPACT) {
  std::string s;
  DATE_ToString(d, &s, style);
  return s;
}

TEST(DATELIB, LeapWarningComesOncePerRunIndependentlyOfTheEngine) {
  DATELIB_ResetForTest();
  DATES_ResetForTest();
  CaptureStderr();
  EXPECT_EQ(DATE_LeapYear(D(2036, 1, 1)) + DATE_LeapYear(D(1970, 1, 1)), 1);
  EXPECT_EQ(GetCapturedStderr(), "");
  CaptureStderr();
  EXPECT_EQ(DATE_LeapYear(DBDATE{1900, 1, 1}), 1);  // the engine's copy
  EXPECT_EQ(DATE_LeapYear(D(1900, 1, 1)), 1);       // the client's copy
  EXPECT_EQ(DATE_LeapYear(D(2037, 1, 1)), 0);
  const std::string warning = "(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n";
  EXPECT_EQ(GetCapturedStderr(), warning + warning);
}

TEST_F(DatelibTest, DateTextsAreReadByStyleInPatternOrder) {
  const char* kNo = "(DATE_FromString) Warning: Invalid DATE-string\n";
  struct Case {
    const char* text;
    int style;
    const char* want;  // compact text, or "" when refused
    const char* err;
  };
  // clang-format off
  const Case kCases[] = {
      {"2003.07.12", 1, "20030712", ""}, {"2003-07-12", 1, "20030712", ""},
      {"20030712", 1, "20030712", ""},   {"12.07.2003", 2, "20030712", ""},
      {"12-07-2003", 2, "20030712", ""}, {"12072003", 2, "20030712", ""},
      {"2003-07-12", 3, "20030712", ""}, {"2003.07.12", 3, "20030712", ""},
      {"12-07-2003", 3, "20030712", ""}, {"20030712", 3, "", kNo},
      {"12.07.2003", 3, "", kNo},        {"2003-07-12", 2, "", kNo},
      {"2003-07-12x", 1, "", kNo},       {"", 3, "", kNo},
      {"2003-02-29", 3, "", ""},         {"1799-12-31", 1, "", ""},  // match, but invalid
      {"2801-01-01", 3, "", ""},         {"1900-02-29", 3, "19000229", ""},
      {"12-07-2003", 7, "20030712", "(DATE_FromString) Invalid dattyp (7) -> using default.\n"},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.text) + " style " + std::to_string(c.style));
    ADATE got = D(1, 1, 1);
    CaptureStderr();
    EXPECT_EQ(DATE_FromString(&got, c.text, c.style), *c.want ? 1 : 0);
    EXPECT_EQ(GetCapturedStderr(), c.err);
    EXPECT_EQ(Text(got), *c.want ? c.want : "00010101") << "a refusal leaves the date alone";
  }
}

TEST_F(DatelibTest, DatesAreWrittenInTheThreeStylesAndReadBack) {
  EXPECT_EQ(Text(D(1800, 1, 5), 1) + " " + Text(D(1800, 1, 5), 2) + " " + Text(D(1800, 1, 5), 3),
            "18000105 05.01.1800 1800.01.05");
  CaptureStderr();
  EXPECT_EQ(Text(D(1800, 1, 5), 9), "1800.01.05");
  EXPECT_EQ(GetCapturedStderr(), "(DATE_ToString) Invalid dattyp (9) -> using default.\n");
  for (int style = 1; style <= 3; ++style) {
    for (ADATE d : {D(1800, 1, 1), D(2000, 2, 29), D(2800, 12, 31), D(2003, 10, 9)}) {
      ADATE back{};
      ASSERT_EQ(DATE_FromString(&back, Text(d, style), style), 1) << Text(d, style);
      EXPECT_EQ(Text(back), Text(d)) << Text(d, style);
    }
  }
}

TEST_F(DatelibTest, TimeTextsNeedEightCharactersAndARealTime) {
  const char* kLen = "(TIME_FromString) Invalid time";
  const char* kBad = "(TIME_FromString) Invalid timestamp";
  // clang-format off
  const char* kCases[][2] = {{"23:59:59", ""}, {"1:2:3abc", ""},  // three fields are enough
                             {"12:00", kLen},  {"12:00:000", kLen}, {"24:00:00", kBad},
                             {"12:00:60", kBad}, {"12-00-00", kBad}, {"256:0:00", kBad}};
  // clang-format on
  for (auto [text, err] : kCases) {
    ATIME t{};
    CaptureStderr();
    EXPECT_EQ(TIME_FromString(&t, text) + TIME_IsValidString(text), *err ? 0 : 2) << text;
    EXPECT_EQ(GetCapturedStderr(), *err ? std::string(err) + " (" + text + ")\n" : "");
  }
  ATIME t{};
  ASSERT_EQ(TIME_FromString(&t, "1:2:3abc"), 1);
  EXPECT_EQ(t.hour * 10000 + t.minute * 100 + t.second, 10203);
}

TEST_F(DatelibTest, TimestampTextsNeedTwentySixCharactersAndValidParts) {
  for (const char* text : {"2003-07-12-10.30.00.000000", "2800-12-31-23.59.59.999999"}) {
    ADATI t{};
    std::string back;
    EXPECT_EQ(DATI_FromString(&t, text) + DATI_IsValidString(text), 2) << text;
    DATI_ToString(t, &back, DATI_STYLE_DEFAULT);
    EXPECT_EQ(back, text);
  }
  for (const char* text :
       {"2003-07-12-10.30.00.0000000", "2003-07-12-10.30.00.00000", "2001-02-29-10.30.00.000000",
        "2003-07-12-24.30.00.000000", "2003-07-12-10.30.00.-00001", "2003-07-12-10.30.00:000000",
        "99999999999999-2-3-4.5.6.7",     // a year far beyond any int
        "2003-258-12-10.30.00.00000"}) {  // month 258 must not wrap to 2
    ADATI t{};
    CaptureStderr();
    EXPECT_EQ(DATI_FromString(&t, text) + DATI_IsValidString(text), 0) << text;
    EXPECT_EQ(GetCapturedStderr(),
              std::string("(DATI_FromString) Invalid timestamp (") + text + ")\n");
  }
  std::string text;
  CaptureStderr();
  DATI_ToString(T(1800, 1, 1, 0, 0, 0, 7), &text, 3);
  EXPECT_EQ(GetCapturedStderr(), "(DATI_ToString) Invalid datityp (3) -> using default.\n");
  EXPECT_EQ(text, "1800-01-01-00.00.00.000007");
}

TEST_F(DatelibTest, WeekdaysCountFromTheAnchorBothWays) {
  // clang-format off
  const std::pair<ADATE, const char*> kCases[] = {
      {D(1998, 1, 1), "thursday"}, {D(1997, 12, 31), "wednesday"}, {D(1998, 1, 4), "sunday"},
      {D(2000, 2, 29), "tuesday"}, {D(2004, 3, 5), "friday"},       {D(1970, 1, 1), "thursday"}};
  // clang-format on
  for (auto [date, name] : kCases) EXPECT_STREQ(DATE_GetWeekdayStr(DATE_GetWeekday(date)), name);
  // Where the four-year rule matches the civil calendar, so must the weekdays.
  using namespace std::chrono;
  for (int y = 1901; y <= 2099; y += 7) {
    for (unsigned m = 1; m <= 12; ++m) {
      ADATE d = D(y, m, 1 + (y + m) % 28);
      EXPECT_EQ(DATE_GetWeekday(d),
                static_cast<int>(weekday{sys_days{year{y} / month{m} / day{d.day}}}.c_encoding()))
          << Text(d);
    }
  }
  EXPECT_EXIT(static_cast<void>(DATE_GetWeekdayStr(7)), testing::ExitedWithCode(1),
              "\\(DATE_GetWeekdayStr\\) Error: Invalid weekday-number 7\n");
}

TEST_F(DatelibTest, ConsecutiveDaysAdvanceWeekdayAndDayOfYearOverTheWholeRange) {
  ADATE d = D(1800, 1, 1);
  int weekday = DATE_GetWeekday(d);
  for (int day_of_year = 1; d.year < 2800 || d.month < 12 || d.day < 31;) {
    DATE_AddDays(&d, 1);
    weekday = (weekday + 1) % 7;
    day_of_year = d.month == 1 && d.day == 1 ? 1 : day_of_year + 1;
    ASSERT_EQ(DATE_IsValid(d), 1) << Text(d);
    ASSERT_EQ(DATE_GetWeekday(d) * 1000 + DATE_DayOfYear(d), weekday * 1000 + day_of_year)
        << Text(d);
  }
  EXPECT_EQ(DATE_Diff(D(1800, 1, 1), d, DATE_DIFF_EXACT), 1001 * 365 + 251 - 1);
}

TEST_F(DatelibTest, AddDaysAndMonthsCrossMonthAndYearEnds) {
  struct Case {
    ADATE from;
    int n;
    char unit;  // 'd' days, 'm' DATE_AddMonths, 'e' DATE_AddMonthsEnd
    const char* want;
  };
  // clang-format off
  const Case kCases[] = {
      {D(2003, 12, 31), 1, 'd', "20040101"},  {D(2004, 1, 1), -1, 'd', "20031231"},
      {D(1900, 2, 28), 1, 'd', "19000229"},   {D(2003, 2, 28), 1, 'd', "20030301"},
      {D(2004, 3, 1), -1, 'd', "20040229"},   {D(2005, 1, 1), -1461, 'd', "20010101"},
      {D(1800, 1, 1), 365250, 'd', "28000101"}, {D(2003, 1, 31), 1, 'm', "20030228"},
      {D(2003, 1, 31), 1, 'e', "20030228"},   {D(2004, 1, 31), 1, 'm', "20040229"},
      {D(2003, 2, 28), 1, 'm', "20030328"},   {D(2003, 2, 28), 1, 'e', "20030331"},
      {D(2004, 2, 28), 1, 'e', "20040328"},   {D(2003, 4, 30), 1, 'e', "20030531"},
      {D(2003, 1, 15), -1, 'm', "20021215"},  {D(2003, 3, 31), -13, 'e', "20020228"},
  };
  // clang-format on
  for (const Case& c : kCases) {
    ADATE d = c.from;
    if (c.unit == 'd') DATE_AddDays(&d, c.n);
    if (c.unit == 'm') DATE_AddMonths(&d, c.n);
    if (c.unit == 'e') DATE_AddMonthsEnd(&d, c.n);
    EXPECT_EQ(Text(d), c.want) << Text(c.from) << " + " << c.n << c.unit;
    EXPECT_TRUE(c.unit != 'd' || DATE_Diff(c.from, d, DATE_DIFF_EXACT) == c.n);
  }
  ADATE d = D(2004, 2, 3);
  DATE_SetLastDay(&d);
  EXPECT_EQ(Text(d), "20040229");
}

TEST_F(DatelibTest, LeapDaysBetweenCountsOnlyDaysStrictlyInside) {
  struct Case {
    ADATE a, b;
    int count;
  };
  // clang-format off
  const Case kCases[] = {
      {D(2003, 1, 1), D(2005, 1, 1), 1},  {D(2004, 2, 28), D(2004, 3, 1), 1},
      {D(2004, 2, 29), D(2004, 3, 1), 0}, {D(2004, 2, 28), D(2004, 2, 29), 0},
      {D(2004, 3, 1), D(2008, 2, 29), 0}, {D(2004, 3, 1), D(2008, 3, 1), 1},
      {D(2005, 1, 1), D(2003, 1, 1), 0},  {D(1800, 1, 1), D(2800, 12, 31), 251},
  };
  // clang-format on
  for (const Case& c : kCases)
    EXPECT_EQ(DATE_LeapDaysBetween(c.a, c.b), c.count) << Text(c.a) << ".." << Text(c.b);
}

TEST_F(DatelibTest, DiffCountsExactDaysOrThirtyDayMonths) {
  struct Case {
    ADATE a, b;
    int exact, days360, days360feb;
  };
  // clang-format off
  const Case kCases[] = {
      {D(2003, 1, 1), D(2003, 1, 31), 30, 29, 29},    {D(2003, 1, 31), D(2003, 3, 1), 29, 31, 31},
      {D(2003, 2, 28), D(2003, 3, 31), 31, 32, 30},   {D(2003, 2, 15), D(2003, 3, 28), 41, 43, 45},
      {D(2004, 2, 29), D(2005, 2, 28), 365, 359, 360},
      {D(2003, 7, 12), D(2002, 7, 12), -365, -360, -360},
      {D(2003, 3, 31), D(2003, 1, 31), -59, -60, -60},
      {D(2000, 1, 1), D(2010, 1, 1), 3653, 3600, 3600},
  };
  // clang-format on
  for (const Case& c : kCases) {
    SCOPED_TRACE(Text(c.a) + ".." + Text(c.b));
    EXPECT_EQ(DATE_Diff(c.a, c.b, DATE_DIFF_EXACT), c.exact);
    EXPECT_EQ(DATE_Diff(c.a, c.b, DATE_DIFF_30_360), c.days360);
    EXPECT_EQ(DATE_Diff(c.a, c.b, 0), c.days360) << "any other mode is plain 30/360";
    EXPECT_EQ(DATE_Diff(c.a, c.b, DATE_DIFF_30_360_FEB), c.days360feb);
  }
}

TEST_F(DatelibTest, TimestampsCompareAndMeasureDurations) {
  const std::string kWarn =
      "(DATI_Diff) Warning: Inaccurate time-duration, because duration is too long!\n";
  struct Case {
    ADATI a, b;
    int order;
    double seconds;
    int accurate;
  };
  // clang-format off
  const Case kCases[] = {
      {T(2003, 7, 12, 10, 30, 0, 0), T(2003, 7, 12, 10, 30, 0, 0), 0, 0.0, 1},
      {T(2003, 7, 12, 10, 30, 0, 0), T(2003, 7, 12, 11, 45, 30, 500000), -1, 4530.5, 1},
      {T(2003, 7, 12, 10, 30, 0, 900000), T(2003, 7, 12, 10, 30, 1, 100000), -1, 0.2, 1},
      {T(2003, 7, 12, 23, 0, 0, 0), T(2003, 7, 13, 1, 0, 0, 0), -1, 7200.0, 1},
      {T(2003, 7, 14, 10, 0, 0, 0), T(2003, 7, 12, 10, 0, 0, 0), 1, 172800.0, 1},
      {T(2003, 7, 1, 0, 0, 0, 0), T(2003, 7, 31, 23, 59, 59, 999999), -1, 2678399.999999, 1},
      {T(2003, 8, 1, 1, 0, 0, 0), T(2003, 7, 31, 23, 0, 0, 0), 1, 7200.0, 0},
      {T(2002, 12, 31, 10, 0, 0, 0), T(2003, 1, 1, 10, 0, 1, 0), -1, 1.0, 0},
  };
  // clang-format on
  for (const Case& c : kCases) {
    double ab = -1, ba = -1;
    CaptureStderr();
    EXPECT_EQ(DATI_Compare(c.a, c.b) * 10 + DATI_Compare(c.b, c.a), c.order * 9);
    EXPECT_EQ(DATI_Diff(c.a, c.b, &ab) + DATI_Diff(c.b, c.a, &ba), 2 * c.accurate);
    EXPECT_EQ(GetCapturedStderr(), c.accurate ? "" : kWarn + kWarn);
    EXPECT_NEAR(ab, c.seconds, 1e-7);
    EXPECT_NEAR(ba, c.seconds, 1e-7);
  }
  CaptureStderr();
  EXPECT_EQ(DATI_Compare(T(2003, 7, 12, 24, 0, 0, 0), T(2004, 1, 1, 0, 0, 0, 0)), 0);
  EXPECT_EQ(GetCapturedStderr(), "(DATI_Compare) Invalid timestamp\n");
}

}  // namespace
