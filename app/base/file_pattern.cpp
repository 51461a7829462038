// file_pattern.cpp: one-pass file-name patterns.
#include "app/base/file_pattern.h"

#include "platform/files.h"

namespace {
constexpr char kAnyRun = '*';
constexpr char kNumberRun = '$';
constexpr char kEscape = '\\';

bool IsNumberFiller(char c) { return (c >= '0' && c <= '9') || c == ' ' || c == '-'; }

// The literal the pattern asks for at `p` (an escape stands for the
// character after it); `*out_width` is how many pattern bytes it takes.
char LiteralAt(std::string_view pattern, std::size_t p, std::size_t* out_width) {
  if (pattern[p] == kEscape && p + 1 < pattern.size()) {
    *out_width = 2;
    return pattern[p + 1];
  }
  *out_width = 1;
  return pattern[p];
}

// Moves `*n` over the name characters a "*" or "$" at pattern position `p`
// passes over. False when the pattern can no longer match.
bool SkipRun(std::string_view pattern, std::size_t p, std::string_view name, std::size_t* n) {
  const bool any = pattern[p] == kAnyRun;
  if (p + 1 == pattern.size()) {
    if (any) {
      const bool rest = *n < name.size();
      *n = name.size();
      return rest;
    }
    while (*n < name.size() && IsNumberFiller(name[*n])) ++*n;
    return true;
  }
  std::size_t width = 0;
  const char stop = LiteralAt(pattern, p + 1, &width);
  while (*n < name.size() && name[*n] != stop) {
    if (!any && !IsNumberFiller(name[*n])) return false;
    ++*n;
  }
  return true;
}
}  // namespace

bool FPATTERN_Match(std::string_view pattern, std::string_view name) {
  std::size_t n = 0;
  for (std::size_t p = 0; p < pattern.size();) {
    if (pattern[p] == kAnyRun || pattern[p] == kNumberRun) {
      if (!SkipRun(pattern, p, name, &n)) return false;
      ++p;
      continue;
    }
    std::size_t width = 0;
    const char literal = LiteralAt(pattern, p, &width);
    if (n >= name.size() || name[n] != literal) return false;
    ++n;
    p += width;
  }
  return n == name.size();
}

int FPATTERN_List(const std::string& dir, std::string_view pattern,
                  std::vector<std::string>* out_names) {
  std::vector<std::string> all;
  out_names->clear();
  if (!PLATFORM_ListRegularFiles(dir.c_str(), &all)) return 0;
  for (std::string& name : all) {
    if (FPATTERN_Match(pattern, name)) out_names->push_back(std::move(name));
  }
  return 1;
}

namespace {
// Matches the set at pattern[*at] ("[" already passed) against `c`;
// *at ends after its "]". False for a set without its "]".
bool MatchSet(std::string_view pattern, std::size_t* at, char c, bool* out_matched) {
  std::size_t k = *at;
  const bool negate = k < pattern.size() && (pattern[k] == '!' || pattern[k] == '^');
  if (negate) ++k;
  bool matched = false;
  for (bool first = true; k < pattern.size() && (first || pattern[k] != ']'); first = false) {
    char low = pattern[k++];
    if (low == '\\' && k < pattern.size()) low = pattern[k++];
    char high = low;
    if (k + 1 < pattern.size() && pattern[k] == '-' && pattern[k + 1] != ']') {
      high = pattern[k + 1];
      k += 2;
    }
    const auto u = static_cast<unsigned char>(c);
    if (u >= static_cast<unsigned char>(low) && u <= static_cast<unsigned char>(high)) {
      matched = true;
    }
  }
  if (k >= pattern.size()) return false;
  *at = k + 1;
  *out_matched = matched != negate;
  return true;
}
}  // namespace

bool FPATTERN_Glob(std::string_view pattern, std::string_view name) {
  // The last "*" seen and where its run was tried to end: on a mismatch the
  // run takes one character more, which is all the backtracking "*" needs.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t star_name = 0;
  while (n < name.size()) {
    bool step = false;
    if (p < pattern.size()) {
      const char c = pattern[p];
      if (c == '*') {
        star = ++p;
        star_name = n;
        continue;
      }
      std::size_t next = p + 1;
      if (c == '?') {
        step = true;
      } else if (c == '[') {
        bool matched = false;
        step = MatchSet(pattern, &next, name[n], &matched) ? matched : name[n] == '[';
      } else if (c == '\\' && p + 1 < pattern.size()) {
        step = pattern[p + 1] == name[n];
        next = p + 2;
      } else {
        step = c == name[n];
      }
      if (step) {
        p = next;
        ++n;
        continue;
      }
    }
    if (star == std::string_view::npos) return false;
    p = star;
    n = ++star_name;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool FPATTERN_IsGlob(std::string_view text) {
  return text.find_first_of("*?[") != std::string_view::npos;
}
