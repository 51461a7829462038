// modify_internal.h: the steps that the data modification handlers share
// (modify.h): the common prologue, the reading of typed values and of SQL
// literals into row fields, the entry into the transaction and the redo
// record. Only the handlers' own files include it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "engine/catalog/catalog.h"
#include "engine/statements/expr.h"
#include "engine/statements/modify.h"
#include "engine/statements/qtokens.h"
#include "engine/tables/transaction.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"

// The texts of one statement's prologue and transaction steps.
struct MODIFYTEXTS {
  const char* statement;        // "INSERT STD": prefix of the connection messages
  const char* no_transaction;   // "(INSERT STD) No transaction"
  const char* name_missing;     // "(INSERT STD) table-name is missing"
  const char* no_table;         // %s table, %s database
  const char* too_many_tables;  // %d DB_MAXTABLES
};

// One statement on one table, after the prologue.
struct MODIFYSTMT {
  DBCONN* conn = nullptr;
  DBDATABASE* db = nullptr;
  DBTABLE* table = nullptr;
  int table_pos = -1;
  int timestamp = -1;  // the transaction's T
  const unsigned char* msg = nullptr;
  int length = 0;
  int offset = 0;  // the next unread byte: just after the table name at first
};

// The prologue: the connection with its database and open transaction, and
// the table named by the first token. Writes the error reply and returns 0
// on failure.
[[nodiscard]] int MODIFY_Begin(const MODIFYTEXTS& texts, int conn_id, const unsigned char* msg,
                               int length, MODIFYSTMT* out);

// Enters the table into the transaction's list `list`. A 257th table
// writes the too-many-tables reply and returns 0.
[[nodiscard]] int MODIFY_Record(const MODIFYTEXTS& texts, MODIFYSTMT* st, TRANS_LIST list);

// The end of a successful statement: its message goes to the redo buffer
// when the table is SECURE.
void MODIFY_Redo(MODIFYSTMT* st);

// Texts of the typed-value reader, all with the statement's prefix.
struct TYPEDTEXTS {
  const char* prefix;        // "(INSERT STD)": for a value cut short
  const char* wrong_type;    // %s attribute, %s table, %c attribute's code, %c given
  const char* too_long;      // %s text, %d its size, %s attribute, %d n
  const char* illegal_type;  // %s attribute
};

// Reads one typed value per attribute, in definition order, into `row`
// (row_size bytes, cleared first). Writes the error reply and returns 0 on
// failure.
[[nodiscard]] int MODIFY_ReadTypedRow(const TYPEDTEXTS& texts, MODIFYSTMT* st, unsigned char* row);
// The same without the clearing, for a row whose bytes are all zero
// already (a new slot), with the table's attributes (CATALOG_Attribs)
// looked up once by a caller that reads many rows.
[[nodiscard]] int MODIFY_ReadTypedValues(const TYPEDTEXTS& texts, MODIFYSTMT* st,
                                         std::span<DBATTRIB* const> attribs, unsigned char* row);

// Texts of the literal conversion, all with the statement's prefix.
struct LITERALTEXTS {
  const char* illegal_type;    // %s attribute
  const char* illegal_short;   // %d value, %s attribute
  const char* too_long;        // %s text, %d its length, %s attribute, %d n
  const char* binary_invalid;  // %s text, %s attribute, %d n
  const char* bad_date;        // %s text
  const char* bad_time;        // %s text
  const char* bad_timestamp;   // %s text
  const char* illegal_value;   // a token that is no literal
};

// Reads the literal at st->offset (its kind byte first) and converts it
// into `field`, the attribute's bytes in a row. Writes the error reply and
// returns 0 on failure.
[[nodiscard]] int MODIFY_ReadLiteral(const LITERALTEXTS& texts, MODIFYSTMT* st,
                                     const DBATTRIB& attrib, unsigned char* field);

// Leaves each row number of *rows once, in first-seen order: changing or
// deleting a row twice in one statement would take it out of its indexes
// twice.
void MODIFY_UniqueRows(const DBTABLE& table, std::vector<int32_t>* rows);

// The rows the WHERE section at `tok` selects from the statement's table,
// once each (MODIFY_UniqueRows). A subselect or filter that was cut short
// would leave rows out unnoticed, so it refuses the statement with
// `too_many` as the error reply; any other failure has written its reply.
[[nodiscard]] int MODIFY_SelectRows(const char* statement, const char* too_many, MODIFYSTMT* st,
                                    QTOKENS* tok, std::vector<int32_t>* rows);

// Changes each of `rows` through `change(row, &undo)`, which returns 0 when
// the row cannot take the change. Such a refusal (replied with `refused`)
// and a stop the user asked for both take back every row the statement
// changed before the reply; 0 is returned then.
template <typename Change>
[[nodiscard]] int MODIFY_ChangeRows(MODIFYSTMT* st, const std::vector<int32_t>& rows, Change change,
                                    const char* refused) {
  STMTUNDO undo;
  for (int32_t row : rows) {
    if (INTERRUPT_Requested()) {
      MODIFY_Undo(st->table, &undo);
      return INTERRUPT_Fail();
    }
    if (!change(row, &undo)) {
      MODIFY_Undo(st->table, &undo);
      REPLY_Error(refused);
      return 0;
    }
  }
  return 1;
}
