// value_order.cpp: the orders of doubles and texts, and LIKE matching.
#include <cmath>
#include <string_view>

#include "engine/types/values.h"

namespace {

// Tolerance of CmpDouble by magnitude: the first row whose bound the larger
// magnitude exceeds gives the tolerance. Tolerances grow with the magnitude
// so that values that differ only in the last digits a double can hold
// still compare equal.
struct ToleranceStep {
  double above;
  double tolerance;
};
constexpr ToleranceStep kTolerances[] = {
    {1e15, 1.0},   {1e14, 0.1},   {1e13, 0.01},  {1e12, 0.001}, {1e11, 1e-4},
    {1e10, 1e-5},  {1e9, 1e-6},   {1e8, 1e-7},   {1e7, 1e-8},   {1e6, 1e-9},
    {1e5, 1e-10},  {1e4, 1e-11},  {1000, 1e-12}, {100, 1e-13},
};
constexpr double kSmallTolerance = 1e-14;  // magnitudes up to 100, 100 included

double ToleranceFor(double magnitude) {
  for (const ToleranceStep& step : kTolerances) {
    if (magnitude > step.above) return step.tolerance;
  }
  return kSmallTolerance;
}

}  // namespace

int CmpDouble(double x, double y) {
  double doubled_difference = 2 * (x - y);
  double tolerance = ToleranceFor(std::fmax(std::fabs(x), std::fabs(y)));
  if (doubled_difference > tolerance) return 1;
  if (doubled_difference < -tolerance) return -1;
  return 0;
}

int CmpString(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) {
    ++a;
    ++b;
  }
  if (*a == *b) return 0;  // both ended together
  if (*a != '\0' && *b != '\0') {
    // Bytes compare as signed chars, so 128-255 sort below plain ASCII.
    return static_cast<signed char>(*a) < static_cast<signed char>(*b) ? -1 : 1;
  }
  // One text has ended: the other is equal when only blanks remain.
  const char* rest = *a != '\0' ? a : b;
  while (*rest == ' ') ++rest;
  if (*rest == '\0') return 0;
  return *a != '\0' ? 1 : -1;
}

// Matches by trying each '%' at the shortest run first and, on a mismatch,
// widening only the most recent '%' by one character. Widening an earlier
// '%' never helps once a later one has been reached, so this finds every
// match in O(text x pattern) steps at worst, without recursion.
int LikeMatch(const char* text, const char* pattern) {
  std::string_view s(text);
  std::string_view p(pattern);
  size_t t = 0;
  size_t i = 0;
  size_t star = std::string_view::npos;  // pattern index of the last '%'
  size_t star_t = 0;                     // text position that '%' resumes at
  while (t < s.size()) {
    if (i < p.size() && p[i] == '%') {
      star = i++;
      star_t = t;
    } else if (i < p.size() && p[i] == s[t]) {
      ++i;
      ++t;
    } else if (star != std::string_view::npos) {
      i = star + 1;
      t = ++star_t;
    } else {
      return 0;
    }
  }
  while (i < p.size() && p[i] == '%') ++i;
  return i == p.size();
}
