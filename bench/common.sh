# common.sh: what the bench scripts share, sourced by them after
# `set -euo pipefail`: the repository, the build directory (BENCH_DIR, else
# build-bench) and the rounds (RUNS, else 3); the corpora; an optimised
# build of one target.
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
bench_dir="${BENCH_DIR:-build-bench}"
runs="${RUNS:-3}"
case "$bench_dir" in /*) ;; *) bench_dir="$repo/$bench_dir" ;; esac

# need_corpus DIR PATH...: builds the corpora into DIR from the shared
# manifests when one of the PATHs is missing.
need_corpus() {
  local corpus=$1 path shared="$repo/../shared"
  shift
  for path in "$@"; do
    [[ -e "$path" ]] && continue
    if [[ -x "$shared/corpus/make_corpus.sh" ]]; then
      "$shared/corpus/make_corpus.sh" "$corpus" "$shared/corpus/manifests" >&2
    fi
    return
  done
}

# build_target TARGET CMAKE_OPTION...: a Release build of TARGET, without
# the tests, in the build directory; its output shows only when it fails.
build_target() {
  local target=$1 log
  shift
  log="$(mktemp "${TMPDIR:-/tmp}/kaspo-bench-build-XXXXXX")"
  if ! { cmake -S "$repo" -B "$bench_dir" -DCMAKE_BUILD_TYPE=Release -DKASPO_TESTS=OFF "$@" &&
         cmake --build "$bench_dir" -j 2 --target "$target"; } >"$log" 2>&1; then
    cat "$log" >&2
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
}
