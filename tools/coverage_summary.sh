#!/usr/bin/env bash
# coverage_summary.sh BUILD_DIR: line and branch coverage of engine/ and
# client/ from the .gcda files that a test run left in BUILD_DIR, read
# with gcov through gcovr. Branches that only exceptions take, and those
# the compiler marks unreachable, are left out: the code reports failures
# with return values, so those branches say nothing about the tests.
# The per-file tables (uncovered lines included) go to
# BUILD_DIR/coverage-<part>.txt.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"
json="$build/coverage.json"
# CMake's own compiler probe leaves a .gcno without sources: skip it.
gcovr --root "$root" --object-directory "$build" --exclude-directories "$build/CMakeFiles/[0-9]" \
  --exclude-throw-branches --exclude-unreachable-branches -j 2 --filter "$root/engine/" --filter "$root/client/" \
  --json "$json" >/dev/null
for part in engine client; do
  report="$build/coverage-$part.txt"
  gcovr --root "$root" --add-tracefile "$json" --filter "$root/$part/" \
    --sort-percentage --output "$report"
  gcovr --root "$root" --add-tracefile "$json" --filter "$root/$part/" --branches \
    --sort-percentage --output "$build/coverage-$part-branches.txt"
  echo "$part/ (per file: $report)"
  gcovr --root "$root" --add-tracefile "$json" --filter "$root/$part/" --print-summary \
    --output /dev/null | sed 's/^/  /'
done
echo "engine/ and client/ together"
gcovr --root "$root" --add-tracefile "$json" --print-summary --output /dev/null | sed 's/^/  /'
