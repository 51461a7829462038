// Tests of the engine's DATE, TIME and TIMESTAMP parsers and calendar rules.
#include "engine/types/dates.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

const std::string kLeapWarning = "(DATE_LeapYear) Warning: Only 4 year regularity implemented!\n";

class DatesTest : public testing::Test {
 protected:
  void SetUp() override { DATES_ResetForTest(); }
};

// Expected message for a refused text; "" when the text is accepted.
std::string Msg(const char* prefix, const std::string& text) {
  return std::string(prefix) + " (" + text + ")\n";
}

TEST_F(DatesTest, DateLiteralsAcceptedAndRefusedWithTheirMessage) {
  const char* kBadDate = "(StrgToDate) Invalid date";
  const char* kBadValue = "(StrgToTime) Invalid timestamp";
  struct Case {
    const char* text;
    const char* message;  // nullptr: accepted
    int year = 0, month = 0, day = 0;
  };
  const Case kCases[] = {
      {"2000-02-29", nullptr, 2000, 2, 29},
      {"1800-01-01", nullptr, 1800, 1, 1},
      {"2800-12-31", nullptr, 2800, 12, 31},
      {"2003-07-12", nullptr, 2003, 7, 12},
      {"2001-02-29", kBadValue},
      {"1799-12-31", kBadValue},
      {"2801-01-01", kBadValue},
      {"2003-13-01", kBadValue},
      {"2003-00-10", kBadValue},
      {"2003-04-31", kBadValue},
      {"2003-04-00", kBadValue},
      {"2003-7-12", kBadDate},     // 9 characters
      {"2003-07-120", kBadDate},   // 11 characters
      {"2003-07-1x", kBadDate},    // a trailing character after the day
      {"2003/07/12", kBadDate},
      {"12.07.2003", kBadDate},
      {"", kBadDate},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    DBDATE d{};
    CaptureStderr();
    int ok = StrgToDate(&d, c.text);
    std::string err = GetCapturedStderr();
    if (c.message == nullptr) {
      EXPECT_EQ(ok, 1);
      EXPECT_EQ(err, "");
      EXPECT_EQ(d.year, c.year);
      EXPECT_EQ(d.month, c.month);
      EXPECT_EQ(d.day, c.day);
    } else {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(err, Msg(c.message, c.text));
    }
  }
}

TEST_F(DatesTest, EveryFourthYearIsLeapAndWarnsOnceOutsideKnownRange) {
  struct Case {
    int year;
    int leap;
  };
  const Case kCases[] = {{1800, 1}, {1900, 1}, {2000, 1}, {2100, 1}, {2800, 1},
                         {2001, 0}, {1801, 0}, {2799, 0}, {-4, 1},   {-3, 0}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(DATE_LeapYear(DBDATE{static_cast<int16_t>(c.year), 1, 1}), c.leap);
  }

  DATES_ResetForTest();
  CaptureStderr();
  EXPECT_EQ(DATE_LeapYear(DBDATE{1970, 1, 1}), 0);
  EXPECT_EQ(DATE_LeapYear(DBDATE{2036, 1, 1}), 1);
  EXPECT_EQ(GetCapturedStderr(), "") << "years inside 1970..2036 need no warning";

  CaptureStderr();
  DBDATE d{};
  EXPECT_EQ(StrgToDate(&d, "1900-02-29"), 1);
  EXPECT_EQ(StrgToDate(&d, "2037-02-28"), 1);
  EXPECT_EQ(DATE_LeapYear(DBDATE{1969, 1, 1}), 0);
  EXPECT_EQ(GetCapturedStderr(), kLeapWarning) << "the warning comes once per run";
}

TEST_F(DatesTest, NonFebruaryDatesDoNotTestTheLeapRule) {
  CaptureStderr();
  EXPECT_EQ(DATE_IsValid(DBDATE{1850, 3, 31}), 1);
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(DatesTest, TimeLiteralsNeedEightCharactersAndARealTime) {
  const char* kBadLen = "(StrgToTime) Invalid time";
  const char* kBadValue = "(StrgToTime) Invalid timestamp";
  struct Case {
    const char* text;
    const char* message;
    int h = 0, m = 0, s = 0;
  };
  const Case kCases[] = {
      {"12:00:00", nullptr, 12, 0, 0},   {"00:00:00", nullptr, 0, 0, 0},
      {"23:59:59", nullptr, 23, 59, 59}, {"12:00", kBadLen},
      {"12:00:000", kBadLen},            {"", kBadLen},
      {"24:00:00", kBadValue},           {"12:60:00", kBadValue},
      {"12:00:60", kBadValue},           {"-1:00:00", kBadValue},
      {"12.00.00", kBadValue},           {"12:00:0x", kBadValue},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    DBTIME t{};
    CaptureStderr();
    int ok = StrgToTime(&t, c.text);
    std::string err = GetCapturedStderr();
    if (c.message == nullptr) {
      EXPECT_EQ(ok, 1);
      EXPECT_EQ(err, "");
      EXPECT_EQ(t.hour, c.h);
      EXPECT_EQ(t.minute, c.m);
      EXPECT_EQ(t.second, c.s);
    } else {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(err, Msg(c.message, c.text));
    }
  }
}

TEST_F(DatesTest, TimestampLiteralsNeedTwentySixCharactersAndValidParts) {
  const char* kBadDati = "(StrgToDati) Invalid timestamp";
  const char* kBadTime = "(StrgToTime) Invalid timestamp";
  struct Case {
    const char* text;
    const char* message;
    DBDATI want{};
  };
  const Case kCases[] = {
      {"2003-07-12-10.30.00.000000", nullptr, {2003, 7, 12, 10, 30, 0, 0, 0}},
      {"1800-01-01-00.00.00.000000", nullptr, {1800, 1, 1, 0, 0, 0, 0, 0}},
      {"2800-12-31-23.59.59.999999", nullptr, {2800, 12, 31, 23, 59, 59, 0, 999999}},
      {"2003-07-12-10.30.00.0000001", kBadDati},
      {"2003-07-12-10.30.00.00000", kBadDati},
      {"2003-07-12 10:30:00.000000", kBadDati},
      {"2003-02-30-10.30.00.000000", kBadDati},
      {"1799-12-31-10.30.00.000000", kBadDati},
      {"2003-07-12-24.00.00.000000", kBadTime},
      {"2003-07-12-10.60.00.000000", kBadTime},
      {"2003-07-12-10.30.60.000000", kBadTime},
      {"2003-07-12-10.30.00.-00001", kBadTime},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    DBDATI t{};
    t.pad = 0x55;
    CaptureStderr();
    int ok = StrgToDati(&t, c.text);
    std::string err = GetCapturedStderr();
    if (c.message == nullptr) {
      EXPECT_EQ(ok, 1);
      EXPECT_EQ(err, "");
      EXPECT_EQ(std::memcmp(&t, &c.want, sizeof t), 0) << "row bytes, pad included";
    } else {
      EXPECT_EQ(ok, 0);
      EXPECT_EQ(err, Msg(c.message, c.text));
    }
  }
}

TEST_F(DatesTest, TextWithEmbeddedNulIsRefused) {
  DBTIME t{};
  CaptureStderr();
  EXPECT_EQ(StrgToTime(&t, std::string_view("12:00:0\0", 8)), 0);
  EXPECT_NE(GetCapturedStderr(), "");
}

TEST(DATES, ScanFollowsScanfFieldRules) {
  struct Case {
    const char* text;
    const char* pattern;
    int count;
    int first, second;
  };
  const Case kCases[] = {
      {"2003-07-12", "%4d-%2d-%2d%c", 3, 2003, 7},
      {"2003-07-12x", "%4d-%2d-%2d%c", 4, 2003, 7},
      {"12345", "%2d%2d", 2, 12, 34},       // width splits digits
      {" +7:-3", "%d:%d", 2, 7, -3},        // blanks and signs
      {"-:1", "%d:%d", 0, 0, 0},            // a sign without digits fails
      {"99999999999999:1", "%d:%d", 2, INT_MAX, 1},
      {"-99999999999999:1", "%d:%d", 2, INT_MIN, 1},
      {"1 : 2", "%d : %d", 2, 1, 2},        // blank in pattern skips blanks
      {"12", "%d:%d", 1, 12, 0},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.text);
    int f[4] = {0, 0, 0, 0};
    EXPECT_EQ(DATES_Scan(c.text, c.pattern, f), c.count);
    if (c.count >= 1) {
      EXPECT_EQ(f[0], c.first);
    }
    if (c.count >= 2) {
      EXPECT_EQ(f[1], c.second);
    }
  }
}

}  // namespace
