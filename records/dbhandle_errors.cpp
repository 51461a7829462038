// dbhandle_errors.cpp: the collected error text of the handle and its
// reporter's own printf subset.
#include "records/dbhandle.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/report.h"
#include "records/internal/dbhandle_shared.h"

namespace {

constexpr char kUnknownConversion[] = "???";

// Appends one conversion; `directive` is the whole conversion ("%-8.3ld").
void AppendConversion(std::string* out, const std::string& directive, char conversion, bool is_long,
                      va_list* args) {
  std::vector<char> buffer(64);
  auto put = [&](auto value) {
    int n = std::snprintf(buffer.data(), buffer.size(), directive.c_str(), value);
    if (n >= static_cast<int>(buffer.size())) {
      buffer.resize(static_cast<size_t>(n) + 1);
      n = std::snprintf(buffer.data(), buffer.size(), directive.c_str(), value);
    }
    if (n > 0) out->append(buffer.data(), static_cast<size_t>(n));
  };
  if (conversion == 'd' && is_long) put(va_arg(*args, long));
  if (conversion == 'd' && !is_long) put(va_arg(*args, int));
  if (conversion == 's') put(va_arg(*args, const char*));
  if (conversion == 'f') put(va_arg(*args, double));
}

// The reporter's own printf subset, so that what a message shows does not
// depend on the C library: d, s, f, ld, lf with width and precision.
std::string Format(const char* format, va_list args) {
  std::string out;
  va_list copy;
  va_copy(copy, args);
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      out.push_back(*p);
      continue;
    }
    const char* start = p++;
    if (*p == '-') ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    if (*p == '.') ++p;
    while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
    const bool is_long = *p == 'l';
    if (is_long) ++p;
    if (*p != 'd' && *p != 's' && *p != 'f') {
      out += kUnknownConversion;
      if (*p == '\0') break;
      continue;
    }
    std::string directive(start, p);
    if (*p != 'd')
      directive.erase(std::remove(directive.begin(), directive.end(), 'l'), directive.end());
    directive.push_back(*p);
    AppendConversion(&out, directive, *p, is_long, &copy);
  }
  va_end(copy);
  return out;
}

void Collect(const std::string& text) {
  DBHANDLESTATE& s = DBHANDLE_State();
  if (!s.collecting) {
    DBreport("%s", text.c_str());
    return;
  }
  const size_t room = DBHANDLE_ERRTEXTMAX - std::min<size_t>(s.errtext.size(), DBHANDLE_ERRTEXTMAX);
  s.errtext.append(text, 0, std::min(room, text.size()));
}

}  // namespace

void DBHANDLE_SetErrorMode(DBERRMODE mode) {
  DBHANDLE_State().collecting = mode == DBERR_COLLECTING;
}

void dberror(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = Format(format, args);
  va_end(args);
  Collect(text);
}

void dberror_print() { DBreport("%s", DBHANDLE_State().errtext.c_str()); }

const std::string& DBHANDLE_ErrorText() { return DBHANDLE_State().errtext; }

void DBHANDLE_ClearError() { DBHANDLE_State().errtext.clear(); }

void DBHANDLE_RestoreError(const std::string& kept) {
  DBHANDLE_State().errtext.assign(kept, 0, DBHANDLE_ERRTEXTMAX);
}
