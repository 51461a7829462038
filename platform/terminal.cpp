// terminal.cpp: control bytes kept from the terminal.
#include "platform/terminal.h"

namespace {
constexpr char kControlShown = '?';  // what a control byte looks like on the terminal
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
// A C1 control character in UTF-8: this lead byte, then one of the range.
constexpr unsigned char kC1Lead = 0xC2;
constexpr unsigned char kC1First = 0x80;
constexpr unsigned char kC1Last = 0x9F;

bool IsC1At(std::string_view text, std::size_t at) {
  if (at + 1 >= text.size() || static_cast<unsigned char>(text[at]) != kC1Lead) return false;
  const auto next = static_cast<unsigned char>(text[at + 1]);
  return next >= kC1First && next <= kC1Last;
}
}  // namespace

bool PLATFORM_IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < kFirstPrintable || byte == kDelete;
}

std::string PLATFORM_Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t k = 0; k < text.size(); ++k) {
    if (IsC1At(text, k)) {
      shown += kControlShown;
      ++k;
    } else {
      shown += PLATFORM_IsControl(text[k]) ? kControlShown : text[k];
    }
  }
  return shown;
}
