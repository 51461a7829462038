// select_bench.cpp: ORDER BY and DISTINCT over a 30,000-row table, run
// through the select body executor (no reply, no client parse), beside the
// same select without them as a baseline.
//
// The table BT (KK INTEGER, GG INTEGER, NM CHARACTER(12), FL FLOAT) holds
// 30,000 rows: KK a shuffled 0..29999, GG = KK % 1000 (30 rows per value),
// NM a text of GG, FL = GG / 4. The engine's data directory is a fresh
// temporary directory.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "client/dbclient.h"
#include "client/message.h"
#include "client/parser.h"
#include "engine/catalog/catalog.h"
#include "engine/statements/select.h"
#include "tests/support/engine_env.h"

namespace {

constexpr int kRows = 30000;

struct Engine {
  std::unique_ptr<DBCONNECTION> conn;
  Engine() {
    std::string dir;
    if (!MakeTempDir("select_bench_", &dir)) std::abort();
    PointEngineAt(dir);
    conn = DBconnect("BENCHDB", 1);
    Exec("CREATE TABLE BT (KK INTEGER, GG INTEGER, NM CHARACTER(12), FL FLOAT)");
    Exec("BEGIN");
    for (int i = 0; i < kRows; ++i) {
      const int kk = int((i * 7919LL) % kRows);  // 7919 is prime to 30000: a permutation
      char sql[128];
      std::snprintf(sql, sizeof sql, "INSERT INTO BT VALUES (%d, %d, 'name%d', %g)", kk, kk % 1000,
                    kk % 1000, (kk % 1000) / 4.0);
      Exec(sql);
    }
    Exec("COMMIT");
    CATALOG_Conn(conn->conn_id)->max_rows = 0;  // no row maximum
  }
  void Exec(const char* sql) { DBresult_free(DBexec(conn.get(), sql)); }
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

// Runs `sql` through the select body executor once per iteration.
void RunSelect(benchmark::State& state, const char* sql) {
  Engine& engine = TheEngine();
  std::string text = sql;
  std::string error;
  DBquery_reset();
  if (!PARSE_Statement(text.data(), &error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const std::vector<unsigned char> msg(MESSAGE_Data(), MESSAGE_Data() + MESSAGE_Length());
  DBCONN* conn = CATALOG_Conn(engine.conn->conn_id);
  DBDATABASE* db = &CATALOG_Engine().dbs[size_t(conn->database)];
  RESDATA result;
  RESDATA_Init(&result);
  for (auto _ : state) {
    QTOKENS tok{msg.data(), int(msg.size()), 1, msg[0]};
    if (!SELECT_RunBody(conn, db, SELECT_Timestamp(*conn, *db), &tok, &result)) {
      state.SkipWithError("select failed");
      break;
    }
    benchmark::DoNotOptimize(result.rows);
  }
  state.counters["rows"] = result.rows;
  RESDATA_Free(&result);
}

void BM_Select(benchmark::State& s) { RunSelect(s, "SELECT KK, GG, NM FROM BT;"); }
void BM_OrderByInteger(benchmark::State& s) {
  RunSelect(s, "SELECT KK, GG, NM FROM BT ORDER BY KK;");
}
void BM_OrderByTwoKeys(benchmark::State& s) {
  RunSelect(s, "SELECT KK, GG, NM FROM BT ORDER BY NM DESC, KK;");
}
void BM_DistinctUnique(benchmark::State& s) { RunSelect(s, "SELECT DISTINCT KK, NM FROM BT;"); }
void BM_DistinctRepeated(benchmark::State& s) { RunSelect(s, "SELECT DISTINCT GG, NM FROM BT;"); }
void BM_DistinctOrderBy(benchmark::State& s) {
  RunSelect(s, "SELECT DISTINCT GG, NM FROM BT ORDER BY GG DESC;");
}
// Two attributes of one row compared: no index or list can narrow it, so
// the WHERE expression is evaluated once per row.
void BM_WhereBetweenAttributes(benchmark::State& s) {
  RunSelect(s, "SELECT KK FROM BT WHERE KK < GG OR GG = KK;");
}
// FLOAT equality is tolerant and not transitive: rows are compared pairwise.
void BM_DistinctFloatRepeated(benchmark::State& s) {
  RunSelect(s, "SELECT DISTINCT GG, FL FROM BT;");
}

BENCHMARK(BM_Select)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderByInteger)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderByTwoKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctUnique)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctRepeated)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctOrderBy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WhereBetweenAttributes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DistinctFloatRepeated)->Unit(benchmark::kMillisecond);

}  // namespace
