// terminal.h: what may be printed to a terminal (PLATFORM). Owns nothing.
// Any thread.
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

// `text` with each control byte, and each UTF-8 encoded C1 control
// character (the two bytes C2 80 to C2 9F, which a UTF-8 terminal takes
// as ESC and its kin), shown as one "?". Other bytes above 0x7F stay as
// they are: single ones are the letters of the design's code pages.
[[nodiscard]] std::string PLATFORM_Printable(std::string_view text);
