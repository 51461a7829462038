#!/usr/bin/env bash
# archive_bench.sh: the whole archive round trip of kaspo (add every file
# of a directory, save, reopen the container in a new run, export every
# item) beside the same work done by sqlite3's archive mode and by zip,
# when those are installed.
#
#   bench/archive_bench.sh                       (the corpora in /tmp/corpus)
#   bench/archive_bench.sh DIR...                (any directories of files)
#   RUNS=3 BENCH_DIR=build-x bench/archive_bench.sh
#   KASPO_BIN=path/to/kaspo bench/archive_bench.sh   (no build)
#
# kaspo runs twice per directory: items stored with "#01" run-length
# chunks ("plain") and with the block compressor ("packed"); sqlite3 and
# zip compress with deflate. With more than one directory a last round
# puts all of them into one container (plain), which for the two corpora
# is more than 40,000 chunks and over 200 MB of content. Every export is compared with the directory
# it came from. Times are seconds, best of RUNS runs by wall clock; the
# CPU column (user + system of that run) keeps the figures comparable on a
# machine that other work shares. "create" is add and save for kaspo, the
# archive's creation for the others; "extract" is reopen and export for
# kaspo. The corpora come from /work/shared/corpus/make_corpus.sh.
set -euo pipefail

source "$(dirname "$0")/common.sh"

# The corpora: built once from the shared manifests when missing.
if [[ $# -eq 0 ]]; then
  corpus="${KASPO_CORPUS:-/tmp/corpus}"
  need_corpus "$corpus" "$corpus/many" "$corpus/big"
  set -- "$corpus/many" "$corpus/big"
fi
for dir in "$@"; do
  [[ -d "$dir" ]] || { echo "no directory $dir" >&2; exit 1; }
done

# The program: an optimised build of its own unless one is given.
kaspo="${KASPO_BIN:-}"
if [[ -z "$kaspo" ]]; then
  build_target kaspo
  kaspo="$bench_dir/kaspo"
fi

scratch="$(mktemp -d "${TMPDIR:-/tmp}/archive_bench.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT
# The engine writes its (empty) data directory below TARVIC_PATH.
export TARVIC_PATH="$scratch/engine" HOME="$scratch/engine"
mkdir -p "$TARVIC_PATH"

TIMEFORMAT='%R %U %S'
# timed CMD...: runs the command, prints "wall cpu" (its output is dropped).
timed() {
  local t
  t=$( { time "$@" >/dev/null 2>&1; } 2>&1 ) || true
  awk '{ printf "%.2f %.2f\n", $1, $2 + $3 }' <<<"$t"
}

# best WALL_CPU...: the pair with the smallest wall time.
best() { printf '%s\n' "$@" | sort -n | head -n 1; }

files_of() { find -L "$1" -maxdepth 1 -type f | wc -l; }
mb_of() { du -sb "$1" | awk '{ printf "%.1f", $1 / 1e6 }'; }
size_mb() { stat -c %s "$1" | awk '{ printf "%.1f", $1 / 1e6 }'; }

# The number of records in the second section (the chunks) of a container.
chunks_of() {
  python3 - "$1" <<'EOF' 2>/dev/null || echo "?"
import sys
data = open(sys.argv[1], "rb").read()
end = data.index(b"\0")
count, _, size = (int(x) for x in data[:end].split(b"|")[0].split(b","))
print(int(data[end + 1 + count * size:][:5]))
EOF
}

same() { diff -r -q "$1" "$2" >/dev/null 2>&1 && echo identical || echo DIFFERS; }

kaspo_add() {  # DIR CONTAINER y|n
  printf 'a\n*\ny\n\n%s\ns\nq\n' "$3" | KASPO_PATH="$1" "$kaspo" "$2"
}
kaspo_add_all() {  # CONTAINER DIR...: every directory in one pass each
  local box=$1
  shift
  { for d in "$@"; do printf 'cd\n%s\na\n*\ny\n\nn\n' "$d"; done; printf 's\nq\n'; } |
    "$kaspo" "$box"
}
kaspo_export() {  # CONTAINER OUT
  printf 'e\n*\ny\nq\n' | KASPO_PATH="$2" "$kaspo" "$1"
}

# The archives and the export directory of every round.
box="$scratch/box.ksp"
sqlar="$scratch/a.sqlar"
zipped="$scratch/a.zip"
out="$scratch/out"

# What one round creates and extracts, for the directory $dir (and, for
# kaspo, the storage $mode).
create_kaspo() { kaspo_add "$dir" "$box" "$mode"; }
create_kaspo_all() { kaspo_add_all "$box" "${dirs[@]}"; }
extract_kaspo() { kaspo_export "$box" "$out"; }
create_sqlar() { sqlite3 -A -c -f "$sqlar" -C "$dir" .; }
extract_sqlar() { sqlite3 -A -x -f "$sqlar" -C "$out"; }
create_zip() { sh -c 'cd "$1" && zip -q -r "$2" .' sh "$dir" "$zipped"; }
extract_zip() { unzip -q "$zipped" -d "$out"; }

row() { printf '%-14s %7s %6s %8s %6s %8s %6s %9s %9s  %s\n' "$@"; }

# measure NAME ARCHIVE REF CREATE EXTRACT: RUNS rounds of CREATE then
# EXTRACT (into $out), and the table row of the best of each, the export
# compared with REF. Only a kaspo container has a chunk count.
measure() {
  local name=$1 archive=$2 ref=$3 create=$4 extract=$5
  local creates=() extracts=() r cw cc ew ec chunks=-
  for ((r = 0; r < runs; r++)); do
    rm -rf "$archive" "$out" && mkdir -p "$out"
    creates+=("$(timed "$create")")
    extracts+=("$(timed "$extract")")
  done
  read -r cw cc <<<"$(best "${creates[@]}")"
  read -r ew ec <<<"$(best "${extracts[@]}")"
  [[ "$archive" == "$box" ]] && chunks=$(chunks_of "$box")
  row "$name" "$cw" "$cc" "$ew" "$ec" "$(awk "BEGIN{print $cw + $ew}")" \
    "$(awk "BEGIN{print $cc + $ec}")" "$(size_mb "$archive")" "$chunks" "$(same "$ref" "$out")"
}

dirs=("$@")
for dir in "${dirs[@]}"; do
  echo
  echo "$dir: $(files_of "$dir") files, $(mb_of "$dir") MB"
  row "tool" "create" "cpu" "extract" "cpu" "total" "cpu" "size MB" "chunks" "export"
  for mode in n y; do
    name=$([[ $mode == y ]] && echo "kaspo packed" || echo "kaspo plain")
    measure "$name" "$box" "$dir" create_kaspo extract_kaspo
  done
  if command -v sqlite3 >/dev/null; then
    measure "sqlite3 -A" "$sqlar" "$dir" create_sqlar extract_sqlar
  fi
  if command -v zip >/dev/null && command -v unzip >/dev/null; then
    measure "zip" "$zipped" "$dir" create_zip extract_zip
  fi
done

if [[ $# -gt 1 ]]; then
  # One reference directory of links to every file, to compare the export.
  ref="$scratch/ref"
  rm -rf "$ref" && mkdir -p "$ref"
  for dir in "$@"; do
    for f in "$dir"/*; do
      [[ -f "$f" ]] || continue
      if [[ -e "$ref/${f##*/}" ]]; then
        echo; echo "all directories: the name ${f##*/} occurs twice; no common round"; exit 0
      fi
      ln -s "$(cd "$(dirname "$f")" && pwd)/${f##*/}" "$ref/${f##*/}"
    done
  done
  echo
  echo "all directories in one container: $(files_of "$ref") files, $(du -sbL "$ref" | awk '{ printf "%.1f", $1 / 1e6 }') MB"
  row "tool" "create" "cpu" "extract" "cpu" "total" "cpu" "size MB" "chunks" "export"
  measure "kaspo plain" "$box" "$ref" create_kaspo_all extract_kaspo
fi
