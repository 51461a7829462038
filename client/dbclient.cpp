// dbclient.cpp: connections, transport, reply parse and result accessors.
#include "client/dbclient.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "client/datelib.h"
#include "client/message.h"
#include "client/parser.h"
#include "engine/dispatch.h"
#include "engine/start.h"
#include "engine/types/dates.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"
#include "engine/types/token_reader.h"
#include "engine/types/tokens.h"
#include "engine/types/values.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kNoDataToSend[] = "DBsend: No data to send\n";
constexpr char kDamaged[] = "DBsend: Message damaged (token too long)\n";
constexpr char kNoDataReceived[] = "DBrecv: No data received\n";
constexpr char kNameMissing[] = "(DBconnect) Database name missing\n";
constexpr char kConnectNoText[] = "(DBconnect) Result error message missing\n";
constexpr char kDropNoText[] = "(DBdropdb) Result error message missing\n";
constexpr char kResetNoText[] = "(DBreset) Result error message missing\n";
constexpr char kEndInteger[] = "Syntax error: <integer value> expected (unexpected end of query)";
constexpr char kEndString[] = "Syntax error: <string value> expected (unexpected end of query)";
constexpr char kEndName[] = "Syntax error: <name> expected (unexpected end of query)";
constexpr char kEndByte[] = "Syntax error: %s expected (unexpected end of query)";
constexpr char kBadCell[] = "Syntax error: <string value> expected (damaged cell)";

struct DBCLIENTSTATE {
  int32_t next_conn_id = 0;  // Conn_Id 0 stays free for the engine itself
};

DBCLIENTSTATE& Client() {
  static DBCLIENTSTATE state;
  return state;
}

// Sends the message and gives the reply; a channel failure inside the
// connection and statement calls ends the process.
void Roundtrip(DBCONNECTION* conn, const unsigned char** reply, int* length) {
  if (!DBsend(conn) || !DBrecv(conn, reply, length)) PLATFORM_Exit(1);
}

// Reads the text of the 'b' token that follows an error reply's first byte.
[[nodiscard]] int ErrorText(const unsigned char* reply, int length, std::string* text) {
  std::string detail;
  return TOKEN_ExpectText(reply, length, 1, DBTK_ERROR, text, &detail) >= 0;
}

// Sends '1' (or '3') with the database name; an error reply fills
// conn->error from the reply or with `no_text`.
[[nodiscard]] int ConnectMessage(DBCONNECTION* conn, char letter, const char* no_text) {
  DBquery_reset();
  DBquery_addcmd(letter);
  DBquery_addtokstring(DBTK_IDENT, conn->dbname.c_str());
  const unsigned char* reply;
  int length;
  Roundtrip(conn, &reply, &length);
  if (reply[0] != '0') return 1;
  if (!ErrorText(reply, length, &conn->error)) conn->error = no_text;
  return 0;
}

std::string WithNewline(const std::string& text) {
  if (!text.empty() && text.back() == '\n') return text;
  return text + "\n";
}

// The result data set starts in its released state: the reply parse (or
// any fill) sets it up on first use, so a statement answered without rows
// allocates no arena.
DBRESULTPTR NewResult() { return DBRESULTPTR(std::make_unique<DBRESULT>().release()); }

}  // namespace

void DBRESULTFree::operator()(DBRESULT* result) const {
  std::unique_ptr<DBRESULT> owned(result);
  RESDATA_Free(&owned->data);
}

// ---------------------------------------------------------------------------
// Transport

int DBsend(DBCONNECTION* conn) {
  if (MESSAGE_Length() == 0 || MESSAGE_Damaged()) {
    DBreport("%s", MESSAGE_Damaged() ? kDamaged : kNoDataToSend);
    conn->status = DBCONN_CHANNEL;
    return 0;
  }
  process_sql(conn->conn_id, MESSAGE_Data(), MESSAGE_Length());
  return 1;
}

int DBrecv(DBCONNECTION* conn, const unsigned char** reply, int* length) {
  if (REPLY_Length() == 0) {
    DBreport("%s", kNoDataReceived);
    conn->status = DBCONN_CHANNEL;
    return 0;
  }
  *reply = REPLY_Data();
  *length = REPLY_Length();
  return 1;
}

// ---------------------------------------------------------------------------
// The engine

int DBCLIENT_StartEngine(const char* engine_name, const char* default_db) {
  return Tarvic1_Init(engine_name, default_db);
}

void DBCLIENT_ArmInterrupt() { INTERRUPT_Arm(); }

int DBCLIENT_DisarmInterrupt() { return INTERRUPT_Disarm(); }

int DBCLIENT_InterruptRequested() { return INTERRUPT_Requested(); }

// ---------------------------------------------------------------------------
// Connection calls

std::unique_ptr<DBCONNECTION> DBconnect(const char* name, int create) {
  auto conn = std::make_unique<DBCONNECTION>();
  if (name == nullptr) {
    conn->error = kNameMissing;
    conn->status = DBCONN_FAILED;
    return conn;
  }
  conn->dbname = name;
  for (char& c : conn->dbname) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  conn->conn_id = ++Client().next_conn_id;
  const int ok = ConnectMessage(conn.get(), create ? '3' : '1', kConnectNoText);
  conn->status = ok ? DBCONN_OK : DBCONN_FAILED;
  return conn;
}

void DBdisconnect(DBCONNECTION* conn) {
  conn->error.clear();
  DBquery_reset();
  DBquery_addcmd('2');
  if (!DBsend(conn)) PLATFORM_Exit(1);
}

int DBdropdb(DBCONNECTION* conn) {
  if (!ConnectMessage(conn, '4', kDropNoText)) {
    conn->status = DBCONN_FAILED;
    return 0;
  }
  DBdisconnect(conn);
  return 1;
}

int DBreset(DBCONNECTION* conn) {
  DBdisconnect(conn);
  if (!ConnectMessage(conn, '1', kResetNoText)) {
    conn->status = DBCONN_FAILED;
    return 0;
  }
  conn->status = DBCONN_OK;
  return 1;
}

// ---------------------------------------------------------------------------
// Reply parse

namespace {

struct REPLYREADER {
  const unsigned char* p;
  int length;
  int offset;
  DBRESULT* result;
};

// A reply that ends early: status 4 with the text of what was due.
int CutShort(REPLYREADER* r, const char* text) {
  r->result->status = DBRES_BAD_REPLY;
  r->result->error = text;
  return 0;
}

[[nodiscard]] int ReadInt32(REPLYREADER* r, int32_t* value) {
  if (r->length - r->offset < 4) return CutShort(r, kEndInteger);
  std::memcpy(value, r->p + r->offset, 4);
  r->offset += 4;
  return 1;
}

[[nodiscard]] int ReadByte(REPLYREADER* r, unsigned char* value) {
  if (r->length - r->offset < 1) return CutShort(r, kEndByte);
  *value = r->p[r->offset++];
  return 1;
}

// u16 length L and L bytes; *bytes points into the reply.
[[nodiscard]] int ReadCounted(REPLYREADER* r, const char* missing, const unsigned char** bytes,
                              int* size) {
  if (r->length - r->offset < 2) return CutShort(r, missing);
  const int n = r->p[r->offset] | (r->p[r->offset + 1] << 8);
  if (r->length - r->offset - 2 < n) return CutShort(r, missing);
  *bytes = r->p + r->offset + 2;
  *size = n;
  r->offset += 2 + n;
  return 1;
}

// Least bytes a typed cell of `type` must hold to be read safely.
int LeastCellSize(int type) {
  switch (type) {
    case DBTYPE_SMALLINT: return DB_SMALLINT_SIZE;
    case DBTYPE_INTEGER: return DB_INTEGER_SIZE;
    case DBTYPE_FLOAT: return DB_FLOAT_SIZE;
    case DBTYPE_DATE: return DB_DATE_SIZE;
    case DBTYPE_TIME: return DB_TIME_SIZE;
    case DBTYPE_TIMESTAMP: return DB_TIMESTAMP_SIZE;
    default: return 0;
  }
}

// A cell whose bytes do not hold a value of its column's type would make
// the result data set read past the cell (or end the process), so the
// reply is refused instead.
bool CellFits(int type, const unsigned char* bytes, int size) {
  if (type == DBTYPE_CHARACTER) return std::memchr(bytes, 0, size) != nullptr;
  if (type == DBTYPE_BINARY) {
    if (size < 2) return false;
    int16_t n;
    std::memcpy(&n, bytes, 2);
    return n >= 0 && n + 2 <= size;
  }
  return size >= LeastCellSize(type);
}

[[nodiscard]] int ReadHeader(REPLYREADER* r, int32_t columns) {
  for (int32_t c = 0; c < columns; ++c) {
    const unsigned char* name;
    int size;
    unsigned char type;
    int32_t column_size;
    if (!ReadCounted(r, kEndName, &name, &size)) return 0;
    const std::string text(reinterpret_cast<const char*>(name),
                           strnlen(reinterpret_cast<const char*>(name), size));
    if (!ReadByte(r, &type) || !ReadInt32(r, &column_size)) return 0;
    RESDATA_Header_Data(&r->result->data, text.c_str(), type, column_size);
  }
  return 1;
}

[[nodiscard]] int ReadCells(REPLYREADER* r, int32_t rows, int32_t columns) {
  RESDATA* set = &r->result->data;
  for (int32_t row = 0; row < rows; ++row) {
    for (int32_t c = 0; c < columns; ++c) {
      const unsigned char* bytes;
      int size;
      if (!ReadCounted(r, kEndString, &bytes, &size)) return 0;
      const int type = set->column_types[c];
      if (size == 0) {
        RESDATA_Fill_Null(set);
      } else if (!CellFits(type, bytes, size)) {
        return CutShort(r, kBadCell);
      } else {
        RESDATA_Fill_Binary(set, bytes, size);
      }
    }
  }
  return 1;
}

void ReadRows(REPLYREADER* r, char code) {
  RESDATA* set = &r->result->data;
  RESDATA_Reset(set);
  int32_t columns, rows;
  if (!ReadInt32(r, &columns) || !ReadInt32(r, &rows)) return;
  r->result->status = code == '2' ? DBRES_TUPLES_OK : DBRES_TUPLES_PART;
  if (rows <= 0) return;
  if (!ReadHeader(r, columns)) return;
  // Without columns there are no cells, whatever the row count claims; a
  // damaged count must not spin through billions of empty rows.
  if (columns <= 0 || !ReadCells(r, rows, columns)) return;
  RESDATA_NaturalOrder(set);
}

}  // namespace

void DBCLIENT_ParseReply(const unsigned char* reply, int length, DBRESULT* result) {
  if (length < 1) return;
  REPLYREADER r{reply, length, 1, result};
  int32_t count;
  switch (reply[0]) {
    case '0':
      if (!ErrorText(reply, length, &result->error)) result->error = kResetNoText;
      result->status = DBRES_BAD_REPLY;
      break;
    case '2':
    case '4': ReadRows(&r, static_cast<char>(reply[0])); break;
    case '3':
      if (ReadInt32(&r, &count)) result->data.rows = count;
      break;
    default: break;  // '1' and any other byte: done
  }
}

// ---------------------------------------------------------------------------
// Statement calls

namespace {

// Parses `sql`, with ";" appended when it does not end with one, into the
// message buffer.
[[nodiscard]] int ParseIntoMessage(const char* sql, std::string* error) {
  std::vector<char> text(sql, sql + std::strlen(sql));
  if (text.empty() || text.back() != ';') text.push_back(';');
  text.push_back('\0');
  DBquery_reset();
  return PARSE_Statement(text.data(), error);
}

DBRESULTPTR Refused(std::string error) {
  DBRESULTPTR refused = NewResult();
  refused->error = std::move(error);
  refused->status = DBRES_REFUSED;
  return refused;
}

}  // namespace

DBRESULTPTR DBexec(DBCONNECTION* conn, const char* sql) {
  std::string error;
  if (!ParseIntoMessage(sql, &error)) return Refused(std::move(error));
  return DBexecmsg(conn);
}

int DBCLIENT_Prepare(const char* sql, DBPREPARED* out) {
  *out = DBPREPARED{};
  out->refused = !ParseIntoMessage(sql, &out->error);
  if (out->refused) return 0;
  out->message.assign(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
  out->damaged = MESSAGE_Damaged();
  return 1;
}

DBRESULTPTR DBCLIENT_ExecPrepared(DBCONNECTION* conn, const DBPREPARED& prepared) {
  if (prepared.refused) return Refused(prepared.error);
  MESSAGE_Load(prepared.message.data(), static_cast<int>(prepared.message.size()),
               prepared.damaged);
  return DBexecmsg(conn);
}

DBRESULTPTR DBexecmsg(DBCONNECTION* conn) {
  DBRESULTPTR result = NewResult();
  const unsigned char* reply;
  int length;
  Roundtrip(conn, &reply, &length);
  DBCLIENT_ParseReply(reply, length, result.get());
  return result;
}

// ---------------------------------------------------------------------------
// Result accessors

namespace {

constexpr char kUnknownType[] = "<datatype unknown>";
constexpr char kFillUnknown[] = "(DBfillbinary) Unknown datatype!\n";
// The byte that opens and closes a run of unprintable bytes in BINARY text.
constexpr char kRunMark = static_cast<char>(0xA7);

bool InResult(const DBRESULT* result, int row, int column) {
  return row >= 0 && row < result->data.rows && column >= 0 && column < result->data.columns;
}

// Decimals for a FLOAT by its magnitude: 14 below 1, one fewer for each
// power of ten above, and at least 1.
int FloatDecimals(double value) {
  double magnitude = value < 0 ? -value : value;
  int decimals = 14;
  double limit = 1.0;
  while (decimals > 1 && !(magnitude < limit)) {
    --decimals;
    limit *= 10.0;
  }
  return decimals;
}

std::string FloatText(double value) {
  const int decimals = FloatDecimals(value);
  // The widest text is DBL_MAX with 14 decimals: about 325 characters.
  char buffer[400];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text(buffer);
  while (!text.empty() && text.back() == '0') text.pop_back();
  if (!text.empty() && (text.back() == '.' || text.back() == ',')) text.pop_back();
  return text.empty() ? "0" : text;
}

bool Printable(unsigned char byte) { return byte >= 32 && byte <= 126; }

void AppendHex(std::string* text, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  text->push_back(kHex[byte >> 4]);
  text->push_back(kHex[byte & 0x0F]);
}

std::string BinaryText(const unsigned char* cell) {
  int16_t n;
  std::memcpy(&n, cell, 2);
  const unsigned char* bytes = cell + 2;
  std::string text;
  text.reserve(n > 0 ? 3 * n + 2 : 0);
  for (int i = 0; i < n;) {
    if (Printable(bytes[i])) {
      if (bytes[i] == '$') text.push_back('$');
      text.push_back(static_cast<char>(bytes[i++]));
      continue;
    }
    int end = i;
    while (end < n && !Printable(bytes[end])) ++end;
    if (end - i == 1) {
      text.push_back('$');
      AppendHex(&text, bytes[i]);
    } else {
      text.push_back(kRunMark);
      for (int k = i; k < end; ++k) AppendHex(&text, bytes[k]);
      text.push_back(kRunMark);
    }
    i = end;
  }
  return text;
}

std::string DateText(const unsigned char* cell) {
  DBDATE d;
  std::memcpy(&d, cell, sizeof d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.year, d.month, d.day);
  return buf;
}

std::string TimeText(const unsigned char* cell) {
  DBTIME t;
  std::memcpy(&t, cell, sizeof t);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.hour, t.minute, t.second);
  return buf;
}

std::string TimestampText(const unsigned char* cell) {
  ADATI t;
  std::memcpy(&t, cell, sizeof t);
  std::string text;
  DATI_ToString(t, &text, DATI_STYLE_DEFAULT);
  return text;
}

// The text of a typed cell that is neither CHARACTER nor BINARY.
std::string TypedText(int type, const unsigned char* cell) {
  int16_t i16;
  int32_t i32;
  double dbl;
  switch (type) {
    case DBTYPE_SMALLINT: std::memcpy(&i16, cell, 2); return std::to_string(i16);
    case DBTYPE_INTEGER: std::memcpy(&i32, cell, 4); return std::to_string(i32);
    case DBTYPE_FLOAT: std::memcpy(&dbl, cell, 8); return FloatText(dbl);
    case DBTYPE_DATE: return DateText(cell);
    case DBTYPE_TIME: return TimeText(cell);
    case DBTYPE_TIMESTAMP: return TimestampText(cell);
    default: return kUnknownType;
  }
}

}  // namespace

int DBresult_status(const DBRESULT* result) { return result->status; }

std::string DBresult_error(const DBRESULT* result) { return WithNewline(result->error); }

std::string DBconn_error(const DBCONNECTION* conn) { return WithNewline(conn->error); }

int DBresult_rows(const DBRESULT* result) { return result->data.rows; }

int DBresult_cols(const DBRESULT* result) { return result->data.columns; }

int DBresult_type(const DBRESULT* result, int column) {
  if (column < 0 || column >= result->data.columns) return 0;
  return result->data.column_types[column];
}

int DBresult_typeid(const DBRESULT* result, int column) {
  switch (DBresult_type(result, column)) {
    case DBTYPE_CHARACTER: return 0;
    case DBTYPE_BINARY: return 1;
    case DBTYPE_SMALLINT: return 2;
    case DBTYPE_INTEGER: return 3;
    case DBTYPE_FLOAT: return 4;
    case DBTYPE_TIME: return 5;
    case DBTYPE_DATE: return 6;
    case DBTYPE_TIMESTAMP: return 7;
    default: return -1;
  }
}

const unsigned char* DBresult_cell(const DBRESULT* result, int row, int column) {
  if (!InResult(result, row, column)) return nullptr;
  return RESDATA_Cell(result->data, row, column);
}

const char* DBresult_value(DBRESULT* result, int row, int column) {
  const unsigned char* cell = DBresult_cell(result, row, column);
  if (cell == nullptr) return "";
  const int type = DBresult_type(result, column);
  // A text set holds every cell as text already.
  if (type == DBTYPE_CHARACTER || !result->data.binary) return reinterpret_cast<const char*>(cell);
  const char* done = RESDATA_OverlayText(result->data, row, column);
  if (done != nullptr) return done;
  const std::string text = DBresult_text(result, row, column);
  return RESDATA_XY_Text(&result->data, row, column, text.c_str());
}

std::string DBresult_text(const DBRESULT* result, int row, int column) {
  const unsigned char* cell = DBresult_cell(result, row, column);
  if (cell == nullptr) return "";
  const int type = DBresult_type(result, column);
  if (type == DBTYPE_CHARACTER || !result->data.binary) return reinterpret_cast<const char*>(cell);
  return type == DBTYPE_BINARY ? BinaryText(cell) : TypedText(type, cell);
}

void DBfillbinary(const DBRESULT* result, void* variable, int row, int column) {
  const unsigned char* cell = DBresult_cell(result, row, column);
  if (cell == nullptr) return;
  const int type = DBresult_type(result, column);
  auto* out = static_cast<unsigned char*>(variable);
  if (type == DBTYPE_CHARACTER) {
    if (result->data.column_sizes[column] == 2) {
      *out = cell[0] <= 1 ? static_cast<unsigned char>('0' + cell[0]) : cell[0];
    } else {
      std::memcpy(out, cell, std::strlen(reinterpret_cast<const char*>(cell)) + 1);
    }
    return;
  }
  if (type == DBTYPE_BINARY) {
    int16_t n;
    std::memcpy(&n, cell, 2);
    std::memcpy(out, cell, 2 + (n > 0 ? n : 0));
    return;
  }
  const int size = LeastCellSize(type);
  if (size == 0) {
    DBreport("%s", kFillUnknown);
    PLATFORM_Exit(1);
  }
  std::memcpy(out, cell, size);
}

void DBresult_free(DBRESULTPTR result) { result.reset(); }

void DBCLIENT_ResetForTest() { Client() = DBCLIENTSTATE(); }
