// Differential test: random tables, queries and changes run through our
// engine and through the sqlite3 shell, whose rows must agree (as
// multisets, or key run by key run under ORDER BY), as must the number of
// rows each change changed. The shell runs once per batch.
//
// Where the two dialects differ by design, the generator stays out:
//  - No NULL: every column gets a value. Missing values are ordinary
//    values here, NULL there.
//  - CHARACTER(n) is blank-padded: '=' and '<' ignore trailing blanks, LIKE
//    sees them. The peer stores the padded text, and its text constants in
//    comparisons are padded alike (LIKE patterns are not).
//  - LIKE knows only '%' and is case-sensitive: no '_' in patterns, and the
//    peer runs with PRAGMA case_sensitive_like=ON.
//  - A float constant (or a float subselect value) cannot be compared with
//    an INTEGER or SMALLINT column.
//  - A comparison with a subselect holds when it holds for any of the
//    subselect's rows, and one with a subselect without rows lets every
//    row pass: comparison subselects are MIN, MAX or COUNT(*) over tables
//    that never become empty.
//  - A subselect refers to the enclosing select only inside EXISTS, and
//    only through a table identifier; unqualified names stay inside their
//    own select. Tables with identifiers are always named through them.
//  - DATE is text on the peer's side ('YYYY-MM-DD', which orders alike);
//    dates are compared only with dates, and not through IN subselects.
//  - ORDER BY names selected columns only, as they are named in the result.
//  - COUNT(*), MIN and MAX are not mixed with plain columns. MIN and MAX
//    over no rows have no value to show, so such a select gives no row:
//    the peer's query gets HAVING COUNT(*) > 0 (COUNT(*) alone gives 0).
//  - A unique index can only be created on an empty table.
//  - An IN filter fed by a subselect stops at 999999 rows found, counting
//    a row again for each repeated value, and marks the result cut short:
//    IN subselects over the big table select DISTINCT values.
//
// KASPO_DIFF_QUERIES sets the number of queries (default kDefaultQueries),
// KASPO_DIFF_SEED the first batch's seed; a difference names the batch
// seed that reproduces it.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "differential/peer_shell.h"
#include "differential/query_gen.h"
#include "differential/result_compare.h"
#include "engine/types/reply.h"
#include "support/engine_fixture.h"

namespace {

constexpr int kDefaultQueries = 400;
constexpr int kBatchQueries = 50;  // queries per shell run and per engine
constexpr uint32_t kDefaultSeed = 7411;
constexpr int kMaxReported = 20;   // differences shown in full
constexpr uint32_t kBigEvery = 8;  // every 8th batch has a table of thousands of rows

int EnvInt(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && text[0] != '\0' ? std::atoi(text) : fallback;
}

// A change gives one row: the number of rows it changed. Outside an open
// transaction it runs in one of its own.
diff::OUTCOME RunOurChange(DBCONNECTION* conn, const std::string& sql, bool in_transaction) {
  diff::OUTCOME out;
  if (!in_transaction) DBRESULTPTR(DBexec(conn, "BEGIN"));
  DBRESULTPTR r = DBexec(conn, sql.c_str());
  // INSERT answers '1' for its one row, UPDATE and DELETE '3' with a count.
  const bool counted = REPLY_Length() > 0 && REPLY_Data()[0] == '3';
  if (!in_transaction) DBRESULTPTR(DBexec(conn, "COMMIT"));
  if (r->status != DBRES_COMMAND_OK) {
    out.failed = true;
    out.error = r->error;
    return out;
  }
  out.rows.push_back({diff::Canonical(std::to_string(counted ? DBresult_rows(r.get()) : 1))});
  return out;
}

diff::OUTCOME RunOurs(DBCONNECTION* conn, const std::string& sql) {
  diff::OUTCOME out;
  DBRESULTPTR r = DBexec(conn, sql.c_str());
  if (r->status != DBRES_TUPLES_OK) {
    out.failed = true;
    out.error = r->status == DBRES_TUPLES_PART ? "result cut short" : r->error;
    return out;
  }
  for (int i = 0; i < DBresult_rows(r.get()); ++i) {
    diff::ROW row;
    for (int c = 0; c < DBresult_cols(r.get()); ++c) {
      row.push_back(diff::Canonical(DBresult_value(r.get(), i, c)));
    }
    out.rows.push_back(row);
  }
  return out;
}

// The engine's data directory (and the shell's script) in a fresh
// temporary directory.
class DifferentialTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    shell_ = diff::FindShell();
    if (shell_.empty()) {
      GTEST_SKIP() << "sqlite3 shell not on PATH: install the Debian package sqlite3 "
                      "to compare query results with it";
    }
  }

  // Runs one batch; returns the number of queries that differed.
  int RunBatch(uint32_t seed, bool big, int count, int* reported) {
    diff::QueryGen gen(seed, big);
    const std::vector<diff::SQL2> setup = gen.Setup();
    std::vector<diff::QUERY> queries;
    for (int i = 0; i < count; ++i) queries.push_back(gen.Next());

    std::vector<diff::OUTCOME> ours = RunOursBatch(seed, setup, queries, gen.InTransaction());
    std::vector<diff::OUTCOME> peer;
    if (!RunPeerBatch(seed, setup, queries, &peer)) return count;
    int differences = 0;
    for (size_t i = 0; i < queries.size(); ++i) {
      const diff::QUERY& q = queries[i];
      const std::string what = diff::Compare(ours[i], peer[i], q.ordered, q.keys);
      if (what.empty()) continue;
      ++differences;
      if (++*reported > kMaxReported) continue;
      ADD_FAILURE() << "seed " << seed << (big ? " (big)" : "") << " query " << i << ": " << what
                    << "\n  ours: " << q.sql.kaspo << "\n  peer: " << q.sql.peer;
    }
    return differences;
  }

  std::vector<diff::OUTCOME> RunOursBatch(uint32_t seed, const std::vector<diff::SQL2>& setup,
                                          const std::vector<diff::QUERY>& queries,
                                          bool in_transaction) {
    ResetEngineForTest();
    std::unique_ptr<DBCONNECTION> conn = DBconnect(("DIFF" + std::to_string(seed)).c_str(), 1);
    EXPECT_EQ(conn->status, DBCONN_OK) << conn->error;
    for (const diff::SQL2& s : setup) {
      DBRESULTPTR r = DBexec(conn.get(), s.kaspo.c_str());
      if (r->status == DBRES_COMMAND_OK) continue;
      ADD_FAILURE() << "seed " << seed << ": " << s.kaspo << ": " << r->error;
      break;
    }
    std::vector<diff::OUTCOME> out;
    for (const diff::QUERY& q : queries) {
      out.push_back(q.change ? RunOurChange(conn.get(), q.sql.kaspo, in_transaction)
                             : RunOurs(conn.get(), q.sql.kaspo));
    }
    return out;
  }

  bool RunPeerBatch(uint32_t seed, const std::vector<diff::SQL2>& setup,
                    const std::vector<diff::QUERY>& queries, std::vector<diff::OUTCOME>* out) {
    std::vector<std::string> setup_text, query_text;
    for (const diff::SQL2& s : setup) setup_text.push_back(s.peer);
    for (const diff::QUERY& q : queries) query_text.push_back(q.sql.peer);
    const std::string path =
        home_.dir().WriteFile("batch.sql", diff::ShellScript(setup_text, query_text));
    std::string output, preamble;
    if (!diff::RunShell(shell_, path, &output)) {
      ADD_FAILURE() << "could not run " << shell_;
      return false;
    }
    if (!diff::SplitOutput(output, queries.size(), out, &preamble)) {
      ADD_FAILURE() << "seed " << seed << ": shell output without its markers:\n" << output;
      return false;
    }
    EXPECT_EQ(preamble, "") << "seed " << seed << ": the peer refused the set-up";
    return true;
  }

  std::string shell_;
};

TEST_F(DifferentialTest, QueriesGiveThePeersRows) {
  const int total = EnvInt("KASPO_DIFF_QUERIES", kDefaultQueries);
  const auto seed = uint32_t(EnvInt("KASPO_DIFF_SEED", int(kDefaultSeed)));
  int differences = 0, reported = 0, run = 0;
  for (uint32_t batch = 0; run < total; ++batch) {
    const int count = std::min(kBatchQueries, total - run);
    const bool big = batch % kBigEvery == kBigEvery - 1;
    differences += RunBatch(seed + batch, big, count, &reported);
    run += count;
  }
  EXPECT_EQ(differences, 0) << "of " << run << " queries";
  EXPECT_GT(run, 0);
}

}  // namespace
