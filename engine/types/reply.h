// reply.h: the engine's reply buffer (REPLY): one reply per command
// message, in the reply format of wire.h.
// Owns the process-wide buffer; process_sql empties it before each handler,
// the client reads it after process_sql returns.
#pragma once

#include <cstdint>
#include <string_view>

// Empties the reply (used length 0). process_sql calls it before each
// handler; handlers do not need to.
void REPLY_Reset();

// The bytes of the current reply and their number. Valid until the next
// reply is written.
const unsigned char* REPLY_Data();
int REPLY_Length();

// Whole replies. Each of these replaces whatever the reply held so far, so
// a handler that fails half-way through writing rows still leaves exactly
// one well-formed reply.
void REPLY_Success();                     // '1'
void REPLY_Error(std::string_view text);  // '0' 'b' u16 L text 0
[[gnu::format(printf, 1, 2)]] void REPLY_Errorf(const char* format, ...);
// The usual handler failure: its own message, "\n", then the token detail
// (which may be empty, meaning the message simply ended).
void REPLY_ErrorDetail(std::string_view message, std::string_view detail);
void REPLY_Count(int32_t count);  // '3' i32
void REPLY_Wait();                // '-'

// A row reply, written in pieces: REPLY_RowsBegin, one REPLY_Column per
// column, then REPLY_Cell for each cell row by row. `code` is '2' for a
// complete result or '4' for one that stopped at a limit. REPLY_RowsBegin
// replaces the reply; REPLY_SetRowCount patches the row count afterwards
// for a handler that counts rows while it writes them.
void REPLY_RowsBegin(char code, int32_t columns, int32_t rows);
void REPLY_SetRowCount(int32_t rows);
void REPLY_Column(std::string_view name, unsigned char type, int32_t size);
void REPLY_Cell(const void* bytes, int length);  // u16 length, bytes
void REPLY_CellText(std::string_view text);      // u16 L, text, zero

// Raw appends, for anything the pieces above do not cover.
void REPLY_AppendByte(unsigned char byte);
void REPLY_AppendInt32(int32_t value);

// Empties and releases the reply buffer. Only tests call it.
void REPLY_ResetForTest();
