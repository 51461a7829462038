#!/usr/bin/env bash
# compress_compare.sh: the block compressor beside gzip -6, zstd -3 and
# lz4 -1 on the same corpus, in one run, as one table.
#
#   bench/compress_compare.sh            (builds into build-bench)
#   BENCH_DIR=build-x KASPO_CORPUS=/tmp/corpus RUNS=3 bench/compress_compare.sh
#   BENCH_BIN=path/to/compress_bench bench/compress_compare.sh   (no build)
#
# Speeds are MB/s (10^6 bytes) of uncompressed data per CPU second (user +
# system; for ours as Google Benchmark measures it), the best of RUNS
# rounds; CPU time keeps the figures comparable on a machine that other
# work shares. Peers that are not installed are skipped.
set -euo pipefail

source "$(dirname "$0")/common.sh"
corpus="${KASPO_CORPUS:-/tmp/corpus}"

# The corpus: built once from the shared manifests when missing.
need_corpus "$corpus" "$corpus/many.tar" "$corpus/big.tar"
[[ -f "$corpus/many.tar" ]] || { echo "no corpus in $corpus" >&2; exit 1; }

bench_bin="${BENCH_BIN:-}"
if [[ -z "$bench_bin" ]]; then
  build_target compress_bench -DKASPO_BENCH=ON
  bench_bin="$bench_dir/compress_bench"
fi

work="$(mktemp -d "${TMPDIR:-/tmp}/kaspo-compare-XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Ours and the peers take turns, RUNS rounds, and each figure is the best
# of its rounds: load that drifts during the run then hits all alike.
peers=()
for peer in "gzip -6" "zstd -3" "lz4 -1"; do
  command -v "${peer%% *}" >/dev/null && peers+=("$peer")
done

# cpu_seconds <command...>: user + system time of one run.
cpu_seconds() {
  { TIMEFORMAT='%3U %3S'; time "$@" >/dev/null; } 2>&1 | awk '{ print $1 + $2 }'
}
rate() { awk -v bytes="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? bytes / s / 1e6 : 0) }'; }
better() { awk -v a="$1" -v b="$2" 'BEGIN { print (b == "" || a + 0 > b + 0) ? a : b }'; }

declare -A comp=() decomp=() ratio=()
files=(many.tar big.tar)
for file in "${files[@]}"; do
  for peer in "${peers[@]}"; do
    $peer -c "$corpus/$file" >"$work/$file.${peer%% *}"
    ratio[$file/$peer]=$(awk -v a="$(stat -c %s "$work/$file.${peer%% *}")" \
      -v b="$(stat -c %s "$corpus/$file")" 'BEGIN { printf "%.3f", a / b }')
  done
done
for _ in $(seq "$runs"); do
  KASPO_CORPUS="$corpus" "$bench_bin" --benchmark_filter='BM_Pelko' --benchmark_format=csv \
    2>/dev/null >"$work/ours.csv"
  for idx in 0 1; do
    file=${files[$idx]}
    # "MB/s ratio" of BM_Pelko<Compress|Uncompress>/<idx>.
    for op in Compress Uncompress; do
      read -r mbs r < <(awk -F, -v want="\"BM_Pelko$op/$idx\"" '
        NR == 1 { for (i = 1; i <= NF; i++) { gsub(/"/, "", $i); col[$i] = i } next }
        $1 == want { printf "%.1f %.3f\n", $col["bytes_per_second"] / 1e6, $col["ratio"] }
      ' "$work/ours.csv")
      if [[ $op == Compress ]]; then
        comp[$file/pelko]=$(better "$mbs" "${comp[$file/pelko]:-}")
      else
        decomp[$file/pelko]=$(better "$mbs" "${decomp[$file/pelko]:-}")
      fi
      ratio[$file/pelko]=$r
    done
  done
  for file in "${files[@]}"; do
    size=$(stat -c %s "$corpus/$file")
    for peer in "${peers[@]}"; do
      tool=${peer%% *}
      c=$(rate "$size" "$(cpu_seconds $peer -c "$corpus/$file")")
      d=$(rate "$size" "$(cpu_seconds "$tool" -d -c "$work/$file.$tool")")
      comp[$file/$peer]=$(better "$c" "${comp[$file/$peer]:-}")
      decomp[$file/$peer]=$(better "$d" "${decomp[$file/$peer]:-}")
    done
  done
done

printf '%-9s %-9s %14s %16s %7s %10s %10s\n' file tool "compress MB/s" "decompress MB/s" ratio \
  "c x gzip" "d x gzip"
for file in "${files[@]}"; do
  for tool in pelko "${peers[@]}"; do
    [[ -n "${comp[$file/$tool]:-}" ]] || continue
    cx=- dx=-
    if [[ -n "${comp[$file/gzip -6]:-}" ]]; then
      cx=$(awk -v a="${comp[$file/$tool]}" -v b="${comp[$file/gzip -6]}" 'BEGIN { printf "%.2fx", a / b }')
      dx=$(awk -v a="${decomp[$file/$tool]}" -v b="${decomp[$file/gzip -6]}" \
        'BEGIN { printf "%.2fx", a / b }')
    fi
    printf '%-9s %-9s %14s %16s %7s %10s %10s\n' "$file" "$tool" "${comp[$file/$tool]}" \
      "${decomp[$file/$tool]}" "${ratio[$file/$tool]}" "$cx" "$dx"
  done
done
