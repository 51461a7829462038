// terminal.h: what may be printed to a terminal (PLATFORM). Owns nothing.
//
// Names and descriptions come from files and containers of unknown
// origin; printed raw, escape sequences in them would move the cursor,
// retitle the window or hide what is printed. Everything that prints such
// text shows it through PLATFORM_Printable; the stored text stays as it
// is.
#pragma once

#include <string>
#include <string_view>

// A control byte (below 0x20, or 0x7F).
[[nodiscard]] bool PLATFORM_IsControl(char c);

// `text` with each control byte shown as "?".
[[nodiscard]] std::string PLATFORM_Printable(std::string_view text);
