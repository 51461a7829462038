// handler.h: the form of a statement handler and of the engine entry,
// process_sql, that runs them (SqlHandler).
// Owns nothing: the reply a handler leaves belongs to reply.h.
#pragma once

// One statement handler: runs the command message `msg` of `length` bytes
// (the command letter at offset 0) for connection `conn_id` and leaves
// exactly one reply in the reply buffer.
using SqlHandler = void (*)(int conn_id, const unsigned char* msg, int length);
