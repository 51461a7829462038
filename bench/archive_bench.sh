#!/usr/bin/env bash
# archive_bench.sh: kaspo beside sqlite3's archive mode, zip and tar piped
# through zstd on the same files, one table for all: creating a container
# (add every file and save), exporting every item of it in a new run,
# opening it for the status line, the peak memory of each kaspo run and
# the archive sizes.
#
#   bench/archive_bench.sh                       (the corpora in /tmp/corpus)
#   bench/archive_bench.sh DIR...                (any directories of files)
#   RUNS=5 BENCH_DIR=build-x bench/archive_bench.sh
#   KASPO_BIN=path/to/kaspo bench/archive_bench.sh   (no build)
#   WORK=/some/dir bench/archive_bench.sh        (work files elsewhere)
#   BASE_BIN=path/to/older/kaspo bench/archive_bench.sh
#                                  (adds rows: this kaspo against an older
#                                  build on add and export, e.g. to show
#                                  what the item checksums cost)
#
# Every comparison runs the tools in turn, A B A B ..., RUNS rounds (3 by
# default), and quotes the median of A's wall times, of B's, and of the
# ratios A/B taken round by round, so a machine whose speed drifts still
# gives a fair ratio. Peak memory is the largest resident size of the
# process (GNU time's %M). Work files go to /dev/shm (memory) when it is
# there, so the disk does not decide the figures. Every export is compared
# with the directory it came from; a difference fails the script.
#
# kaspo stores items with "#01" run-length chunks ("plain") or with its
# block compressor ("compressed"); sqlite3 and zip compress with deflate,
# tar's stream goes through zstd at level 3 on one thread (-3 -T1), and is
# listed by decompressing it whole, as tar -t must.
# The corpora come from ../shared/corpus/make_corpus.sh (seen from the
# repository).
set -euo pipefail

source "$(dirname "$0")/common.sh"

if [[ $# -eq 0 ]]; then
  corpus="${KASPO_CORPUS:-/tmp/corpus}"
  need_corpus "$corpus" "$corpus/many" "$corpus/big"
  set -- "$corpus/many" "$corpus/big"
fi
for dir in "$@"; do
  [[ -d "$dir" ]] || { echo "no directory $dir" >&2; exit 1; }
done
for tool in sqlite3 zip unzip tar; do
  command -v "$tool" >/dev/null || { echo "archive_bench: $tool is needed" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || bash "$repo/tools/apt_need.sh" time
command -v zstd >/dev/null || bash "$repo/tools/apt_need.sh" zstd

kaspo="${KASPO_BIN:-}"
if [[ -z "$kaspo" ]]; then
  build_target kaspo
  kaspo="$bench_dir/kaspo"
fi

work_root="${WORK:-}"
[[ -z "$work_root" && -d /dev/shm && -w /dev/shm ]] && work_root=/dev/shm
scratch="$(mktemp -d "${work_root:-${TMPDIR:-/tmp}}/archive_bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
export TARVIC_PATH="$scratch/engine" HOME="$scratch/engine"
mkdir -p "$TARVIC_PATH"

box_plain="$scratch/plain.ksp"
box_packed="$scratch/packed.ksp"
sqlar="$scratch/a.sqlar"
zipped="$scratch/a.zip"
tarzst="$scratch/a.tar.zst"
out="$scratch/out"
stamp="$scratch/time"

# Scripts for kaspo's standard input.
printf 'a\n*\ny\n\nn\ns\nq\n' >"$scratch/add_plain"
printf 'a\n*\ny\n\ny\ns\nq\n' >"$scratch/add_packed"
printf 'e\n*\ny\nq\n' >"$scratch/export"
printf 't\nq\n' >"$scratch/status"
printf 'v\n*\nq\n' >"$scratch/verify"
base="${BASE_BIN:-}"

# run CMD...: runs the tool under GNU time; its wall time and peak memory
# go to $stamp, its output is dropped.
# The wall time is taken around it in nanoseconds: %e's hundredths are
# too coarse for a status line.
run() {
  local t0 t1
  t0=$(date +%s%N)
  /usr/bin/time -f '%M' -o "$stamp.kib" "$@" >/dev/null 2>&1 || true
  t1=$(date +%s%N)
  echo "$(awk "BEGIN { print ($t1 - $t0) / 1e9 }") $(tail -n 1 "$stamp.kib")" >"$stamp"
}

# The work of one tool: each prepares (untimed), then runs the tool
# through `run`. $dir is the directory of the round.
fresh_out() { rm -rf "$out" && mkdir -p "$out"; }
add_plain() { rm -f "$box_plain"; run env KASPO_PATH="$dir" "$kaspo" "$box_plain" <"$scratch/add_plain"; }
add_packed() { rm -f "$box_packed"; run env KASPO_PATH="$dir" "$kaspo" "$box_packed" <"$scratch/add_packed"; }
sqlar_create() { rm -f "$sqlar"; run sqlite3 -A -c -f "$sqlar" -C "$dir" .; }
zip_create() { rm -f "$zipped"; run sh -c 'cd "$1" && exec zip -q -r "$2" .' sh "$dir" "$zipped"; }
tar_create() { rm -f "$tarzst"; run sh -c 'cd "$1" && tar -cf - . | zstd -3 -T1 -q >"$2"' sh "$dir" "$tarzst"; }
export_plain() { fresh_out; run env KASPO_PATH="$out" "$kaspo" "$box_plain" <"$scratch/export"; }
export_packed() { fresh_out; run env KASPO_PATH="$out" "$kaspo" "$box_packed" <"$scratch/export"; }
sqlar_extract() { fresh_out; run sqlite3 -A -x -f "$sqlar" -C "$out"; }
zip_extract() { fresh_out; run unzip -q "$zipped" -d "$out"; }
tar_extract() { fresh_out; run sh -c 'zstd -dc -q "$1" | tar -xf - -C "$2"' sh "$tarzst" "$out"; }
status_packed() { run "$kaspo" "$box_packed" <"$scratch/status"; }
verify_plain() { run "$kaspo" "$box_plain" <"$scratch/verify"; }
verify_packed() { run "$kaspo" "$box_packed" <"$scratch/verify"; }
zip_test() { run unzip -q -t "$zipped"; }
# The same work by the older build (BASE_BIN), into other files.
base_add_packed() { rm -f "$scratch/base.ksp"; run env KASPO_PATH="$dir" "$base" "$scratch/base.ksp" <"$scratch/add_packed"; }
base_export_packed() { fresh_out; run env KASPO_PATH="$out" "$base" "$box_packed" <"$scratch/export"; }
base_export_plain() { fresh_out; run env KASPO_PATH="$out" "$base" "$box_plain" <"$scratch/export"; }
sqlar_list() { run sqlite3 -A -t -f "$sqlar"; }
tar_list() { run sh -c 'zstd -dc -q "$1" | tar -tf -' sh "$tarzst"; }

# timed WORK: "wall_seconds peak_kib" of one run of the work.
timed() {
  "$1"
  cat "$stamp"
}

median() { sort -g | awk '{ v[NR] = $1 } END { printf "%.3g\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# compare A B [C [D]]: RUNS rounds of A then B (then C, D). Sets the
# medians a_s b_s c_s d_s (seconds), a_kib (A's peak memory) and the
# ratios ab ac ad.
compare() {
  local r i t k ta
  local -a times=() ratios=() mem=() secs=() rat=()
  for ((r = 0; r < runs; r++)); do
    for ((i = 0; i < $#; i++)); do
      read -r t k <<<"$(timed "${@:i+1:1}")"
      times[i]+="$t "
      if ((i == 0)); then
        ta=$t mem+=("$k")
      else
        ratios[i]+="$(awk "BEGIN { print $ta / ($t > 0 ? $t : 0.001) }") "
      fi
    done
  done
  for ((i = 0; i < 4; i++)); do
    secs[i]="" rat[i]=""
    ((i < $#)) || continue
    # shellcheck disable=SC2086 # the lists split at their blanks
    secs[i]=$(printf '%s\n' ${times[i]} | median)
    # shellcheck disable=SC2086
    ((i == 0)) || rat[i]=$(printf '%s\n' ${ratios[i]} | median)
  done
  a_s=${secs[0]} b_s=${secs[1]} c_s=${secs[2]} d_s=${secs[3]}
  ab=${rat[1]} ac=${rat[2]} ad=${rat[3]}
  a_kib=$(printf '%s\n' "${mem[@]}" | median)
}

# check_export REF: the last export must give back the directory.
check_export() {
  if ! diff -r -q "$1" "$out" >/dev/null 2>&1; then
    echo "archive_bench: the export of $2 differs from $1" >&2
    exit 1
  fi
}

x() { awk "BEGIN { printf \"%.2fx\", $1 }"; }
ms() { awk "BEGIN { printf \"%.0f ms\", $1 * 1000 }"; }
mib() { awk "BEGIN { printf \"%.0f\", $1 / 1024 }"; }
mb() { stat -c %s "$1" | awk '{ printf "%.1f", $1 / 1e6 }'; }
# The memory bound the program aims at: 1.2 x the container + 32 MiB.
bound() { stat -c %s "$1" | awk '{ printf "%.0f", 1.2 * $1 / 1048576 + 32 }'; }

declare -A cell
cols=()
for dir in "$@"; do
  col=$(basename "$dir")
  cols+=("$col")
  echo "$col: $(find -L "$dir" -maxdepth 1 -type f | wc -l) files, $(du -sbL "$dir" | awk '{ printf "%.1f", $1 / 1e6 }') MB" >&2

  compare add_plain sqlar_create
  cell[create_plain,$col]="$(x "$ab") ($a_s s vs $b_s s)"
  mem_add_plain=$(mib "$a_kib")
  compare add_packed sqlar_create zip_create tar_create
  cell[create_packed,$col]="$(x "$ab") / $(x "$ac") / $(x "$ad") ($a_s s vs $b_s s / $c_s s / $d_s s)"
  mem_add_packed=$(mib "$a_kib")
  cell[mem_add,$col]="$mem_add_plain / $mem_add_packed MiB (bound $(bound "$box_plain") / $(bound "$box_packed"))"

  compare export_plain sqlar_extract
  check_export "$dir" "$box_plain"
  cell[export_plain,$col]="$(x "$ab") ($a_s s vs $b_s s)"
  mem_export_plain=$(mib "$a_kib")
  compare export_packed sqlar_extract zip_extract tar_extract
  check_export "$dir" "$box_packed"
  cell[export_packed,$col]="$(x "$ab") / $(x "$ac") / $(x "$ad") ($a_s s vs $b_s s / $c_s s / $d_s s)"
  mem_export_packed=$(mib "$a_kib")
  cell[mem_export,$col]="$mem_export_plain / $mem_export_packed MiB (bound $(bound "$box_plain") / $(bound "$box_packed"))"

  compare verify_plain zip_test
  cell[verify,$col]="$(x "$ab") ($a_s s vs $b_s s, $(mib "$a_kib") MiB)"
  compare verify_packed zip_test
  cell[verify,$col]="${cell[verify,$col]} / $(x "$ab") ($a_s s vs $b_s s, $(mib "$a_kib") MiB)"
  if [[ -n "$base" ]]; then
    compare add_packed base_add_packed
    cell[base_add,$col]="$(x "$ab") ($a_s s vs $b_s s)"
    compare export_plain base_export_plain
    cell[base_export,$col]="$(x "$ab") ($a_s s vs $b_s s)"
    compare export_packed base_export_packed
    cell[base_export,$col]="${cell[base_export,$col]} / $(x "$ab") ($a_s s vs $b_s s)"
  fi

  compare status_packed sqlar_list tar_list
  cell[open,$col]="$(ms "$a_s") vs $(ms "$b_s") / $(ms "$c_s") ($(mib "$a_kib") MiB)"
  cell[size,$col]="$(mb "$box_plain") / $(mb "$box_packed") / $(mb "$sqlar") / $(mb "$zipped") / $(mb "$tarzst") MB"
done

rows=(
  "create_plain|add all + save, plain, vs sqlite3 -A create"
  "create_packed|add all + save, compressed, vs sqlite3 -A create / zip / tar + zstd -3"
  "export_plain|export all, plain container, vs sqlite3 -A -x"
  "export_packed|export all, compressed container, vs sqlite3 -A -x / unzip / zstd -dc + tar -x"
  "verify|verify all (v), plain / compressed container, vs unzip -t"
  "open|open + status, compressed, vs sqlite3 -A -t / zstd -dc + tar -t"
  "mem_add|peak memory: add+save plain / compressed"
  "mem_export|peak memory: export plain / compressed"
  "size|archive size: kaspo plain / compressed, sqlite3 -A, zip, tar.zst"
)
[[ -n "$base" ]] && rows+=(
  "base_add|add all + save, compressed, vs BASE_BIN"
  "base_export|export all, plain / compressed, vs BASE_BIN"
)
echo
echo "kaspo vs peers, medians of $runs rounds (A B A B ...), work files in $(dirname "$scratch")"
echo
printf '| work |'; printf ' %s |' "${cols[@]}"; echo
printf '|---|'; printf -- '---|%.0s' "${cols[@]}"; echo
for entry in "${rows[@]}"; do
  key=${entry%%|*}
  printf '| %s |' "${entry#*|}"
  for col in "${cols[@]}"; do printf ' %s |' "${cell[$key,$col]}"; done
  echo
done
echo
echo "Every export gave back the same files."
