// limits.h: the fixed limits of the engine catalogue. Messages that report
// a limit name it by these constants.
#pragma once

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
