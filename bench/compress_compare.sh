#!/usr/bin/env bash
# compress_compare.sh: the block compressor beside gzip -6, zstd -3 and
# lz4 -1 on the same corpus, in one run, as one table.
#
#   bench/compress_compare.sh            (builds into build-bench)
#   BENCH_DIR=build-x KASPO_CORPUS=/tmp/corpus RUNS=3 bench/compress_compare.sh
#   BENCH_BIN=path/to/compress_bench bench/compress_compare.sh   (no build)
#
# Speeds are MB/s (10^6 bytes) of uncompressed data per CPU second (user +
# system), best of RUNS runs for the peers; CPU time keeps the figures
# comparable on a machine that other work shares. Peers that are not
# installed are skipped.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
corpus="${KASPO_CORPUS:-/tmp/corpus}"
bench_dir="${BENCH_DIR:-build-bench}"
runs="${RUNS:-3}"
case "$bench_dir" in /*) ;; *) bench_dir="$repo/$bench_dir" ;; esac

# The corpus: built once from the shared manifests when missing.
if [[ ! -f "$corpus/many.tar" || ! -f "$corpus/big.tar" ]]; then
  for shared in "$repo/../shared" /work/shared; do
    if [[ -x "$shared/corpus/make_corpus.sh" ]]; then
      "$shared/corpus/make_corpus.sh" "$corpus" "$shared/corpus/manifests" >&2
      break
    fi
  done
fi
[[ -f "$corpus/many.tar" ]] || { echo "no corpus in $corpus" >&2; exit 1; }

bench_bin="${BENCH_BIN:-}"
if [[ -z "$bench_bin" ]]; then
  cmake -S "$repo" -B "$bench_dir" -DCMAKE_BUILD_TYPE=Release -DKASPO_BENCH=ON \
    -DKASPO_TESTS=OFF >/dev/null
  cmake --build "$bench_dir" -j 2 --target compress_bench >/dev/null
  bench_bin="$bench_dir/compress_bench"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/kaspo-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Ours: one CSV line per benchmark; name, cpu_time, bytes_per_second, ratio.
KASPO_CORPUS="$corpus" "$bench_bin" --benchmark_filter='BM_Pelko' \
  --benchmark_repetitions="$runs" --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null >"$work/ours.csv"

# ours <Compress|Uncompress> <0|1>: "MB/s ratio" from the median line.
ours() {
  awk -F, -v want="\"BM_Pelko$1/$2_median\"" '
    NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i } next }
    $1 == want { printf "%.1f %.3f\n", $col["bytes_per_second"] / 1e6, $col["ratio"] }
  ' "$work/ours.csv"
}

# cpu_seconds <command...>: best user + system time of `runs` runs.
cpu_seconds() {
  local best="" t
  for _ in $(seq "$runs"); do
    t="$( { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null; } 2>&1 | awk '{ print $1 + $2 }')"
    if [[ -z "$best" ]] || awk -v a="$t" -v b="$best" 'BEGIN { exit !(a < b) }'; then best="$t"; fi
  done
  echo "$best"
}

rate() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? bytes / s / 1e6 : 0) }'; }

printf '%-9s %-9s %14s %16s %7s %10s %10s\n' file tool "compress MB/s" "decompress MB/s" ratio \
  "c x gzip" "d x gzip"
for file in many.tar big.tar; do
  idx=$([[ $file == many.tar ]] && echo 0 || echo 1)
  input="$corpus/$file"
  size=$(stat -c %s "$input")
  declare -A comp=() decomp=() ratio=()
  for peer in "gzip -6" "zstd -3" "lz4 -1"; do
    tool=${peer%% *}
    command -v "$tool" >/dev/null || continue
    $peer -c "$input" >"$work/packed"
    comp[$peer]=$(rate "$size" "$(cpu_seconds $peer -c "$input")")
    decomp[$peer]=$(rate "$size" "$(cpu_seconds "$tool" -d -c "$work/packed")")
    ratio[$peer]=$(awk -v a="$(stat -c %s "$work/packed")" -v b="$size" 'BEGIN { printf "%.3f", a / b }')
  done
  read -r c_ours r_ours < <(ours Compress "$idx")
  read -r d_ours _ < <(ours Uncompress "$idx")
  comp[pelko]=$c_ours decomp[pelko]=$d_ours ratio[pelko]=$r_ours
  for tool in pelko "gzip -6" "zstd -3" "lz4 -1"; do
    [[ -n "${comp[$tool]:-}" ]] || continue
    cx=- dx=-
    if [[ -n "${comp[gzip -6]:-}" ]]; then
      cx=$(awk -v a="${comp[$tool]}" -v b="${comp[gzip -6]}" 'BEGIN { printf "%.2fx", a / b }')
      dx=$(awk -v a="${decomp[$tool]}" -v b="${decomp[gzip -6]}" 'BEGIN { printf "%.2fx", a / b }')
    fi
    printf '%-9s %-9s %14s %16s %7s %10s %10s\n' "$file" "$tool" "${comp[$tool]}" \
      "${decomp[$tool]}" "${ratio[$tool]}" "$cx" "$dx"
  done
  unset comp decomp ratio
done
