// engine_fixture.h: the engine as the tests meet it. A fresh data
// directory that TARVIC_PATH and HOME point at, every process-wide part of
// the engine and the client emptied around each test, requests sent
// straight to process_sql or through the client, and their replies as
// text a test can compare.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "engine/catalog/catalog.h"
#include "support/engine_env.h"
#include "support/scratch_dir.h"

// Sets (or, given nullptr, unsets) an environment variable while it lives
// and puts the old state back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// A fresh scratch directory that TARVIC_PATH and HOME point at while it
// lives: the engine named "Tarvic" keeps its data in DataDir().
class EngineHome {
 public:
  EngineHome();

  const std::string& path() const { return dir_.path(); }
  const ScratchDir& dir() const { return dir_; }
  std::string DataDir() const { return dir_.path() + "/Tarvic.dat"; }

 private:
  ScratchDir dir_;
  ScopedEnv tarvic_path_;
  ScopedEnv home_;
};

// Starts the engine below `home` inside a death-test child, which inherits
// whatever earlier tests left in the process; a failed start ends the
// child with status 2. A started engine ends every process with status 1.
void StartEngineInChild(const std::string& home, const char* engine_name, const char* default_db);

// ---------------------------------------------------------------------------
// Requests straight to process_sql

// The reply buffer as text: "OK" for a success, the text of an error reply,
// else the reply's first byte in angle brackets ("<5C>").
std::string EngineReplyText();
// Runs the message in the message buffer as a request of `conn_id`.
std::string EngineSend(int conn_id);
// Runs the given message bytes as a request of `conn_id`.
std::string EngineSendBytes(int conn_id, const std::vector<unsigned char>& message);
// Runs SQL text (";" added when missing) as the client would send it;
// "parse: <error>" when the statement parser refuses it.
std::string EngineSendSql(int conn_id, const std::string& sql);
// Runs a message of a command letter and name tokens, built by hand.
std::string EngineSendNames(int conn_id, char letter, std::initializer_list<const char*> names);

// A statement and the reply text it must give, as EngineSendSql writes it.
struct EngineStep {
  std::string sql;
  std::string reply;
};
// Runs the statements in order as requests of `conn_id`, reporting each
// reply that differs with its statement; whether all were as expected.
bool EngineScript(int conn_id, const std::vector<EngineStep>& steps);

// The table `name` of the database `db`; nullptr when either is missing.
DBTABLE* EngineTable(const char* db, const char* name);

// A file's content, or "<missing>" when it cannot be read.
std::string FileText(const std::string& path);

// ---------------------------------------------------------------------------
// Requests through the client

// One cell as text: CHARACTER without its padding, numbers in decimal,
// dates in their literal forms, "-" for a cell without value.
std::string ResultCell(DBRESULT* result, int row, int column);

// The cells of a result (as ResultCell gives them), joined by `cell_sep`
// within a row and by `row_sep` between rows.
std::string ResultCells(DBRESULT* result, const char* cell_sep, const char* row_sep);

// A reply in a few words: "ok" for a command (with its row count when it
// has one: "ok 5"), the error text of a refused one, else the cells as
// ResultCells gives them, marked "cut " in front when the result was cut
// short.
std::string ResultText(DBRESULT* result, const char* cell_sep, const char* row_sep);

// The engine in a fresh data directory, emptied before and after each
// test.
class EngineTest : public testing::Test {
 protected:
  void SetUp() override { ResetEngineForTest(); }
  void TearDown() override { ResetEngineForTest(); }

  EngineHome home_;
};
