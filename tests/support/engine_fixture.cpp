// engine_fixture.cpp: the engine as the tests meet it.
#include "support/engine_fixture.h"

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>

#include "client/message.h"
#include "client/parser.h"
#include "engine/dispatch.h"
#include "engine/start.h"
#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "platform/files.h"
#include "platform/process.h"

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
}

ScopedEnv::~ScopedEnv() {
  if (old_) {
    setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

EngineHome::EngineHome()
    : tarvic_path_("TARVIC_PATH", dir_.path().c_str()), home_("HOME", dir_.path().c_str()) {}

void StartEngineInChild(const std::string& home, const char* engine_name, const char* default_db) {
  setenv("TARVIC_PATH", home.c_str(), 1);
  setenv("HOME", home.c_str(), 1);
  ResetEngineForTest();
  if (!Tarvic1_Init(engine_name, default_db)) PLATFORM_QuickExit(2);
}

std::string EngineReplyText() {
  const unsigned char* r = REPLY_Data();
  const int n = REPLY_Length();
  if (n == 1 && r[0] == '1') return "OK";
  if (n >= 5 && r[0] == '0' && r[1] == 'b') {
    const int len = r[2] | (r[3] << 8);
    return std::string(reinterpret_cast<const char*>(r) + 4, len - 1);
  }
  char text[16];
  std::snprintf(text, sizeof text, "<%02X>", n > 0 ? r[0] : 0);
  return text;
}

std::string EngineSend(int conn_id) {
  process_sql(conn_id, MESSAGE_Data(), MESSAGE_Length());
  return EngineReplyText();
}

std::string EngineSendBytes(int conn_id, const std::vector<unsigned char>& message) {
  process_sql(conn_id, message.data(), static_cast<int>(message.size()));
  return EngineReplyText();
}

std::string EngineSendSql(int conn_id, const std::string& sql) {
  std::string text = !sql.empty() && sql.back() == ';' ? sql : sql + ";";
  std::string error;
  DBquery_reset();
  if (!PARSE_Statement(text.data(), &error)) return "parse: " + error;
  return EngineSend(conn_id);
}

std::string EngineSendNames(int conn_id, char letter, std::initializer_list<const char*> names) {
  DBquery_reset();
  DBquery_addcmd(letter);
  for (const char* name : names) DBquery_addtokstring(DBTK_IDENT, name);
  return EngineSend(conn_id);
}

bool EngineScript(int conn_id, const std::vector<EngineStep>& steps) {
  bool all = true;
  for (const EngineStep& step : steps) {
    const std::string reply = EngineSendSql(conn_id, step.sql);
    EXPECT_EQ(reply, step.reply) << step.sql;
    all = all && reply == step.reply;
  }
  return all;
}

DBTABLE* EngineTable(const char* db, const char* name) {
  int pos = 0;
  DBTABLE* table = nullptr;
  if (!CATALOG_FindDatabase(db, &pos)) return nullptr;
  return CATALOG_FindTable(&CATALOG_Engine().dbs[pos], name, &table, nullptr) ? table : nullptr;
}

std::string FileText(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (!PLATFORM_ReadFile(path.c_str(), &bytes)) return "<missing>";
  return std::string(bytes.begin(), bytes.end());
}

std::string ResultCell(DBRESULT* result, int row, int column) {
  if (DBresult_cell(result, row, column) == nullptr) return "-";
  std::string text = DBresult_value(result, row, column);
  if (DBresult_type(result, column) == DBTYPE_CHARACTER) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
  }
  return text;
}

std::string ResultCells(DBRESULT* result, const char* cell_sep, const char* row_sep) {
  std::string out;
  for (int row = 0; row < DBresult_rows(result); ++row) {
    if (row > 0) out += row_sep;
    for (int c = 0; c < DBresult_cols(result); ++c) {
      if (c > 0) out += cell_sep;
      out += ResultCell(result, row, c);
    }
  }
  return out;
}

std::string ResultText(DBRESULT* result, const char* cell_sep, const char* row_sep) {
  const int rows = DBresult_rows(result);
  if (result->status == DBRES_COMMAND_OK) return rows ? "ok " + std::to_string(rows) : "ok";
  if (result->status != DBRES_TUPLES_OK && result->status != DBRES_TUPLES_PART) {
    return result->error;
  }
  const char* cut = result->status == DBRES_TUPLES_PART ? "cut " : "";
  return cut + ResultCells(result, cell_sep, row_sep);
}
