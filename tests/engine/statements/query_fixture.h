// query_fixture.h: an engine with one connected database in a temporary
// data directory, for tests that run real statements through the client,
// and helpers that turn results into comparable text.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/statements/expr.h"
#include "engine/statements/select.h"
#include "engine/storage/idxlist.h"
#include "engine/types/values.h"
#include "support/engine_fixture.h"

class QueryTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    conn_ = DBconnect("QDB", 1);
    ASSERT_EQ(conn_->status, DBCONN_OK) << conn_->error;
  }

  void TearDown() override {
    conn_.reset();
    EngineTest::TearDown();
  }

  DBRESULTPTR Exec(const std::string& sql) { return DBexec(conn_.get(), sql.c_str()); }

  // Runs statements that must succeed.
  void Run(std::initializer_list<const char*> statements) {
    for (const char* sql : statements) {
      DBRESULTPTR r = Exec(sql);
      ASSERT_TRUE(r->status == DBRES_COMMAND_OK || r->status == DBRES_TUPLES_OK)
          << sql << ": " << r->error;
    }
  }

  static void Reset() { ResetEngineForTest(); }

  static std::string Cell(DBRESULT* r, int row, int column) { return ResultCell(r, row, column); }

  // The rows of a query, cells joined by ",", rows by ";"; an error gives
  // "ERR " and its text, a truncated result ends in " (4)".
  std::string Rows(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    if (r->status != DBRES_TUPLES_OK && r->status != DBRES_TUPLES_PART) return "ERR " + r->error;
    return ResultCells(r.get(), ",", ";") + (r->status == DBRES_TUPLES_PART ? " (4)" : "");
  }

  // Checks the rows of each case's query (prefix + c.sql), as Rows writes
  // them, against c.expected.
  template <typename Case, size_t N>
  void ExpectRows(const Case (&cases)[N], const std::string& prefix = "") {
    for (const Case& c : cases) EXPECT_EQ(Rows(prefix + c.sql), c.expected) << prefix + c.sql;
  }

  // The column names of a query that returns rows, joined by ",".
  std::string Columns(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    std::string out;
    for (int c = 0; c < r->data.columns; ++c) {
      if (c > 0) out += ",";
      out += r->data.column_names[size_t(c)] ? r->data.column_names[size_t(c)] : "";
    }
    return out;
  }

  // The error text of a statement that must fail in the engine.
  std::string Error(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    EXPECT_EQ(r->status, DBRES_BAD_REPLY) << sql;
    return r->error;
  }

  static DBDATABASE* Db() { return &CATALOG_Engine().dbs[0]; }
  static DBTABLE* Table(const char* name) {
    DBTABLE* table = nullptr;
    EXPECT_TRUE(CATALOG_FindTable(Db(), name, &table, nullptr)) << name;
    return table;
  }

  const ScratchDir& dir_ = home_.dir();  // the data directory's parent
  std::unique_ptr<DBCONNECTION> conn_;
};
