// process_sql_fuzz.cpp: arbitrary command messages through the engine
// entry, against a database with tables, indexes and rows that the real
// start-up and real statements prepared.
//
// Input: one flag byte, then the body.
//   flag bit 0 clear: the body is command messages.
//   flag bit 0 set: the body is SQL text; the statement parser builds the
//     messages (refused text ends the input), so that well-formed messages
//     reach deep into the statement handlers.
//   flag bit 1 clear: the body is one message (one statement).
//   flag bit 1 set: the body is a sequence of up to 8 messages, run one
//     after the other on one connection, so that statements meet the state
//     that earlier ones left (an open cursor, changed rows, a new index):
//     raw messages each with a length byte before them, SQL statements
//     separated by ";".
//
// The engine's state is process-wide and outlives an input. To keep every
// input's outcome a function of that input alone, and memory bounded:
//  - each input runs inside a transaction that is rolled back, on a
//    connection that is then dropped and made again (cursors, row maximum);
//  - a message that can change the schema, the databases or the
//    connections or commit, and every end the engine asks for, make the
//    harness rebuild the engine from nothing before the next input.
// STOP DATABASE ends the process by design and is not run.
//
// Ends the engine prescribes (out of memory, damaged data) come back
// through the test exit hook as an exception and count as outcomes; with
// KASPO_FUZZ_EXITS=<dir> set, each such input is also written there for
// review. Signals, sanitizer reports and broken promises still abort.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "client/parser.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/start.h"
#include "engine/types/reply.h"
#include "fuzz/harness_support.h"
#include "tests/support/engine_env.h"

namespace {
constexpr char kDatabase[] = "FUZZDB";
// Small tables: a query over the cross product of many of them must still
// finish within the fuzzer's time limit.
constexpr const char* kSchema[] = {
    "CREATE TABLE T1 (ID INTEGER NOT NULL, NAME CHARACTER(20), QTY SMALLINT, PRICE FLOAT, "
    "DAY DATE, TM TIME, TS TIMESTAMP, BIN BINARY(40), FLAG CHARACTER(1))",
    "CREATE UNIQUE INDEX XT1 ON T1 (ID)",
    "CREATE INDEX YT1 ON T1 (NAME)",
    "CREATE INDEX ZT1 ON T1 (QTY, NAME)",
    "CREATE TABLE T2 (KEY8 CHARACTER(8), VAL INTEGER, NOTE CHARACTER(100))",
    "CREATE UNIQUE INDEX XT2 ON T2 (KEY8)",
    "CREATE INDEX YT2 ON T2 (VAL)",
    "CREATE TABLE T3 (NUM INTEGER, CH CHARACTER(1))",
    "BEGIN",
    "INSERT INTO T1 VALUES (1, 'alpha', 10, 1.5, '2003-07-12', '12:00:00', "
    "'2003-07-12-12.00.00.000000', 'ab', 'Y')",
    "INSERT INTO T1 VALUES (2, 'beta', 20, -2.25, '1999-12-31', '23:59:59', "
    "'1999-12-31-23.59.59.999999', 'cd', 'N')",
    "INSERT INTO T1 (ID, NAME, QTY) VALUES (3, 'alpha', 10)",
    "INSERT INTO T1 (ID, NAME) VALUES (4, 'gamma')",
    "INSERT INTO T1 (ID) VALUES (5)",
    "INSERT INTO T1 (ID, NAME, QTY, PRICE) VALUES (6, 'delta', -1, 1E10)",
    "INSERT INTO T2 VALUES ('k1', 1, 'one')",
    "INSERT INTO T2 VALUES ('k2', 2, 'two')",
    "INSERT INTO T2 VALUES ('k3', 2, 'three')",
    "INSERT INTO T2 (KEY8) VALUES ('k4')",
    "COMMIT",
};

// Letters whose messages can leave a change behind that a rollback and a
// new connection do not undo.
constexpr char kLastingLetters[] = "3456789QRUX1K";
constexpr size_t kMaxSequence = 8;  // messages of one input
constexpr char kStopLetter = 'V';
constexpr char kReplyKinds[] = "0123-4\\";  // '\\' answers DISCONNECT
constexpr unsigned char kBegin[] = {'J'};
constexpr unsigned char kAbort[] = {'M'};
constexpr unsigned char kDisconnect[] = {'2'};
// A small result memory limit keeps large results from looking like leaks
// or running into the fuzzer's memory limit.
constexpr int64_t kResultMemory = 8 << 20;

struct HARNESS {
  bool dirty = true;  // the engine must be rebuilt before the next input
  int conn_id = 0;
  std::vector<unsigned char> connect;  // CONNECT message of our database
};

HARNESS& Harness() {
  static HARNESS harness;
  return harness;
}

using fuzz::Require;

void Send(const unsigned char* msg, size_t length) {
  process_sql(Harness().conn_id, msg, static_cast<int>(length));
}

void BuildEngine() {
  HARNESS& h = Harness();
  ResetEngineForTest();
  Require(fuzz::KeepingSignals([] { return Tarvic1_Init("", kDatabase); }),
          "the engine did not start");
  CATALOG_Engine().result_memory_limit = kResultMemory;
  std::unique_ptr<DBCONNECTION> conn = DBconnect(kDatabase, 0);
  Require(conn->status == DBCONN_OK, "no connection");
  for (const char* sql : kSchema) {
    DBRESULTPTR result = DBexec(conn.get(), sql);
    if (result->status != DBRES_COMMAND_OK) {
      std::fprintf(stderr, "%s: %s\n", sql, result->error.c_str());
      Require(false, "the schema was refused");
    }
  }
  h.conn_id = conn->conn_id;
  h.dirty = false;
}

void Init() {
  HARNESS& h = Harness();
  fuzz::SetUpProcess();
  BuildEngine();
  fuzz::WatchNormalEnd();
  h.connect = {'1', 'a', static_cast<unsigned char>(sizeof kDatabase), 0};
  h.connect.insert(h.connect.end(), kDatabase, kDatabase + sizeof kDatabase);
}

// Appends the message that SQL `text` parses to; false when refused.
bool Parse(std::vector<char> text, std::vector<std::vector<unsigned char>>* out) {
  text.push_back('\0');
  std::string error;
  DBquery_reset();
  if (!PARSE_Statement(text.data(), &error) || MESSAGE_Damaged()) return false;
  out->emplace_back(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
  return true;
}

// The messages the input stands for; false when there are none.
bool Messages(const uint8_t* data, size_t size, std::vector<std::vector<unsigned char>>* out) {
  if (size < 1) return false;
  const bool sql = (data[0] & 1) != 0;
  const bool sequence = (data[0] & 2) != 0;
  const uint8_t* body = data + 1;
  const uint8_t* end = data + size;
  if (!sequence) {
    if (sql) return Parse(std::vector<char>(body, end), out);
    out->emplace_back(body, end);
    return true;
  }
  while (body < end && out->size() < kMaxSequence) {
    if (sql) {
      const uint8_t* stop = std::find(body, end, ';');
      if (!Parse(std::vector<char>(body, stop), out)) return false;
      body = stop == end ? end : stop + 1;
    } else {
      const size_t length = std::min<size_t>(*body, size_t(end - body - 1));
      out->emplace_back(body + 1, body + 1 + length);
      body += 1 + length;
    }
  }
  return !out->empty();
}

// The reply must be one of the kinds the client knows, and readable by it.
void CheckReply() {
  const unsigned char* reply = REPLY_Data();
  const int length = REPLY_Length();
  Require(length > 0, "no reply");
  Require(std::memchr(kReplyKinds, reply[0], sizeof kReplyKinds - 1) != nullptr,
          "unknown reply kind");
  DBRESULT result;
  RESDATA_Init(&result.data);
  DBCLIENT_ParseReply(reply, length, &result);
  // An error text may be empty: a message that simply ends is refused
  // with an empty detail.
  if (reply[0] == '0') Require(result.status == DBRES_BAD_REPLY, "error reply lost");
  if (reply[0] == '2' || reply[0] == '4') {
    Require(result.status != DBRES_BAD_REPLY, "rows reply the client cannot read");
    for (int r = 0; r < DBresult_rows(&result); ++r) {
      for (int c = 0; c < DBresult_cols(&result); ++c) (void)DBresult_value(&result, r, c);
    }
  }
  RESDATA_Free(&result.data);
}

// Runs the messages inside a transaction that is then rolled back, on a
// fresh connection. Without a lasting message among them the connection
// must come back (a lasting one may have dropped the database).
void RunInRolledBackTransaction(const std::vector<std::vector<unsigned char>>& messages,
                                bool lasting) {
  HARNESS& h = Harness();
  Send(kBegin, sizeof kBegin);
  for (const std::vector<unsigned char>& msg : messages) {
    Send(msg.data(), msg.size());
    CheckReply();
  }
  Send(kAbort, sizeof kAbort);
  Send(kDisconnect, sizeof kDisconnect);
  Send(h.connect.data(), h.connect.size());
  Require(lasting || (REPLY_Length() > 0 && REPLY_Data()[0] == '1'), "reconnect failed");
}
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  Init();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  HARNESS& h = Harness();
  std::vector<std::vector<unsigned char>> messages;
  if (!Messages(data, size, &messages)) return 0;
  bool lasting = false;
  for (const std::vector<unsigned char>& msg : messages) {
    if (msg.empty()) continue;
    if (msg[0] == kStopLetter) return 0;
    lasting =
        lasting || std::memchr(kLastingLetters, msg[0], sizeof kLastingLetters - 1) != nullptr;
  }
  if (h.dirty) BuildEngine();
  int status = 0;
  if (!fuzz::RunInput([&] { RunInRolledBackTransaction(messages, lasting); }, &status)) {
    fuzz::SaveExitInput(data, size, status);
    lasting = true;
  }
  h.dirty = lasting;
  return 0;
}
