// report.cpp: DBreport writes diagnostics to standard error, or into the
// output buffer in force.
#include "platform/report.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>

namespace {
// The newest output buffer of this thread, null while none is in force.
// Only the buffers themselves set it, from their making to their end, so
// it never points at one that is gone.
PLATFORM_OUTPUTBUFFER*& CurrentBuffer() {
  thread_local PLATFORM_OUTPUTBUFFER* current = nullptr;
  return current;
}
}  // namespace

PLATFORM_OUTPUTBUFFER::PLATFORM_OUTPUTBUFFER() : outer_(CurrentBuffer()) { CurrentBuffer() = this; }

PLATFORM_OUTPUTBUFFER::~PLATFORM_OUTPUTBUFFER() {
  if (!in_force_) return;
  PLATFORM_BUFFERED buffered = End();
  PLATFORM_WriteBuffered(&buffered);
}

PLATFORM_BUFFERED PLATFORM_OUTPUTBUFFER::End() {
  if (in_force_) {
    assert(CurrentBuffer() == this);
    CurrentBuffer() = outer_;
    in_force_ = false;
  }
  return std::move(buffered_);
}

void DBreport(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PLATFORM_VPrint(stderr, format, args);
  va_end(args);
  std::fflush(stderr);
}

void PLATFORM_VPrint(FILE* stream, const char* format, va_list args) {
  PLATFORM_OUTPUTBUFFER* buffer = CurrentBuffer();
  if (buffer == nullptr) {
    std::vfprintf(stream, format, args);
    return;
  }
  std::string text = PLATFORM_VFormat(format, args);
  if (!text.empty()) buffer->buffered_.pieces.emplace_back(stream, std::move(text));
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

void PLATFORM_WriteBuffered(PLATFORM_BUFFERED* buffered) {
  for (const auto& [stream, text] : buffered->pieces) {
    std::fflush(nullptr);  // what went before on the other stream comes first
    std::fputs(text.c_str(), stream);
    std::fflush(stream);
  }
  buffered->pieces.clear();
}

void PLATFORM_FlushOutputBuffers() {
  // Newest first in the chain; the oldest buffered its pieces first.
  std::vector<PLATFORM_OUTPUTBUFFER*> chain;
  for (PLATFORM_OUTPUTBUFFER* buffer = CurrentBuffer(); buffer != nullptr;
       buffer = buffer->outer_) {
    chain.push_back(buffer);
    buffer->in_force_ = false;
  }
  CurrentBuffer() = nullptr;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it)
    PLATFORM_WriteBuffered(&(*it)->buffered_);
}
