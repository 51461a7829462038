#!/usr/bin/env bash
# apt_need.sh PACKAGE...: installs the given Debian packages (nothing when
# none is given), through sudo unless run as root. The callers decide what
# is missing: .ci/deps for the build, fuzz/deps.sh for the fuzzing build,
# the make targets that need an extra tool.
set -euo pipefail
[ $# -gt 0 ] || exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: $*"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "$@"
