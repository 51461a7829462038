// query_gen.h: random tables, changes and queries from a seed, each
// statement written twice: once for Kaspo and once for the sqlite3 shell,
// so that both must give the same rows. Only the part of SQL where the two
// dialects agree is generated (see the list in differential_test.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace diff {

enum class Kind { kInt, kSmall, kFloat, kText, kDate };

struct COLUMN {
  const char* name;
  Kind kind;
};

// Every table has the same columns, so that a subselect's unqualified names
// can only mean its own table in both dialects. ID and K are unique.
inline constexpr COLUMN kColumns[] = {
    {"ID", Kind::kInt},  {"NA", Kind::kInt},  {"SM", Kind::kSmall}, {"FL", Kind::kFloat},
    {"CH", Kind::kText}, {"KY", Kind::kText}, {"DT", Kind::kDate}};
inline constexpr int kColumnCount = 7;
inline constexpr int kTableCount = 3;
// CHARACTER(5) everywhere: the peer stores the blank-padded text, so that
// LIKE sees the same trailing blanks on both sides.
inline constexpr int kTextWidth = 5;
inline constexpr int kMinRows = 3;   // a table never gets empty: see Deletes()
inline constexpr int kMaxRows = 11;  // keeps a three-table join at ~1300 rows
inline constexpr int kMaxDeletes = 2;
inline constexpr int kBigMinRows = 2100;  // above one ordered-list block
inline constexpr int kBigMaxRows = 2800;  // well below the distinct KY texts
inline constexpr int kLateIds = 10000;    // IDs of rows added after the set-up
inline constexpr char kAlphabet[] = "abcAB";

// One statement in both dialects.
struct SQL2 {
  std::string kaspo;
  std::string peer;
};

inline SQL2 operator+(SQL2 a, const SQL2& b) {
  a.kaspo += b.kaspo;
  a.peer += b.peer;
  return a;
}
inline SQL2 Same(const std::string& text) { return {text, text}; }

struct QUERY {
  SQL2 sql;
  bool ordered = false;    // ORDER BY fixes the order of the key runs
  std::vector<int> keys;   // output columns of the ORDER BY keys
  bool aggregate = false;  // only COUNT(*), MIN and MAX items
  // INSERT, UPDATE or DELETE: both sides give the number of rows changed
  // (the peer through changes()), and the later queries see the change.
  bool change = false;
};

// Same sequence on every platform: no std distributions.
class Rng {
 public:
  explicit Rng(uint32_t seed) : gen_(seed) {}
  int Below(int n) { return int(gen_() % uint32_t(n)); }
  int Range(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Chance(int percent) { return Below(100) < percent; }
  template <typename T>
  const T& Pick(const std::vector<T>& v) {
    return v[size_t(Below(int(v.size())))];
  }

 private:
  std::mt19937 gen_;
};

struct FROMENTRY {
  int table;
  std::string alias;  // empty: the table is named by itself
};

struct SCOPE {
  std::vector<FROMENTRY> from;
};

struct COLREF {
  int entry;
  int column;
};

class QueryGen {
 public:
  // `big`: the first table gets thousands of rows (ordered lists of
  // several blocks), and queries read one table at a time.
  QueryGen(uint32_t seed, bool big) : rng_(seed), big_(big) {}

  // Tables, indexes, rows and a round of changes that is committed,
  // aborted, or left open with new rows, so that the queries run inside it.
  std::vector<SQL2> Setup() {
    std::vector<SQL2> out;
    for (int t = 0; t < kTableCount; ++t) out.push_back(CreateTable(t));
    // A unique index is refused on a table that has rows.
    const bool lists_first = rng_.Chance(50);
    Indexes(true, lists_first, &out);
    out.push_back(Same("BEGIN"));
    for (int t = 0; t < kTableCount; ++t) {
      Rows(t,
           big_ && t == 0 ? rng_.Range(kBigMinRows, kBigMaxRows) : rng_.Range(kMinRows, kMaxRows),
           1, &out);
    }
    out.push_back(Same("COMMIT"));
    if (!lists_first) Indexes(false, true, &out);
    out.push_back(Same("BEGIN"));
    for (int t = 0; t < kTableCount; ++t) Changes(t, &out);
    const int end = rng_.Below(100);
    if (end < 60) {
      out.push_back(Same("COMMIT"));
    } else if (end < 75) {
      out.push_back(SQL2{"ABORT", "ROLLBACK"});
    } else {
      for (int t = 0; t < kTableCount; ++t) Rows(t, rng_.Range(1, 3), kLateIds, &out);
      open_ = true;
    }
    return out;
  }

  // Whether the set-up left its transaction open for the statements.
  bool InTransaction() const { return open_; }

  QUERY Next() {
    aliases_ = 0;
    if (rng_.Chance(12)) return Change();
    QUERY q;
    const int tables = big_ || rng_.Chance(45) ? 1 : rng_.Chance(65) ? 2 : 3;
    SCOPE scope = NewScope(tables, tables == 1 && rng_.Chance(50), 0);
    stack_ = {{&scope, true}};
    std::vector<COLREF> outputs;
    SQL2 items = SelectList(scope, &outputs, &q.aggregate);
    q.sql = Same("SELECT ") + items + Same(" FROM ") + FromList(scope);
    if (rng_.Chance(85)) q.sql = q.sql + Same(" WHERE ") + Cond(scope, 0, 0);
    if (q.aggregate && (items.kaspo.find("MIN(") != std::string::npos ||
                        items.kaspo.find("MAX(") != std::string::npos)) {
      // MIN and MAX of no rows have no value, so such a select gives no row.
      q.sql.peer += " HAVING COUNT(*) > 0";
    }
    if (!q.aggregate && rng_.Chance(50)) q.sql = q.sql + OrderBy(scope, outputs, &q);
    return q;
  }

  // A change between the queries. Its conditions stay without subselects:
  // a subselect over the table being changed may see the change part-way
  // on the peer's side.
  QUERY Change() {
    QUERY q;
    q.change = true;
    const int t = rng_.Below(kTableCount);
    const SCOPE scope{{FROMENTRY{t, ""}}};
    stack_ = {{&scope, true}};
    const int kind = rng_.Below(4);
    if (kind < 2) {
      static const int kChangeable[] = {1, 2, 3, 4, 6};
      SQL2 sql = Same("UPDATE " + TableName(t) + " SET ");
      for (int i = rng_.Range(1, 2); i > 0; --i) {
        const int column = kChangeable[rng_.Below(int(std::size(kChangeable)))];
        sql = sql + Same(std::string(kColumns[column].name) + " = ") +
              Const(kColumns[column].kind, column) + Same(i > 1 ? ", " : "");
      }
      q.sql = rng_.Chance(85) ? sql + Same(" WHERE ") + Cond(scope, 0, 2) : sql;
    } else if (kind == 2) {
      q.sql = Same("DELETE FROM " + TableName(t) + " WHERE ID <> " + std::to_string(ids_[t][0]) +
                   " AND (") +
              Cond(scope, 0, 2) + Same(")");
    } else {
      std::vector<SQL2> one;
      Rows(t, 1, kLateIds + 1000 + 3 * late_rows_++, &one);  // IDs of one row: 3 apart
      q.sql = one[0];
    }
    q.sql.peer += "; SELECT changes()";
    return q;
  }

 private:
  // ---- names and values
  static std::string TableName(int t) { return "T" + std::to_string(t + 1); }

  std::string Ref(const SCOPE& s, COLREF r) const {
    const FROMENTRY& e = s.from[size_t(r.entry)];
    const std::string name = kColumns[r.column].name;
    return e.alias.empty() ? name : e.alias + "." + name;
  }

  std::string RandomText(int min_len, int max_len) {
    std::string text;
    const int n = rng_.Range(min_len, max_len);
    for (int i = 0; i < n; ++i) text += kAlphabet[rng_.Below(int(sizeof kAlphabet) - 1)];
    return text;
  }

  static std::string Padded(std::string text) {
    text.resize(size_t(kTextWidth), ' ');
    return text;
  }

  // A text constant: Kaspo gets it as written, the peer blank-padded like
  // the stored values, so that = and < agree on trailing blanks.
  SQL2 TextConst() {
    std::string text = !texts_.empty() && rng_.Chance(60) ? rng_.Pick(texts_) : RandomText(0, 4);
    return {"'" + text + "'", "'" + Padded(text) + "'"};
  }

  static std::string FloatText(int quarters) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.2f", quarters / 4.0);
    return buf;
  }

  // A constant for a column of `kind`; a float only where Kaspo takes it.
  SQL2 Const(Kind kind, int column) {
    switch (kind) {
      case Kind::kText: return TextConst();
      case Kind::kFloat:
        return Same(rng_.Chance(60) ? FloatText(rng_.Range(-12, 12))
                                    : std::to_string(rng_.Range(-3, 3)));
      case Kind::kSmall: return Same(std::to_string(rng_.Range(-5, 5)));
      case Kind::kInt:
        return Same(std::to_string(column == 0 ? rng_.Range(0, 3 * kMaxRows) : rng_.Range(-1, 8)));
      case Kind::kDate:
        return Same("'" + (!dates_.empty() && rng_.Chance(50) ? rng_.Pick(dates_) : DateText()) +
                    "'");
    }
    return Same("0");
  }

  // Days up to 28 keep every date valid; the years stay where the leap
  // rule needs no warning.
  std::string DateText() {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", rng_.Range(1996, 2004), rng_.Range(1, 12),
                  rng_.Range(1, 28));
    return buf;
  }

  // Columns whose values compare with each other: numbers, texts, dates.
  static int Family(Kind k) { return k == Kind::kText ? 1 : k == Kind::kDate ? 2 : 0; }
  static bool Numeric(Kind k) { return Family(k) == 0; }
  // Whether values of `from` may be compared with a column of `to` as
  // constants (IN and comparison subselects): a float only with FLOAT, a
  // date only in a comparison.
  static bool ValueFits(Kind from, Kind to, bool in_list) {
    if (Family(from) != Family(to)) return false;
    if (from == Kind::kDate) return !in_list;
    return from != Kind::kFloat || to == Kind::kFloat;
  }

  // ---- set-up
  SQL2 CreateTable(int t) {
    return {
        "CREATE TABLE " + TableName(t) +
            " (ID INTEGER, NA INTEGER, SM SMALLINT, FL FLOAT, CH CHARACTER(5), KY CHARACTER(5), "
            "DT DATE)",
        "CREATE TABLE " + TableName(t) +
            " (ID INTEGER, NA INTEGER, SM INTEGER, FL REAL, CH TEXT, KY TEXT, DT TEXT)"};
  }

  void Indexes(bool unique, bool lists, std::vector<SQL2>* out) {
    struct FORM {
      bool unique;
      const char* sql;
    };
    static const FORM kForms[] = {
        {true, "UNIQUE INDEX %s ON %s (ID)"}, {true, "UNIQUE INDEX %s ON %s (KY)"},
        {false, "INDEX %s ON %s (NA)"},       {false, "INDEX %s ON %s (CH)"},
        {false, "INDEX %s ON %s (FL)"},       {false, "INDEX %s ON %s (SM, NA)"},
        {false, "INDEX %s ON %s (DT)"},       {true, "UNIQUE INDEX %s ON %s (ID, NA)"}};
    for (int t = 0; t < kTableCount; ++t) {
      for (int f = 0; f < int(std::size(kForms)); ++f) {
        if (kForms[f].unique ? !unique : !lists) continue;
        if (!rng_.Chance(35)) continue;
        const std::string name = "X" + TableName(t) + "N" + std::to_string(f);
        char sql[128];
        std::snprintf(sql, sizeof sql, kForms[f].sql, name.c_str(), TableName(t).c_str());
        out->push_back(Same(std::string("CREATE ") + sql));
      }
    }
  }

  // `n` rows with IDs from `first_id` on, unique in ID and KY.
  void Rows(int t, int n, int first_id, std::vector<SQL2>* out) {
    std::set<int> ids;
    while (int(ids.size()) < n) ids.insert(first_id + rng_.Below(3 * n));
    for (int id : ids) {
      std::string key;
      do key = RandomText(1, kTextWidth);
      while (!keys_[t].insert(key).second);
      const std::string c = RandomText(0, kTextWidth);
      if (texts_.size() < 200) {
        texts_.push_back(c);
        texts_.push_back(key);
      }
      ids_[t].push_back(id);
      const std::string head = "INSERT INTO " + TableName(t) + " VALUES (" + std::to_string(id) +
                               ", " + std::to_string(rng_.Range(0, 7)) + ", " +
                               std::to_string(rng_.Range(-4, 4)) + ", " +
                               FloatText(rng_.Range(-8, 8)) + ", ";
      const std::string date = DateText();
      if (dates_.size() < 50) dates_.push_back(date);
      out->push_back({head + "'" + c + "', '" + key + "', '" + date + "')",
                      head + "'" + Padded(c) + "', '" + Padded(key) + "', '" + date + "')"});
    }
  }

  // Updates of the columns that carry no unique key, and deletes that
  // spare the table's first row: a comparison with MIN or MAX over an
  // empty table is a documented difference.
  void Changes(int t, std::vector<SQL2>* out) {
    const SCOPE scope{{FROMENTRY{t, ""}}};
    stack_ = {{&scope, true}};
    const std::string keep = std::to_string(ids_[t][0]);
    for (int i = rng_.Below(3); i > 0; --i) {
      static const int kChangeable[] = {1, 2, 3, 4, 6};
      const int column = kChangeable[rng_.Below(int(std::size(kChangeable)))];
      const SQL2 set =
          Same(std::string(kColumns[column].name) + " = ") + Const(kColumns[column].kind, column);
      out->push_back(Same("UPDATE " + TableName(t) + " SET ") + set + Same(" WHERE ") +
                     Leaf(scope, 1, true));
    }
    for (int i = rng_.Below(kMaxDeletes + 1); i > 0; --i) {
      const std::string head = "DELETE FROM " + TableName(t) + " WHERE ";
      if (rng_.Chance(50)) {
        const int id = ids_[t][size_t(rng_.Below(int(ids_[t].size())))];
        out->push_back(Same(head + "ID = " + std::to_string(id) + " AND ID <> " + keep));
      } else {
        out->push_back(Same(head + "ID <> " + keep + " AND ") + Leaf(scope, 1, true));
      }
    }
  }

  // ---- queries
  // Tables from `first_table` on; in a big set-up subselects that run per
  // row of another table stay off the big one.
  SCOPE NewScope(int tables, bool bare, int first_table) {
    SCOPE s;
    for (int i = 0; i < tables; ++i) {
      FROMENTRY e{rng_.Range(first_table, kTableCount - 1), ""};
      if (!bare) e.alias = "X" + std::to_string(++aliases_);
      s.from.push_back(e);
    }
    return s;
  }

  static SQL2 FromList(const SCOPE& s) {
    std::string text;
    for (const FROMENTRY& e : s.from) {
      if (!text.empty()) text += ", ";
      text += TableName(e.table);
      if (!e.alias.empty()) text += " " + e.alias;
    }
    return Same(text);
  }

  COLREF AnyColumn(const SCOPE& s) {
    return COLREF{rng_.Below(int(s.from.size())), rng_.Below(kColumnCount)};
  }

  // A column of the scope whose values fit `kind` as a comparison partner.
  COLREF PartnerColumn(const SCOPE& s, Kind kind) {
    for (;;) {
      COLREF r = AnyColumn(s);
      if (Family(kind) == Family(kColumns[r.column].kind)) return r;
    }
  }

  COLREF TextColumn(const SCOPE& s) {
    return COLREF{rng_.Below(int(s.from.size())), rng_.Range(4, 5)};
  }

  SQL2 SelectList(const SCOPE& s, std::vector<COLREF>* outputs, bool* aggregate) {
    const int form = rng_.Below(100);
    if (form < 20) {
      for (int e = 0; e < int(s.from.size()); ++e)
        for (int c = 0; c < kColumnCount; ++c) outputs->push_back({e, c});
      return Same("*");
    }
    if (form < 30 && !s.from[0].alias.empty()) {
      const int e = rng_.Below(int(s.from.size()));
      for (int c = 0; c < kColumnCount; ++c) outputs->push_back({e, c});
      return Same(s.from[size_t(e)].alias + ".*");
    }
    if (form < 75) {
      std::string text = rng_.Chance(30) ? "DISTINCT " : "";
      for (int i = rng_.Range(1, 4); i > 0; --i) {
        const COLREF r = AnyColumn(s);
        outputs->push_back(r);
        text += Ref(s, r) + (i > 1 ? ", " : "");
      }
      return Same(text);
    }
    *aggregate = true;
    return Same(Aggregates(s));
  }

  std::string Aggregates(const SCOPE& s) {
    std::string text;
    for (int i = rng_.Range(1, 3); i > 0; --i) {
      const int f = rng_.Below(3);
      text += f == 0 ? "COUNT(*)" : (f == 1 ? "MIN(" : "MAX(") + Ref(s, AnyColumn(s)) + ")";
      if (i > 1) text += ", ";
    }
    return text;
  }

  SQL2 OrderBy(const SCOPE& s, const std::vector<COLREF>& outputs, QUERY* q) {
    std::string text = " ORDER BY ";
    const int keys = rng_.Range(1, std::min(3, int(outputs.size())));
    std::set<int> used;
    for (int i = 0; i < keys; ++i) {
      int pos;
      do pos = rng_.Below(int(outputs.size()));
      while (!used.insert(pos).second);
      q->keys.push_back(pos);
      if (i > 0) text += ", ";
      text += Ref(s, outputs[size_t(pos)]);
      const int dir = rng_.Below(100);
      if (dir < 40)
        text += " DESC";
      else if (dir < 55)
        text += " ASC";
    }
    q->ordered = true;
    return Same(text);
  }

  static const char* CompareOp(int i) {
    static const char* const kOps[] = {"<", ">", "<=", ">=", "=", "<>"};
    return kOps[i];
  }

  // A condition over `s`. `nest` counts the subselects around it.
  SQL2 Cond(const SCOPE& s, int depth, int nest) {
    if (depth < 2 && rng_.Chance(30)) {
      const int form = rng_.Below(3);
      if (form == 0) return Same("NOT (") + Cond(s, depth + 1, nest) + Same(")");
      return Same("(") + Cond(s, depth + 1, nest) + Same(form == 1 ? " AND " : " OR ") +
             Cond(s, depth + 1, nest) + Same(")");
    }
    return Leaf(s, nest, true);
  }

  SQL2 Leaf(const SCOPE& s, int nest, bool subselects) {
    const int max = subselects && nest < 2 ? 100 : 68;
    const int form = rng_.Below(max);
    if (form < 20) return ColumnConst(s, false);
    if (form < 25) return ColumnConst(s, true);
    if (form < 38) return ColumnColumn(s);
    if (form < 46) return Like(s);
    if (form < 56) return InList(s);
    if (form < 68) return Between(s);
    if (form < 78) return InSubselect(s, nest);
    if (form < 86) return CompareSubselect(s, nest);
    return Exists(nest);
  }

  SQL2 ColumnConst(const SCOPE& s, bool const_first) {
    const COLREF r = AnyColumn(s);
    const SQL2 c = Const(kColumns[r.column].kind, r.column);
    const std::string op = std::string(" ") + CompareOp(rng_.Below(6)) + " ";
    if (const_first) return c + Same(op + Ref(s, r));
    return Same(Ref(s, r) + op) + c;
  }

  SQL2 ColumnColumn(const SCOPE& s) {
    const COLREF a = AnyColumn(s);
    const COLREF b = PartnerColumn(s, kColumns[a.column].kind);
    return Same(Ref(s, a) + " " + CompareOp(rng_.Below(6)) + " " + Ref(s, b));
  }

  std::string Pattern() {
    if (!texts_.empty() && rng_.Chance(25)) {
      const std::string text = rng_.Pick(texts_);
      return rng_.Chance(50) || int(text.size()) == kTextWidth ? Padded(text) : text + "%";
    }
    std::string p;
    do {
      p = rng_.Chance(40) ? "%" : "";
      for (int i = rng_.Range(1, 3); i > 0; --i) {
        p += RandomText(0, 2);
        if (i > 1 || rng_.Chance(60)) p += "%";
      }
    } while (int(p.size()) > kTextWidth);
    return p;
  }

  SQL2 Like(const SCOPE& s) {
    const COLREF r = TextColumn(s);
    return Same(Ref(s, r) + " LIKE '" + Pattern() + "'");
  }

  SQL2 InList(const SCOPE& s) {
    const COLREF r = AnyColumn(s);
    SQL2 out = Same(Ref(s, r) + " IN (");
    for (int i = rng_.Range(1, 4); i > 0; --i) {
      out = out + Const(kColumns[r.column].kind, r.column) + Same(i > 1 ? ", " : ")");
    }
    return out;
  }

  // Bounds mostly in order, so that the range is not always empty.
  SQL2 Between(const SCOPE& s) {
    const COLREF r = AnyColumn(s);
    const Kind k = kColumns[r.column].kind;
    SQL2 lo = Const(k, r.column), hi = Const(k, r.column);
    const bool reversed = !Numeric(k) ? lo.peer > hi.peer
                                      : std::strtod(lo.kaspo.c_str(), nullptr) >
                                            std::strtod(hi.kaspo.c_str(), nullptr);
    if (reversed && rng_.Chance(70)) std::swap(lo, hi);
    return Same(Ref(s, r) + " BETWEEN ") + lo + Same(" AND ") + hi;
  }

  // A one-table subselect with a table identifier of its own.
  SCOPE SubScope(bool per_row) { return NewScope(1, false, big_ && per_row ? 1 : 0); }

  // The subselect's condition; `exists` tells whether the subselect may
  // refer to the enclosing selects.
  SQL2 SubWhere(const SCOPE& sub, int nest, bool exists) {
    stack_.push_back({&sub, exists});
    SQL2 out = Same(" WHERE ") + Cond(sub, 1, nest + 1);
    stack_.pop_back();
    return out;
  }

  SQL2 MaybeSubWhere(const SCOPE& sub, int nest) {
    return rng_.Chance(60) ? SubWhere(sub, nest, false) : Same("");
  }

  SQL2 InSubselect(const SCOPE& s, int nest) {
    COLREF r;
    do r = AnyColumn(s);
    while (kColumns[r.column].kind == Kind::kDate);
    const SCOPE sub = SubScope(false);
    COLREF inner;
    do inner = AnyColumn(sub);
    while (!ValueFits(kColumns[inner.column].kind, kColumns[r.column].kind, true));
    // A filter fed by a subselect stops (and marks the result cut short)
    // once it has found 999999 rows, a row found again for a repeated
    // value included: over the big table the values are made distinct.
    const bool big_values = big_ && sub.from[0].table == 0;
    const std::string distinct = big_values || rng_.Chance(20) ? "DISTINCT " : "";
    return Same(Ref(s, r) + " IN (SELECT " + distinct + Ref(sub, inner) + " FROM ") +
           FromList(sub) + MaybeSubWhere(sub, nest) + Same(")");
  }

  // The subselect gives exactly one row in both dialects: MIN or MAX over
  // a table that is never empty, or COUNT(*).
  SQL2 CompareSubselect(const SCOPE& s, int nest) {
    const COLREF r = AnyColumn(s);
    const SCOPE sub = SubScope(false);
    const std::string op = std::string(" ") + CompareOp(rng_.Below(6)) + " ";
    if (Numeric(kColumns[r.column].kind) && rng_.Chance(30)) {
      return Same(Ref(s, r) + op + "(SELECT COUNT(*) FROM ") + FromList(sub) +
             MaybeSubWhere(sub, nest) + Same(")");
    }
    COLREF inner;
    do inner = AnyColumn(sub);
    while (!ValueFits(kColumns[inner.column].kind, kColumns[r.column].kind, false));
    const char* f = rng_.Chance(50) ? "MIN(" : "MAX(";
    return Same(Ref(s, r) + op + "(SELECT " + f + Ref(sub, inner) + ") FROM ") + FromList(sub) +
           Same(")");
  }

  // The tables an EXISTS subselect may refer to: those of the enclosing
  // selects up to the first one that is not itself inside EXISTS (beyond
  // it the reference would make an IN or comparison subselect depend on
  // the row, which only EXISTS supports). Only tables with an identifier.
  struct UPPER {
    const SCOPE* scope;
    int entry;
  };
  std::vector<UPPER> UpperTables() {
    std::vector<UPPER> out;
    for (size_t i = stack_.size(); i-- > 0;) {
      const SCOPE* s = stack_[i].scope;
      for (int e = 0; e < int(s->from.size()); ++e) {
        if (!s->from[size_t(e)].alias.empty()) out.push_back({s, e});
      }
      if (!stack_[i].exists) break;
    }
    return out;
  }

  // EXISTS, mostly correlated with a table of an enclosing select.
  SQL2 Exists(int nest) {
    const SCOPE sub = SubScope(true);
    const int item = rng_.Below(10);
    const std::string items = item < 6 ? "*" : item < 9 ? Ref(sub, AnyColumn(sub)) : "COUNT(*)";
    SQL2 head = Same("EXISTS (SELECT " + items + " FROM ") + FromList(sub);
    const std::vector<UPPER> uppers = UpperTables();
    if (uppers.empty() || rng_.Chance(20)) return head + SubWhere(sub, nest, true) + Same(")");
    // Mostly the directly enclosing select: its tables come first.
    const UPPER pick = rng_.Chance(70) ? uppers[0] : rng_.Pick(uppers);
    const SCOPE& upper_scope = *pick.scope;
    const COLREF upper{pick.entry, rng_.Below(kColumnCount)};
    const COLREF local = PartnerColumn(sub, kColumns[upper.column].kind);
    const std::string op = std::string(" ") + CompareOp(rng_.Below(6)) + " ";
    SQL2 corr = Same(rng_.Chance(70) ? Ref(sub, local) + op + Ref(upper_scope, upper)
                                     : Ref(upper_scope, upper) + op + Ref(sub, local));
    const int shape = rng_.Below(10);
    if (shape < 4) return head + Same(" WHERE ") + corr + Same(")");
    stack_.push_back({&sub, true});
    const SQL2 other = Leaf(sub, nest + 1, true);
    stack_.pop_back();
    head = head + Same(" WHERE ");
    if (shape < 7) return head + corr + Same(" AND ") + other + Same(")");
    if (shape < 9) return head + other + Same(" AND ") + corr + Same(")");
    return head + Same("(") + corr + Same(" OR ") + other + Same("))");
  }

  struct LEVEL {
    const SCOPE* scope;
    bool exists;  // the select is the top one or an EXISTS subselect
  };

  Rng rng_;
  bool big_;
  int aliases_ = 0;
  std::vector<LEVEL> stack_;  // the selects around the condition being made
  bool open_ = false;         // the set-up's last transaction is still open
  int late_rows_ = 0;         // rows inserted by Change()
  std::vector<int> ids_[kTableCount];
  std::set<std::string> keys_[kTableCount];
  std::vector<std::string> texts_;
  std::vector<std::string> dates_;  // stored texts, unpadded, for constants
};

}  // namespace diff
