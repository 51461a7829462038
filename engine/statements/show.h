// show.h: the catalogue questions of SHOW ('S') and the connection's
// result-row maximum MAX ('T').
// Owns no state: SHOW reads the catalogue, MAX reads and sets one field of
// the connection record (catalog.h).
//
// Both answer with the row reply of SELECT (select.h). Every column is of
// type CHARACTER; every cell is a u16 length (text length + 1), the text
// and its zero. The header sizes are fixed per form, whatever the texts:
//
//   | Tokens after 'S'    | Form                 | Columns (name size)         |
//   |---------------------|----------------------|-----------------------------|
//   | 0xF6                | SHOW DATABASES       | Database 32                 |
//   | 0xFC                | SHOW TABLES          | Table 32, Static 3, Secure 3|
//   | 0xE4                | SHOW INDICES         | Index 32, Table 32          |
//   | '?' 'a' name        | SHOW TABLE t         | Attribute 32, Type 9,       |
//   |                     |                      | Size 5, NOT NULL 3          |
//   | '?' 0xE4 'a' name   | SHOW INDICES ON      | Indices 32, Unique 3        |
//   |                     | TABLE t              |                             |
//   | '9' 'a' name        | SHOW INDEX i         | as SHOW TABLE               |
//
//   | Tokens after 'T'    | Effect                                         |
//   |---------------------|------------------------------------------------|
//   | 'd' i32             | sets the maximum; reply '1'                    |
//   | anything else       | reply of one column "Max-Results" (size 9) and |
//   |                     | one row: the maximum as "%d"                   |
//
// A maximum of 0 or less means "no row limit" to SELECT; MAX stores and
// shows it as given.
#pragma once

// The SHOW handler. An unknown first token writes nothing (the dispatcher
// then answers that no result was left).
void SHOW_Command(int conn_id, const unsigned char* msg, int length);

// The MAX handler. Needs a connection but no database.
void SHOW_Max(int conn_id, const unsigned char* msg, int length);
