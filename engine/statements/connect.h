// connect.h: the connection commands CONNECT ('1'), DISCONNECT ('2') and
// SET DATABASE ('X').
// Owns no state: a connection is a slot of the catalogue (catalog.h), taken
// by CONNECT and given up by DISCONNECT.
//
// Messages read (after the command letter):
//   CONNECT       'a' database name (an empty name selects no database)
//   DISCONNECT    none; the reply is the single byte 0x5C, never an error
//   SET DATABASE  'a' database name
#pragma once

#include <string_view>

#include "engine/catalog/catalog.h"

// The reply of DISCONNECT, which the client does not read.
inline constexpr unsigned char CONNECT_DISCONNECTREPLY = 0x5C;

void CONNECT_Connect(int conn_id, const unsigned char* msg, int length);
void CONNECT_Disconnect(int conn_id, const unsigned char* msg, int length);
void CONNECT_SetDatabase(int conn_id, const unsigned char* msg, int length);

// Reads every table of database `db` that is not loaded yet from its files
// and marks it loaded. On failure writes the error reply "(<statement>)
// Data of table '%s' in database '%s' could not be loaded!" and returns 0;
// tables read before the failing one stay loaded.
[[nodiscard]] int CONNECT_LoadTables(std::string_view statement, DBDATABASE* db);
