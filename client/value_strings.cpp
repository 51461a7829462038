// value_strings.cpp: the pool of value strings and the pattern helpers.
#include "client/value_strings.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kBadExpectedSize[] =
    "(Make_ValueString) Error: Stringsize '%d' of type is invalid ('%s')\n";
constexpr char kTooLong[] =
    "(Make_ValueString) Error: Size of string '%s' is invalid (%d characters expected)\n";
constexpr char kPoolFull[] =
    "(Make_ValueString) Warning: Limit for temporary strings reached - memory is wasted "
    "(limit = %d)\n";
constexpr char kNoHold[] = "(Release_ValueStrings) Error: No corresponding Hold_ValueStrings!\n";
constexpr char kCopyTooLong[] = "(my_strncpy): String too long (strlen = %d; size = %d)!\n";

// Characters a key never holds.
constexpr char kKeyForbidden[] = "%'\\;@\",/";
constexpr int kKeyLowest = 32;
constexpr int kKeyHighest = 127;

// Entries are held by pointer so that texts already handed out never move.
using Text = std::unique_ptr<std::string>;

struct ValueStringState {
  std::vector<Text> pool;
  std::vector<Text> unpooled;  // past the pool's limit; kept to process end
  int hold = 0;
  bool warned = false;
};

ValueStringState& State() {
  static ValueStringState state;
  return state;
}

const char* Keep(std::string text) {
  ValueStringState& state = State();
  if (static_cast<int>(state.pool.size()) > VALSTR_POOLMAX - 2) {
    if (!state.warned) DBreport(kPoolFull, VALSTR_POOLMAX);
    state.warned = true;
    state.unpooled.push_back(std::make_unique<std::string>(std::move(text)));
    return state.unpooled.back()->c_str();
  }
  state.pool.push_back(std::make_unique<std::string>(std::move(text)));
  return state.pool.back()->c_str();
}

size_t TrimmedLength(const char* text) {
  size_t len = std::strlen(text);
  while (len > 0 && text[len - 1] == ' ') --len;
  return len;
}

}  // namespace

const char* Make_ValueString(const char* text, int expected_len) {
  if (text == nullptr) text = "";
  if (expected_len < 0) {
    DBreport(kBadExpectedSize, expected_len, text);
    PLATFORM_Exit(1);
  }
  size_t len = std::strlen(text);
  if (len > static_cast<size_t>(expected_len)) {
    DBreport(kTooLong, text, expected_len);
    PLATFORM_Exit(1);
  }
  std::string quoted;
  quoted.reserve(len + 8);
  for (const char* c = text; *c != '\0'; ++c) {
    // The backslash is escaped too: the lexer reads it as an escape, so a
    // key or description holding one would otherwise come back changed.
    if (*c == '\'' || *c == '"' || *c == '\\') quoted += '\\';
    quoted += *c;
  }
  return Keep(std::move(quoted));
}

const char* VALSTR_MakeOrEmpty(const char* text, int expected_len) {
  if (text == nullptr || TrimmedLength(text) == 0) return "";
  return Make_ValueString(text, expected_len);
}

const char* VALSTR_MakeTrimmed(const char* text) {
  if (text == nullptr) text = "";
  return Keep(std::string(text, TrimmedLength(text)));
}

void Hold_ValueStrings() { ++State().hold; }

void Release_ValueStrings() {
  ValueStringState& state = State();
  if (state.hold == 0) {
    DBreport("%s", kNoHold);
    PLATFORM_Exit(1);
  }
  --state.hold;
}

void VALSTR_Free() {
  ValueStringState& state = State();
  if (state.hold == 0) state.pool.clear();
}

int VALSTR_PoolCount() { return static_cast<int>(State().pool.size()); }

void my_strncpy(char* dest, const char* text, int size) {
  size_t len = TrimmedLength(text);
  if (size < 0) size = 0;
  if (len > static_cast<size_t>(size)) {
    DBreport(kCopyTooLong, static_cast<int>(std::strlen(text)), size);
    len = static_cast<size_t>(size);
  }
  std::memcpy(dest, text, len);
  dest[len] = '\0';
}

void VALSTR_StarToPercent(char* text) {
  for (char* c = text; *c != '\0'; ++c) {
    if (*c == '*') *c = '%';
  }
}

void VALSTR_SurroundPattern(char* text, int max_len) {
  size_t len = std::strlen(text);
  if (static_cast<long>(len) + 2 <= max_len) {
    std::memmove(text + 1, text, len);
    text[0] = '*';
    text[len + 1] = '*';
    text[len + 2] = '\0';
  }
  VALSTR_StarToPercent(text);
}

void VALSTR_RandomKey(char* out, VALSTR_Draw draw, void* ctx) {
  for (int i = 0; i < VALSTR_KEYLEN; ++i) {
    int c = 0;
    do {
      c = draw(ctx, kKeyLowest, kKeyHighest);
    } while (std::memchr(kKeyForbidden, c, sizeof kKeyForbidden - 1) != nullptr);
    out[i] = static_cast<char>(c);
  }
  out[VALSTR_KEYLEN] = '\0';
}

void VALSTR_BlankBinary(void* field, int n) {
  const int16_t length = 0;
  std::memcpy(field, &length, sizeof length);
  if (n > 0)
    std::memset(static_cast<unsigned char*>(field) + sizeof length, ' ', static_cast<size_t>(n));
}

void VALSTR_ResetForTest() { State() = ValueStringState{}; }
