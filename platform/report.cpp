// report.cpp: DBreport writes diagnostics to standard error.
#include "platform/report.h"

#include <cstdarg>
#include <cstdio>

void DBreport(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}
