// Tests of what may reach the terminal: control bytes and UTF-8 encoded C1
// control characters are shown as "?", every other byte as it is.
#include "platform/terminal.h"

#include <gtest/gtest.h>

#include <string>

namespace {
TEST(Printable, ShowsControlBytesAndUtf8C1CharactersAsQuestionMarks) {
  struct Case {
    std::string text;
    std::string shown;
  };
  const Case kCases[] = {
      {"plain name.ksp", "plain name.ksp"},
      {"a\x1b]0;title\x07.ksp", "a?]0;title?.ksp"},
      {std::string("nul\0byte", 8), "nul?byte"},
      {"del\x7f", "del?"},
      {"tab\tand\nline", "tab?and?line"},
      // C1 in UTF-8: CSI (C2 9B), the first and the last of the range.
      {"\xc2\x9b"
       "31m",
       "?31m"},
      {"a\xc2\x80z\xc2\x9f", "a?z?"},
      // Other two-byte characters stay: NBSP, a-umlaut.
      {"\xc2\xa0\xc3\xa4", "\xc2\xa0\xc3\xa4"},
      // Single high bytes are the design's code-page letters: E4, 84, 9B.
      {"\xe4\x84\x9b", "\xe4\x84\x9b"},
      // A lead byte at the end, or before no C1 byte, is left alone.
      {"end\xc2", "end\xc2"},
      {"\xc2\x7f", "\xc2?"},
      {"\xc2\xc2\x9b", "\xc2?"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.shown);
    EXPECT_EQ(PLATFORM_Printable(c.text), c.shown);
  }
}
}  // namespace
