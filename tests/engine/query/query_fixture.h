// query_fixture.h: an engine with one connected database in a temporary
// data directory, for tests that run real statements through the client,
// and helpers that turn results into comparable text.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "engine/catalog/catalog.h"
#include "engine/dispatch.h"
#include "engine/query/expr.h"
#include "engine/query/select.h"
#include "engine/storage/idxlist.h"
#include "engine/types/values.h"
#include "engine/types/wire.h"
#include "support/scratch_dir.h"

class QueryTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"TARVIC_PATH", "HOME"}) {
      const char* old = std::getenv(name);
      saved_.push_back(old ? std::optional<std::string>(old) : std::nullopt);
      setenv(name, dir_.path().c_str(), 1);
    }
    Reset();
    ASSERT_TRUE(DISPATCH_SetHandlerForTest('C', SELECT_Command));
    conn_ = DBconnect("QDB", 1);
    ASSERT_EQ(conn_->status, DBCONN_OK) << conn_->error;
  }

  void TearDown() override {
    conn_.reset();
    Reset();
    const char* names[] = {"TARVIC_PATH", "HOME"};
    for (int i = 0; i < 2; ++i) {
      if (saved_[size_t(i)]) {
        setenv(names[i], saved_[size_t(i)]->c_str(), 1);
      } else {
        unsetenv(names[i]);
      }
    }
  }

  static void Reset() {
    CATALOG_ResetForTest();
    IDXLIST_ResetForTest();
    EXPR_ResetForTest();
    DISPATCH_ResetForTest();
    DBCLIENT_ResetForTest();
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

  // One cell as text: CHARACTER without its padding, numbers in decimal,
  // dates in their literal forms, "-" for a cell without value.
  static std::string Cell(DBRESULT* r, int row, int column) {
    if (DBresult_cell(r, row, column) == nullptr) return "-";
    std::string text = DBresult_value(r, row, column);
    if (DBresult_type(r, column) == DBTYPE_CHARACTER) {
      while (!text.empty() && text.back() == ' ') text.pop_back();
    }
    return text;
  }

  // The rows of a query, cells joined by ",", rows by ";"; an error gives
  // "ERR " and its text, a truncated result ends in " (4)".
  std::string Rows(const std::string& sql) {
    DBRESULTPTR r = Exec(sql);
    if (r->status != DBRES_TUPLES_OK && r->status != DBRES_TUPLES_PART) return "ERR " + r->error;
    std::string out;
    for (int i = 0; i < DBresult_rows(r.get()); ++i) {
      if (i > 0) out += ";";
      for (int c = 0; c < DBresult_cols(r.get()); ++c) {
        if (c > 0) out += ",";
        out += Cell(r.get(), i, c);
      }
    }
    if (r->status == DBRES_TUPLES_PART) out += " (4)";
    return out;
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

  ScratchDir dir_;
  std::vector<std::optional<std::string>> saved_;
  std::unique_ptr<DBCONNECTION> conn_;
};
