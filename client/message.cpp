// message.cpp: the message buffer and the message builder.
#include "client/message.h"

#include <cstring>

#include "engine/types/wire.h"

namespace {

// Largest payload behind a u16 length field.
constexpr int kMaxPayload = 65535;

struct MESSAGESTATE {
  WIREBUF buf;
  bool damaged = false;
};

MESSAGESTATE& Message() {
  static MESSAGESTATE state;
  return state;
}

void Put(const void* bytes, int length) { WIRE_Append(&Message().buf, bytes, length); }

void PutKind(unsigned char kind) { Put(&kind, 1); }

void PutU16(int value) {
  const uint16_t v = static_cast<uint16_t>(value);
  Put(&v, 2);
}

}  // namespace

void DBquery_reset() {
  Message().buf.used = 0;
  Message().damaged = false;
}

void DBquery_addcmd(char letter) { PutKind(static_cast<unsigned char>(letter)); }

void DBquery_addtok(unsigned char kind) { PutKind(kind); }

void DBquery_addtokint(unsigned char kind, int32_t value) {
  PutKind(kind);
  Put(&value, 4);
}

void DBquery_addtokfloat(unsigned char kind, double value) {
  PutKind(kind);
  Put(&value, 8);
}

void DBquery_addtokstring(unsigned char kind, const char* text) {
  const size_t n = std::strlen(text);
  if (n + 1 > static_cast<size_t>(kMaxPayload)) {
    Message().damaged = true;
    return;
  }
  PutKind(kind);
  PutU16(static_cast<int>(n + 1));
  Put(text, static_cast<int>(n + 1));
}

void DBquery_addtokdata(unsigned char kind, const void* bytes, int length) {
  if (length < 0 || length > kMaxPayload) {
    Message().damaged = true;
    return;
  }
  PutKind(kind);
  PutU16(length);
  Put(bytes, length);
}

void MESSAGE_Load(const unsigned char* bytes, int length, bool damaged) {
  DBquery_reset();
  Put(bytes, length);
  Message().damaged = damaged;
}

const unsigned char* MESSAGE_Data() { return Message().buf.bytes.data(); }

int MESSAGE_Length() { return Message().buf.used; }

bool MESSAGE_Damaged() { return Message().damaged; }

void MESSAGE_ResetForTest() { Message() = MESSAGESTATE(); }
