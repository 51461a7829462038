// engine_bench.cpp: the engine as a whole, driven through DBexec with SQL
// text, on a table shaped like the item table:
//
//   KASPO (KASPO_ID CHARACTER(8), FILENAME CHARACTER(80),
//          DESCRIPTION CHARACTER(160), SIZE INTEGER, COMPRESSED CHARACTER(1))
//   with a unique index on KASPO_ID.
//
// Phases (one benchmark each):
//   Insert   100,000 INSERT statements in one transaction
//   Lookup   10,000 SELECTs of one row by its unique key
//   Count    SELECT COUNT(*) over the 100,000 rows
//   Like     a '%abc%' search over FILENAME or DESCRIPTION, ordered
//   OrderBy  every row of a 30,000-row copy, ordered by FILENAME
//
// The data comes from a fixed seed, so that bench/engine_compare.sh can run
// the very same statements through another SQL shell: `--write_sql=DIR`
// writes them as DIR/setup.sql, DIR/insert.sql, DIR/lookup.sql,
// DIR/count.sql, DIR/like.sql, DIR/orderby.sql and DIR/order30.sql (the
// untimed load of the 30,000-row table) and runs nothing. Every other
// argument is Google Benchmark's.
//
// The engine's data directory is a fresh temporary directory.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "client/dbclient.h"
#include "engine/start.h"
#include "tests/support/engine_env.h"

namespace {

constexpr int kRows = 100000;      // rows of the insert phase
constexpr int kLookups = 10000;    // statements of the lookup phase
constexpr int kOrderRows = 30000;  // rows of the ORDER BY table
constexpr uint64_t kSeed = 20261207;

constexpr char kCreate[] =
    "CREATE TABLE KASPO (KASPO_ID CHARACTER(8), FILENAME CHARACTER(80), "
    "DESCRIPTION CHARACTER(160), SIZE INTEGER, COMPRESSED CHARACTER(1));";
constexpr char kCreateIndex[] = "CREATE UNIQUE INDEX XKASPO01 ON KASPO (KASPO_ID);";
constexpr char kCreate30[] =
    "CREATE TABLE KASPO30 (KASPO_ID CHARACTER(8), FILENAME CHARACTER(80), "
    "DESCRIPTION CHARACTER(160), SIZE INTEGER, COMPRESSED CHARACTER(1));";
constexpr char kCount[] = "SELECT COUNT(*) FROM KASPO;";
constexpr char kLike[] =
    "SELECT * FROM KASPO WHERE FILENAME LIKE '%abc%' OR DESCRIPTION LIKE '%abc%' "
    "ORDER BY FILENAME;";
constexpr char kOrderBy[] = "SELECT * FROM KASPO30 ORDER BY FILENAME;";

// splitmix64: small, fast and the same on every platform.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  int Below(int n) { return int(Next() % uint64_t(n)); }
};

// Lower-case letters and digits only, so that a case-blind LIKE and a
// case-sensitive one find the same rows.
std::string Word(Random* rng, int min_len, int max_len) {
  static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  const int len = min_len + rng->Below(max_len - min_len + 1);
  std::string out;
  for (int i = 0; i < len; ++i) out += kChars[rng->Below(26 + (i % 3 == 2 ? 10 : 0))];
  return out;
}

struct Data {
  std::vector<std::string> inserts;    // INSERT INTO KASPO ...
  std::vector<std::string> inserts30;  // INSERT INTO KASPO30 ...
  std::vector<std::string> lookups;    // SELECT ... WHERE KASPO_ID = ...
};

std::string InsertText(const char* table, const std::string& id, const std::string& name,
                       const std::string& desc, int size, char compressed) {
  return std::string("INSERT INTO ") + table + " VALUES ('" + id + "', '" + name + "', '" + desc +
         "', " + std::to_string(size) + ", '" + compressed + "');";
}

Data MakeData() {
  Random rng{kSeed};
  Data data;
  std::vector<std::string> ids;
  std::unordered_set<std::string> seen;
  static constexpr char kIdChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  while (int(ids.size()) < kRows) {
    std::string id;
    for (int i = 0; i < 8; ++i) id += kIdChars[rng.Below(36)];
    if (seen.insert(id).second) ids.push_back(id);
  }
  for (int i = 0; i < kRows; ++i) {
    std::string name = Word(&rng, 8, 40);
    name += '.';
    name += Word(&rng, 2, 3);
    std::string desc = Word(&rng, 4, 12);
    const int words = 3 + rng.Below(10);
    for (int w = 0; w < words; ++w) {
      desc += ' ';
      desc += Word(&rng, 2, 10);
    }
    const int size = rng.Below(10000000);
    const char compressed = rng.Below(2) != 0 ? 'Y' : 'N';
    data.inserts.push_back(InsertText("KASPO", ids[size_t(i)], name, desc, size, compressed));
    if (i < kOrderRows) {
      data.inserts30.push_back(InsertText("KASPO30", ids[size_t(i)], name, desc, size, compressed));
    }
  }
  for (int i = 0; i < kLookups; ++i) {
    data.lookups.push_back("SELECT * FROM KASPO WHERE KASPO_ID = '" +
                           ids[size_t(rng.Below(kRows))] + "';");
  }
  return data;
}

const Data& TheData() {
  static const Data data = MakeData();
  return data;
}

struct Engine {
  std::unique_ptr<DBCONNECTION> conn;
  bool loaded = false;  // KASPO holds the 100,000 rows
  Engine() {
    std::string dir;
    if (!MakeTempDir("engine_bench_", &dir)) std::abort();
    PointEngineAt(dir);
    // The allocator setting of the engine's start-up; the rest of that
    // start (banner, exit handling) does not suit a benchmark process.
    START_KeepFreedMemory();
    conn = DBconnect("BENCHDB", 1);
    if (conn->status != DBCONN_OK) std::abort();
    Check(kCreate30);
    Check("BEGIN;");
    for (const std::string& sql : TheData().inserts30) Check(sql.c_str());
    Check("COMMIT;");
  }
  // Runs `sql`; a refused or failed statement ends the run, so that a
  // benchmark never times an error path.
  int Check(const char* sql) {
    DBRESULTPTR result = DBexec(conn.get(), sql);
    const int status = DBresult_status(result.get());
    if (status == DBRES_BAD_REPLY || status == DBRES_REFUSED) {
      std::fprintf(stderr, "engine_bench: %s\n  %s", sql, DBresult_error(result.get()).c_str());
      std::abort();
    }
    const int rows = DBresult_rows(result.get());
    DBresult_free(std::move(result));
    return rows;
  }
  void CreateKaspo() {
    Check(kCreate);
    Check(kCreateIndex);
  }
  void Load() {
    Check("BEGIN;");
    for (const std::string& sql : TheData().inserts) Check(sql.c_str());
    Check("COMMIT;");
    loaded = true;
  }
  void EnsureLoaded() {
    if (loaded) return;
    CreateKaspo();
    Load();
  }
};

Engine& TheEngine() {
  static Engine engine;
  return engine;
}

void BM_Insert100k(benchmark::State& state) {
  Engine& engine = TheEngine();
  for (auto _ : state) {
    state.PauseTiming();
    if (engine.loaded) engine.Check("DROP TABLE KASPO;");
    engine.loaded = false;
    engine.CreateKaspo();
    state.ResumeTiming();
    engine.Load();
  }
  state.counters["rows"] = kRows;
}

void BM_Lookup10k(benchmark::State& state) {
  Engine& engine = TheEngine();
  engine.EnsureLoaded();
  int found = 0;
  for (auto _ : state) {
    found = 0;
    for (const std::string& sql : TheData().lookups) found += engine.Check(sql.c_str());
  }
  if (found != kLookups) state.SkipWithError("a lookup missed its row");
}

void RunOne(benchmark::State& state, const char* sql) {
  Engine& engine = TheEngine();
  engine.EnsureLoaded();
  int rows = 0;
  for (auto _ : state) rows = engine.Check(sql);
  state.counters["rows"] = rows;
}

void BM_Count(benchmark::State& state) { RunOne(state, kCount); }
void BM_LikeOrderBy(benchmark::State& state) { RunOne(state, kLike); }
void BM_OrderBy30k(benchmark::State& state) { RunOne(state, kOrderBy); }

BENCHMARK(BM_Insert100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Lookup10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Count)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LikeOrderBy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderBy30k)->Unit(benchmark::kMillisecond);

int WriteLines(const std::string& path, const std::vector<std::string>& lines) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return 0;
  for (const std::string& line : lines) std::fprintf(file, "%s\n", line.c_str());
  return std::fclose(file) == 0 ? 1 : 0;
}

// The statements of every phase, for a peer shell.
int WriteSql(const std::string& dir) {
  const Data& data = TheData();
  std::vector<std::string> insert = {"BEGIN;"};
  insert.insert(insert.end(), data.inserts.begin(), data.inserts.end());
  insert.push_back("COMMIT;");
  std::vector<std::string> order30 = {kCreate30, "BEGIN;"};
  order30.insert(order30.end(), data.inserts30.begin(), data.inserts30.end());
  order30.push_back("COMMIT;");
  return WriteLines(dir + "/setup.sql", {kCreate, kCreateIndex}) &&
         WriteLines(dir + "/insert.sql", insert) && WriteLines(dir + "/order30.sql", order30) &&
         WriteLines(dir + "/lookup.sql", data.lookups) &&
         WriteLines(dir + "/count.sql", {kCount}) && WriteLines(dir + "/like.sql", {kLike}) &&
         WriteLines(dir + "/orderby.sql", {kOrderBy});
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    constexpr char kFlag[] = "--write_sql=";
    if (std::strncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) {
      return WriteSql(argv[i] + sizeof kFlag - 1) ? 0 : 1;
    }
  }
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
