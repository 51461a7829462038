// expr.h: the pieces every query statement shares: expression nodes
// (EXPRNODE) and their pool, the scope of one select (QUERYSCOPE) and of
// one statement (QUERYSTMT).
// Owns the process-wide node pool; a scope owns its candidate lists and
// its expression list, a statement its select context stack.
//
// A WHERE condition becomes a postfix list of node pointers (a PTRSTACK).
// Conditions that need one row only are decided while the list is built
// and leave a row list ('h') in place of the condition; what needs several
// rows stays as operands and operators for evaluation per row combination.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/catalog/limits.h"
#include "engine/statements/namelist.h"
#include "engine/statements/ptrstack.h"
#include "engine/types/resdata.h"
#include "engine/types/tokens.h"

// Nodes the pool creates at its first request, and its growth step.
inline constexpr int EXPR_POOLFIRST = 20;
inline constexpr int EXPR_POOLGROW = 70;
// A returned node whose subselect result is estimated above this many bytes
// gets a fresh result, so one large subselect does not pin its memory. A
// smaller one is kept for reuse but no longer counts against the result
// memory limit (resdata.h): it holds no open result.
inline constexpr int64_t EXPR_KEEPRESULTBYTES = 524288;

// A reference from a select to a table of an enclosing select. Two
// references to the same table of the same enclosing select share one.
struct UPPERREF {
  DBDATABASE* db = nullptr;
  DBTABLE* table = nullptr;
  // The enclosing select's candidate list for the table (shared: expanding
  // it here expands it there).
  std::vector<int32_t>* candidates = nullptr;
  int table_number = -1;  // in the enclosing select's FROM list
  int position = -1;      // index into *candidates; -1 while nobody iterates
  int level = -1;         // nesting level of the enclosing select (0 = top)
};

// Kinds of node beyond the token kinds of operators: 'a' local attribute,
// '#' upper attribute, 'f' text, 'd' integer, 'e' float, 'h' row list.
inline constexpr unsigned char EXPR_UPPER = '#';

struct EXPRNODE {
  unsigned char kind = 0;
  // 'a' and '#': the attribute; 'a' also its table number in the FROM list.
  DBATTRIB* attrib = nullptr;
  int table = -1;
  UPPERREF* upper = nullptr;  // '#'
  std::string text;           // 'f'
  int32_t ival = 0;           // 'd'
  double fval = 0;            // 'e'
  // 'h': a table whose flag is set is restricted to the listed rows (each
  // at most once); a list [-1] stands for every row of the table. A row list
  // without any flag set restricts nothing: it is true.
  std::array<unsigned char, DB_MAXROWLISTTABLES> restricted{};
  std::array<std::vector<int32_t>, DB_MAXROWLISTTABLES> rows;
  // 'h' of a subselect not yet consumed by its operator: its result.
  int has_result = 0;
  RESDATA result;
  int from_exists = 0;  // made by EXISTS
  // Membership of rows in `rows`, built on first use by evaluation: per
  // table a byte per row slot.
  std::vector<std::vector<unsigned char>> member;
};

// One select (or the single table of UPDATE and DELETE) while its WHERE
// section is read and evaluated.
struct QUERYSCOPE {
  std::vector<DBTABLE*> tables;  // FROM tables in FROM order
  std::vector<int> table_pos;    // their positions in the database
  NAMELIST identifiers;          // one entry per FROM table; empty: none
  // Per FROM table the candidate rows, starting as [-1] (every row).
  // Sized once before the WHERE section is read: upper references of
  // subselects point at its elements.
  std::vector<std::vector<int32_t>> candidates;
  std::array<UPPERREF, DB_MAXUPPERREFS> uppers;
  int upper_count = 0;
  // Per FROM table, the position in its candidate list that an EXISTS
  // subselect of this select is deciding, else -1. A select nested deeper
  // that names the table takes that row only.
  std::vector<int> pinned;
  // A select nested in this one names a table of a select around this
  // one; this select (an EXISTS subselect) refers to that table too, and
  // its WHERE section is read anew for each of its rows.
  int reread = 0;
  PTRSTACK expr;      // the postfix expression (node pointers)
  int level = 0;      // 0 for the statement's own select
  int truncated = 0;  // a limit, a subselect or a filter cut something short
};

// One statement: what every select inside it shares.
struct QUERYSTMT {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  int timestamp = -1;  // the statement timestamp
  // Rows a filter fed by a subselect may append (DB_FILTERROWMAX; tests
  // lower it).
  int filter_row_max = DB_FILTERROWMAX;
  // The select context stack: the enclosing selects of the select being
  // read, outermost first.
  std::vector<QUERYSCOPE*> contexts;
};

// The process-wide pool of expression nodes.
struct EXPRPOOL {
  std::vector<std::unique_ptr<EXPRNODE>> nodes;  // every node ever made
  std::vector<EXPRNODE*> free;                   // reused first, last in first out
};
EXPRPOOL& EXPR_Pool();
// Drops every node. Only tests call it.
void EXPR_ResetForTest();

// A node from the pool, cleared, of `kind`.
EXPRNODE* EXPR_NewNode(unsigned char kind);
// Returns a node to the pool (null is ignored).
void EXPR_FreeNode(EXPRNODE* node);
// Returns every node of the list to the pool and empties the list.
void EXPR_FreeList(PTRSTACK* expr);

// Scopes. Init prepares a scope for `tables` (with their identifiers,
// empty for none) at nesting `level`: candidate lists [-1], no upper
// references, an empty expression. Free returns the nodes to the pool.
void EXPR_InitScope(QUERYSCOPE* scope, int level);
void EXPR_AddScopeTable(QUERYSCOPE* scope, DBTABLE* table, int table_pos, const char* identifier);
void EXPR_StartCandidates(QUERYSCOPE* scope);
void EXPR_FreeScope(QUERYSCOPE* scope);

// Expands a list [-1] in place into the rows of `table` visible at
// `timestamp` (newest first); any other list stays as it is.
void EXPR_ExpandList(DBTABLE* table, int timestamp, std::vector<int32_t>* list);
