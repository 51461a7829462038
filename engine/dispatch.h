// dispatch.h: the engine entry of the request channel.
// Owns the table that maps each command letter to its statement handler.
// The reply is left in the reply buffer of engine/types/reply.h.
#pragma once

#include "engine/types/handler.h"

// Runs one command message for connection `conn_id` and leaves exactly one
// reply in the reply buffer:
//  - a first byte '0' answers "No SQL string to process!";
//  - a letter of the command table runs its handler; a letter whose
//    handler is not part of this build answers "(<STATEMENT>) Statement not
//    available in this build";
//  - any other byte answers "Unknown command '%c'!";
//  - a handler that left no reply answers "No result string from
//    process_sql!".
// An empty message (length 0 or less) counts as a first byte '0'.
void process_sql(int conn_id, const unsigned char* msg, int length);

// Puts `handler` (or nullptr: not in this build) in the place of the
// table's handler for `letter`. Fails for a letter outside the table. Only
// tests call it; DISPATCH_ResetForTest restores the table.
[[nodiscard]] int DISPATCH_SetHandlerForTest(char letter, SqlHandler handler);
void DISPATCH_ResetForTest();
