#!/usr/bin/env bash
# engine_compare.sh: the engine benchmark beside the sqlite3 shell running
# the very same statements on an in-memory database, in one run, as one
# table.
#
#   bench/engine_compare.sh               (builds into build-bench)
#   BENCH_DIR=build-x RUNS=5 bench/engine_compare.sh
#   BENCH_BIN=path/to/engine_bench bench/engine_compare.sh   (no build)
#
# Figures are CPU milliseconds (user + system), best of RUNS runs on each
# side: CPU time keeps them comparable on a machine that other work shares.
# The shell's phases are timed from inside one process, between markers
# that read its own CPU time (/proc/PID/schedstat), so process start and
# the untimed loads do not count; the cost of one marker is subtracted.
# Rows go to /dev/null on the shell side; ours are parsed into results.
# Without sqlite3 installed its column shows "-".
set -euo pipefail

source "$(dirname "$0")/common.sh"

bench_bin="${BENCH_BIN:-}"
if [[ -z "$bench_bin" ]]; then
  build_target engine_bench -DKASPO_BENCH=ON
  bench_bin="$bench_dir/engine_bench"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/kaspo-engine-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT
export TMPDIR="$work"

phases=(Insert100k Lookup10k Count LikeOrderBy OrderBy30k)
declare -A label=(
  [Insert100k]="100,000 INSERTs, one transaction"
  [Lookup10k]="10,000 lookups by unique key"
  [Count]="COUNT(*) of 100,000 rows"
  [LikeOrderBy]="LIKE '%abc%' OR ..., ORDER BY"
  [OrderBy30k]="ORDER BY over 30,000 rows"
)
declare -A ours=() peer=()

# Ours: one CSV line per repetition; the best cpu_time per benchmark.
"$bench_bin" --benchmark_repetitions="$runs" --benchmark_format=csv \
  2>/dev/null >"$work/ours.csv"
while read -r name ms; do ours[$name]=$ms; done < <(
  awk -F, '
    NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i } next }
    {
      name = $1; gsub(/"/, "", name); sub(/^BM_/, "", name); sub(/\/.*/, "", name)
      if (name ~ /_(mean|median|stddev|cv)$/) next
      t = $col["cpu_time"]
      if (!(name in best) || t < best[name]) best[name] = t
    }
    END { for (n in best) printf "%s %.2f\n", n, best[n] }
  ' "$work/ours.csv")

if command -v sqlite3 >/dev/null; then
  "$bench_bin" --write_sql="$work" >/dev/null
  marks="$work/marks"
  mark=".shell cat /proc/\$PPID/schedstat >> $marks"
  {
    echo ".output /dev/null"
    echo ".read $work/setup.sql"
    echo "$mark"
    echo "$mark"  # an empty interval: the cost of one marker
    echo ".read $work/insert.sql"
    echo "$mark"
    echo ".read $work/lookup.sql"
    echo "$mark"
    echo ".read $work/count.sql"
    echo "$mark"
    echo ".read $work/like.sql"
    echo "$mark"
    echo ".read $work/order30.sql"
    echo "$mark"
    echo ".read $work/orderby.sql"
    echo "$mark"
  } >"$work/peer.sql"
  for _ in $(seq "$runs"); do
    rm -f "$marks"
    sqlite3 :memory: <"$work/peer.sql" >/dev/null
    # Intervals between the marks, in ms, less the empty one; the load of
    # the 30,000-row table (interval 6) is not a phase.
    while read -r name ms; do
      if [[ -z "${peer[$name]:-}" ]] || awk -v a="$ms" -v b="${peer[$name]}" 'BEGIN { exit !(a < b) }'; then
        peer[$name]=$ms
      fi
    done < <(awk '
      { t[NR] = $1 }
      END {
        split("Insert100k Lookup10k Count LikeOrderBy - OrderBy30k", names, " ")
        empty = t[2] - t[1]
        for (i = 1; i <= 6; i++) {
          if (names[i] == "-") continue
          ms = (t[i + 2] - t[i + 1] - empty) / 1e6
          printf "%s %.2f\n", names[i], (ms > 0 ? ms : 0)
        }
      }' "$marks")
  done
fi

printf '%-36s %12s %12s %10s\n' phase "kaspo ms" "sqlite3 ms" "kaspo/sq3"
for p in "${phases[@]}"; do
  a="${ours[$p]:--}" b="${peer[$p]:--}" r=-
  if [[ "$a" != - && "$b" != - ]]; then
    r=$(awk -v a="$a" -v b="$b" 'BEGIN { printf (b > 0 ? "%.2fx" : "-"), a / b }')
  fi
  printf '%-36s %12s %12s %10s\n' "${label[$p]}" "$a" "$b" "$r"
done
