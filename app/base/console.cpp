// console.cpp: whitelisted line input and the questions built on it.
#include "app/base/console.h"

#include <cstdarg>
#include <cstring>

#include "platform/process.h"
#include "platform/report.h"
#include "platform/signals.h"
#include "platform/terminal.h"

const char CONSOLE_COMMAND_SET[] = "qhtacdflsoegnv ";
const char CONSOLE_ANSWER_SET[] =
    "-+a-zA-Z/ _0-9"
    "\xE4\xF6\xFC\xC4\xD6\xDC\xDF"
    "*@.(),;\\'%=<>";
static_assert(sizeof(CONSOLE_ANSWER_SET) - 1 == 34, "the answer set is 34 bytes long");

namespace {
constexpr char kInvalidChar[] = "character '%c' is not valid!\n";
constexpr char kTooLong[] = "string too long (max = %d)!\n";
constexpr char kTooSmall[] = "string too small (min = %d)!\n";
constexpr char kDefaultPrompt[] = "# ";
constexpr char kShowDefault[] = "(%s) ";
constexpr char kListedName[] = "[%s]\t";

// The seven Latin-1 letters and their console (code page 437) twins.
struct Twin {
  unsigned char latin1;
  unsigned char console;
};
constexpr Twin kTwins[] = {{0xE4, 0x84}, {0xC4, 0x8E}, {0xF6, 0x94}, {0xD6, 0x99},
                           {0xFC, 0x81}, {0xDC, 0x9A}, {0xDF, 0xE1}};

// A UTF-8 terminal sends each of the seven letters as two bytes: this lead
// byte, then the Latin-1 byte less 0x40 (u-umlaut FC is C3 BC).
constexpr unsigned char kUtf8Lead = 0xC3;
constexpr unsigned char kUtf8Offset = 0x40;

bool IsTwinOf(unsigned char set_byte, unsigned char byte) {
  for (const Twin& twin : kTwins) {
    if (twin.latin1 == set_byte && twin.console == byte) return true;
  }
  return false;
}

bool Allows(unsigned char set_byte, unsigned char byte) {
  return byte == set_byte || IsTwinOf(set_byte, byte);
}

// Counts a question asked after the end of input; a dialogue that keeps
// asking then ends the process as the end of input at the main prompt
// does (without saving).
void NoteReadAfterEnd(CONSOLE* con) {
  if (++con->reads_after_end > CONSOLE_ENDREADS) PLATFORM_Exit(0);
}

// Whether `second`, read after the UTF-8 lead byte, completes one of the
// seven letters that `set` names itself. Only the letters count, not
// their console twins: C3 A1 (an a with acute) would otherwise pass as
// the twin E1 of DF.
bool IsUtf8Letter(const char* set, int second) {
  for (const Twin& twin : kTwins) {
    if (second + kUtf8Offset == twin.latin1) return char_in_set(set, twin.latin1);
  }
  return false;
}

// The next byte of input; EOF at its end, and once an end was asked for.
int ReadByte(CONSOLE* con) {
  if (con->pushed_back != EOF) {
    const int c = con->pushed_back;
    con->pushed_back = EOF;
    return c;
  }
  if (!PLATFORM_WaitForInput(fileno(con->in))) return EOF;
  return std::fgetc(con->in);
}

// Reads and drops bytes up to and including the next newline.
void DiscardRestOfLine(CONSOLE* con) {
  for (;;) {
    int c = ReadByte(con);
    if (c == EOF) {
      con->at_end = true;
      return;
    }
    if (c == '\n') return;
  }
}

// Keeps one byte of a line, up to CONSOLE_LINEMAX of them; past that the
// line is only known to be too long.
void Keep(std::string* buffer, int* count, int byte) {
  if (*count < CONSOLE_LINEMAX) {
    buffer->push_back(static_cast<char>(byte));
    ++*count;
  } else {
    *count = CONSOLE_LINEMAX + 1;
  }
}

// Called for a byte `*c` that the set refuses. When it is the UTF-8 lead
// byte and the next byte completes one of the set's letters, keeps the
// lead, puts the letter's second byte into `*c` for the caller to keep,
// and returns true: the letter stays as typed, two bytes. Otherwise the
// byte read ahead goes back to the stream, so that a refusal discards
// exactly the rest of this line.
bool TakeUtf8Letter(CONSOLE* con, const char* set, std::string* buffer, int* count, int* c) {
  if (*c != kUtf8Lead) return false;
  const int second = ReadByte(con);
  if (second != EOF && IsUtf8Letter(set, second)) {
    Keep(buffer, count, *c);
    *c = second;
    return true;
  }
  con->pushed_back = second;
  return false;
}

void PrintPrompt(CONSOLE* con, const char* prompt) {
  std::fputs(prompt[0] != '\0' ? prompt : kDefaultPrompt, con->out);
}
}  // namespace

CONSOLE& CONSOLE_Get() {
  static CONSOLE console = [] {
    // Before the first read, as the C library requires.
    (void)std::setvbuf(stdin, nullptr, _IONBF, 0);
    return CONSOLE{};
  }();
  return console;
}

void CONSOLE_ResetForTest(FILE* in, FILE* out, FILE* err) {
  CONSOLE_Get() = CONSOLE{in, out, err, false, 0, false, EOF};
}

void CONSOLE_Print(const char* format, ...) {
  va_list args;
  va_start(args, format);
  PLATFORM_VPrint(CONSOLE_Get().out, format, args);
  va_end(args);
}

void CONSOLE_Error(const char* format, ...) {
  CONSOLE& con = CONSOLE_Get();
  std::fflush(con.out);  // keep the order of both streams on one terminal
  va_list args;
  va_start(args, format);
  PLATFORM_VPrint(con.err, format, args);
  va_end(args);
  std::fflush(con.err);
}

bool char_in_set(const char* set, unsigned char byte) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(set);
  if (*s == '-') {
    if (byte == '-') return true;
    ++s;
  }
  while (*s != '\0') {
    if (s[1] == '-' && s[2] != '\0') {
      if (Allows(s[0], byte) || Allows(s[2], byte)) return true;
      if (byte > s[0] && byte <= s[2]) return true;
      s += 3;
    } else {
      if (Allows(s[0], byte)) return true;
      ++s;
    }
  }
  return false;
}

int read_answer_line(const char* set, std::string* buffer) {
  CONSOLE& con = CONSOLE_Get();
  buffer->clear();
  if (con.at_end) {
    NoteReadAfterEnd(&con);
    return READ_END;
  }
  std::fflush(con.out);  // the prompt must show before we wait
  int count = 0;
  for (;;) {
    int c = ReadByte(&con);
    if (c == EOF) {
      con.at_end = true;
      // A line cut short by an end request was never sent off.
      return count > 0 && PLATFORM_EndRequested() == 0 ? count : READ_END;
    }
    if (c == '\n') return count;
    if (!char_in_set(set, static_cast<unsigned char>(c)) &&
        !TakeUtf8Letter(&con, set, buffer, &count, &c)) {
      CONSOLE_Error(kInvalidChar, c);
      DiscardRestOfLine(&con);
      buffer->clear();
      return READ_REJECTED;
    }
    Keep(buffer, &count, c);
  }
}

bool ask_string(const char* prompt, std::string* buffer, int max, int min) {
  CONSOLE& con = CONSOLE_Get();
  for (;;) {
    PrintPrompt(&con, prompt);
    int length = read_answer_line(CONSOLE_ANSWER_SET, buffer);
    if (length == READ_END) return false;
    if (length > 0) {
      if (length > max) {
        CONSOLE_Print(kTooLong, max);
      } else if (length < min) {
        CONSOLE_Print(kTooSmall, min);
      } else {
        return *buffer != "q";
      }
    } else if (min == 0) {
      buffer->clear();
      return true;
    }
  }
}

bool ask_string_default(const char* prompt, const std::string& default_answer, std::string* buffer,
                        int max) {
  CONSOLE& con = CONSOLE_Get();
  for (;;) {
    PrintPrompt(&con, prompt);
    // Shown as the terminal may show it; an empty answer takes it as stored.
    if (!default_answer.empty()) {
      CONSOLE_Print(kShowDefault, PLATFORM_Printable(default_answer).c_str());
    }
    int length = read_answer_line(CONSOLE_ANSWER_SET, buffer);
    if (length == READ_END) return false;
    if (length > max) {
      CONSOLE_Print(kTooLong, max);
      continue;
    }
    // A rejected line is never used in part: it counts as no answer.
    if (length <= 0) *buffer = default_answer;
    return *buffer != "q" || length <= 0;
  }
}

int CONSOLE_AskChar(const char* question) {
  CONSOLE& con = CONSOLE_Get();
  std::fputs(question, con.out);
  if (con.at_end) {
    NoteReadAfterEnd(&con);
    return 'q';
  }
  std::fflush(con.out);
  int c = ReadByte(&con);
  if (c == EOF) {
    con.at_end = true;
    return 'q';
  }
  if (c != '\n') DiscardRestOfLine(&con);
  return c;
}

void CONSOLE_PrintNames(const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    CONSOLE_Print(kListedName, PLATFORM_Printable(name).c_str());
  }
  CONSOLE_Print("\n");
}

int CONSOLE_AskAccepted(const char* question, const char* accepted) {
  if (CONSOLE_Get().script) {
    const int answer = std::strchr(accepted, 'n') != nullptr ? 'n' : 'q';
    CONSOLE_Error("%s%c\n", question, answer);
    return answer;
  }
  int c = CONSOLE_AskChar(question);
  while (std::strchr(accepted, c) == nullptr || c == '\0') c = CONSOLE_AskChar("");
  return c;
}
