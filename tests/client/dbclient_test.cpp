// Tests of the client calls: transport, reply parse and result accessors.
#include "client/dbclient.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "client/message.h"
#include "engine/dispatch.h"
#include "engine/types/dates.h"
#include "engine/types/reply.h"
#include "platform/process.h"
#include "platform/report.h"
#include "support/engine_fixture.h"

namespace {

using Bytes = std::vector<unsigned char>;

DBRESULTPTR Parse(const Bytes& reply) {
  DBRESULTPTR result(std::make_unique<DBRESULT>().release());
  RESDATA_Init(&result->data);
  DBCLIENT_ParseReply(reply.data(), static_cast<int>(reply.size()), result.get());
  return result;
}

Bytes CurrentReply() { return Bytes(REPLY_Data(), REPLY_Data() + REPLY_Length()); }

// A one-row, one-column result of `type`, parsed from a real reply.
DBRESULTPTR OneCell(unsigned char type, int size, const void* cell, int length) {
  REPLY_RowsBegin('2', 1, 1);
  REPLY_Column("C", type, size);
  REPLY_Cell(cell, length);
  return Parse(CurrentReply());
}

TEST(DBCLIENT, ParsesEveryReplyKind) {
  REPLY_Error("(SELECT) Table 'X' not found");
  const Bytes error_reply = CurrentReply();
  const char kMissing[] = "(DBreset) Result error message missing\n";
  const struct {
    Bytes reply;
    int status, rows;
    const char* error;
  } kCases[] = {
      {error_reply, DBRES_BAD_REPLY, 0, "(SELECT) Table 'X' not found"},
      {{'0'}, DBRES_BAD_REPLY, 0, kMissing},
      {{'0', 'b', 9, 0, 'x'}, DBRES_BAD_REPLY, 0, kMissing},
      {{'1'}, DBRES_COMMAND_OK, 0, ""},
      {{'-'}, DBRES_COMMAND_OK, 0, ""},
      {{'Z', 1, 2}, DBRES_COMMAND_OK, 0, ""},
      {{'3', 42, 1, 0, 0}, DBRES_COMMAND_OK, 298, ""},
      // Rows replies with no rows have no columns either.
      {{'2', 2, 0, 0, 0, 0, 0, 0, 0}, DBRES_TUPLES_OK, 0, ""},
      {{'4', 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}, DBRES_TUPLES_PART, 0, ""},
      // A damaged row count without columns holds no cells to read.
      {{'2', 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F}, DBRES_TUPLES_OK, 0, ""},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(testing::PrintToString(c.reply));
    DBRESULTPTR r = Parse(c.reply);
    EXPECT_EQ(DBresult_status(r.get()), c.status);
    EXPECT_EQ(DBresult_rows(r.get()), c.rows);
    EXPECT_EQ(DBresult_cols(r.get()), 0);
    EXPECT_EQ(r->error, c.error);
  }
}

constexpr char kInt[] = "Syntax error: <integer value> expected (unexpected end of query)";
constexpr char kName[] = "Syntax error: <name> expected (unexpected end of query)";
constexpr char kByte[] = "Syntax error: %s expected (unexpected end of query)";
constexpr char kCell[] = "Syntax error: <string value> expected (unexpected end of query)";

// A two-column, two-row reply, with the end offset of each field and the
// text a reply cut inside that field must give.
struct Sample {
  Bytes reply;
  std::vector<std::pair<int, const char*>> fields;
};

Sample TwoByTwo(char code) {
  Sample s;
  REPLY_RowsBegin(code, 2, 2);
  s.fields = {{5, kInt}, {9, kInt}};
  const auto Mark = [&](const char* text) { s.fields.push_back({REPLY_Length(), text}); };
  const int32_t q1 = 7, q2 = -8;
  REPLY_CellText("NAME"), Mark(kName);  // a column name is a counted text
  REPLY_AppendByte('0'), Mark(kByte);
  REPLY_AppendInt32(6), Mark(kInt);
  REPLY_CellText("QTY"), Mark(kName);
  REPLY_AppendByte('2'), Mark(kByte);
  REPLY_AppendInt32(4), Mark(kInt);
  REPLY_CellText("apple"), Mark(kCell);
  REPLY_Cell(&q1, 4), Mark(kCell);
  REPLY_CellText("pear"), Mark(kCell);
  REPLY_Cell(&q2, 4), Mark(kCell);
  s.reply = CurrentReply();
  return s;
}

TEST(DBCLIENT, ParsesRowsIntoTheResultDataSet) {
  DBRESULTPTR r = Parse(TwoByTwo('2').reply);
  ASSERT_EQ(DBresult_status(r.get()), DBRES_TUPLES_OK);
  ASSERT_EQ(DBresult_rows(r.get()), 2);
  ASSERT_EQ(DBresult_cols(r.get()), 2);
  EXPECT_EQ(DBresult_typeid(r.get(), 0), 0);
  EXPECT_EQ(DBresult_typeid(r.get(), 1), 3);
  EXPECT_EQ(DBresult_typeid(r.get(), 2), -1);
  EXPECT_STREQ(DBresult_value(r.get(), 0, 0), "apple");
  EXPECT_STREQ(DBresult_value(r.get(), 1, 1), "-8");
  EXPECT_STREQ(DBresult_value(r.get(), 2, 0), "");
  EXPECT_EQ(DBresult_status(Parse(TwoByTwo('4').reply).get()), DBRES_TUPLES_PART);
}

TEST(DBCLIENT, ReplyCutShortAtAnyFieldNamesWhatWasDue) {
  const Sample s = TwoByTwo('2');
  int start = 1;
  for (const auto& [end, text] : s.fields) {
    for (int cut = start; cut < end; ++cut) {
      SCOPED_TRACE(cut);
      DBRESULTPTR r = Parse(Bytes(s.reply.begin(), s.reply.begin() + cut));
      EXPECT_EQ(DBresult_status(r.get()), DBRES_BAD_REPLY);
      EXPECT_EQ(r->error, text);
    }
    start = end;
  }
  ASSERT_EQ(start, static_cast<int>(s.reply.size()));
  // The first row, read whole before the cut, stays in the result.
  const int first_row_end = s.fields[s.fields.size() - 3].first;
  DBRESULTPTR r = Parse(Bytes(s.reply.begin(), s.reply.begin() + first_row_end + 1));
  EXPECT_EQ(DBresult_rows(r.get()), 1);
  EXPECT_STREQ(DBresult_value(r.get(), 0, 0), "apple");
}

TEST(DBCLIENT, RefusesCellsThatDoNotHoldTheirType) {
  const unsigned char text[] = {'a', 'b'}, binary[] = {9, 0, 1, 2};
  const struct {
    unsigned char type;
    const void* cell;
    int length;
  } kCases[] = {{'0', text, 2}, {0xA6, binary, 4}, {0xA6, binary, 1}, {'3', text, 2}};
  for (const auto& c : kCases) {
    DBRESULTPTR r = OneCell(c.type, 8, c.cell, c.length);
    EXPECT_EQ(DBresult_status(r.get()), DBRES_BAD_REPLY);
    EXPECT_EQ(r->error, "Syntax error: <string value> expected (damaged cell)");
  }
}

TEST(DBCLIENT, FormatsFloatsWithTheirMagnitudesDecimals) {
  const std::pair<double, const char*> kCases[] = {
      {1234.5, "1234.5"},
      {-0.25, "-0.25"},
      {1e13, "10000000000000"},
      {100.0, "100"},
      {0.5, "0.5"},
      {0.0, "0"},
      {1.0 / 3.0, "0.33333333333333"},
      {-2.0 / 3.0, "-0.66666666666667"},
      {123456.789, "123456.789"},
      {999999999999.75, "999999999999.75"},
      {1e12 + 0.25, "1000000000000.2"},
      {-1e20, "-100000000000000000000"},
  };
  for (const auto& [value, text] : kCases) {
    DBRESULTPTR r = OneCell('3', 8, &value, 8);
    EXPECT_STREQ(DBresult_value(r.get(), 0, 0), text);
  }
}

TEST(DBCLIENT, FormatsTheOtherTypesOnce) {
  const int16_t small = -32768;
  const int32_t integer = 2147483647;
  const DBDATE date{2024, 2, 9};
  const DBTIME time{7, 5, 0};
  const DBDATI dati{1999, 12, 31, 23, 59, 58, 0, 42};
  const struct {
    unsigned char type;
    const void* cell;
    int length;
    const char* text;
  } kCases[] = {
      {'1', &small, 2, "-32768"},
      {'2', &integer, 4, "2147483647"},
      {'4', &date, 4, "2024-02-09"},
      {'5', &time, 3, "07:05:00"},
      {'6', &dati, 12, "1999-12-31-23.59.58.000042"},
      {'0', "abcd", 5, "abcd"},
      {'Q', &small, 2, "<datatype unknown>"},
  };
  for (const auto& c : kCases) {
    DBRESULTPTR r = OneCell(c.type, c.length, c.cell, c.length);
    const char* first = DBresult_value(r.get(), 0, 0);
    EXPECT_STREQ(first, c.text);
    EXPECT_EQ(DBresult_value(r.get(), 0, 0), first);  // from the overlay
  }
}

std::string BinaryValue(const Bytes& bytes) {
  Bytes cell = {static_cast<unsigned char>(bytes.size() & 0xFF),
                static_cast<unsigned char>(bytes.size() >> 8)};
  cell.insert(cell.end(), bytes.begin(), bytes.end());
  DBRESULTPTR r =
      OneCell(0xA6, static_cast<int>(cell.size()), cell.data(), static_cast<int>(cell.size()));
  return DBresult_value(r.get(), 0, 0);
}

TEST(DBCLIENT, EscapesBinaryValues) {
  const std::string run = "\xA7";
  const std::pair<Bytes, std::string> kCases[] = {
      {{0x41, 0x00, 0x42, 0x00, 0x01}, "A$00B" + run + "0001" + run},
      {{'$', 'x', '$'}, "$$x$$"},
      {{0x7F}, "$7F"},
      {{0x1F, 0x20, 0x7E, 0x7F, 0x80, 0xFF}, "$1F ~" + run + "7F80FF" + run},
      {{0x0A, '$'}, "$0A$$"},
      {{}, ""},
  };
  for (const auto& [bytes, text] : kCases) EXPECT_EQ(BinaryValue(bytes), text);

  // A 4000-byte value comes out whole: each "$" doubles, each zero is "$00".
  Bytes big(4000);
  for (size_t i = 0; i < big.size(); ++i) big[i] = (i % 2) ? 0x00 : '$';
  const std::string text = BinaryValue(big);
  ASSERT_EQ(text.size(), 2000u * 2 + 2000u * 3);
  EXPECT_EQ(text.substr(text.size() - 10), "$$$00$$$00");
}

TEST(DBCLIENT, FillsTypedVariables) {
  const unsigned char flag[] = {1, 0}, bin[] = {3, 0, 9, 8, 7};
  const DBDATI dati{2001, 2, 3, 4, 5, 6, 0, 7};
  char c = 0;
  DBfillbinary(OneCell('0', 2, flag, 2).get(), &c, 0, 0);
  EXPECT_EQ(c, '1');
  char text[9] = {};
  DBfillbinary(OneCell('0', 9, "KEY12345", 9).get(), text, 0, 0);
  EXPECT_STREQ(text, "KEY12345");
  DBDATI got{};
  DBfillbinary(OneCell('6', 12, &dati, 12).get(), &got, 0, 0);
  EXPECT_EQ(std::memcmp(&got, &dati, sizeof got), 0);
  unsigned char out[8] = {};
  DBfillbinary(OneCell(0xA6, 6, bin, 5).get(), out, 0, 0);
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{3, 0, 9, 8, 7, 0}));
  EXPECT_EXIT(DBfillbinary(OneCell('Q', 2, flag, 2).get(), out, 0, 0), testing::ExitedWithCode(1),
              "\\(DBfillbinary\\) Unknown datatype!\n");
}

TEST(DBCLIENT, ErrorTextsEndWithOneNewline) {
  DBRESULT r;
  r.error = "(DBreset) Result error message missing\n";
  EXPECT_EQ(DBresult_error(&r), r.error);
  r.error = "Syntax error: x";
  EXPECT_EQ(DBresult_error(&r), "Syntax error: x\n");
  DBCONNECTION conn;
  conn.error = "a\nb";
  EXPECT_EQ(DBconn_error(&conn), "a\nb\n");
}

// ---------------------------------------------------------------------------
// Through the engine entry, with recording handlers in the dispatch table.

Bytes g_last;
int g_calls = 0;
void Record(int, const unsigned char* msg, int length) {
  g_last.assign(msg, msg + length);
  ++g_calls;
  REPLY_Success();
}
void Refuse(int, const unsigned char*, int) { REPLY_Error("(CONNECT) Database 'NOPE' not found"); }
void RefuseWithoutText(int, const unsigned char*, int) { REPLY_AppendByte('0'); }

class ChannelTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_calls = 0;
  }
  void Route(const char* letters, SqlHandler handler) {
    for (const char* l = letters; *l; ++l) ASSERT_EQ(DISPATCH_SetHandlerForTest(*l, handler), 1);
  }
};

TEST_F(ChannelTest, SendAndReceiveFailWithStatus6) {
  DBCONNECTION conn;
  DBquery_reset();
  testing::internal::CaptureStderr();
  EXPECT_EQ(DBsend(&conn), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DBsend: No data to send\n");
  EXPECT_EQ(conn.status, DBCONN_CHANNEL);

  DBquery_addtokstring('f', std::string(70000, 'h').c_str());
  conn.status = DBCONN_OK;
  testing::internal::CaptureStderr();
  EXPECT_EQ(DBsend(&conn), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DBsend: Message damaged (token too long)\n");
  EXPECT_EQ(conn.status, DBCONN_CHANNEL);

  conn.status = DBCONN_OK;
  const unsigned char* reply;
  int length;
  testing::internal::CaptureStderr();
  EXPECT_EQ(DBrecv(&conn, &reply, &length), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "DBrecv: No data received\n");
  EXPECT_EQ(conn.status, DBCONN_CHANNEL);
}

TEST_F(ChannelTest, ExecSendsParsedStatementsOnly) {
  Route("CD", Record);
  DBCONNECTION conn;
  DBRESULTPTR a = DBexec(&conn, "SELECT * FROM KASPO");
  const Bytes without = g_last;
  DBRESULTPTR b = DBexec(&conn, "SELECT * FROM KASPO;");
  EXPECT_EQ(without, g_last);
  EXPECT_EQ(without, (Bytes{'C', 'W', 'v', 'a', 6, 0, 'K', 'A', 'S', 'P', 'O', 0, 'x'}));
  EXPECT_EQ(DBresult_status(a.get()), DBRES_COMMAND_OK);
  for (const char* sql : {"", "GRANT ALL", "SELECT FROM"}) {
    DBRESULTPTR r = DBexec(&conn, sql);
    EXPECT_EQ(DBresult_status(r.get()), DBRES_REFUSED);
    EXPECT_FALSE(r->error.empty());
  }
  EXPECT_EQ(g_calls, 2);  // refused statements are not sent
  // Prepared once, run as parsed: the buffer in between does not matter.
  DBPREPARED prepared;
  ASSERT_TRUE(DBCLIENT_Prepare("SELECT * FROM KASPO", &prepared));
  EXPECT_EQ(prepared.message, without);
  DBquery_reset();
  DBRESULTPTR p = DBCLIENT_ExecPrepared(&conn, prepared);
  EXPECT_EQ(g_last, without);
  EXPECT_FALSE(DBCLIENT_Prepare("GRANT ALL", &prepared));
  DBRESULTPTR q = DBCLIENT_ExecPrepared(&conn, prepared);
  EXPECT_EQ(DBresult_status(q.get()), DBRES_REFUSED);
  EXPECT_EQ(q->error, "(DBexec) Syntax error: SQL-command GRANT not known");
  EXPECT_EQ(g_calls, 3);
  DBquery_reset();
  DBquery_addcmd('D');
  DBquery_addtokstring('a', "KASPO");
  DBRESULTPTR m = DBexecmsg(&conn);
  EXPECT_EQ(g_last, (Bytes{'D', 'a', 6, 0, 'K', 'A', 'S', 'P', 'O', 0}));
}

TEST_F(ChannelTest, ConnectNumbersConnectionsAndUpperCasesTheName) {
  Route("13", Record);
  auto first = DBconnect("kaspodb", 0);
  EXPECT_EQ(g_last, (Bytes{'1', 'a', 8, 0, 'K', 'A', 'S', 'P', 'O', 'D', 'B', 0}));
  auto second = DBconnect("x1", 1);
  EXPECT_EQ(g_last, (Bytes{'3', 'a', 3, 0, 'X', '1', 0}));
  EXPECT_EQ(first->status, DBCONN_OK);
  EXPECT_EQ(first->conn_id, 1);
  EXPECT_EQ(second->conn_id, 2);
  auto missing = DBconnect(nullptr, 0);
  EXPECT_EQ(missing->status, DBCONN_FAILED);
  EXPECT_EQ(missing->error, "(DBconnect) Database name missing\n");
  EXPECT_EQ(g_calls, 2);
}

TEST_F(ChannelTest, ConnectDropAndResetReportEngineErrors) {
  Route("1", Refuse);
  auto conn = DBconnect("nope", 0);
  EXPECT_EQ(conn->status, DBCONN_FAILED);
  EXPECT_EQ(conn->error, "(CONNECT) Database 'NOPE' not found");
  Route("14", RefuseWithoutText);
  conn = DBconnect("nope", 0);
  EXPECT_EQ(conn->error, "(DBconnect) Result error message missing\n");
  EXPECT_EQ(DBreset(conn.get()), 0);
  EXPECT_EQ(conn->error, "(DBreset) Result error message missing\n");
  EXPECT_EQ(DBdropdb(conn.get()), 0);
  EXPECT_EQ(conn->error, "(DBdropdb) Result error message missing\n");
  Route("124", Record);
  EXPECT_EQ(DBreset(conn.get()), 1);
  EXPECT_EQ(conn->status, DBCONN_OK);
  EXPECT_EQ(DBdropdb(conn.get()), 1);
  EXPECT_EQ(g_last, Bytes{'2'});  // it disconnects afterwards
}

// ---------------------------------------------------------------------------
// Against the real engine. A process that started the engine always ends
// with status 1, so the round trip runs in a child that reports on stderr.

std::string Line(DBCONNECTION* conn, const char* sql) {
  DBRESULTPTR r = DBexec(conn, sql);
  std::string line =
      std::to_string(DBresult_status(r.get())) + " " + std::to_string(DBresult_rows(r.get())) + ":";
  for (int row = 0; row < DBresult_rows(r.get()) && DBresult_cols(r.get()) > 0; ++row)
    for (int c = 0; c < DBresult_cols(r.get()); ++c)
      line += std::string(" [") + DBresult_value(r.get(), row, c) + "]";
  return line + (r->error.empty() ? "" : " " + r->error) + "\n";
}

void RoundTrip(const std::string& home) {
  StartEngineInChild(home, "", "");
  auto conn = DBconnect("rt", 1);
  std::string got = std::to_string(conn->status) + "\n";
  for (const char* sql :
       {"CREATE TABLE TT (CC CHARACTER(5), II INTEGER, FF FLOAT, BB BINARY(10))", "BEGIN",
        "INSERT INTO TT VALUES ('ab', -9, 1234.5, 'A$00B\xA7"
        "0001\xA7')",
        "INSERT INTO TT (II, FF, CC, BB) VALUES (2, 0.5, 'cd', 'x$$')",
        "UPDATE TT SET FF = -0.25 WHERE II = 2", "COMMIT", "SELECT * FROM TT ORDER BY II DESC",
        "SELECT FF, COUNT(*) FROM TT WHERE CC = 'cd'", "SELECT * FROM NOPE", "GRANT"})
    got += Line(conn.get(), sql);
  const std::string want =
      "0\n1 0:\n1 0:\n1 0:\n1 0:\n1 1:\n1 0:\n"
      "2 2: [cd   ] [2] [-0.25] [x$$] [ab   ] [-9] [1234.5] [A$00B\xA7"
      "0001\xA7]\n"
      "2 1: [-0.25] [1]\n"
      "4 0: (SELECT) Table 'NOPE' does not exist\n"
      "5 0: (DBexec) Syntax error: SQL-command GRANT; not known\n";
  DBreport("%s", got == want ? "ROUNDTRIP OK\n" : ("ROUNDTRIP GOT\n" + got).c_str());
  PLATFORM_Exit(0);
}

TEST(DBCLIENTDeathTest, StatementsRoundTripThroughTheEngine) {
  ScratchDir home;
  EXPECT_EXIT(RoundTrip(home.path()), testing::ExitedWithCode(1), "ROUNDTRIP OK");
}

}  // namespace
