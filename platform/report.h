// report.h: DBreport, the reporter for every engine and client diagnostic
// that is not a reply. It sits below both sides so that the engine never
// includes client code to report.
#pragma once

// Writes the formatted text to standard error, unchanged (the caller puts
// the newline in where the message has one).
[[gnu::format(printf, 1, 2)]] void DBreport(const char* format, ...);
