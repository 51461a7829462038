// fake_engine.h: a stand-in engine for the tests of the record layer and
// of the application. It takes the place of every statement handler, keeps
// each command message it receives, and answers with what the test
// scripted per command letter (success when nothing was scripted). The messages come from the real
// client side: the statement parser and the message builder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "client/parser.h"
#include "client/value_strings.h"
#include "engine/dispatch.h"
#include "engine/types/reply.h"
#include "engine/types/tokens.h"
#include "engine/types/values.h"
#include "records/dbhandle.h"
#include "records/kaspo.h"
#include "records/keygen.h"
#include "support/engine_fixture.h"

using Message = std::vector<unsigned char>;
using Answer = std::function<void(const Message&)>;

struct FakeEngine {
  std::vector<Message> messages;
  std::map<unsigned char, Answer> answers;
};

inline FakeEngine& Fake() {
  static FakeEngine engine;
  return engine;
}

inline void FakeHandler(int /*conn_id*/, const unsigned char* msg, int length) {
  Message message(msg, msg + length);
  Fake().messages.push_back(message);
  auto it = Fake().answers.find(message[0]);
  if (it == Fake().answers.end()) {
    REPLY_Success();
  } else {
    it->second(message);
  }
}

inline void InstallFakeEngine() {
  Fake() = FakeEngine{};
  for (const char* p = "123456789CDEFGHIJKLMNOPQRSTUVX"; *p != '\0'; ++p) {
    EXPECT_TRUE(DISPATCH_SetHandlerForTest(*p, FakeHandler));
  }
}

// The command letters received, in order.
inline std::string Letters() {
  std::string letters;
  for (const Message& m : Fake().messages) letters.push_back(static_cast<char>(m[0]));
  return letters;
}

// The message that `sql` parses to, built with the real parser (";" added
// when missing, as DBexec does).
inline Message ParsedMessage(std::string sql) {
  if (sql.empty() || sql.back() != ';') sql += ';';
  std::vector<char> text(sql.begin(), sql.end());
  text.push_back('\0');
  DBquery_reset();
  std::string error;
  EXPECT_TRUE(PARSE_Statement(text.data(), &error)) << sql << ": " << error;
  return Message(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
}

// A row reply: each row is a list of cells, each cell the bytes the reply
// carries for it.
struct FakeColumn {
  std::string name;
  unsigned char type;
  int32_t size;
};

inline void ReplyRows(char code, const std::vector<FakeColumn>& columns,
                      const std::vector<std::vector<std::string>>& rows) {
  REPLY_RowsBegin(code, static_cast<int32_t>(columns.size()), static_cast<int32_t>(rows.size()));
  for (const FakeColumn& c : columns) REPLY_Column(c.name, c.type, c.size);
  for (const auto& row : rows) {
    for (const std::string& cell : row) REPLY_Cell(cell.data(), static_cast<int>(cell.size()));
  }
}

// Cell bytes of the typed values.
inline std::string TextCell(const std::string& text) { return text + std::string(1, '\0'); }
inline std::string IntCell(int32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// The columns of SELECT * FROM KASPO as the engine describes them.
inline std::vector<FakeColumn> KaspoColumns() {
  return {{"KASPO_ID", DBTYPE_CHARACTER, 9},
          {"FILENAME", DBTYPE_CHARACTER, 81},
          {"DESCRIPTION", DBTYPE_CHARACTER, 161},
          {"SIZE", DBTYPE_INTEGER, 4},
          {"COMPRESSED", DBTYPE_CHARACTER, 2}};
}

inline std::vector<std::string> KaspoRow(const std::string& id, const std::string& name,
                                         const std::string& description, int32_t size,
                                         char compressed) {
  return {TextCell(id), TextCell(name), TextCell(description), IntCell(size),
          TextCell(std::string(1, compressed))};
}

// A one-row, one-column answer such as COUNT(*) or MAX gives.
inline void ReplyNumber(const char* column, int32_t value) {
  ReplyRows('2', {{column, DBTYPE_INTEGER, 4}}, {{IntCell(value)}});
}

// Resets the client, the handle layer and the key generator and connects
// a handle to the fake engine.
class FakeEngineTest : public EngineTest {
 protected:
  DBHANDLE handle_;

  void SetUp() override {
    EngineTest::SetUp();
    DBHANDLE_ResetForTest();
    KEYGEN_ResetForTest();
    KASPO_ResetForTest();
    VALSTR_ResetForTest();
    InstallFakeEngine();
    DBHANDLE_SetErrorMode(DBERR_COLLECTING);
    ASSERT_TRUE(DBHANDLE_Init(&handle_, "KASPODB"));
    Fake().messages.clear();
  }

  void TearDown() override {
    EngineTest::TearDown();
    DBHANDLE_ResetForTest();
  }
};
