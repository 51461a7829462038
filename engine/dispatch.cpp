// dispatch.cpp: process_sql and the command table.
#include "engine/dispatch.h"

#include <array>

#include "engine/statements/connect.h"
#include "engine/statements/cursor.h"
#include "engine/statements/ddl.h"
#include "engine/statements/modify.h"
#include "engine/statements/select.h"
#include "engine/statements/show.h"
#include "engine/statements/txn.h"
#include "engine/stop.h"
#include "engine/types/handler.h"
#include "engine/types/reply.h"

namespace {

constexpr char kNoSqlString[] = "No SQL string to process!";
constexpr char kUnknownCommand[] = "Unknown command '%c'!";
constexpr char kNoResult[] = "No result string from process_sql!";
constexpr char kNotAvailable[] = "(%s) Statement not available in this build";

struct COMMAND {
  char letter;
  const char* statement;  // the prefix of the statement's messages
  SqlHandler handler;     // nullptr: not part of this build
};

// The command letters. Wiring a handler is one line: put its function in
// place of the nullptr. Letters missing here (':' to 'B', 'W') are refused.
constexpr COMMAND kCommands[] = {
    {'1', "CONNECT", CONNECT_Connect},
    {'2', "DISCONNECT", CONNECT_Disconnect},
    {'3', "CREATE DATABASE", DDL_CreateDatabase},
    {'4', "DROP DATABASE", DDL_DropDatabase},
    {'5', "CREATE TABLE", DDL_CreateTable},
    {'6', "DROP TABLE", DDL_DropTable},
    {'7', "CREATE INDEX", DDL_CreateIndex},
    {'8', "CREATE UNIQUE INDEX", DDL_CreateUniqueIndex},
    {'9', "DROP INDEX", DDL_DropIndex},
    {'C', "SELECT", SELECT_Command},
    {'D', "INSERT STD", MODIFY_InsertStd},
    {'E', "INSERT", MODIFY_Insert},
    {'F', "DELETE STD", MODIFY_DeleteStd},
    {'G', "DELETE", MODIFY_Delete},
    {'H', "UPDATE STD", MODIFY_UpdateStd},
    {'I', "UPDATE", MODIFY_Update},
    {'J', "BEGIN", TXN_Begin},
    {'K', "END", TXN_End},
    {'L', "INSERT LOAD", MODIFY_InsertLoad},
    {'M', "ABORT", TXN_Abort},
    {'N', "DECLARE", CURSOR_Declare},
    {'O', "FETCH", CURSOR_Fetch},
    {'P', "CLOSE", CURSOR_Close},
    {'Q', "SET TABLE", DDL_SetTable},
    {'R', "SAVE DATABASE", DDL_SaveDatabase},
    {'S', "SHOW", SHOW_Command},
    {'T', "MAX", SHOW_Max},
    {'U', "SET TABLE SECURE", DDL_SetTableSecure},
    {'V', "STOP DATABASE", STOP_Database},
    {'X', "SET DATABASE", CONNECT_SetDatabase},
};

// The letters span '1'..'X'; a direct lookup by letter keeps dispatch at
// one index per message.
constexpr int kFirstLetter = '1';
constexpr int kLetterSpan = 'X' - '1' + 1;

constexpr std::array<const COMMAND*, kLetterSpan> BuildLookup() {
  std::array<const COMMAND*, kLetterSpan> lookup{};
  for (const COMMAND& c : kCommands) lookup[c.letter - kFirstLetter] = &c;
  return lookup;
}

constexpr std::array<const COMMAND*, kLetterSpan> kLookup = BuildLookup();

// The handler in force for each letter: the table's, unless a test put
// another in its place.
struct DISPATCHSTATE {
  std::array<SqlHandler, kLetterSpan> handlers;
  DISPATCHSTATE() {
    for (int i = 0; i < kLetterSpan; ++i) handlers[i] = kLookup[i] ? kLookup[i]->handler : nullptr;
  }
};

DISPATCHSTATE& Dispatch() {
  static DISPATCHSTATE state;
  return state;
}

int LetterIndex(unsigned char letter) {
  const int index = letter - kFirstLetter;
  if (index < 0 || index >= kLetterSpan || kLookup[index] == nullptr) return -1;
  return index;
}

}  // namespace

void process_sql(int conn_id, const unsigned char* msg, int length) {
  REPLY_Reset();
  if (length <= 0 || msg[0] == '0') {
    REPLY_Error(kNoSqlString);
    return;
  }
  const int index = LetterIndex(msg[0]);
  if (index < 0) {
    REPLY_Errorf(kUnknownCommand, msg[0]);
  } else if (Dispatch().handlers[index] == nullptr) {
    REPLY_Errorf(kNotAvailable, kLookup[index]->statement);
  } else {
    Dispatch().handlers[index](conn_id, msg, length);
  }
  if (REPLY_Length() == 0) REPLY_Error(kNoResult);
}

int DISPATCH_SetHandlerForTest(char letter, SqlHandler handler) {
  const int index = LetterIndex(static_cast<unsigned char>(letter));
  if (index < 0) return 0;
  Dispatch().handlers[index] = handler;
  return 1;
}

void DISPATCH_ResetForTest() { Dispatch() = DISPATCHSTATE(); }
