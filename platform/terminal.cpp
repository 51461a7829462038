// terminal.cpp: control bytes kept from the terminal.
#include "platform/terminal.h"

#include <algorithm>

namespace {
constexpr char kControlShown = '?';  // what a control byte looks like on the terminal
constexpr unsigned char kFirstPrintable = 0x20;
constexpr unsigned char kDelete = 0x7F;
}  // namespace

bool PLATFORM_IsControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < kFirstPrintable || byte == kDelete;
}

std::string PLATFORM_Printable(std::string_view text) {
  std::string shown(text);
  std::replace_if(shown.begin(), shown.end(), PLATFORM_IsControl, kControlShown);
  return shown;
}
