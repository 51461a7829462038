// limits.h: the fixed limits of the engine, every floor above the storage:
// the catalogue, declared lengths, statements, expressions, result memory.
// Messages that report a limit name it by these constants.
#pragma once

#include <cstdint>

#include "engine/types/tokens.h"

inline constexpr int DB_MAXCONNS = 15;     // open connections; a 16th is refused
inline constexpr int DB_MAXDBS = 15;       // databases at the same time; a 16th is refused
inline constexpr int DB_MAXTABLES = 256;   // tables in each changed-table list of a transaction
inline constexpr int DB_MAXATTRIBS = 256;  // attributes assigned by one UPDATE
inline constexpr int DB_MAXCURSORS = 20;   // cursors open on one connection

// Names of databases, tables, attributes, indexes and cursors: at most 31
// characters, 32 bytes with the terminator (the lexer refuses longer ones).
inline constexpr int DB_NAMESIZE = DBTK_NAMEMAX + 1;
// Table, attribute and index names are keys of a name index, which cannot
// hold a one-character name.
inline constexpr int DB_MINNAMELEN = 2;

// Rows a query of a connection returns at most, until MAX changes it;
// copied into a connection whenever it selects a database.
inline constexpr int DB_DEFAULTMAXROWS = 30000;
// Bytes of result data a query collects at most, until start-up computes
// the limit from the machine's memory.
inline constexpr int DB_DEFAULTRESULTMEM = 25165824;
// Longest redo-log path a connection can name.
inline constexpr int DB_MAXREDOPATH = 9999;

// Declared lengths of CHARACTER(n) and BINARY(n) that the engine accepts: a
// value must still fit the signed 16-bit lengths of the wire and of BINARY
// values (n + 1 resp. n + 2 bytes, Kaspo's largest is BINARY(4000)).
inline constexpr int DEF_MINLENGTH = 1;
inline constexpr int DEF_MAXCHARLENGTH = 32766;
inline constexpr int DEF_MAXBINLENGTH = 32765;

// Nodes an expression may hold when it is evaluated; this many or more are
// refused.
inline constexpr int DB_EXPRVALMAX = 100;

// Table numbers a row list can restrict, and so the FROM tables one select
// may name.
inline constexpr int DB_MAXROWLISTTABLES = 256;

// Distinct tables of enclosing selects that one select may refer to.
inline constexpr int DB_MAXUPPERREFS = 20;

// Selects that may be open above the deepest subselect.
inline constexpr int DB_MAXSUBSELECTDEPTH = 10;

// Rows a filter fed by a subselect appends before it stops and marks the
// statement's result as truncated.
inline constexpr int DB_FILTERROWMAX = 999999;

// The smallest result memory limit start-up sets (8 MiB).
inline constexpr int64_t START_MINRESULTMEM = 8388608;

// The largest row a table may have: keeps the layout arithmetic (and the
// row buffers) far from the 32-bit limit, whatever a message declares.
inline constexpr int DDL_MAXROWSIZE = 1 << 30;

// Attribute restrictions of 1 .. this many attributes limit the ordered
// lists touched to those attributes; none, or more, mean every list.
inline constexpr int ROWIDX_MAXRESTRICT = 19;
