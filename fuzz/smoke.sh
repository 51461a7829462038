#!/usr/bin/env bash
# Runs every fuzzing harness for a fixed number of inputs, each starting
# from a scratch copy of its seed corpus (the committed corpus stays as it
# is). Usage: fuzz/smoke.sh <build dir> <inputs per harness>
# A harness that finds a fault fails the run; its reproducer is kept in
# <build dir>/smoke-artifacts/<harness>/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build-fuzz}" && pwd)
runs=${2:-100000}

# Longest input per harness: enough for its formats (a container needs a
# few whole 4048-byte records), short enough to keep each input quick.
declare -A max_len=([lexer_parser]=4096 [process_sql]=1024 [pelko]=16384
                    [chunk]=16384 [container]=32768)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kaspo-fuzz-smoke-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
status=0
for name in lexer_parser process_sql pelko chunk container; do
  bin="$build/${name}_fuzz"
  if [ ! -x "$bin" ]; then
    echo "== $name: $bin is missing"
    status=1
    continue
  fi
  work="$scratch/$name"
  mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
  cp "$root/fuzz/corpus/$name/"* "$work/corpus/"
  echo "== $name: $runs inputs"
  start=$SECONDS
  if TMPDIR="$work/tmp" "$bin" "$work/corpus" -runs="$runs" -max_len="${max_len[$name]}" \
      -timeout=25 -rss_limit_mb=2048 -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" >"$work/log" 2>&1; then
    grep -a -E '^(Done|stat::number_of_executed_units)' "$work/log" || true
    echo "   passed in $((SECONDS - start)) s"
  else
    echo "   FAILED after $((SECONDS - start)) s:"
    tail -n 40 "$work/log"
    mkdir -p "$build/smoke-artifacts/$name"
    cp "$work/artifacts/"* "$build/smoke-artifacts/$name/" 2>/dev/null || true
    status=1
  fi
done
exit $status
