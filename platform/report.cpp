// report.cpp: DBreport writes diagnostics to standard error, or into the
// hold in force.
#include "platform/report.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>

namespace {
// The newest hold of this thread, null while none is in force. Only the
// holds themselves set it, from their making to their end, so it never
// points at a hold that is gone.
PLATFORM_HOLD*& CurrentHold() {
  thread_local PLATFORM_HOLD* current = nullptr;
  return current;
}
}  // namespace

PLATFORM_HOLD::PLATFORM_HOLD() : outer_(CurrentHold()) { CurrentHold() = this; }

PLATFORM_HOLD::~PLATFORM_HOLD() {
  if (!in_force_) return;
  PLATFORM_HELD kept = End();
  PLATFORM_WriteHeld(&kept);
}

PLATFORM_HELD PLATFORM_HOLD::End() {
  if (in_force_) {
    assert(CurrentHold() == this);
    CurrentHold() = outer_;
    in_force_ = false;
  }
  return std::move(held_);
}

void DBreport(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PLATFORM_VPrint(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}

void PLATFORM_VPrint(FILE* stream, const char* format, va_list args) {
  PLATFORM_HOLD* hold = CurrentHold();
  if (hold == nullptr) {
    std::vfprintf(stream, format, args);
    return;
  }
  std::string text = PLATFORM_VFormat(format, args);
  if (!text.empty()) hold->held_.pieces.emplace_back(stream, std::move(text));
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
  // Newest first in the chain; the oldest kept its pieces first.
  std::vector<PLATFORM_HOLD*> chain;
  for (PLATFORM_HOLD* hold = CurrentHold(); hold != nullptr; hold = hold->outer_) {
    chain.push_back(hold);
    hold->in_force_ = false;
  }
  CurrentHold() = nullptr;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) PLATFORM_WriteHeld(&(*it)->held_);
}
