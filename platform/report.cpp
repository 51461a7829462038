// report.cpp: DBreport writes diagnostics to standard error.
#include "platform/report.h"

#include <cstdarg>
#include <cstdio>

namespace {
PLATFORM_HELD* held_now = nullptr;
}  // namespace

void DBreport(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PLATFORM_VPrint(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}

void PLATFORM_Hold(PLATFORM_HELD* held) { held_now = held; }

void PLATFORM_VPrint(FILE* stream, const char* format, va_list args) {
  if (held_now == nullptr) {
    std::vfprintf(stream, format, args);
    return;
  }
  std::string text = PLATFORM_VFormat(format, args);
  if (!text.empty()) held_now->pieces.emplace_back(stream, std::move(text));
}

std::string PLATFORM_VFormat(const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  const int size = std::vsnprintf(nullptr, 0, format, again);
  va_end(again);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, args);
  text.pop_back();
  return text;
}

std::string PLATFORM_Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = PLATFORM_VFormat(format, args);
  va_end(args);
  return text;
}

void PLATFORM_WriteHeld(PLATFORM_HELD* held) {
  for (const auto& [stream, text] : held->pieces) {
    std::fflush(nullptr);  // what went before on the other stream comes first
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
  }
  held->pieces.clear();
}

void PLATFORM_ReleaseHold() {
  PLATFORM_HELD* held = held_now;
  held_now = nullptr;
  if (held != nullptr) PLATFORM_WriteHeld(held);
}
