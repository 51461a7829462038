// message.h: the client's command message buffer and the message builder.
// Owns the process-wide message buffer: one command message at a time is
// built here (by the statement parser or by the record modules directly)
// and handed to the engine without copying. The byte format is drawn in
// engine/types/wire.h.
#pragma once

#include <cstdint>

// Empties the message (used length 0); the storage stays for reuse.
void DBquery_reset();

// One byte: the command letter, or a kind byte without payload.
void DBquery_addcmd(char letter);
void DBquery_addtok(unsigned char kind);

// Kind byte and a signed 32-bit integer.
void DBquery_addtokint(unsigned char kind, int32_t value);

// Kind byte and an 8-byte double.
void DBquery_addtokfloat(unsigned char kind, double value);

// Kind byte, u16 length (text length + 1), the text and its zero.
void DBquery_addtokstring(unsigned char kind, const char* text);

// Kind byte, u16 length, then `length` bytes.
void DBquery_addtokdata(unsigned char kind, const void* bytes, int length);

// Replaces the message with `length` bytes kept from an earlier build (a
// prepared statement), damaged as that build was, so that it goes out
// exactly as it was built.
void MESSAGE_Load(const unsigned char* bytes, int length, bool damaged);

// The message built so far.
const unsigned char* MESSAGE_Data();
int MESSAGE_Length();

// Set when a token's payload did not fit its u16 length field; such a token
// is left out, so the message is damaged and DBsend refuses it. Cleared by
// DBquery_reset.
bool MESSAGE_Damaged();

// Empties and releases the message buffer. Only tests call it.
void MESSAGE_ResetForTest();
