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
    {1e15, 1.0},  {1e14, 0.1},  {1e13, 0.01},  {1e12, 0.001}, {1e11, 1e-4},
    {1e10, 1e-5}, {1e9, 1e-6},  {1e8, 1e-7},   {1e7, 1e-8},   {1e6, 1e-9},
    {1e5, 1e-10}, {1e4, 1e-11}, {1000, 1e-12}, {100, 1e-13},
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

// With '%' as the only wildcard, the pieces of the pattern between the '%'
// signs must appear in the text in their order without overlapping: the
// piece before the first '%' at the start, the piece after the last one at
// the end, and each piece in between where it first occurs after the one
// before it (taking the first occurrence never spoils a later piece). So a
// match costs one substring search per piece, not a walk per character.
int LikeMatch(const char* text, const char* pattern) {
  std::string_view s(text);
  std::string_view p(pattern);
  const size_t first = p.find('%');
  if (first == std::string_view::npos) return s == p;
  const size_t last = p.rfind('%');
  const std::string_view head = p.substr(0, first);
  const std::string_view tail = p.substr(last + 1);
  if (s.size() < head.size() + tail.size()) return 0;
  if (s.substr(0, head.size()) != head || s.substr(s.size() - tail.size()) != tail) return 0;
  // The middle pieces must fit between the head and the tail.
  std::string_view rest = s.substr(head.size(), s.size() - head.size() - tail.size());
  size_t i = first + 1;
  while (i < last) {
    size_t end = p.find('%', i);
    const std::string_view piece = p.substr(i, end - i);
    i = end + 1;
    if (piece.empty()) continue;
    const size_t at = rest.find(piece);
    if (at == std::string_view::npos) return 0;
    rest.remove_prefix(at + piece.size());
  }
  return 1;
}
