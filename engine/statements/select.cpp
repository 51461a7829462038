// select.cpp: the SELECT command, the select body executor with its two
// paths (row lists alone, or evaluation per row combination), aggregate
// cells and the reply.
#include "engine/statements/select.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "engine/statements/distinct.h"
#include "engine/statements/eval.h"
#include "engine/statements/orderby.h"
#include "engine/statements/selectlist.h"
#include "engine/statements/where.h"
#include "engine/tables/transaction.h"
#include "engine/types/interrupt.h"
#include "engine/types/reply.h"
#include "engine/types/values.h"
#include "platform/process.h"
#include "platform/report.h"

namespace {

constexpr char kStatement[] = "SELECT";
constexpr char kIllegalFunction[] = "(SELECT) Illegal function";
constexpr char kTooManyFunctions[] = "(SELECT) Too many functions";
constexpr char kCmpAttribUnknown[] = "(CmpAttrib) <datatype unknown>\n";

// Aggregate cells of one select in the evaluated path; an 11th function
// item is refused.
inline constexpr int DB_MAXFUNCTIONS = 10;

// One COUNT(*), MIN or MAX of the evaluated path.
struct AGGCELL {
  int function = SELECT_COUNT;
  int item = -1;
  int64_t count = 0;  // COUNT(*): 64 bits, never wraps (SELECT_CountAdd)
  // MIN/MAX: the best value so far, a field inside a row (rows do not move
  // while a statement runs); null while there is none.
  const unsigned char* value = nullptr;
};

struct SELECTRUN {
  QUERYSTMT* stmt = nullptr;
  QUERYSCOPE scope;
  SELECTITEMS items;
  RESDATA* result = nullptr;
  std::vector<std::vector<DBATTRIB*>> attribs;  // per FROM table, definition order
  std::vector<int> item_column;                 // first result column of each item
  std::vector<AGGCELL> cells;
  std::vector<std::vector<int32_t>*> lists;  // working list per FROM table
  std::vector<int> lengths;
  bool all_functions = false;
  bool only_counts = false;
};

// ---------------------------------------------------------------------------
// Header

std::string ColumnName(SELECTRUN* run, int t, const DBATTRIB& attrib) {
  const char* ident = NAMELIST_Get(run->scope.identifiers, t);
  return ident != nullptr ? std::string(ident) + "." + attrib.name : attrib.name;
}

void AddTableColumns(SELECTRUN* run, int t) {
  for (DBATTRIB* a : run->attribs[size_t(t)]) {
    RESDATA_Header_Data(run->result, ColumnName(run, t, *a).c_str(), a->type, a->size);
  }
}

[[nodiscard]] int AddItemColumns(SELECTRUN* run, int i, bool evaluated) {
  const int f = run->items.function[size_t(i)];
  const int t = run->items.table[size_t(i)];
  const DBATTRIB* a = run->items.attribs[size_t(i)];
  run->item_column.push_back(run->result->columns);
  if (f == SELECT_NOFUNCTION) {
    if (a != nullptr) {
      RESDATA_Header_Data(run->result, ColumnName(run, t, *a).c_str(), a->type, a->size);
    } else {
      for (size_t k = 0; k < run->attribs.size(); ++k) {
        if (t < 0 || int(k) == t) AddTableColumns(run, int(k));
      }
    }
    return 1;
  }
  if (f == SELECT_COUNT) {
    RESDATA_Header_Data(run->result, "COUNT(*)", DBTYPE_INTEGER, DB_INTEGER_SIZE);
  } else if (f == SELECT_MIN || f == SELECT_MAX) {
    const std::string name = (f == SELECT_MIN ? "MIN(" : "MAX(") + ColumnName(run, t, *a) + ")";
    RESDATA_Header_Data(run->result, name.c_str(), a->type, a->size);
  } else {
    REPLY_Error(kIllegalFunction);
    return 0;
  }
  if (!evaluated) return 1;
  if (int(run->cells.size()) == DB_MAXFUNCTIONS) {
    REPLY_Error(kTooManyFunctions);
    return 0;
  }
  run->cells.push_back(AGGCELL{f, i, 0, nullptr});
  return 1;
}

[[nodiscard]] int BuildHeader(SELECTRUN* run, bool evaluated) {
  for (DBTABLE* table : run->scope.tables) run->attribs.push_back(CATALOG_Attribs(table));
  run->all_functions = !run->items.function.empty();
  for (size_t i = 0; i < run->items.function.size(); ++i) {
    if (run->items.function[i] == SELECT_NOFUNCTION) run->all_functions = false;
    if (!AddItemColumns(run, int(i), evaluated)) return 0;
  }
  run->only_counts = SELECT_OnlyCounts(run->items) != 0;
  return 1;
}

// ---------------------------------------------------------------------------
// Walk

const unsigned char* CurrentRowData(SELECTRUN* run, const std::vector<int>& positions, int t) {
  const int row = (*run->lists[size_t(t)])[size_t(positions[size_t(t)])];
  return ROWPOOL_Data(run->scope.tables[size_t(t)]->rows, row);
}

void FillField(RESDATA* result, const unsigned char* row, const DBATTRIB& a) {
  RESDATA_Fill_Binary(result, row + a.offset, a.size);
}

// Appends one result row: plain columns from the current rows; function
// columns through `function_value` (null: without value for now).
template <typename FunctionValue>
void AppendRow(SELECTRUN* run, const std::vector<int>& positions, FunctionValue function_value) {
  for (size_t i = 0; i < run->items.function.size(); ++i) {
    const int t = run->items.table[i];
    const DBATTRIB* a = run->items.attribs[i];
    if (run->items.function[i] != SELECT_NOFUNCTION) {
      function_value(int(i));
    } else if (a != nullptr) {
      FillField(run->result, CurrentRowData(run, positions, t), *a);
    } else {
      for (size_t k = 0; k < run->attribs.size(); ++k) {
        if (t >= 0 && int(k) != t) continue;
        const unsigned char* row = CurrentRowData(run, positions, int(k));
        for (DBATTRIB* attrib : run->attribs[k]) FillField(run->result, row, *attrib);
      }
    }
  }
}

// The walk ends early at the connection's row maximum (0 or less: none),
// the engine's result memory limit or a full result store; the result is
// then marked. The memory limit holds for every charged result together
// (this one, the cursors and subselect results still open), not for this
// result alone.
bool LimitReached(SELECTRUN* run) {
  const int max_rows = run->stmt->conn->max_rows;
  const bool full = (max_rows > 0 && run->result->rows >= max_rows) || RESDATA_Full(*run->result);
  if (full || RESDATA_Charged() >= CATALOG_Engine().result_memory_limit) {
    run->scope.truncated = 1;
    return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Evaluated path

// MIN/MAX of the evaluated path: text byte-wise, numbers numerically,
// FLOAT exactly, dates by their order, BINARY by its own rule.
bool Better(int function, const DBATTRIB& a, const unsigned char* cell, const unsigned char* row) {
  const bool min = function == SELECT_MIN;
  if (a.type == DBTYPE_BINARY) {
    int16_t lc, lr;
    std::memcpy(&lc, cell, 2);
    std::memcpy(&lr, row, 2);
    const int c = lc > 0 ? std::memcmp(cell + 2, row + 2, size_t(lc)) : 0;
    return min ? (lr < lc || c > 0) : (lr > lc || c < 0);
  }
  int c;
  if (a.type == DBTYPE_CHARACTER) {
    c = std::strcmp(reinterpret_cast<const char*>(row), reinterpret_cast<const char*>(cell));
  } else if (a.type == DBTYPE_FLOAT) {
    double x, y;
    std::memcpy(&x, row, 8);
    std::memcpy(&y, cell, 8);
    c = x < y ? -1 : x > y ? 1 : 0;
  } else {
    c = CmpData(a.type, row, cell);
  }
  return min ? c < 0 : c > 0;
}

void UpdateCells(SELECTRUN* run, const std::vector<int>& positions) {
  for (AGGCELL& cell : run->cells) {
    if (cell.function == SELECT_COUNT) {
      cell.count = SELECT_CountAdd(cell.count, 1);
      continue;
    }
    const int t = run->items.table[size_t(cell.item)];
    const DBATTRIB& a = *run->items.attribs[size_t(cell.item)];
    const unsigned char* field = CurrentRowData(run, positions, t) + a.offset;
    if (cell.value == nullptr || Better(cell.function, a, cell.value, field)) cell.value = field;
  }
}

void Produce(SELECTRUN* run, const std::vector<int>& positions) {
  if (!run->all_functions || run->result->rows == 0) {
    AppendRow(run, positions, [&](int) { RESDATA_Fill_Null(run->result); });
  }
  UpdateCells(run, positions);
}

// The INTEGER cell of a count; a count beyond it marks the result cut
// short.
int32_t CountCell(SELECTRUN* run, int64_t count) {
  int32_t cell = 0;
  if (!SELECT_CountCell(count, &cell)) run->scope.truncated = 1;
  return cell;
}

// Writes every aggregate cell into its column of every result row.
void FillAggregates(SELECTRUN* run) {
  if (run->cells.empty() || run->result->rows == 0) return;
  run->result->binary = 1;  // typed cells, even where the first is written by XY
  for (const AGGCELL& cell : run->cells) {
    const int column = run->item_column[size_t(cell.item)];
    const int size = run->result->column_sizes[size_t(column)];
    const int32_t count = cell.function == SELECT_COUNT ? CountCell(run, cell.count) : 0;
    for (int r = 0; r < run->result->rows; ++r) {
      if (cell.function == SELECT_COUNT) {
        RESDATA_XY_Fill_Binary(run->result, r, column, &count, DB_INTEGER_SIZE);
      } else if (cell.value != nullptr) {
        RESDATA_XY_Fill_Binary(run->result, r, column, cell.value, size);
      }
    }
  }
}

[[nodiscard]] int EvaluatedPath(SELECTRUN* run) {
  EXPRNODE* narrowing = nullptr;
  if (!EVAL_Narrowing(run->scope.expr, &narrowing)) return 0;
  std::vector<int> positions(run->scope.tables.size(), 0);
  if (EVAL_PrepareLists(run->stmt, &run->scope, narrowing, &run->lists, &run->lengths)) {
    do {
      if (INTERRUPT_Requested()) return INTERRUPT_Fail();
      int error = 0;
      const int holds = Eval_ValExpr(run->stmt, &run->scope, narrowing, positions.data(), &error);
      if (error) {
        REPLY_Error(EVAL_SELECTFAILED);
        return 0;
      }
      if (holds) Produce(run, positions);
    } while (!LimitReached(run) && EVAL_Advance(&positions, run->lengths));
  }
  // A count of nothing is 0, whichever path decided the condition.
  if (run->only_counts && run->result->rows == 0) {
    for (size_t i = 0; i < run->items.function.size(); ++i) RESDATA_Fill_Null(run->result);
  }
  FillAggregates(run);
  return 1;
}

// ---------------------------------------------------------------------------
// Row-list path

// Rows of a whole table for COUNT(*) alone: the entries of the first
// ordered list, else the rows visible at the statement timestamp.
int64_t CountTable(SELECTRUN* run, DBTABLE* table) {
  for (DBATTRIB* a : run->attribs[0]) {
    if (a->list) return IDXLIST_Count(*a->list);
  }
  int64_t count = 0;
  int cursor = table->rows.head;
  while (ROWPOOL_NextFrom(table->rows, run->stmt->timestamp, &cursor) >= 0) ++count;
  return count;
}

// The row of the working list that CmpAttrib finds smallest (MIN) or
// largest (MAX); the first wins among equals. Null for an empty list.
const unsigned char* Extreme(SELECTRUN* run, int item) {
  const int t = run->items.table[size_t(item)];
  const DBATTRIB& a = *run->items.attribs[size_t(item)];
  const ROWPOOL& pool = run->scope.tables[size_t(t)]->rows;
  const int sign = run->items.function[size_t(item)] == SELECT_MIN ? -1 : 1;
  const unsigned char* best = nullptr;
  for (int32_t row : *run->lists[size_t(t)]) {
    const unsigned char* data = ROWPOOL_Data(pool, row);
    if (best == nullptr || CmpAttrib(a, data, best) == sign) best = data;
  }
  return best != nullptr ? best + a.offset : nullptr;
}

void FillFunction(SELECTRUN* run, int item, int64_t count,
                  const std::vector<const unsigned char*>& extremes) {
  if (run->items.function[size_t(item)] == SELECT_COUNT) {
    const int32_t cell = CountCell(run, count);
    RESDATA_Fill_Binary(run->result, &cell, DB_INTEGER_SIZE);
  } else if (extremes[size_t(item)] != nullptr) {
    RESDATA_Fill_Binary(run->result, extremes[size_t(item)],
                        run->items.attribs[size_t(item)]->size);
  } else {
    RESDATA_Fill_Null(run->result);
  }
}

[[nodiscard]] int RowListPath(SELECTRUN* run) {
  EXPRNODE* node = nullptr;
  if (!EVAL_Narrowing(run->scope.expr, &node)) return 0;
  int64_t count = 1;
  bool all_rows = true;
  std::vector<int32_t>* first = EVAL_WorkingList(&run->scope, node, 0);
  const bool counted = run->scope.tables.size() == 1 && run->items.function.size() == 1 &&
                       run->only_counts && first->size() == 1 && (*first)[0] == -1;
  if (counted) {
    count = CountTable(run, run->scope.tables[0]);
  } else {
    all_rows = EVAL_PrepareLists(run->stmt, &run->scope, node, &run->lists, &run->lengths);
    for (int length : run->lengths) count = SELECT_CountTimes(count, length);
  }
  if (!all_rows && !run->only_counts) return 1;
  std::vector<const unsigned char*> extremes(run->items.function.size(), nullptr);
  for (size_t i = 0; i < extremes.size(); ++i) {
    const int f = run->items.function[i];
    if (f == SELECT_MIN || f == SELECT_MAX) extremes[i] = Extreme(run, int(i));
  }
  std::vector<int> positions(run->scope.tables.size(), 0);
  do {
    if (INTERRUPT_Requested()) return INTERRUPT_Fail();
    AppendRow(run, positions, [&](int item) { FillFunction(run, item, count, extremes); });
    // Functions alone make one row, whatever the number of combinations.
    if (run->all_functions || !all_rows) break;
  } while (!LimitReached(run) && EVAL_Advance(&positions, run->lengths));
  return 1;
}

// ---------------------------------------------------------------------------
// Body

[[nodiscard]] int RunSelect(SELECTRUN* run, QTOKENS* tok) {
  if (!SELECT_ReadLists(run->stmt, tok, &run->items, &run->scope)) return 0;
  EXPR_StartCandidates(&run->scope);
  run->scope.truncated = 0;
  if (tok->kind == DBTK_WHERE && !Gen_ValExpr(run->stmt, &run->scope, tok)) return 0;
  if (run->result->block_count < 0) RESDATA_Init(run->result);
  RESDATA_Reset(run->result);
  RESDATA_Charge(run->result);
  const bool evaluated = run->scope.expr.count >= 2;
  if (!BuildHeader(run, evaluated)) return 0;
  if (!(evaluated ? EvaluatedPath(run) : RowListPath(run))) return 0;
  if (run->items.distinct && !DISTINCT_Apply(run->result)) return 0;
  RESDATA_NaturalOrder(run->result);
  if (tok->kind == DBTK_ORDER_BY && !ORDERBY_Sort(tok, run->result)) return 0;
  run->result->truncated = run->scope.truncated;
  return 1;
}

void ReplyCell(const RESDATA& result, int row, int column) {
  static constexpr unsigned char kNothing = 0;
  const unsigned char* cell = RESDATA_Cell(result, row, column);
  const unsigned char type = result.column_types[size_t(column)];
  if (cell == nullptr) {
    REPLY_Cell(&kNothing, 0);
  } else if (type == DBTYPE_CHARACTER) {
    REPLY_CellText(reinterpret_cast<const char*>(cell));
  } else if (type == DBTYPE_BINARY) {
    int16_t n;
    std::memcpy(&n, cell, 2);
    REPLY_Cell(cell, n + 2);
  } else {
    REPLY_Cell(cell, result.column_sizes[size_t(column)]);
  }
}

}  // namespace

int SELECT_Body(QUERYSTMT* stmt, QTOKENS* tok, RESDATA* result) {
  SELECTRUN run;
  run.stmt = stmt;
  run.result = result;
  EXPR_InitScope(&run.scope, int(stmt->contexts.size()));
  const int ok = RunSelect(&run, tok);
  EXPR_FreeScope(&run.scope);
  return ok;
}

int SELECT_RunBody(DBCONN* conn, DBDATABASE* db, int timestamp, QTOKENS* tok, RESDATA* result) {
  QUERYSTMT stmt;
  stmt.conn = conn;
  stmt.db = db;
  stmt.timestamp = timestamp;
  return SELECT_Body(&stmt, tok, result);
}

int SELECT_Timestamp(const DBCONN& conn, const DBDATABASE& db) {
  return TRANS_ReaderTimestamp(conn, db);
}

void SELECT_Command(int conn_id, const unsigned char* msg, int length) {
  DBCONN* conn;
  DBDATABASE* db;
  if (!CATALOG_Preamble(kStatement, conn_id, &conn, &db)) return;
  RESDATA result;
  RESDATA_Init(&result);
  QTOKENS tok{msg, length, 1, msg[0]};
  if (SELECT_RunBody(conn, db, SELECT_Timestamp(*conn, *db), &tok, &result)) SELECT_Reply(result);
  RESDATA_Free(&result);
}

void SELECT_ReplyColumns(const RESDATA& result) {
  for (int c = 0; c < result.columns; ++c) {
    const char* name = result.column_names[size_t(c)];
    REPLY_Column(name != nullptr ? name : "", result.column_types[size_t(c)],
                 result.column_sizes[size_t(c)]);
  }
}

void SELECT_ReplyRow(const RESDATA& result, int row) {
  for (int c = 0; c < result.columns; ++c) ReplyCell(result, row, c);
}

void SELECT_Reply(const RESDATA& result) {
  REPLY_RowsBegin(result.truncated ? '4' : '2', result.columns, result.rows);
  SELECT_ReplyColumns(result);
  for (int i = 0; i < result.rows; ++i) SELECT_ReplyRow(result, result.row_order[size_t(i)]);
}

int64_t SELECT_CountAdd(int64_t count, int64_t n) {
  int64_t sum = 0;
  if (__builtin_add_overflow(count, n, &sum)) return n < 0 ? INT64_MIN : INT64_MAX;
  return sum;
}

int64_t SELECT_CountTimes(int64_t count, int64_t n) {
  int64_t product = 0;
  if (__builtin_mul_overflow(count, n, &product)) {
    return (count < 0) != (n < 0) ? INT64_MIN : INT64_MAX;
  }
  return product;
}

int SELECT_CountCell(int64_t count, int32_t* out_cell) {
  if (count > SELECT_COUNTMAX) {
    *out_cell = SELECT_COUNTMAX;
    return 0;
  }
  *out_cell = static_cast<int32_t>(count);
  return 1;
}

int CmpAttrib(const DBATTRIB& attrib, const unsigned char* row_a, const unsigned char* row_b) {
  const unsigned char* a = row_a + attrib.offset;
  const unsigned char* b = row_b + attrib.offset;
  switch (attrib.type) {
    case DBTYPE_CHARACTER: {
      const int c = std::strcmp(reinterpret_cast<const char*>(a), reinterpret_cast<const char*>(b));
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case DBTYPE_SMALLINT:
    case DBTYPE_INTEGER:
    case DBTYPE_FLOAT:
    case DBTYPE_DATE:
    case DBTYPE_TIME:
    case DBTYPE_TIMESTAMP:
    case DBTYPE_BINARY: return CmpData(attrib.type, a, b);
    default: DBreport("%s", kCmpAttribUnknown); PLATFORM_FatalExit();
  }
}
