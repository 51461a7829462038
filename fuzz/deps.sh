#!/usr/bin/env bash
# Installs what the fuzzing build needs (clang with the libFuzzer runtime),
# only when it is missing.
set -euo pipefail
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
can_fuzz() {
  command -v clang++ >/dev/null 2>&1 &&
    echo "$probe" | clang++ -x c++ -fsanitize=fuzzer,address,undefined - -o /dev/null 2>/dev/null
}
need=()
command -v cmake >/dev/null 2>&1 || need+=(cmake)
command -v make >/dev/null 2>&1 || need+=(make)
can_fuzz || need+=(clang libclang-rt-dev)
bash "$(dirname "$0")/../tools/apt_need.sh" "${need[@]}"
can_fuzz || { echo "clang++ cannot build libFuzzer harnesses" >&2; exit 1; }
