// result_compare.h: the rows of one query from either side, in a form both
// sides write alike, and their comparison: as multisets, or as a sequence
// of ORDER BY key runs, each run a multiset of its own.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace diff {

using ROW = std::vector<std::string>;

struct OUTCOME {
  bool failed = false;
  std::string error;
  std::vector<ROW> rows;
};

// Trailing blanks dropped (CHARACTER padding); a cell that reads whole as
// a number is written with 9 significant digits, so "2.0" and "2" agree.
inline std::string Canonical(std::string cell) {
  while (!cell.empty() && cell.back() == ' ') cell.pop_back();
  if (cell.empty()) return cell;
  char* end = nullptr;
  const double value = std::strtod(cell.c_str(), &end);
  if (end == nullptr || *end != '\0') return cell;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.9g", value == 0.0 ? 0.0 : value);
  return buf;
}

inline ROW SplitRow(const std::string& line) {
  ROW row;
  size_t start = 0;
  for (;;) {
    const size_t bar = line.find('|', start);
    row.push_back(Canonical(line.substr(start, bar == std::string::npos ? bar : bar - start)));
    if (bar == std::string::npos) return row;
    start = bar + 1;
  }
}

inline std::string RowText(const ROW& row) {
  std::string text;
  for (size_t i = 0; i < row.size(); ++i) text += (i > 0 ? "|" : "") + row[i];
  return text;
}

// The rows grouped into runs of equal keys, each run sorted.
inline std::vector<std::vector<std::string>> KeyRuns(const std::vector<ROW>& rows,
                                                     const std::vector<int>& keys) {
  std::vector<std::vector<std::string>> runs;
  ROW last;
  for (const ROW& row : rows) {
    ROW key;
    for (int k : keys) key.push_back(size_t(k) < row.size() ? row[size_t(k)] : "?");
    if (runs.empty() || key != last) runs.emplace_back();
    runs.back().push_back(RowText(row));
    last = key;
  }
  for (auto& run : runs) std::sort(run.begin(), run.end());
  return runs;
}

inline std::vector<std::string> SortedRows(const std::vector<ROW>& rows) {
  std::vector<std::string> out;
  for (const ROW& row : rows) out.push_back(RowText(row));
  std::sort(out.begin(), out.end());
  return out;
}

inline std::string Summary(const OUTCOME& o, size_t max_rows = 12) {
  if (o.failed) return "error: " + o.error;
  std::string text = std::to_string(o.rows.size()) + " rows";
  for (size_t i = 0; i < o.rows.size() && i < max_rows; ++i) text += "\n    " + RowText(o.rows[i]);
  if (o.rows.size() > max_rows) text += "\n    ...";
  return text;
}

// Empty when both sides agree; otherwise what differs. With `keys`, the
// order of the key runs must agree too.
inline std::string Compare(const OUTCOME& ours, const OUTCOME& peer, bool ordered,
                           const std::vector<int>& keys) {
  std::string what;
  // The generator writes only statements both sides accept.
  if (ours.failed || peer.failed) {
    what = "an error";
  } else if (SortedRows(ours.rows) != SortedRows(peer.rows)) {
    what = "different rows";
  } else if (ordered && KeyRuns(ours.rows, keys) != KeyRuns(peer.rows, keys)) {
    what = "a different order";
  }
  if (what.empty()) return "";
  return what + "\n  kaspo:  " + Summary(ours) + "\n  sqlite: " + Summary(peer);
}

}  // namespace diff
