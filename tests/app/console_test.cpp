// Tests of the whitelisted line input and the questions built on it.
#include "app/base/console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {
struct FileCloser {
  void operator()(FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

std::string Contents(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) text.push_back(static_cast<char>(c));
  return text;
}

// Points the console at temporary files: `input` to read, and two files
// that collect what is written.
class Console : public ::testing::Test {
 protected:
  void Feed(const std::string& input) {
    in_.reset(std::tmpfile());
    out_.reset(std::tmpfile());
    err_.reset(std::tmpfile());
    ASSERT_TRUE(in_ && out_ && err_);
    std::fwrite(input.data(), 1, input.size(), in_.get());
    std::rewind(in_.get());
    CONSOLE_ResetForTest(in_.get(), out_.get(), err_.get());
  }
  std::string Out() { return Contents(out_.get()); }
  std::string Err() { return Contents(err_.get()); }
  void TearDown() override { CONSOLE_ResetForTest(stdin, stdout, stderr); }

  FilePtr in_, out_, err_;
};

TEST(CharInSet, AnswerSetAllowsExactlyItsBytes) {
  std::string allowed;
  for (int b = 1; b < 256; ++b) {
    if (char_in_set(CONSOLE_ANSWER_SET, static_cast<unsigned char>(b))) allowed.push_back(char(b));
  }
  std::string expected =
      " %'()*+,-./0123456789;<=>@ABCDEFGHIJKLMNOPQRSTUVWXYZ\\_"
      "abcdefghijklmnopqrstuvwxyz"
      "\x81\x84\x8E\x94\x99\x9A\xC4\xD6\xDC\xDF\xE1\xE4\xF6\xFC";
  EXPECT_EQ(allowed, expected);
  EXPECT_FALSE(char_in_set(CONSOLE_ANSWER_SET, 0));
}

TEST(CharInSet, CommandSetAllowsItsLettersAndTheBlank) {
  std::string allowed;
  for (int b = 1; b < 256; ++b) {
    if (char_in_set(CONSOLE_COMMAND_SET, static_cast<unsigned char>(b))) allowed.push_back(char(b));
  }
  EXPECT_EQ(allowed, " acdefghlnoqstv");
}

TEST(CharInSet, ReadsRangesHyphensAndTwins) {
  struct Case {
    const char* set;
    unsigned char byte;
    bool allowed;
  };
  constexpr Case kCases[] = {
      {"b-d", 'a', false},
      {"b-d", 'd', true},
      {"b-d", 'e', false},
      {"b-d", '-', false},
      {"-b-d", '-', true},
      {"x-", '-', true},
      {"d-b", 'c', false},
      {"d-b", 'd', true},
      {"a-c-e", 'd', false},
      {"a-c-e", '-', true},
      // A twin is let in by its own Latin-1 letter only, never the reverse.
      {"\xE4", 0x8E, false},
      {"\x84", 0xE4, false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(std::string(c.set) + " / " + std::to_string(c.byte));
    EXPECT_EQ(char_in_set(c.set, c.byte), c.allowed);
  }
}

TEST_F(Console, ReadKeepsTheUtf8FormsOfTheSevenLettersAsTyped) {
  struct Case {
    const char* name;
    const char* set;
    std::string input;
    int result;
    std::string line;  // the line read, or after a refusal the next line
    std::string err;
  };
  const std::string all_seven = "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x84\xC3\x96\xC3\x9C\xC3\x9F";
  const Case cases[] = {
      {"all seven, two bytes each", CONSOLE_ANSWER_SET, "M" + all_seven + "\n", 15, "M" + all_seven,
       ""},
      {"single bytes and twins still pass", CONSOLE_ANSWER_SET, "\xFC\x81\xDF\n", 3, "\xFC\x81\xDF",
       ""},
      {"another UTF-8 letter is refused", CONSOLE_ANSWER_SET, "Caf\xC3\xA9\nok\n", READ_REJECTED,
       "ok", "character '\xC3' is not valid!\n"},
      {"a twin's UTF-8 look-alike is refused", CONSOLE_ANSWER_SET, "\xC3\xA1\nok\n", READ_REJECTED,
       "ok", "character '\xC3' is not valid!\n"},
      {"a lead byte ending the line keeps the next line", CONSOLE_ANSWER_SET, "ab\xC3\nok\n",
       READ_REJECTED, "ok", "character '\xC3' is not valid!\n"},
      {"a lead byte ending the input", CONSOLE_ANSWER_SET, "ab\xC3", READ_REJECTED, "",
       "character '\xC3' is not valid!\n"},
      {"not where the set lacks the letters", CONSOLE_COMMAND_SET, "\xC3\xBC\nq\n", READ_REJECTED,
       "q", "character '\xC3' is not valid!\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Feed(c.input);
    std::string line;
    EXPECT_EQ(read_answer_line(c.set, &line), c.result);
    if (c.result == READ_REJECTED) (void)read_answer_line(c.set, &line);
    EXPECT_EQ(line, c.line);
    EXPECT_EQ(Err(), c.err);
  }
}

TEST_F(Console, AskStringHoldsItsLimits) {
  struct Case {
    const char* name;
    std::string input;
    int max;
    int min;
    bool result;
    std::string answer;
    std::string out;
  };
  const Case cases[] = {
      {"exactly max", "abcd\n", 4, 1, true, "abcd", "# "},
      {"one over max asks again", "abcde\nab\n", 4, 1, true, "ab",
       "# string too long (max = 4)!\n# "},
      {"under min asks again", "a\nabc\n", 4, 2, true, "abc", "# string too small (min = 2)!\n# "},
      {"empty line with min 0 is an answer", "\nabc\n", 4, 0, true, "", "# "},
      {"rejected line with min 0 is empty", "a!\nabc\n", 4, 0, true, "", "# "},
      {"q leaves", "q\n", 4, 1, false, "q", "# "},
      {"q leaves even with min 2", "q\n", 4, 2, false, "q", "# string too small (min = 2)!\n# "},
      {"Q is an answer", "Q\n", 4, 1, true, "Q", "# "},
      {"end of input leaves", "\n", 4, 1, false, "", "# # "},
      {"overlong line is too long", std::string(5000, 'a') + "\nz\n", 160, 1, true, "z",
       "# string too long (max = 160)!\n# "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Feed(c.input);
    std::string answer = "old";
    EXPECT_EQ(ask_string("", &answer, c.max, c.min), c.result);
    if (c.result) {
      EXPECT_EQ(answer, c.answer);
    }
    EXPECT_EQ(Out(), c.out);
  }
}

TEST_F(Console, AskStringDefaultFallsBackToTheDefault) {
  struct Case {
    const char* name;
    std::string input;
    std::string default_answer;
    bool result;
    std::string answer;
    std::string out;
  };
  const Case cases[] = {
      {"an answer replaces the default", "new\n", "old", true, "new", "# File? (old) "},
      {"empty answer takes the default", "\n", "old", true, "old", "# File? (old) "},
      {"rejected answer takes the default", "ne!w\n", "old", true, "old", "# File? (old) "},
      {"too long asks again", "12345\n\n", "old", true, "old",
       "# File? (old) string too long (max = 4)!\n# File? (old) "},
      {"q leaves", "q\n", "old", false, "", "# File? (old) "},
      {"a default of q is an answer", "\n", "q", true, "q", "# File? (q) "},
      {"end of input leaves", "", "old", false, "", "# File? (old) "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Feed(c.input);
    std::string answer;
    EXPECT_EQ(ask_string_default("# File? ", c.default_answer, &answer, 4), c.result);
    if (c.result) {
      EXPECT_EQ(answer, c.answer);
    }
    EXPECT_EQ(Out(), c.out);
  }
}

TEST_F(Console, AskCharTakesOneByteOfALine) {
  Feed("yes\n\nn\nx");
  EXPECT_EQ(CONSOLE_AskChar("Sure? "), 'y');
  EXPECT_EQ(CONSOLE_AskChar("Sure? "), '\n');
  EXPECT_EQ(CONSOLE_AskChar(""), 'n');
  EXPECT_EQ(CONSOLE_AskChar("Sure? "), 'x');
  EXPECT_EQ(CONSOLE_AskChar("Sure? "), 'q');  // the input has ended
  EXPECT_EQ(Out(), "Sure? Sure? Sure? Sure? ");
}

TEST_F(Console, EndsTheProcessWhenADialogueIgnoresTheEndOfInput) {
  Feed("");
  std::string line;
  EXPECT_EXIT(
      {
        for (;;) (void)read_answer_line(CONSOLE_ANSWER_SET, &line);
      },
      ::testing::ExitedWithCode(0), "");
  EXPECT_EXIT(
      {
        for (;;) (void)CONSOLE_AskChar("");
      },
      ::testing::ExitedWithCode(0), "");
}
}  // namespace
